// The command line's arguments: what they mean once parsed, and the parse.
#pragma once

#include "cipher/CipherKey.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::cli {

// Exit codes. A stop by signal N ends with 128 + N, as shells report it.
constexpr int kExitOk = 0;
constexpr int kExitFileFailed = 1;  // at least one file was not processed
constexpr int kExitUsage = 2;       // bad arguments or no usable password; no file touched
constexpr int kExitInterrupted = 130;

// The FILE that names standard input (its output goes to standard output).
constexpr std::u16string_view kStdinName = u"-";

struct CliOptions {
    CipherDirection direction = CipherDirection::Encipher;
    std::vector<std::u16string> files;  // in the order given; kStdinName at most once
    std::optional<std::u16string> passwordFile;
    bool passwordStdin = false;
    std::optional<std::u16string> outputDir;
    bool toStdout = false;  // -c: every output goes to standard output
    bool force = false;
    bool quiet = false;
    bool removeSources = false;  // --rm: each source goes once its output is on the disk
};

struct ParseResult {
    // Set when the program should end at once: help, version or a usage error.
    std::optional<int> exitCode;
    std::string out;  // text for standard output (help, version), UTF-8
    std::string err;  // text for standard error (usage errors), UTF-8
    CliOptions options;
};

// args: the arguments after the program name, in UTF-8 (lossless for any
// file name, see platform/Text.h).
ParseResult ParseCommandLine(const std::vector<std::string>& args);

}  // namespace quorvel::cli
