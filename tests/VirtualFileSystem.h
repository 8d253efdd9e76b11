// A simulated file system for jobs too large for a disk.
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quorvel::test {

// A source of any claimed size that exists only as a formula, and an output
// that checks sampled bytes against the format as they arrive and may fill up
// after `capacity` bytes: sizes past 4 GiB (or past a 32-bit block count)
// at full scale without the disk.
class VirtualFileSystem final : public FileSystem {
public:
    static uint8_t PlainByte(uint64_t offset) { return static_cast<uint8_t>((offset * 2654435761u) >> 13); }

    VirtualFileSystem(uint64_t size, std::vector<uint8_t> key, uint64_t capacity = UINT64_MAX)
        : m_size(size), m_key(std::move(key)), m_capacity(capacity)
    {
    }

    FileStatus OpenRead(const std::u16string&, std::unique_ptr<File>& file) override
    {
        file = std::make_unique<Source>(m_size);
        return {};
    }
    FileStatus CreateOutput(const std::u16string&, std::unique_ptr<OutputFile>& file) override
    {
        file = std::make_unique<Sink>(*this);
        return {};
    }
    FileStatus CheckNewName(const std::u16string&, const std::u16string&) override { return {}; }
    FileStatus FlushFolder(const std::u16string&) override { return {}; }

    uint64_t written = 0;
    uint64_t mismatches = 0;

private:
    class Source final : public File {
    public:
        explicit Source(uint64_t size) : m_size(size) {}
        FileStatus GetLength(uint64_t& length) override { return length = m_size, FileStatus {}; }
        FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
        {
            const uint64_t left = m_size - m_offset;
            got = left < count ? static_cast<uint32_t>(left) : count;
            auto* p = static_cast<uint8_t*>(buffer);
            for (uint32_t i = 0; i < got; ++i)
                p[i] = PlainByte(m_offset + i);
            m_offset += got;
            return {};
        }
        FileStatus Close() override { return {}; }

    private:
        uint64_t m_size;
        uint64_t m_offset = 0;
    };

    class Sink final : public OutputFile {
    public:
        explicit Sink(VirtualFileSystem& fs) : m_fs(fs) {}
        FileStatus Write(const void* buffer, uint32_t count) override
        {
            if (m_fs.written + count > m_fs.m_capacity)
                return {FileError::DiskFull, 28};
            // Check the block against the format: out[i] = plain[start + n-1-i] + key[i mod K].
            const auto* p = static_cast<const uint8_t*>(buffer);
            const uint64_t start = m_fs.written;
            const size_t k = m_fs.m_key.size();
            for (uint32_t i = 0; i < count; i += 997) {
                const auto expected = static_cast<uint8_t>(PlainByte(start + count - 1 - i) + m_fs.m_key[i % k]);
                m_fs.mismatches += p[i] != expected;
            }
            m_fs.written += count;
            return {};
        }
        FileStatus Finish(std::optional<uint32_t>) override { return {}; }
        FileStatus Publish(const std::u16string&, bool) override { return {}; }

    private:
        VirtualFileSystem& m_fs;
    };

    uint64_t m_size;
    std::vector<uint8_t> m_key;
    uint64_t m_capacity;
};

}  // namespace quorvel::test
