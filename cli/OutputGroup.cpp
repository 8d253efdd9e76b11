// Groups of written outputs put on the disk together, each file reported as
// it becomes durable.
#include "cli/OutputGroup.h"

#include "cipher/CipherJob.h"
#include "cli/ProcessFile.h"
#include "cli/Report.h"
#include "platform/Text.h"

#include <algorithm>
#include <string>

namespace quorvel::cli {

GroupLimits RunGroupLimits()
{
    // Each waiting output holds one descriptor; the job, the standard streams
    // and a folder being flushed need a few more.
    GroupLimits limits;
    limits.files = std::max<size_t>(1, std::min(limits.files, OpenFileLimit() / 4));
    return limits;
}

OutputGroup::OutputGroup(FileSystem& fileSystem, ProgressLine& progress, const CliOptions& options, size_t runFiles,
                         GroupLimits limits, std::function<bool()> stopped)
    : m_fileSystem(fileSystem), m_progress(progress), m_options(options), m_runFiles(runFiles), m_limits(limits),
      m_stopped(std::move(stopped))
{
}

bool OutputGroup::Fits(uint64_t size) const
{
    return m_waiting.empty() || size <= m_limits.bytes - std::min(m_bytes, m_limits.bytes);
}

void OutputGroup::Add(const PlannedFile& file, WrittenOutput output, uint64_t size, Clock::time_point start)
{
    if (m_waiting.empty())
        m_since = Clock::now();
    m_waiting.push_back({&file, size, start});
    m_outputs.push_back(std::move(output));
    m_bytes += size;
    if (m_waiting.size() >= m_limits.files || m_bytes >= m_limits.bytes || Clock::now() - m_since >= m_limits.age)
        Flush();
}

void OutputGroup::Flush()
{
    if (m_waiting.empty())
        return;
    const std::vector<PublishResult> results = PublishTogether(m_fileSystem, m_outputs, m_stopped);
    std::vector<const PlannedFile*> dropped;
    for (size_t i = 0; i < m_waiting.size(); ++i) {
        const PlannedFile& file = *m_waiting[i].file;
        const PublishResult& result = results[i];
        if (result.status == JobStatus::Cancelled) {
            dropped.push_back(&file);
            continue;
        }
        if (result.status != JobStatus::Succeeded) {
            m_progress.Clear();
            Report(FailureText(file.source, file.output, false, {result.status, result.file, {}}));
            m_anyFailed = true;
            continue;
        }
        ++m_done;
        m_progress.CountFiles(m_done, m_runFiles);
        const double seconds = std::chrono::duration<double>(Clock::now() - m_waiting[i].start).count();
        m_progress.Finish(FormatFinishedLine(file.source, m_waiting[i].size, seconds));
        if (m_options.removeSources && !RemoveSource(file))
            m_anyFailed = true;
    }
    m_waiting.clear();
    m_outputs.clear();
    m_bytes = 0;
    ReportDropped(dropped);
}

void OutputGroup::Abandon()
{
    std::vector<const PlannedFile*> dropped;
    for (const Waiting& waiting : m_waiting)
        dropped.push_back(waiting.file);
    m_waiting.clear();
    m_outputs.clear();  // unnamed: nothing of them stays
    m_bytes = 0;
    ReportDropped(dropped);
}

void OutputGroup::ReportDropped(const std::vector<const PlannedFile*>& dropped)
{
    if (dropped.empty())
        return;
    m_interrupted = true;
    m_progress.Clear();
    const std::u16string which = dropped.size() == 1 ? u"the output of " + dropped.front()->source + u" was"
                                                     : u"the outputs of " + dropped.front()->source + u" to " +
                                                           dropped.back()->source + u" were";
    const std::u16string kept = m_done == 0 ? u"no output of this run was kept"
                                : m_done == 1 ? u"the one output made before is on the disk"
                                              : u"the " + Ascii(std::to_string(m_done)) +
                                                    u" outputs made before are on the disk";
    Report(u"interrupted; " + which + u" not yet on the disk and removed, the files themselves kept; " + kept);
}

}  // namespace quorvel::cli
