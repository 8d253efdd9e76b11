// Outputs put on the disk and named, one or many at a time.
#include "cipher/Publish.h"

#include "cipher/CipherJob.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quorvel {
namespace {

// The threads that run the flushes of outputs put on the disk together, kept
// from one group to the next: a run of many groups would otherwise start and
// end up to 63 threads for each, and under Wine a thread costs more to start
// than a small file's flush.
class FlushThreads {
public:
    static FlushThreads& Shared()
    {
        static FlushThreads threads;
        return threads;
    }

    ~FlushThreads()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
    }

    // Runs work on this thread and on up to helpers of these at once; returns
    // once every run of it has returned. Where no thread can be started,
    // fewer help.
    void Run(size_t helpers, const std::function<void()>& work)
    {
        const std::lock_guard one(m_runMutex);
        std::unique_lock lock(m_mutex);
        try {
            while (m_threads.size() < helpers)
                m_threads.emplace_back([this] { Loop(); });
        } catch (...) {
        }
        m_work = &work;
        m_wanted = std::min(helpers, m_threads.size());
        m_wake.notify_all();
        lock.unlock();
        work();
        lock.lock();
        m_wanted = 0;  // work() returned: nothing is left to take
        m_idle.wait(lock, [&] { return m_running == 0; });
        m_work = nullptr;
    }

private:
    FlushThreads() = default;

    void Loop()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || m_wanted > 0; });
            if (m_stop)
                return;
            --m_wanted;
            ++m_running;
            const std::function<void()>& work = *m_work;
            lock.unlock();
            work();
            lock.lock();
            if (--m_running == 0)
                m_idle.notify_all();
        }
    }

    std::mutex m_runMutex;  // one Run at a time
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::vector<std::thread> m_threads;
    const std::function<void()>* m_work = nullptr;
    size_t m_wanted = 0;   // helpers still to join the work
    size_t m_running = 0;  // helpers running it
    bool m_stop = false;
};

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
// flushes that wait together in one transaction.
void FinishAll(std::vector<WrittenOutput>& outputs, std::vector<PublishResult>& results, size_t threads)
{
    std::atomic<size_t> next {0};
    const std::function<void()> finishRest = [&] {
        for (size_t i = next++; i < outputs.size(); i = next++) {
            if (results[i].status != JobStatus::Succeeded)
                continue;
            if (const FileStatus finished = outputs[i].file->Finish(outputs[i].permissions); !finished)
                results[i] = {JobStatus::WriteFailed, finished};
        }
    };
    threads = std::min(outputs.size(), threads);
    if (threads <= 1)
        finishRest();
    else
        FlushThreads::Shared().Run(threads - 1, finishRest);
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
