// Write-behind outputs: up to two blocks in flight, each in a copy of its own
// (the job reuses its output buffer for the next block as soon as Write
// returns). Two, so that copying one block never waits for the write of the
// one before.
#include "cipher/WriteBehind.h"

#include "cipher/SecureBytes.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace quorvel {
namespace {

class WriteBehindFile final : public OutputFile {
public:
    explicit WriteBehindFile(std::unique_ptr<OutputFile> real) : m_real(std::move(real))
    {
        try {
            m_writer = std::thread([this] { WriterLoop(); });
        } catch (...) {
            // No thread: every write happens in Write itself, as without this class.
        }
    }

    ~WriteBehindFile() override { StopWriter(); }

    FileStatus Write(const void* buffer, uint32_t count) override
    {
        if (!m_writer.joinable())
            return m_real->Write(buffer, count);
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return m_queued < kSlots; });
        if (!m_writeStatus)
            return m_writeStatus;
        // The free slot is not the one the writer is on; copy outside the lock.
        Slot& slot = m_slots[(m_first + m_queued) % kSlots];
        lock.unlock();
        if (slot.bytes.size() < count)
            slot.bytes = SecureBytes(count);
        std::memcpy(slot.bytes.data(), buffer, count);
        slot.count = count;
        lock.lock();
        ++m_queued;
        m_cv.notify_all();
        return {};
    }

    FileStatus EndWrites() override
    {
        StopWriter();
        // An output that waits for its flush keeps no blocks.
        for (Slot& slot : m_slots)
            slot.bytes.Reset();
        if (!m_writeStatus)
            return m_writeStatus;
        return m_real->EndWrites();
    }

    FileStatus JoinSweep(std::optional<uint32_t> permissions) override
    {
        StopWriter();
        if (!m_writeStatus)
            return m_writeStatus;
        return m_real->JoinSweep(permissions);
    }

    FileStatus Finish(std::optional<uint32_t> permissions) override
    {
        StopWriter();
        if (!m_writeStatus)
            return m_writeStatus;
        return m_real->Finish(permissions);
    }

    FileStatus Publish(const std::u16string& path, bool replace) override { return m_real->Publish(path, replace); }

private:
    // Lets the blocks in flight finish, then ends the thread.
    void StopWriter()
    {
        if (!m_writer.joinable())
            return;
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            m_cv.notify_all();
        }
        m_writer.join();
    }

    void WriterLoop()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [&] { return m_queued != 0 || m_stop; });
            if (m_queued == 0)
                return;  // stopped with nothing left
            const Slot& slot = m_slots[m_first];
            lock.unlock();
            const FileStatus status = m_writeStatus ? m_real->Write(slot.bytes.data(), slot.count) : FileStatus {};
            lock.lock();
            if (!status)
                m_writeStatus = status;
            m_first = (m_first + 1) % kSlots;
            --m_queued;
            m_cv.notify_all();
        }
    }

    std::unique_ptr<OutputFile> m_real;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    static constexpr size_t kSlots = 2;
    struct Slot {
        SecureBytes bytes;
        uint32_t count = 0;
    };
    Slot m_slots[kSlots];
    size_t m_first = 0;   // the slot the writer takes next
    size_t m_queued = 0;  // blocks waiting for the writer or being written
    bool m_stop = false;
    FileStatus m_writeStatus;  // success until a write fails; then that failure, and later blocks are dropped
    std::thread m_writer;  // last: started once everything above exists
};

}  // namespace

std::unique_ptr<OutputFile> WithWriteBehind(std::unique_ptr<OutputFile> output)
{
    return std::make_unique<WriteBehindFile>(std::move(output));
}

}  // namespace quorvel
