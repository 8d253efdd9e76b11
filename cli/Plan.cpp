// The run's plan: outputs, collisions, and outputs that are inputs.
#include "cli/Plan.h"

#include "cipher/CipherJob.h"
#include "cli/Report.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <optional>

namespace quorvel::cli {
namespace {

std::u16string WithSeparator(std::u16string folder)
{
    if (!IsPathSeparator(folder.back()))
        folder += PathSeparator();
    return folder;
}

// A name in a folder as the file system tells names apart: the folder's
// identity and the folded name. It stands for a file that does not exist yet.
using NameKey = std::pair<FileId, std::u16string>;

std::optional<NameKey> KeyOf(const std::u16string& folder, const std::u16string& name)
{
    const auto id = IdentityOf(folder.empty() ? u"." : folder);
    if (!id)
        return std::nullopt;
    return NameKey {*id, FoldName(name)};
}

// A FILE word as the run takes it: a path, or why the word names no file.
struct FileWord {
    std::u16string path;
    std::u16string refusal;
};

// The FILE words, each pattern replaced by the files it matches (where the
// program expands them itself: on Windows). Taken once, before any file
// runs, so no output of this run is ever picked up by a pattern.
std::vector<FileWord> ExpandFileWords(const std::vector<std::u16string>& words)
{
    std::vector<FileWord> files;
    for (const std::u16string& word : words) {
        const WildcardMatches matches = ExpandWildcards(word);
        if (!matches.isPattern)
            files.push_back({word, {}});
        else if (!matches.status)
            files.push_back({word, word + u": cannot list its folder: " + ReasonText(matches.status)});
        else if (matches.paths.empty())
            files.push_back({word, u"no file matches '" + word + u"'"});
        for (const std::u16string& path : matches.paths)
            files.push_back({path, {}});
    }
    return files;
}

std::vector<PlannedFile> Plan(const CliOptions& options, const std::vector<FileWord>& files)
{
    const std::u16string prefix = OutputPrefix(options.direction);
    // The inputs by identity (what links and other paths name) and by name
    // (what an earlier file of this run would create).
    std::vector<std::optional<FileId>> sources;
    std::vector<std::optional<NameKey>> sourceNames;
    for (const FileWord& word : files) {
        const std::u16string& source = word.path;
        const bool stdinSource = source == kStdinName;
        sources.push_back(stdinSource ? std::nullopt : IdentityOf(source));
        const std::u16string folder = FolderOf(source);
        sourceNames.push_back(stdinSource ? std::nullopt : KeyOf(folder, NameOf(source)));
    }
    // Standard output may itself be a file, one of the inputs even (-c a >> a).
    const std::optional<FileId> standardOutput = StandardOutputIdentity();

    std::vector<PlannedFile> plan;
    // Outputs already claimed in this run, each with the file that claimed it.
    std::vector<std::pair<NameKey, size_t>> claimed;
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedFile file;
        file.source = files[i].path;
        file.refusal = files[i].refusal;
        if (!file.refusal.empty()) {
            plan.push_back(std::move(file));
            continue;
        }
        if (file.source == kStdinName || options.toStdout) {
            file.fromStdin = file.source == kStdinName;
            file.toStdout = true;
            file.output = kStandardOutput;
            for (size_t j = 0; j < sources.size() && file.refusal.empty(); ++j) {
                if (standardOutput && sources[j] == standardOutput)
                    file.refusal = file.source + u": standard output is the input " + files[j].path +
                                   u" of this run; refused";
            }
            plan.push_back(std::move(file));
            continue;
        }
        file.name = NameOf(file.source);
        file.folder = options.outputDir ? WithSeparator(*options.outputDir) : FolderOf(file.source);
        file.output = file.folder + prefix + file.name;
        if (file.name.empty()) {
            file.refusal = file.source + u": not a file";
            plan.push_back(std::move(file));
            continue;
        }
        // No output of a run is an input of the same run, whether that input
        // exists now or would be made by an earlier file, whatever path names it.
        const auto output = IdentityOf(file.output);
        const auto outputKey = KeyOf(file.folder, prefix + file.name);
        for (size_t j = 0; j < sources.size() && file.refusal.empty(); ++j) {
            if ((output && sources[j] == output) || (outputKey && sourceNames[j] == outputKey))
                file.refusal = j == i ? file.source + u": its output " + file.output + u" is the file itself; refused"
                                      : file.source + u": its output " + file.output + u" is the input " +
                                            files[j].path + u" of this run; refused";
        }
        // Two files of this run with one output: the later one is refused.
        if (file.refusal.empty() && outputKey) {
            const auto found = std::find_if(claimed.begin(), claimed.end(),
                                            [&](const auto& entry) { return entry.first == *outputKey; });
            if (found != claimed.end())
                file.refusal = file.source + u": its output " + file.output + u" is also the output of " +
                               files[found->second].path + u"; refused";
            else
                claimed.emplace_back(*outputKey, i);
        }
        plan.push_back(std::move(file));
    }
    return plan;
}

}  // namespace

std::vector<PlannedFile> PlanRun(const CliOptions& options)
{
    return Plan(options, ExpandFileWords(options.files));
}

}  // namespace quorvel::cli
