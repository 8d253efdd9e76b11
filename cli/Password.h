// The password of a run: from a file, from standard input, or asked on the
// terminal without echo (twice to encipher); the whole first line or a
// refusal, never a password cut short.
#pragma once

#include "cli/CommandLine.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::cli {

// More than any password anyone types; a longer line is refused, never cut.
constexpr size_t kPasswordByteLimit = 64 * 1024;

// Gets the password the options name; on failure reports it and returns the exit code.
std::optional<int> GetPassword(const CliOptions& options, std::u16string& password);

// The first line of bytes as a password (UTF-8; a leading byte-order mark and
// the line end "\n" or "\r\n" are not part of it).
std::string_view PasswordLine(std::string_view bytes);
std::u16string PasswordFromBytes(std::string_view bytes);

}  // namespace quorvel::cli
