// The run's plan: outputs, collisions, and outputs that are inputs.
#include "cli/Plan.h"

#include "cipher/CipherJob.h"
#include "cli/Report.h"
#include "texts/Catalogue.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <map>
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

// Each folder's identity is looked up once: a run of many files names few folders.
class NameKeys {
public:
    std::optional<NameKey> Of(const std::u16string& folder, const std::u16string& name)
    {
        auto found = m_folders.find(folder);
        if (found == m_folders.end())
            found = m_folders.emplace(folder, IdentityOf(folder.empty() ? u"." : folder)).first;
        if (!found->second)
            return std::nullopt;
        return NameKey {*found->second, FoldName(name)};
    }

private:
    std::map<std::u16string, std::optional<FileId>> m_folders;
};

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
            files.push_back({word, Tr("{1}: cannot list its folder: {2}", {word, ReasonText(matches.status)})});
        else if (matches.paths.empty())
            files.push_back({word, Tr("no file matches '{1}'", {word})});
        for (const std::u16string& path : matches.paths)
            files.push_back({path, {}});
    }
    return files;
}

std::vector<PlannedFile> Plan(const CliOptions& options, const std::vector<FileWord>& files)
{
    const std::u16string prefix = OutputPrefix(options.direction);
    // The first input with each identity (what links and other paths name)
    // and with each name (what an earlier file of this run would create);
    // looked up, not searched, so a run of many files plans in no time.
    std::map<FileId, size_t> sourceIds;
    std::map<NameKey, size_t> sourceNames;
    NameKeys keys;
    for (size_t j = 0; j < files.size(); ++j) {
        const std::u16string& source = files[j].path;
        if (source == kStdinName)
            continue;
        if (const auto id = IdentityOf(source))
            sourceIds.emplace(*id, j);
        if (const auto key = keys.Of(FolderOf(source), NameOf(source)))
            sourceNames.emplace(*key, j);
    }
    // Standard output may itself be a file, one of the inputs even (-c a >> a).
    const std::optional<FileId> standardOutput = StandardOutputIdentity();

    std::vector<PlannedFile> plan;
    // Outputs already claimed in this run, each with the file that claimed it.
    std::map<NameKey, size_t> claimed;
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
            if (const auto input = standardOutput ? sourceIds.find(*standardOutput) : sourceIds.end();
                input != sourceIds.end())
                file.refusal = Tr("{1}: standard output is the input {2} of this run; refused",
                                  {file.source, files[input->second].path});
            plan.push_back(std::move(file));
            continue;
        }
        file.name = NameOf(file.source);
        file.folder = options.outputDir ? WithSeparator(*options.outputDir) : FolderOf(file.source);
        file.output = file.folder + prefix + file.name;
        if (file.name.empty()) {
            // "d/" is refused as "d" would be: the trailing separator changes nothing.
            if (IsFolder(file.source))
                file.refusal = Tr("{1}: cannot open: {2}", {file.source, ReasonText({FileError::IsFolder, 0})});
            else if (!PathExists(file.source))
                file.refusal = Tr("{1}: cannot open: {2}", {file.source, ReasonText({FileError::NotFound, 0})});
            else
                file.refusal = Tr("{1}: not a file", {file.source});
            plan.push_back(std::move(file));
            continue;
        }
        // No output of a run is an input of the same run, whether that input
        // exists now or would be made by an earlier file, whatever path names it.
        const auto output = IdentityOf(file.output);
        const auto outputKey = keys.Of(file.folder, prefix + file.name);
        std::optional<size_t> input;  // the first input that the output is
        if (const auto byId = output ? sourceIds.find(*output) : sourceIds.end(); byId != sourceIds.end())
            input = byId->second;
        if (const auto byName = outputKey ? sourceNames.find(*outputKey) : sourceNames.end();
            byName != sourceNames.end())
            input = std::min(input.value_or(byName->second), byName->second);
        if (input)
            file.refusal = *input == i ? Tr("{1}: its output {2} is the file itself; refused", {file.source, file.output})
                                       : Tr("{1}: its output {2} is the input {3} of this run; refused",
                                            {file.source, file.output, files[*input].path});
        // Two files of this run with one output: the later one is refused.
        if (file.refusal.empty() && outputKey) {
            if (const auto [found, first] = claimed.emplace(*outputKey, i); !first)
                file.refusal = Tr("{1}: its output {2} is also the output of {3}; refused",
                                  {file.source, file.output, files[found->second].path});
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
