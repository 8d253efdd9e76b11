// One run of the command line: plan the outputs, get the password, process the
// files one after another with the cipher core, report each failure.
#pragma once

#include "cli/CommandLine.h"

#include <string>
#include <string_view>

namespace quorvel::cli {

// Runs the parsed command; returns the exit code.
int RunCommand(const CliOptions& options);

// The password in the first line of bytes (UTF-8; a leading byte-order mark and
// the line end "\n" or "\r\n" are not part of it).
std::u16string PasswordFromBytes(std::string_view bytes);

}  // namespace quorvel::cli
