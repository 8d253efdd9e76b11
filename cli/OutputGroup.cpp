// Groups of written outputs put on the disk together, each file reported as
// it becomes durable.
#include "cli/OutputGroup.h"

#include "cipher/CipherJob.h"
#include "cli/ProcessFile.h"
#include "cli/Report.h"
#include "texts/Catalogue.h"
#include "platform/Text.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace quorvel::cli {

GroupLimits RunGroupLimits()
{
    // Each output holds one descriptor until it is named, in the group being
    // written and in the one on its way to the disk; the job, the standard
    // streams and a folder being flushed need a few more.
    GroupLimits limits;
    limits.files = std::max<size_t>(1, std::min(limits.files, OpenFileLimit() / 8));
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

void OutputGroup::Add(const PlannedFile& file, WrittenOutput output, uint64_t size, double seconds)
{
    if (m_waiting.empty())
        m_since = Clock::now();
    m_waiting.push_back({&file, size, seconds});
    m_outputs.push_back(std::move(output));
    m_bytes += size;
    if (m_waiting.size() >= m_limits.files || m_bytes >= m_limits.bytes || Clock::now() - m_since >= m_limits.age)
        Send();
}

void OutputGroup::Poll()
{
    if (m_results.valid() && m_results.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        Collect();
}

void OutputGroup::Flush()
{
    Send();
    Collect();
}

void OutputGroup::Send()
{
    Collect();
    if (m_waiting.empty())
        return;
    m_sent = std::move(m_waiting);
    m_sentOutputs = std::move(m_outputs);
    m_waiting.clear();
    m_outputs.clear();
    m_bytes = 0;
    const auto publish = [this] { return PublishTogether(m_fileSystem, m_sentOutputs, m_stopped); };
    try {
        m_results = std::async(std::launch::async, publish);
    } catch (const std::system_error&) {
        // No thread to be had: the group goes to the disk on this one.
        std::promise<std::vector<PublishResult>> now;
        now.set_value(publish());
        m_results = now.get_future();
    }
}

void OutputGroup::Collect(std::vector<const PlannedFile*>* droppedToo)
{
    if (!m_results.valid())
        return;
    const std::vector<PublishResult> results = m_results.get();
    std::vector<const PlannedFile*> dropped;
    for (size_t i = 0; i < m_sent.size(); ++i) {
        const PlannedFile& file = *m_sent[i].file;
        const PublishResult& result = results[i];
        if (result.status == JobStatus::Cancelled) {
            (droppedToo ? *droppedToo : dropped).push_back(&file);
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
        m_progress.Finish(FormatFinishedLine(file.source, m_sent[i].size, m_sent[i].seconds));
        if (m_options.removeSources && !RemoveSource(file))
            m_anyFailed = true;
    }
    m_sent.clear();
    m_sentOutputs.clear();
    ReportDropped(dropped);
}

void OutputGroup::Abandon()
{
    std::vector<const PlannedFile*> dropped;
    Collect(&dropped);  // they and the waiting ones are said in one line
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
    const std::u16string which =
        dropped.size() == 1
            ? Tr("interrupted; the output of {1} was not yet on the disk and removed, the files themselves kept",
                 {dropped.front()->source})
            : Tr("interrupted; the outputs of {1} to {2} were not yet on the disk and removed, the files "
                 "themselves kept",
                 {dropped.front()->source, dropped.back()->source});
    const std::u16string kept = m_done == 0   ? Tr("no output of this run was kept")
                                : m_done == 1 ? Tr("the one output made before is on the disk")
                                              : Tr("the {1} outputs made before are on the disk",
                                                   {Ascii(std::to_string(m_done))});
    Report(which + u"; " + kept);
}

}  // namespace quorvel::cli
