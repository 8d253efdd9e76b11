// Outputs for quorvel-cli: the system's, published without replacing a file
// that appeared meanwhile unless -f asks for it.
#include "cli/OutputFileSystem.h"

namespace quorvel::cli {
namespace {

// Publishes without replacing an existing file, unless told to.
class KeepingFile final : public OutputFile {
public:
    KeepingFile(std::unique_ptr<OutputFile> real, bool replaceExisting)
        : m_real(std::move(real)), m_replaceExisting(replaceExisting)
    {
    }

    FileStatus Write(const void* buffer, uint32_t count) override { return m_real->Write(buffer, count); }
    FileStatus EndWrites() override { return m_real->EndWrites(); }
    FileStatus JoinSweep(std::optional<uint32_t> permissions) override { return m_real->JoinSweep(permissions); }
    FileStatus Finish(std::optional<uint32_t> permissions) override { return m_real->Finish(permissions); }
    FileStatus Publish(const std::u16string& path, bool replace) override
    {
        return m_real->Publish(path, replace && m_replaceExisting);
    }

private:
    std::unique_ptr<OutputFile> m_real;
    bool m_replaceExisting;
};

}  // namespace

FileStatus OutputFileSystem::OpenRead(const std::u16string& path, std::unique_ptr<File>& file)
{
    return m_base.OpenRead(path, file);
}

FileStatus OutputFileSystem::CreateOutput(const std::u16string& folder, std::unique_ptr<OutputFile>& file)
{
    std::unique_ptr<OutputFile> real;
    const FileStatus status = m_base.CreateOutput(folder, real);
    if (!status)
        return status;
    file = std::make_unique<KeepingFile>(std::move(real), m_replaceExisting);
    return status;
}

FileStatus OutputFileSystem::CheckNewName(const std::u16string& folder, const std::u16string& name)
{
    return m_base.CheckNewName(folder, name);
}

FileStatus OutputFileSystem::CheckSizeFits(const std::u16string& folder, uint64_t bytes)
{
    return m_base.CheckSizeFits(folder, bytes);
}

FileStatus OutputFileSystem::FlushFolder(const std::u16string& folder)
{
    return m_base.FlushFolder(folder);
}

bool OutputFileSystem::Sweep()
{
    return m_base.Sweep();
}

}  // namespace quorvel::cli
