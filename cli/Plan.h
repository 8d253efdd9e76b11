// Planning a run before any file starts: each FILE word's patterns expanded
// (on Windows), each file's output named, and every output that would meet an
// input of the run, or another output, refused.
#pragma once

#include "cli/CommandLine.h"

#include <string>
#include <vector>

namespace quorvel::cli {

// One file of the run as planned before any runs.
struct PlannedFile {
    std::u16string source;  // as given
    std::u16string name;    // bare file name
    std::u16string folder;  // of the output, with its separator (or empty)
    std::u16string output;  // full output path, or kStandardOutput
    std::u16string refusal; // why the file is not processed, if it is not
    bool fromStdin = false; // "-": standard input, read to its end
    bool toStdout = false;  // the output goes to standard output
};

// What stands for standard output where an output path would.
inline constexpr char16_t kStandardOutput[] = u"standard output";

std::vector<PlannedFile> PlanRun(const CliOptions& options);

}  // namespace quorvel::cli
