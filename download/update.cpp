#include "download/update.h"

#include <zzip/zzip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "core/state.h"
#include "core/status.h"
#include "download/http.h"
#include "download/sites.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "settings/locator.h"
#include "settings/settings.h"

std::atomic<bool> updateEndsProgram{true};

namespace {
constexpr const char* kDir = "/programs";
constexpr const char* kVersionFile = "version.txt";
constexpr const char* kArchive = "nodescan.zip";
constexpr const char* kDigestFile = "nodescan.zip.sha256";
constexpr const char* kBlanks = " \t\r\v\f";
// The longest line version.txt is read with (the original reads lines with
// fgets into 80 bytes).
constexpr std::size_t kLongestLine = 79;

// The busy pointer for as long as the job runs.
struct BusyCursor {
    BusyCursor() { SetBusyCursor(true); }
    ~BusyCursor() { SetBusyCursor(false); }
};

// A version in hundredths, as the program counts its own (2.50): the whole
// part as its decimal digits without leading zeros, so that no number a
// server writes can overflow.
struct Version {
    std::string whole;
    int hundredths = 0;
};

bool Newer(const Version& a, const Version& b) {
    return std::tuple(a.whole.size(), a.whole, a.hundredths) >
           std::tuple(b.whole.size(), b.whole, b.hundredths);
}

std::string VersionText(const Version& v) {
    char cents[4];
    std::snprintf(cents, sizeof cents, "%02d", v.hundredths);
    return v.whole + "." + cents;
}

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A plain decimal number with blanks around it ("2.60", " 3 "); false for
// anything else (a sign, an exponent, hex, text after it). Shown with two
// decimals, the version rounds there, half up.
bool ParseVersion(std::string_view s, Version* v) {
    std::size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return false;
    s = s.substr(first, s.find_last_not_of(kBlanks) + 1 - first);
    std::size_t point = s.find('.');
    std::string_view whole = s.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? "0" : s.substr(point + 1);
    if (!AllDigits(whole) || !AllDigits(fraction)) return false;
    whole.remove_prefix(std::min(whole.find_first_not_of('0'), whole.size()));
    v->whole = std::string(whole);  // empty for 0
    std::string f = std::string(fraction) + "000";
    v->hundredths = (f[0] - '0') * 10 + (f[1] - '0') + (f[2] >= '5' ? 1 : 0);
    if (v->hundredths == 100) {
        v->hundredths = 0;
        std::size_t i = v->whole.size();
        while (i > 0 && v->whole[i - 1] == '9') v->whole[--i] = '0';
        if (i == 0)
            v->whole = '1' + v->whole;  // (insert() makes g++ 12 -O3 warn falsely)
        else
            ++v->whole[i - 1];
    }
    return true;
}

// Why the saved reply for file holds no whole 2xx body; empty when it does.
std::string NotArrived(const std::string& file) {
    ResponseHead head = ReadResponseHead(file);
    if (!head.hasStatus) return "no HTTP reply";
    if (head.status / 100 != 2) return head.reason;
    if (!head.complete) return "the reply ended inside its header";
    return "";
}

// The last line of a saved file that is not blank, without its line end:
// its first kLongestLine characters, *cut when it has more. False when the
// file cannot be opened.
bool LastLine(const std::string& file, std::string* last, bool* cut) {
    std::FILE* f = std::fopen(SavedPath(file).c_str(), "r");
    if (!f) return false;
    std::string line;
    bool longer = false;
    last->clear();
    *cut = false;
    for (int c = std::getc(f);; c = std::getc(f)) {
        if (c != '\n' && c != EOF) {
            if (line.size() < kLongestLine)
                line.push_back(static_cast<char>(c));
            else
                longer = true;
            continue;
        }
        if (!longer && !line.empty() && line.back() == '\r') line.pop_back();  // CR LF
        if (longer || line.find_first_not_of(kBlanks) != std::string::npos) {
            *last = line;
            *cut = longer;
        }
        if (c == EOF) break;
        line.clear();
        longer = false;
    }
    std::fclose(f);
    return true;
}

// The version in the saved version.txt: its last line that is not blank,
// from the ninth character on (the first eight, a word such as "version ",
// are not examined). False when there is none (a status line says why).
bool WebVersion(Version* version) {
    std::string last;
    bool cut;
    if (!LastLine(kVersionFile, &last, &cut)) return false;
    if (!cut && last.size() > 8 && ParseVersion(std::string_view(last).substr(8), version))
        return true;
    sout("The last line of version.txt holds no version number from its ninth character on: \"" +
         EscapedText(last) + (cut ? "...\"" : "\""));
    return false;
}

// The digest a line of sha256sum begins with, in lower case; empty when it
// begins with none. A file name may follow after blanks.
std::string DigestInLine(const std::string& line) {
    std::size_t start = line.find_first_not_of(kBlanks);
    if (start == std::string::npos) return "";
    std::string hex = line.substr(start, line.find_first_of(kBlanks, start) - start);
    if (hex.size() != 64 || !std::all_of(hex.begin(), hex.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return "";
    for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return hex;
}

// Why the saved release must not be handed to the user; empty when it may.
// It must open as a ZIP archive and, when the update server offers its
// SHA-256 digest as nodescan.zip.sha256, match it.
std::string Unverified(const std::string& host) {
    zzip_error_t err = ZZIP_NO_ERROR;
    ZZIP_DIR* archive = zzip_dir_open(SavedPath(kArchive).c_str(), &err);
    if (!archive) return "nodescan.zip from the update server is no ZIP archive";
    zzip_dir_close(archive);
    int got = Download(host, kDigestFile, kDir, "GET", kMaxVersionFile);
    int status = ReadResponseHead(kDigestFile).status;
    std::string failed = got == 1 ? NotArrived(kDigestFile) : "the request failed";
    std::string line;
    bool cut;
    if (failed.empty()) LastLine(kDigestFile, &line, &cut);
    RemoveSaved(kDigestFile);
    if (got == 1 && (status == 404 || status == 410)) {
        sout("nodescan.zip could not be verified: the update server has no nodescan.zip.sha256");
        return "";
    }
    if (!failed.empty()) return "Could not download nodescan.zip.sha256 (" + failed + ")";
    std::string want = DigestInLine(line);
    if (want.empty()) return "nodescan.zip.sha256 holds no SHA-256 digest";
    std::string why, have = Sha256OfFile(SavedPath(kArchive), &why);
    if (have.empty()) return "Cannot read nodescan.zip to verify it: " + why;
    if (have != want)
        return "nodescan.zip does not match its SHA-256 digest in nodescan.zip.sha256";
    sprogress("nodescan.zip matches its SHA-256 digest");
    return "";
}
std::mutex reportMutex;
UpdateReport report;

// Ends the check: records how, for LastUpdateReport.
bool Ended(const char* outcome, bool result) {
    std::lock_guard lock(reportMutex);
    report.outcome = outcome;
    if (report.outcome == "saved") report.archive = SavedPath(kArchive);
    return result;
}
}  // namespace

UpdateReport LastUpdateReport() {
    std::lock_guard lock(reportMutex);
    return report;
}

std::string UpdateHost() {
    const char* host = std::getenv("NODESCAN_UPDATE_HOST");
    if (host && *host) return host;
    return PresetSite(0).host;
}

bool UpdateNodescan() {
    BusyCursor busy;
    long own = std::lround(100 * kProgramVersion);
    Version mine{std::to_string(own / 100), static_cast<int>(own % 100)};
    {
        std::lock_guard lock(reportMutex);
        report = {VersionText(mine), "", "", ""};
    }
    std::string host = UpdateHost();
    if (!OnlyLoopback({host}) && IsConnected() == 0) return Ended("failed", false);
    sprogress("Checking for Updates....");
    MakeDirPath(GetTempDir(), 0700);
    int got = Download(host, kVersionFile, kDir, "GET", kMaxVersionFile);
    std::string failed = got == 1 ? NotArrived(kVersionFile) : "";
    if (!failed.empty()) sout("version.txt from the update server: " + failed);
    bool arrived = got == 1 && failed.empty();
    Version w;
    bool read = arrived && WebVersion(&w);
    RemoveSaved(kVersionFile);
    if (!arrived) {
        MessageBox(md, "Could not download Nodescan version Information", "Error!!",
                   MB_OK | MB_ICONINFORMATION);
        return Ended("failed", false);
    }
    if (!read) {
        MessageBox(md, "Error Opening Version File", "Sorry!", MB_OK | MB_ICONERROR);
        return Ended("failed", false);
    }
    {
        std::lock_guard lock(reportMutex);
        report.web = VersionText(w);
    }
    if (!Newer(w, mine)) {
        ProgressBox(md, "Your version of Nodescan is UP TO DATE!", "Hey!!",
                    MB_OK | MB_ICONINFORMATION);
        return Ended("up to date", true);
    }
    std::string offer = "\nYour Version: " + VersionText(mine) +
                        "\nWEB Version: " + VersionText(w) +
                        "\n\nWould you like me to Download it?\n";
    // "Avaliable": kept as the original program spells it.
    if (MessageBox(md, offer, "Update Avaliable!", MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return Ended("declined", false);
    sprogress("Downloading Update....");
    if (Download(host, kArchive, kDir, "GET", kMaxUpdateArchive) == 0) {
        RemoveSaved(kArchive);
        MessageBox(md, "Error Downloading Nodescan from Server!", "Error!", MB_OK | MB_ICONERROR);
        return Ended("failed", false);
    }
    // After an error status CheckFile shows its own box: one is enough.
    ResponseHead head = ReadResponseHead(kArchive);
    bool boxed = head.hasStatus && head.status / 100 != 2 && head.status / 100 != 3;
    if (CheckFile(kArchive) != 1) {
        RemoveSaved(kArchive);
        if (!boxed)
            MessageBox(md, "File Downloaded but there was an error reading the file!", "Error!",
                       MB_OK | MB_ICONERROR);
        return Ended("failed", false);
    }
    std::string why = Unverified(host);
    if (!why.empty()) {
        RemoveSaved(kArchive);
        MessageBox(md, why + ": the downloaded update was deleted", "Error!", MB_OK | MB_ICONERROR);
        return Ended("failed", false);
    }
    Ended("saved", true);
    ProgressBox(md, "Success!", "Cool Again!!", MB_OK | MB_ICONINFORMATION);
    ShellOpen(md, SavedPath(kArchive));
    if (updateEndsProgram) {
        // The settings of this run are kept (saved on the window's thread,
        // which owns them); then the program ends at once.
        RunOnWindowThread([] { SaveOptions(); });
        SetBusyCursor(false);
        ExitProcess(0);
    }
    return true;
}

void ResetUpdate() {
    updateEndsProgram = true;
    std::lock_guard lock(reportMutex);
    report = {};
}
