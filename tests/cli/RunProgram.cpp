// Child processes for the command-line tests. Standard input comes from a file
// and the outputs go to files, so no pipe can fill up and stall the child.
#include "RunProgram.h"

#include "tests/TestFiles.h"
#include "platform/Text.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace quorvel::test {
namespace {

std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

#ifdef _WIN32
// Quoting as the C run-time's argument parser undoes it.
std::wstring Quote(const std::u16string& arg)
{
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            ++slashes;
            continue;
        }
        out.append(c == u'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += static_cast<wchar_t>(c);
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

HANDLE Inheritable(const std::filesystem::path& path, bool write)
{
    SECURITY_ATTRIBUTES sa {sizeof sa, nullptr, TRUE};
    return ::CreateFileW(path.wstring().c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         &sa, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
#endif

}  // namespace

std::filesystem::path CliPath()
{
    const char* path = std::getenv("QUORVEL_CLI");
    return path ? std::filesystem::path(path) : std::filesystem::path();
}

ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::u16string>& args,
                         const std::string& input, const std::filesystem::path& workDir)
{
    ScratchDir io;
    WriteFile(io.Path() / "in", {input.begin(), input.end()});
    ProgramResult result;
#ifdef _WIN32
    std::wstring command = Quote(program.u16string());
    for (const auto& arg : args)
        command += L" " + Quote(arg);
    STARTUPINFOW si {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = Inheritable(io.Path() / "in", false);
    si.hStdOutput = Inheritable(io.Path() / "out", true);
    si.hStdError = Inheritable(io.Path() / "err", true);
    PROCESS_INFORMATION pi {};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, workDir.wstring().c_str(), &si,
                         &pi)) {
        // Every wait has a deadline: a stuck child fails the test instead of CI.
        if (::WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0)
            ::TerminateProcess(pi.hProcess, 99);
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        result.exitCode = static_cast<int>(code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    ::CloseHandle(si.hStdInput);
    ::CloseHandle(si.hStdOutput);
    ::CloseHandle(si.hStdError);
#else
    std::vector<std::string> argStrings {program.string()};
    for (const auto& arg : args)
        argStrings.push_back(Utf16ToUtf8(arg));
    std::vector<char*> argv;
    for (auto& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // Everything the child needs is ready before the fork: it only makes system calls.
    const std::string inPath = (io.Path() / "in").string(), outPath = (io.Path() / "out").string(),
                      errPath = (io.Path() / "err").string(), dir = workDir.string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child: no terminal (setsid), so password prompts fail as in a script.
        ::setsid();
        const int in = ::open(inPath.c_str(), O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(dir.c_str()) != 0)
            ::_exit(98);
        ::execv(argv[0], argv.data());
        ::_exit(97);
    }
    if (pid > 0) {
        int status = 0;
        for (int waited = 0; waited < 120000; waited += 5) {
            if (::waitpid(pid, &status, WNOHANG) == pid)
                break;
            if (waited + 5 >= 120000) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
            }
            ::usleep(5000);
        }
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
#endif
    result.out = Slurp(io.Path() / "out");
    result.err = Slurp(io.Path() / "err");
    return result;
}

}  // namespace quorvel::test
