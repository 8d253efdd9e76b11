// One run of the command line: plan the outputs, get the password, process the
// files one after another with the cipher core, report each failure.
#pragma once

#include "cli/CommandLine.h"

namespace quorvel::cli {

// Runs the parsed command; returns the exit code.
int RunCommand(const CliOptions& options);

}  // namespace quorvel::cli
