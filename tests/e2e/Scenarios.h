// The scenarios the driver runs against Quorvel.exe, and the session they share.
#pragma once

#include "DriverSupport.h"
#include "cipher/CipherKey.h"
#include "resources/QuorvelIds.h"
#include "tests/CipherReference.h"

#include <string>
#include <vector>

namespace e2e {

struct Options {
    std::wstring exe;
    std::wstring work;    // small files
    std::wstring big;     // large files (a RAM disk when there is one)
    bool bigInRam = false;
    std::wstring cwd;     // the program's working folder; must stay empty
    std::wstring shots;   // screen captures
    std::wstring bitmap;  // the background picture the program carries
    std::string only;     // run only scenarios whose name contains one of these, separated by ','
    unsigned dpi = 0;     // the screen DPI the run was set up with (0: not checked)
};

// Runs every scenario and prints the summary; returns the exit code.
int RunScenarios(const Options& options);

// What a finished job showed.
struct JobResult {
    MessageBoxInfo box;
    double wallMs = 0;     // from the Open dialog closing to the box being seen
    bool watched = false;  // the driver was polling when the box appeared
};

class Session {
public:
    explicit Session(const Options& options);

    const Options& Opts() const { return m_options; }
    Program& App() { return m_program; }
    HWND Item(int id) { return m_program.Item(id); }

    // Starts the program when it is not up; returns false if it cannot.
    void EnsureRunning();
    double LastLaunchMs() const { return m_lastLaunchMs; }

    void SetPassword(const std::wstring& password);
    // Clicks the direction's button and waits for the Open dialog.
    HWND OpenFileDialog(quorvel::CipherDirection direction);
    // Clicks, answers the Open dialog with path, returns when it closed.
    double Pick(quorvel::CipherDirection direction, const std::wstring& path);
    // Waits for the box that ends a job of direction (completion or failure).
    JobResult WaitResult(quorvel::CipherDirection direction, double pickedAt, DWORD timeoutMs = kWaitMs);
    // Dismisses a completion or failure box and waits for the button to come back.
    void Dismiss(const JobResult& result, quorvel::CipherDirection direction);
    // Pick + wait + check the completion box + dismiss.
    JobResult RunJob(quorvel::CipherDirection direction, const std::wstring& path, DWORD timeoutMs = kWaitMs);

    // A box with this caption, or a failure naming what is on screen instead.
    MessageBoxInfo WaitBox(const std::wstring& caption, DWORD timeoutMs = kWaitMs);
    // Fails if any window other than the main dialog shows up within ms.
    void ExpectNothingFor(DWORD ms, const std::string& what);
    // Describes the program's other windows, for failure messages.
    std::string DescribeWindows();

    // Saves a screen capture named after the state; returns it for pixel checks.
    ScreenImage Shot(const std::string& name);

    // Paths in the small-file and large-file folders.
    std::wstring Work(const std::wstring& name) const { return m_options.work + L"\\" + name; }
    std::wstring Big(const std::wstring& name) const { return m_options.big + L"\\" + name; }

    // Bytes per millisecond the program managed on the last large job (0 until measured).
    double throughput = 0;

private:
    Options m_options;
    Program m_program;
    bool m_firstLaunch = true;
    double m_lastLaunchMs = 0;
    int m_shotCount = 0;
};

// Size of a large job that keeps the program busy for about ms milliseconds at
// the speed the first large job showed, within least..cap bytes.
uint64_t LargeJobSize(Session& s, double ms, uint64_t least, uint64_t cap);
// Starts an encipherment, waits until it visibly runs, then starts a
// decipherment; true if both ran at the same time.
bool StartBoth(Session& s, const std::wstring& enSource, const std::wstring& deSource);

// What an output must hold: the format's reference.
using quorvel::test::ReferenceFile;
// Compares a large output with its source block by block without loading either whole.
void VerifyLargeOutput(const std::wstring& source, const std::wstring& output, const std::u16string& password,
                       quorvel::CipherDirection direction);
std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed);
// Writes a large file of size bytes quickly (a repeated random pattern, shifted per MiB).
void WriteLargeFile(const std::wstring& path, uint64_t size, uint32_t seed);

// The seconds a completion text reports, or -1 if it is not one.
double ReportedSeconds(const std::wstring& text);

// Scenario bodies, grouped by subject: a name and what runs, which may write
// details to show beside the name.
using ScenarioList = std::vector<std::pair<std::string, void (*)(Session&, std::string&)>>;
void AddJobScenarios(ScenarioList& list);
void AddWindowScenarios(ScenarioList& list);
void AddAppearanceScenarios(ScenarioList& list);
void AddShellScenarios(ScenarioList& list);
void AddEndingScenarios(ScenarioList& list);

}  // namespace e2e
