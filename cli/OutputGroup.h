// The outputs of a run, written one after another and put on the disk in
// groups: a folder of small files costs about one flush, not one per file
// (cipher/Publish.h). A full group goes to the disk on a thread of its own
// while the next one is written, so the disk's waits overlap the writing.
// Each file is still reported done, and its source removed with --rm, only
// once its output and name are on the disk, on the run's own thread.
#pragma once

#include "cipher/Publish.h"
#include "cli/CommandLine.h"
#include "cli/Plan.h"
#include "cli/Progress.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <vector>

namespace quorvel::cli {

using Clock = std::chrono::steady_clock;

// What a group holds at most before it is put on the disk. Each group pays
// a sweep and a folder flush whatever its size: 256 small files make those
// a small part of the group's time, which the next group's writing hides.
struct GroupLimits {
    size_t files = 256;
    uint64_t bytes = 64 << 20;
    Clock::duration age = std::chrono::milliseconds(500);  // since its first output was written
};

// The limits of a run: the files held open, by the group being written and
// the one on its way to the disk, stay well below the process's limit.
GroupLimits RunGroupLimits();

class OutputGroup {
public:
    // runFiles: the files of the run, for the count on the progress line.
    // stopped: whether the run was interrupted (Interrupted, but for tests).
    OutputGroup(FileSystem& fileSystem, ProgressLine& progress, const CliOptions& options, size_t runFiles,
                GroupLimits limits, std::function<bool()> stopped);
    // What still waits is dropped unnamed, as after an interrupt; the group
    // on its way to the disk gets there first.
    ~OutputGroup()
    {
        try {
            Abandon();
        } catch (...) {
            // Only running out of memory gets here; the outputs go unnamed.
        }
    }
    OutputGroup(const OutputGroup&) = delete;
    OutputGroup& operator=(const OutputGroup&) = delete;

    // Whether an output of size bytes can join the group without taking it
    // past its bytes; a file that cannot is written after a Flush. A file too
    // large for any group is then on its own, as in a run of one file.
    bool Fits(uint64_t size) const;
    // Takes file's written output; sends the group to the disk once it is
    // full or old enough. seconds: the file's own time, for its finished
    // line; its wait for the disk is the group's, told in the run's total.
    void Add(const PlannedFile& file, WrittenOutput output, uint64_t size, double seconds);
    // Reports the files of the group sent to the disk if it is there by now.
    void Poll();
    // Puts every output on the disk, the group on its way there and the
    // waiting ones, and reports each file: done (the finished line, the
    // source removed with --rm) or failed, with its reason. An interrupt
    // before the names are given drops the outputs of that group.
    void Flush();
    // After an interrupt: lets the group on its way to the disk end, then
    // drops the waiting outputs unnamed, and says so.
    void Abandon();

    bool AnyFailed() const { return m_anyFailed; }
    // An interrupt dropped outputs of this group.
    bool WasInterrupted() const { return m_interrupted; }
    // Files of the run whose outputs are on the disk.
    size_t Done() const { return m_done; }

private:
    struct Waiting {
        const PlannedFile* file;
        uint64_t size;
        double seconds;
    };
    // Sends the waiting outputs to the disk, once the group before is there.
    void Send();
    // Waits for the group on its way to the disk and reports its files;
    // those an interrupt dropped go to droppedToo where given.
    void Collect(std::vector<const PlannedFile*>* droppedToo = nullptr);
    void ReportDropped(const std::vector<const PlannedFile*>& dropped);

    FileSystem& m_fileSystem;
    ProgressLine& m_progress;
    const CliOptions& m_options;
    size_t m_runFiles;
    GroupLimits m_limits;
    std::function<bool()> m_stopped;
    std::vector<Waiting> m_waiting;
    std::vector<WrittenOutput> m_outputs;  // one for each of m_waiting
    uint64_t m_bytes = 0;
    Clock::time_point m_since;  // when the first of them joined
    // The group on its way to the disk, and what became of each of its outputs.
    std::vector<Waiting> m_sent;
    std::vector<WrittenOutput> m_sentOutputs;
    std::future<std::vector<PublishResult>> m_results;
    size_t m_done = 0;
    bool m_anyFailed = false;
    bool m_interrupted = false;
};

}  // namespace quorvel::cli
