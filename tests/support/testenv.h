// Helpers for tests that work on real files in a temporary directory.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testenv {

// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // path() + "/" + rel
    std::string operator/(const std::string& rel) const;

  private:
    std::string path_;
};

// Writes data to path, creating the missing parent directories.
void WriteFile(const std::string& path, const std::string& data);
std::string ReadFile(const std::string& path);
void MakeDirs(const std::string& dir);

// A waypoint file in the Pod Bot layout: 8-byte file type, 32-bit version at
// offset 8, 32-byte author at offset 48; size bytes in all (at least 84).
std::string PodBotHeader(std::uint32_t version, const std::string& author, std::size_t size = 84);
// A header with only the version at offset 8 (the other bots' files).
std::string VersionHeader(std::uint32_t version, std::size_t size = 84);

// A game installation: root/Half-Life/cstrike with cstrike.wad and maps/.
class GameTree {
  public:
    explicit GameTree(const std::string& root);
    const std::string& cstrike() const { return cstrike_; }  // ends in '/'
    std::string maps() const { return cstrike_ + "maps"; }
    void AddMap(const std::string& name) const;
    // A file of the given content at cstrike/rel.
    void Add(const std::string& rel, const std::string& content) const;
    // A Pod Bot waypoint in PODBot/<folder>/ and the PodBot.cfg naming that folder.
    void AddPodWaypoint(const std::string& name, std::uint32_t version, const std::string& author,
                        const std::string& folder = "wptdefault") const;

  private:
    std::string cstrike_;
};

// Settings as a program that ran before leaves them: the game directory
// cstrike (ending in '/'), its maps directory, and the per-user dwords.
void StoreSettings(const std::string& cstrike,
                   const std::vector<std::pair<std::string, std::uint32_t>>& dwords);

// Sets the modification time of path to the given local calendar time.
void SetLocalMTime(const std::string& path, int year, int month, int day, int hour, int minute);

// A start without settings: on Linux each run's own directory has none,
// on Windows this removes them from the registry.
void ForgetSettings();

// Puts the program's shared state back to its values at process start, so
// that one test process can run the program several times: each module's
// reset, the threads' first (the window host's records are the caller's).
void ResetProgramState();

// Runs cmd with the POSIX shell, as std::system does on Linux; its exit
// code. Under Wine the Linux shell runs beside the Windows program, on the
// same /tmp paths (Wine's drive Z: is /).
int Shell(const std::string& cmd);
// s as one word of the shell, whatever bytes it holds.
std::string ShellWord(const std::string& s);

// What separates the roots of NODESCAN_SEARCH_ROOTS: ':' as in PATH, ';' on
// Windows, whose paths hold ':'.
#ifdef _WIN32
constexpr char kRootSeparator = ';';
#else
constexpr char kRootSeparator = ':';
#endif

// Ends a test on Windows, saying why what it checks holds on Linux only.
#ifdef _WIN32
#define LINUX_ONLY(why) GTEST_SKIP() << "Linux only: " << why
#else
#define LINUX_ONLY(why) (void)0
#endif

// Sets an environment variable for the life of the object, restoring the old value.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

  private:
    std::string name_;
    std::string old_;
    bool had_;
};

}  // namespace testenv
