// The process's standard input and output as a source and an output of the
// jobs, over each system's read and write loops.
#include "platform/StandardStreams.h"

namespace quorvel {
namespace {

class StandardInput final : public File {
public:
    FileStatus GetLength(uint64_t& length) override
    {
        length = 0;
        return {};
    }

    FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
    {
        return ReadStandardInputFully(buffer, count, got);
    }

    FileStatus Close() override { return {}; }  // the stream is the process's
};

class StandardOutput final : public OutputFile {
public:
    FileStatus Write(const void* buffer, uint32_t count) override { return WriteStandardOutputFully(buffer, count); }

    FileStatus Finish(std::optional<uint32_t>) override { return {}; }
    FileStatus Publish(const std::u16string&, bool) override { return {}; }
};

}  // namespace

std::unique_ptr<File> StandardInputFile(uint32_t blockBytes)
{
    WidenStandardStream(false, blockBytes);
    return std::make_unique<StandardInput>();
}

std::unique_ptr<OutputFile> StandardOutputFile(uint32_t blockBytes)
{
    WidenStandardStream(true, blockBytes);
    return std::make_unique<StandardOutput>();
}

}  // namespace quorvel
