// One run of the command line: plan the outputs, get the password, process the
// files one after another with the cipher core, report each failure.
#pragma once

#include "cli/CommandLine.h"

#include <string>
#include <string_view>

namespace quorvel::cli {

// Runs the parsed command; returns the exit code.
int RunCommand(const CliOptions& options);

// More than any password anyone types; a longer line is refused, never cut.
constexpr size_t kPasswordByteLimit = 64 * 1024;

// The first line of bytes as a password (UTF-8; a leading byte-order mark and
// the line end "\n" or "\r\n" are not part of it).
std::string_view PasswordLine(std::string_view bytes);
std::u16string PasswordFromBytes(std::string_view bytes);

}  // namespace quorvel::cli
