#include "support/cli.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#ifdef _WIN32
#include "platform/win32/text.h"
#include "platform/win32/win32.h"
#endif

namespace testenv {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void AddPodFolder(const GameTree& tree) {
    tree.Add("PODBot/PodBot.cfg", "wptfolder wptdefault\n");
    MakeDirs(tree.cstrike() + "PODBot/wptdefault");
}

#ifdef _WIN32
namespace {
// One argument of a Windows command line, as CommandLineToArgvW reads it.
std::wstring Argument(const std::wstring& a) {
    std::wstring q = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : a) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        q.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        q += c;
    }
    return q.append(slashes * 2, L'\\') + L"\"";
}
HANDLE Inherited(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(WideText(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

// The program in a process of its own with the test's environment (Wine's
// needs it) but for the variables of the program, which the run sets.
CliResult CliTest::Run(const std::vector<std::string>& args) {
    EXPECT_LT(uid, 0) << "runs as another user are for Linux";
    std::wstring block;
    for (wchar_t *e = GetEnvironmentStringsW(), *at = e; *at; at += wcslen(at) + 1)
        if (std::wstring_view(at).substr(0, 9) != L"NODESCAN_") block += at + std::wstring(1, 0);
    for (const std::string& e : std::vector<std::string>{"HOME=" + home, "NODESCAN_HOME=" + home,
                                                         "NODESCAN_SEARCH_ROOTS=" + roots})
        block += WideText(e) + std::wstring(1, 0);
    for (const std::string& e : env) block += WideText(e) + std::wstring(1, 0);
    block += L'\0';
    std::wstring line = Argument(WideText(NODESCAN_CLI_PATH));
    for (const auto& a : args) line += L" " + Argument(WideText(a));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = Inherited("NUL", GENERIC_READ, OPEN_EXISTING);
    si.hStdOutput = Inherited(scratch / "stdout", GENERIC_WRITE, CREATE_ALWAYS);
    si.hStdError = Inherited(scratch / "stderr", appendErr ? FILE_APPEND_DATA : GENERIC_WRITE,
                             appendErr ? OPEN_ALWAYS : CREATE_ALWAYS);
    PROCESS_INFORMATION pi{};
    CliResult result;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                       block.data(), cwd.empty() ? nullptr : WideText(cwd).c_str(), &si, &pi)) {
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_TIMEOUT)
            TerminateProcess(pi.hProcess, 128 + 9);
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        result.code = static_cast<int>(code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError}) CloseHandle(h);
    EXPECT_NE(result.code, 128 + 9) << "nodescan-cli did not end";
    result.out = ReadFile(scratch / "stdout");
    result.err = ReadFile(scratch / "stderr");
    return result;
}
#else
CliResult CliTest::Run(const std::vector<std::string>& args) {
    // A clean environment but for what the sanitizers and the clock need (a
    // ThreadSanitizer build would otherwise wait a second at every exit).
    std::string cmd =
        (cwd.empty() ? "" : "cd " + ShellWord(cwd) + " && ") +
        "env -i PATH=\"$PATH\" ${TZ+TZ=\"$TZ\"} ${ASAN_OPTIONS+ASAN_OPTIONS=\"$ASAN_OPTIONS\"} "
        "${UBSAN_OPTIONS+UBSAN_OPTIONS=\"$UBSAN_OPTIONS\"} "
        "TSAN_OPTIONS=\"$TSAN_OPTIONS:atexit_sleep_ms=0\" " +
        ShellWord("HOME=" + home) + " " + ShellWord("NODESCAN_HOME=" + home) + " " +
        ShellWord("NODESCAN_SEARCH_ROOTS=" + roots);
    for (const auto& e : env) cmd += " " + ShellWord(e);
    std::string program = NODESCAN_CLI_PATH;
    if (uid >= 0) {
        // A copy the other user can reach (a build under /root is private).
        program = scratch / "nodescan-cli";
        std::filesystem::copy_file(NODESCAN_CLI_PATH, program,
                                   std::filesystem::copy_options::overwrite_existing);
        std::string id = std::to_string(uid);
        cmd += " setpriv --reuid=" + id + " --regid=" + id + " --clear-groups";
    }
    cmd += " timeout -s KILL 60 " + ShellWord(program);
    for (const auto& a : args) cmd += " " + ShellWord(a);
    std::string outPath = scratch / "stdout", errPath = scratch / "stderr";
    cmd += " </dev/null >" + ShellWord(outPath) + (appendErr ? " 2>>" : " 2>") + ShellWord(errPath);

    CliResult result;
    result.code = Shell(cmd);
    EXPECT_NE(result.code, 128 + 9) << "nodescan-cli did not end";
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    // A sanitizer's report fails the run even where its exit code, 1, is expected.
    EXPECT_EQ(result.err.find("Sanitizer:"), std::string::npos) << result.err;
    return result;
}
#endif

nlohmann::json CliTest::RunJson(const std::vector<std::string>& args, int expectedCode) {
    CliResult r = Run(args);
    EXPECT_EQ(r.code, expectedCode) << r.err;
    nlohmann::json doc = nlohmann::json::parse(r.out, nullptr, false);
    EXPECT_FALSE(doc.is_discarded()) << "not one JSON document:\n" << r.out;
    return doc;
}

}  // namespace testenv
