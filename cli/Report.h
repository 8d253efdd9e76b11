// How the command line tells of what went wrong, and the exit status a stop
// by a signal ends a run with.
#pragma once

#include "platform/FileStatus.h"

#include <string>
#include <string_view>

namespace quorvel::cli {

// One line on standard error: "quorvel-cli: " + message.
void Report(std::u16string_view message);
// A file error's reason in words.
std::u16string ReasonText(const FileStatus& status);

// The exit status when standard output's reader went away: 128 + SIGPIPE.
constexpr int kBrokenPipeSignal = 13;
constexpr int kExitOutputClosed = 128 + kBrokenPipeSignal;
// The exit status of a run stopped by a signal: 128 + its number, as a shell reports it.
int InterruptedExit();

}  // namespace quorvel::cli
