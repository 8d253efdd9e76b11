// A configurable stand-in for the file services: sources and outputs from the
// system's files or from memory, and hooks at every call that can fail one,
// hold it, or watch it.
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace quorvel::test {

// A source of size bytes that fill writes as they are read; it tells its
// length, or 0 as a stream does.
class MadeSource final : public File {
public:
    using Fill = std::function<void(uint64_t offset, uint8_t* bytes, uint32_t count)>;
    MadeSource(uint64_t size, Fill fill, bool tellsLength = true)
        : m_size(size), m_fill(std::move(fill)), m_tellsLength(tellsLength)
    {
    }
    FileStatus GetLength(uint64_t& length) override { return length = m_tellsLength ? m_size : 0, FileStatus {}; }
    FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
    {
        const uint64_t left = m_size - m_offset;
        got = left < count ? static_cast<uint32_t>(left) : count;
        if (got != 0)
            m_fill(m_offset, static_cast<uint8_t*>(buffer), got);
        m_offset += got;
        return {};
    }
    FileStatus Close() override { return {}; }

private:
    uint64_t m_size;
    Fill m_fill;
    bool m_tellsLength;
    uint64_t m_offset = 0;
};

// These bytes as a stream (a source of unknown length).
inline std::unique_ptr<File> StreamOf(std::vector<uint8_t> bytes)
{
    const auto data = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    return std::make_unique<MadeSource>(
        data->size(), [data](uint64_t at, uint8_t* p, uint32_t n) { std::memcpy(p, data->data() + at, n); }, false);
}

// What an output in memory was given.
struct Written {
    std::vector<uint8_t> bytes;
    uint64_t size = 0;
    // A write past this many bytes fails, as on a full disk.
    uint64_t capacity = UINT64_MAX;
    // When set, sees each write at its offset instead of keeping it, for
    // sizes no memory holds.
    std::function<void(uint64_t offset, const uint8_t* bytes, uint32_t count)> check;
    bool finished = false;
};

class MemoryOutput final : public OutputFile {
public:
    explicit MemoryOutput(Written& written) : m_written(written) {}
    FileStatus Write(const void* buffer, uint32_t count) override
    {
        if (m_written.size + count > m_written.capacity)
            return {FileError::DiskFull, 28};
        const auto* p = static_cast<const uint8_t*>(buffer);
        if (m_written.check)
            m_written.check(m_written.size, p, count);
        else
            m_written.bytes.insert(m_written.bytes.end(), p, p + count);
        m_written.size += count;
        return {};
    }
    FileStatus Finish(std::optional<uint32_t>) override { return m_written.finished = true, FileStatus {}; }
    FileStatus Publish(const std::u16string&, bool) override { return {}; }

private:
    Written& m_written;
};

enum class FileCall { Create, Read, Write, Finish, Publish };
// Called before each call with its count on that file (from 1; Create counts
// on the file system) and the path it concerns (the source, the output's
// folder, the name published). A failure returned is the call's: a write
// that fails leaves half its bytes, as a full disk does, and Finish fails
// after the real one ran; every other call fails without running.
using FileHook = std::function<FileStatus(FileCall call, int n, const std::u16string& path)>;

// A hook failing the n-th call of that kind with status.
inline FileHook FailAt(FileCall which, int nth, FileStatus status)
{
    return [=](FileCall call, int n, const std::u16string&) {
        return call == which && n == nth ? status : FileStatus {};
    };
}

class FakeFileSystem final : public FileSystem {
public:
    // Where sources come from: the system's files unless this is set.
    std::function<std::unique_ptr<File>(const std::u16string& path)> makeSource;
    // Where outputs go when set: to memory, where any name fits and needs no flush.
    Written* memory = nullptr;
    FileHook hook;
    // The n-th read of each source (from 1) gives half of what it read: 0 for none.
    int shortRead = 0;

    FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) override
    {
        std::unique_ptr<File> inner;
        if (makeSource)
            inner = makeSource(path);
        else if (FileStatus status = SystemFileSystem().OpenRead(path, inner); !status)
            return status;
        file = std::make_unique<Source>(*this, path, std::move(inner));
        return {};
    }
    FileStatus CreateOutput(const std::u16string& folder, std::unique_ptr<OutputFile>& file) override
    {
        if (FileStatus status = At(FileCall::Create, ++m_creates, folder); !status)
            return status;
        std::unique_ptr<OutputFile> inner;
        if (memory)
            inner = std::make_unique<MemoryOutput>(*memory);
        else if (FileStatus status = SystemFileSystem().CreateOutput(folder, inner); !status)
            return status;
        file = std::make_unique<Output>(*this, folder, std::move(inner));
        return {};
    }
    FileStatus CheckNewName(const std::u16string& folder, const std::u16string& name) override
    {
        return memory ? FileStatus {} : SystemFileSystem().CheckNewName(folder, name);
    }
    FileStatus CheckSizeFits(const std::u16string& folder, uint64_t bytes) override
    {
        return memory ? FileStatus {} : SystemFileSystem().CheckSizeFits(folder, bytes);
    }
    FileStatus FlushFolder(const std::u16string& folder) override
    {
        return memory ? FileStatus {} : SystemFileSystem().FlushFolder(folder);
    }

private:
    FileStatus At(FileCall call, int n, const std::u16string& path) const
    {
        return hook ? hook(call, n, path) : FileStatus {};
    }

    class Source final : public File {
    public:
        Source(FakeFileSystem& fs, std::u16string path, std::unique_ptr<File> inner)
            : m_fs(fs), m_path(std::move(path)), m_inner(std::move(inner))
        {
        }
        FileStatus GetLength(uint64_t& length) override { return m_inner->GetLength(length); }
        FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
        {
            if (FileStatus status = m_fs.At(FileCall::Read, ++m_reads, m_path); !status)
                return status;
            const FileStatus status = m_inner->Read(buffer, count, got);
            if (m_reads == m_fs.shortRead)
                got /= 2;
            return status;
        }
        FileStatus Close() override { return m_inner->Close(); }
        std::optional<uint32_t> Permissions() override { return m_inner->Permissions(); }

    private:
        FakeFileSystem& m_fs;
        std::u16string m_path;
        std::unique_ptr<File> m_inner;
        int m_reads = 0;
    };

    class Output final : public OutputFile {
    public:
        Output(FakeFileSystem& fs, std::u16string folder, std::unique_ptr<OutputFile> inner)
            : m_fs(fs), m_folder(std::move(folder)), m_inner(std::move(inner))
        {
        }
        FileStatus Write(const void* buffer, uint32_t count) override
        {
            if (FileStatus status = m_fs.At(FileCall::Write, ++m_writes, m_folder); !status) {
                m_inner->Write(buffer, count / 2);
                return status;
            }
            return m_inner->Write(buffer, count);
        }
        FileStatus EndWrites() override { return m_inner->EndWrites(); }
        FileStatus Finish(std::optional<uint32_t> permissions) override
        {
            const FileStatus status = m_inner->Finish(permissions);
            const FileStatus fault = m_fs.At(FileCall::Finish, 1, m_folder);
            return fault ? status : fault;
        }
        FileStatus Publish(const std::u16string& path, bool replace) override
        {
            if (FileStatus status = m_fs.At(FileCall::Publish, 1, path); !status)
                return status;
            return m_inner->Publish(path, replace);
        }

    private:
        FakeFileSystem& m_fs;
        std::u16string m_folder;
        std::unique_ptr<OutputFile> m_inner;
        int m_writes = 0;
    };

    int m_creates = 0;
};

}  // namespace quorvel::test
