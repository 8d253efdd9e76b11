// The file services quorvel-cli gives its jobs: the system's, with two changes.
//  - Publishing keeps a file that appeared under the output's name while the
//    job ran, unless replacing was asked for (-f).
//  - Optionally, outputs are written on a thread of their own, so that writing
//    one block overlaps reading and transforming the next; with a second core
//    free, the write, usually the slowest step, sets the pace.
#pragma once

#include "platform/FileSystem.h"

namespace quorvel::cli {

class OutputFileSystem final : public FileSystem {
public:
    OutputFileSystem(FileSystem& base, bool replaceExisting, bool writeBehind)
        : m_base(base), m_replaceExisting(replaceExisting), m_writeBehind(writeBehind)
    {
    }

    FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) override;
    // The output takes a copy of each block and returns at once (at most two
    // blocks wait); a failed write is reported by the next Write or by
    // Finish, so no failure goes unseen.
    FileStatus CreateOutput(const std::u16string& folder, std::unique_ptr<OutputFile>& file) override;
    FileStatus CheckNewName(const std::u16string& folder, const std::u16string& name) override;

    // An output made elsewhere (standard output), written behind as these are.
    std::unique_ptr<OutputFile> WithWriteBehind(std::unique_ptr<OutputFile> output) const;

private:
    FileSystem& m_base;
    bool m_replaceExisting;
    bool m_writeBehind;
};

}  // namespace quorvel::cli
