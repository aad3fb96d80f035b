#include "download/update.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/nodescan.h"
#include "app/state.h"
#include "app/window.h"
#include "download/http.h"
#include "download/sites.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/threads.h"
#include "settings/locator.h"
#include "settings/settings.h"

std::atomic<bool> updateEndsProgram{true};

namespace {
constexpr const char* kDir = "/programs";

// The busy pointer for as long as the job runs.
struct BusyCursor {
    BusyCursor() { SetBusyCursor(true); }
    ~BusyCursor() { SetBusyCursor(false); }
};

// The version in a 2xx version.txt: its last line from the ninth character
// on. False when there is none.
bool WebVersion(double* version) {
    ResponseHead head = ReadResponseHead("version.txt");
    if (!head.hasStatus || head.status / 100 != 2 || !head.complete) return false;
    std::FILE* f = std::fopen(SavedPath("version.txt").c_str(), "r");
    if (!f) return false;
    char line[80], last[80] = "";
    while (std::fgets(line, sizeof line, f)) std::memcpy(last, line, sizeof line);
    std::fclose(f);
    if (std::strlen(last) <= 8) return false;
    char* end = nullptr;
    *version = std::strtod(last + 8, &end);
    return end != last + 8 && std::isfinite(*version);
}
}  // namespace

std::string UpdateHost() {
    const char* host = std::getenv("NODESCAN_UPDATE_HOST");
    if (host && *host) return host;
    return PresetSite(0).host;
}

bool UpdateNodescan() {
    BusyCursor busy;
    if (IsConnected() == 0) return false;
    sout("Checking for Updates....");
    MakeDirPath(GetTempDir(), 0700);
    std::string host = UpdateHost();
    double w = 0;
    bool known = Download(host, "version.txt", kDir, "GET") == 1 && WebVersion(&w);
    RemoveSaved("version.txt");
    if (!known) {
        MessageBox(md, "Could not download Nodescan version Information", "Error!!",
                   MB_OK | MB_ICONINFORMATION);
        return false;
    }
    if (std::lround(100 * w) <= std::lround(100 * kProgramVersion)) {
        MessageBox(md, "Your version of Nodescan is UP TO DATE!", "Hey!!",
                   MB_OK | MB_ICONINFORMATION);
        return true;
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "\nYour Version: %.2f\nWEB Version: %.2f\n\nWould you like me to Download it?\n",
                  kProgramVersion, w);
    if (MessageBox(md, text, "Update Avaliable!", MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return false;
    sout("Downloading Update....");
    if (Download(host, "nodescan.zip", kDir, "GET") == 0) {
        MessageBox(md, "Error Downloading Nodescan from Server!", "Error!", MB_OK | MB_ICONERROR);
        return false;
    }
    if (CheckFile("nodescan.zip") != 1) {
        MessageBox(md, "File Downloaded but there was an error reading the file!", "Error!",
                   MB_OK | MB_ICONERROR);
        return false;
    }
    MessageBox(md, "Success!", "Cool Again!!", MB_OK | MB_ICONINFORMATION);
    ShellOpen(md, SavedPath("nodescan.zip"));
    if (updateEndsProgram) {
        // The settings of this run are kept (saved on the window's thread,
        // which owns them); then the program ends at once.
        RunOnWindowThread([] { SaveOptions(); });
        SetBusyCursor(false);
        ExitProcess(0);
    }
    return true;
}
