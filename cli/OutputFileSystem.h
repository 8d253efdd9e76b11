// The file services quorvel-cli gives its jobs: the system's, except that
// publishing keeps a file that appeared under the output's name while the
// job ran, unless replacing was asked for (-f).
#pragma once

#include "platform/FileSystem.h"

namespace quorvel::cli {

class OutputFileSystem final : public FileSystem {
public:
    OutputFileSystem(FileSystem& base, bool replaceExisting) : m_base(base), m_replaceExisting(replaceExisting) {}

    FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) override;
    FileStatus CreateOutput(const std::u16string& folder, std::unique_ptr<OutputFile>& file) override;
    FileStatus CheckNewName(const std::u16string& folder, const std::u16string& name) override;
    FileStatus CheckSizeFits(const std::u16string& folder, uint64_t bytes) override;
    FileStatus FlushFolder(const std::u16string& folder) override;
    bool Sweep() override;

private:
    FileSystem& m_base;
    bool m_replaceExisting;
};

}  // namespace quorvel::cli
