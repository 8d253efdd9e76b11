// One run of the command line: plan the outputs, get the password, process the
// files one after another with the cipher core, report each failure.
#pragma once

#include "cli/CommandLine.h"
#include "cli/Plan.h"
#include "platform/FileSystem.h"

#include <string>
#include <vector>

namespace quorvel::cli {

// Runs the parsed command; returns the exit code.
int RunCommand(const CliOptions& options);

// Processes the planned files in order over fileSystem, one failure not
// stopping the others; returns the exit code.
int RunFiles(const std::vector<PlannedFile>& plan, const CliOptions& options, const std::u16string& password,
             FileSystem& fileSystem);

}  // namespace quorvel::cli
