// Outputs put on the disk and named, one or many at a time.
#include "cipher/Publish.h"

#include "cipher/CipherJob.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace quorvel {
namespace {

// Many outputs join a sweep of their file systems, where the system has one
// that costs less than their own flushes. Returns whether it swept them all.
bool SweepAll(FileSystem& fileSystem, std::vector<WrittenOutput>& outputs, std::vector<PublishResult>& results)
{
    if (outputs.size() < 2)
        return false;  // one alone costs one flush anyway
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (const FileStatus joined = outputs[i].file->JoinSweep(outputs[i].permissions); !joined)
            results[i] = {JobStatus::WriteFailed, joined};
    }
    return fileSystem.Sweep();
}

// Finishes every output not failed yet. Each flush that still has to be made
// runs on one of a few threads: a file system that journals commits the
// flushes that wait together in one transaction. Where no thread can be
// made, the flushes left run here.
void FinishAll(std::vector<WrittenOutput>& outputs, std::vector<PublishResult>& results, size_t threads)
{
    std::atomic<size_t> next {0};
    const auto finishRest = [&] {
        for (size_t i = next++; i < outputs.size(); i = next++) {
            if (results[i].status != JobStatus::Succeeded)
                continue;
            if (const FileStatus finished = outputs[i].file->Finish(outputs[i].permissions); !finished)
                results[i] = {JobStatus::WriteFailed, finished};
        }
    };
    std::vector<std::thread> helpers;
    threads = std::min(outputs.size(), threads);
    try {
        while (helpers.size() + 1 < threads)
            helpers.emplace_back(finishRest);
    } catch (...) {
    }
    finishRest();
    for (std::thread& helper : helpers)
        helper.join();
}

}  // namespace

std::vector<PublishResult> PublishTogether(FileSystem& fileSystem, std::vector<WrittenOutput>& outputs,
                                           const std::function<bool()>& stop)
{
    std::vector<PublishResult> results(outputs.size(), PublishResult {JobStatus::Succeeded, {}});
    const auto ok = [&](size_t i) { return results[i].status == JobStatus::Succeeded; };
    // Swept outputs only confirm that their bytes got there, which needs no thread.
    FinishAll(outputs, results, SweepAll(fileSystem, outputs, results) ? 1 : kPublishThreads);

    if (stop && stop()) {
        for (size_t i = 0; i < outputs.size(); ++i) {
            if (ok(i))
                results[i].status = JobStatus::Cancelled;
        }
        outputs.clear();  // none has a name: each goes with its file
        return results;
    }

    for (size_t i = 0; i < outputs.size(); ++i) {
        if (!ok(i))
            continue;
        if (const FileStatus published = outputs[i].file->Publish(outputs[i].path, true); !published)
            results[i] = {JobStatus::CreateOutputFailed, published};
    }

    // Each folder once, for every output named in it; standard output is its reader's.
    std::vector<std::u16string> flushed;
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (!ok(i) || outputs[i].path.empty())
            continue;
        const std::u16string& folder = outputs[i].folder;
        if (std::find(flushed.begin(), flushed.end(), folder) != flushed.end())
            continue;
        flushed.push_back(folder);
        const FileStatus status = fileSystem.FlushFolder(folder);
        if (status)
            continue;
        for (size_t j = i; j < outputs.size(); ++j) {
            if (ok(j) && !outputs[j].path.empty() && outputs[j].folder == folder)
                results[j] = {JobStatus::NotDurable, status};
        }
    }
    outputs.clear();
    return results;
}

}  // namespace quorvel
