#include "support/testenv.h"

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "bots/bots.h"
#include "check/lists.h"
#include "check/scan.h"
#include "check/scanrunner.h"
#include "check/sort.h"
#include "core/layout.h"
#include "core/state.h"
#include "core/status.h"
#include "download/http.h"
#include "download/sites.h"
#include "download/update.h"
#include "download/worker.h"
#include "platform/registry.h"
#include "settings/locator.h"
#ifdef _WIN32
#include "platform/win32/win32.h"
#else
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace testenv {

#ifdef _WIN32
namespace {
int setenv(const char* name, const char* value, int) {
    return _putenv_s(name, value);
}
int unsetenv(const char* name) {
    return _putenv_s(name, "");
}
}  // namespace

// Under Wine, in /tmp of drive Z:, which is the Linux root: the Linux tools
// the tests run see it as /tmp.
TempDir::TempDir() {
    static unsigned n = 0;
    for (;;) {
        path_ = "Z:/tmp/nodescan-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++n);
        if (fs::create_directory(path_)) break;
    }
}

int Shell(const std::string& cmd) {
    // Wine starts a Linux program but gives no handle to wait for: the script
    // leaves its exit code in a file.
    static unsigned n = 0;
    std::string base =
        "/tmp/nodescan-shell-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++n);
    std::string script = cmd;  // with Linux paths for the paths of drive Z:
    for (std::size_t at = 0; (at = script.find("Z:/", at)) != std::string::npos;)
        script.erase(at, 2);
    WriteFile(base + ".sh", "( " + script + "\n)\necho $? >" + base + ".part && mv " + base +
                                ".part " + base + ".rc\n");
    std::wstring line = L"/bin/sh " + std::wstring(base.begin(), base.end()) + L".sh";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        throw std::runtime_error("cannot start /bin/sh");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    while (!fs::exists(base + ".rc")) Sleep(5);
    int code = std::atoi(ReadFile(base + ".rc").c_str());
    fs::remove(base + ".sh");
    fs::remove(base + ".rc");
    return code;
}
#else
TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "nodescan-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

int Shell(const std::string& cmd) {
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

std::string ShellWord(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything writable again so that removal cannot fail on modes.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& rel) const {
    return path_ + "/" + rel;
}

void MakeDirs(const std::string& dir) {
    fs::create_directories(dir);
}

void WriteFile(const std::string& path, const std::string& data) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

static void PutLE32(std::string& s, std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string PodBotHeader(std::uint32_t version, const std::string& author, std::size_t size) {
    std::string s(std::max<std::size_t>(size, 84), '\0');
    std::memcpy(s.data(), "PODWAY!\0", 8);
    PutLE32(s, 8, version);
    std::memcpy(s.data() + 12, "de_map", 6);  // map name field
    std::memcpy(s.data() + 48, author.data(), std::min<std::size_t>(author.size(), 32));
    PutLE32(s, 80, 123);  // number of nodes
    s.resize(size);
    return s;
}

std::string VersionHeader(std::uint32_t version, std::size_t size) {
    std::string s(std::max<std::size_t>(size, 12), '\0');
    std::memcpy(s.data(), "WAYPOINT", 8);
    PutLE32(s, 8, version);
    s.resize(size);
    return s;
}

GameTree::GameTree(const std::string& root) : cstrike_(root + "/Half-Life/cstrike/") {
    WriteFile(cstrike_ + "cstrike.wad", std::string("WAD3\0\0\0\0\x0c\0\0\0", 12));
    MakeDirs(maps());
}

void GameTree::AddMap(const std::string& name) const {
    WriteFile(maps() + "/" + name, std::string("\x1e\0\0\0", 4) + std::string(60, '\0'));
}

void GameTree::Add(const std::string& rel, const std::string& content) const {
    WriteFile(cstrike_ + rel, content);
}

void GameTree::AddPodWaypoint(const std::string& name, std::uint32_t version,
                              const std::string& author, const std::string& folder) const {
    Add("PODBot/PodBot.cfg", "# Pod Bot settings\nwptfolder " + folder + "\n");
    Add("PODBot/" + folder + "/" + name, PodBotHeader(version, author, 400));
}

void StoreSettings(const std::string& cstrike,
                   const std::vector<std::pair<std::string, std::uint32_t>>& dwords) {
    {
        RegKey lm = RegKey::Open(Hive::LocalMachine, true);
        lm.WriteString("CSDir", cstrike);
        lm.WriteString("MapDir", cstrike + "maps");
    }
    {
        RegKey cu = RegKey::Open(Hive::CurrentUser, true);
        for (const auto& [name, value] : dwords) cu.WriteDword(name, value);
    }
    RegistryUnload();
}

void SetLocalMTime(const std::string& path, int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    utimbuf times{t, t};
    if (utime(path.c_str(), &times) != 0) throw std::runtime_error("utime failed: " + path);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void ForgetSettings() {
#ifdef _WIN32
    // They are in the registry, not in a run's own directory.
    RegistrySetReadOnly(false);
    RegDeleteKey(Hive::CurrentUser);
    RegDeleteKey(Hive::LocalMachine);
    RegistryUnload();
#endif
}

void ResetProgramState() {
    ResetScanRunner();
    ResetWorker();
    RegistryUnload();
    RegistrySetReadOnly(false);
    ResetSharedState();
    ResetStatus();
    ResetLayout();
    ResetLocator();
    ResetBots();
    ResetScan();
    ResetLists();
    ResetSort();
    ResetSites();
    ResetHttp();
    ResetUpdate();
}

}  // namespace testenv
