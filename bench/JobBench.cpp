// One encipherment driven as the dialog drives it: the system's file
// services, a job on its worker thread with the writer behind it, the output
// beside the source. Ends when the completion box would show, that is once
// the output and its name are on the disk.
//
//   build/native/bin/job_bench SOURCE     (writes en_SOURCE beside it)
#include "cipher/CipherJob.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace {

using namespace quorvel;

// The dialog's side of a job, minus the window: it keeps the byte count for
// its taskbar and notes when the completion box would go up.
class DialogLikeOwner final : public CipherJobOwner {
public:
    void JobStarted(CipherDirection) override {}
    void JobEnded(CipherDirection) override { doneAt = std::chrono::steady_clock::now(); }
    void JobReleased(CipherDirection) override {}
    void BlockWritten(CipherDirection, uint64_t done, uint64_t) override { bytes.store(done); }

    std::atomic<uint64_t> bytes {0};
    std::chrono::steady_clock::time_point doneAt;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: job_bench SOURCE\n");
        return 2;
    }
    const std::filesystem::path source = std::filesystem::absolute(argv[1]);
    const auto start = std::chrono::steady_clock::now();
    CipherJob job;
    DialogLikeOwner owner;
    job.SetKey(u"bench-password");
    uint64_t size = 0;
    JobOutcome outcome = job.PrepareJob(source.u16string(), size);
    if (outcome.status == JobStatus::Succeeded)
        outcome = job.LaunchJob(owner, CipherDirection::Encipher, source.filename().u16string());
    if (outcome.status == JobStatus::Succeeded) {
        while (!job.WaitReleased(std::chrono::seconds(1))) {
        }
        job.Wait();
        outcome = job.Outcome();
    }
    if (outcome.status != JobStatus::Succeeded) {
        std::fprintf(stderr, "job_bench: the job failed (status %d, error %d)\n", static_cast<int>(outcome.status),
                     static_cast<int>(outcome.file.error));
        return 1;
    }
    std::printf("%.3f s to the completion box, %llu bytes\n",
                std::chrono::duration<double>(owner.doneAt - start).count(),
                static_cast<unsigned long long>(owner.bytes.load()));
    return 0;
}
