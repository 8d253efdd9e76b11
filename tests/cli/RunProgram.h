// Runs quorvel-cli as a child process with given arguments and standard input,
// capturing its exit code and both output streams, on POSIX and on Windows.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::test {

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The program under test, from the QUORVEL_CLI environment variable.
std::filesystem::path CliPath();

// args are UTF-8; workDir is the child's current directory.
ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::u16string>& args,
                         const std::string& input, const std::filesystem::path& workDir);

}  // namespace quorvel::test
