// The program's main window: password, the two directions' file names and
// sizes, the clock; the interface side of both cipher jobs.
#pragma once

#include "cipher/CipherJob.h"
#include "dialog/DialogJobState.h"
#include "dialog/DirectionControls.h"
#include "dialog/JobProgress.h"
#include "platform/win32/Dialog.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/Taskbar.h"
#include "resources/QuorvelIds.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

namespace win32 {
struct PickedFile;
struct OpenFileOptions;
}

// Posted to itself once the dialog is up: check the files of the command line.
constexpr unsigned WM_COMMAND_LINE_FILES = 0x0503;

// What the dialog works with beyond its window. The defaults are the real
// ones; tests hand in stand-ins.
struct DialogServices {
    FileSystem* fileSystem = nullptr;  // null: the system's files
    // Makes the taskbar progress for the dialog's window; empty: the system's
    // taskbar button. May return null: no progress is shown then.
    std::function<std::unique_ptr<win32::TaskbarProgress>(HWND)> taskbar;
};

class CQuorvelDlg : public win32::CDialogImpl<CQuorvelDlg>, private CipherJobOwner {
    friend class win32::CDialogImpl<CQuorvelDlg>;
    using Entry = win32::MessageEntry<CQuorvelDlg>;

    static constexpr auto MessageMap()
    {
        return std::array {
            Entry {WM_SYSCOMMAND, 0, 0, &CQuorvelDlg::OnSysCommand},
            Entry {WM_PAINT, 0, 0, &CQuorvelDlg::OnPaint},
            Entry {WM_QUERYDRAGICON, 0, 0, &CQuorvelDlg::OnQueryDragIcon},
            Entry {win32::kAnyCtlColor, 0, 0, &CQuorvelDlg::OnCtlColor},
            Entry {WM_COMMAND, IDC_ENCIPHER_BUTTON, BN_CLICKED, &CQuorvelDlg::OnEncipherClicked},
            Entry {WM_COMMAND, IDC_DECIPHER_BUTTON, BN_CLICKED, &CQuorvelDlg::OnDecipherClicked},
            Entry {WM_TIMER, 0, 0, &CQuorvelDlg::OnTimer},
            Entry {WM_CHAR, 0, 0, &CQuorvelDlg::OnChar},
            Entry {WM_CIPHER_DONE, 0, 0, &CQuorvelDlg::OnCipherDone},
            Entry {WM_JOB_STARTED, 0, 0, &CQuorvelDlg::OnJobStarted},
            Entry {WM_JOB_RELEASED, 0, 0, &CQuorvelDlg::OnJobReleased},
            Entry {WM_DROPFILES, 0, 0, &CQuorvelDlg::OnDropFiles},
            Entry {WM_COMMAND_LINE_FILES, 0, 0, &CQuorvelDlg::OnCommandLineFiles},
            Entry {WM_DPICHANGED, 0, 0, &CQuorvelDlg::OnDpiChanged},
            Entry {WM_SIZE, 0, 0, &CQuorvelDlg::OnSize},
        };
    }

public:
    explicit CQuorvelDlg(DialogServices services = {});
    ~CQuorvelDlg() override;

    HICON m_hIcon;
    std::u16string m_strPassword;
    // Full paths of the files named on the command line, set before the dialog runs.
    std::vector<std::u16string> m_commandLineFiles;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnUnexpectedException(const win32::UnexpectedError& error) override;

private:
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnEncipherClicked() { StartJob(CipherDirection::Encipher); }
    void OnDecipherClicked() { StartJob(CipherDirection::Decipher); }
    void OnTimer(UINT_PTR id);
    void OnChar(UINT character, UINT repeatCount, UINT flags);
    LRESULT OnCipherDone(WPARAM wParam, LPARAM lParam);
    LRESULT OnJobStarted(WPARAM wParam, LPARAM lParam);
    LRESULT OnJobReleased(WPARAM wParam, LPARAM lParam);

    // dropped stands for the Open dialog's answer when a file was dropped.
    void StartJob(CipherDirection direction, const win32::PickedFile* dropped = nullptr);
    // Brings the direction's tick count up to the time since its launch;
    // timerTick adds the tick of a timer message first.
    void CatchUpTicks(CipherDirection direction, bool timerTick);
    void UpdateClock();
    // Ends the dialog with result, asking first while jobs run.
    void Close(int result);
    // Takes down the question Close asked, as if answered No: the jobs it
    // asked about have ended.
    void DismissCloseQuestion();
    // After a confirmed close: ends now, or stops the running jobs and ends
    // at the last one's release.
    void EndStoppingJobs(bool endNow, int result);
    void ShowBox(const std::u16string& text, const std::u16string& caption);
    // The box for a job that could not start or ended in a failure.
    void ShowFailure(const JobOutcome& outcome, const std::u16string& sourceName);

    // CipherJobOwner, called on the workers' threads: each one only posts or
    // sends to the window, so all state changes happen on the interface thread.
    void JobStarted(CipherDirection direction) override;
    void JobEnded(CipherDirection direction) override;
    void JobReleased(CipherDirection direction) override;
    // Only stores the count: the interface thread reads it on its tick timers.
    void BlockWritten(CipherDirection direction, uint64_t done, uint64_t total) override;

    // The drawing (QuorvelDlgPainting.cpp): the picture behind the controls,
    // the minimised window's icon, the controls' colours.
    void OnPaint();
    void PaintBackground();
    HCURSOR OnQueryDragIcon();
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT type);

    // The dialog in the Windows shell (QuorvelDlgShell.cpp): dropped files,
    // progress on the taskbar button, icons at the screen's DPI.
    void InitShell();
    LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam);
    // The command line's files get a drop's refusals; one that passes is
    // where the next Open dialog starts.
    LRESULT OnCommandLineFiles(WPARAM wParam, LPARAM lParam);
    // options, starting at the command line's file if one is waiting (once).
    win32::OpenFileOptions WithCommandLineFile(win32::OpenFileOptions options);
    LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
    void OnSize();
    void LoadIconsForDpi(UINT dpi);
    void ProgressStarted(CipherDirection direction, uint64_t size);
    void ProgressEnded(CipherDirection direction, JobStatus status);
    void ProgressDismissed(CipherDirection direction);
    // Takes the workers' block counts and shows what changed.
    void RefreshProgress();

    // One direction of the dialog: its controls, its job, and what the dialog
    // shows and counts of that job.
    struct DirectionSide {
        DirectionSide(const DirectionControls& controls, FileSystem& files) : controls(controls), job(files) {}

        const DirectionControls& controls;
        // The text of its name box: the file last picked for it.
        std::u16string name;
        // The bare source name of its running job, for the job's failure text.
        std::u16string runningName;
        int32_t ticks = 0;
        ULONGLONG launchTime = 0;  // GetTickCount64 at the launch
        // Bytes written by its running worker, stored on the worker's thread.
        std::atomic<uint64_t> bytesDone {0};
        // Last, so it goes first: its destructor waits for a running worker,
        // which may still store bytesDone.
        CipherJob job;
    };

    DirectionSide& SideOf(CipherDirection direction) { return m_sides[DirectionIndex(direction)]; }
    // The services' file system, or the system's.
    FileSystem& Files() const;

    DialogServices m_services;
    DialogJobState m_jobState;
    // The window the workers post to; kept past the window's destruction so
    // a late notice goes to a dead handle, never to a cleared one.
    HWND m_hWndForJobs = nullptr;
    // In kDirectionControls' order.
    std::array<DirectionSide, 2> m_sides;
    JobProgress m_progress;
    std::unique_ptr<win32::TaskbarProgress> m_taskbar;
    ProgressView m_shownProgress;
    // The window's icons at the DPI of its screen; m_hIcon serves where none could be made.
    win32::UniqueIcon m_bigIcon;
    win32::UniqueIcon m_smallIcon;
    // The command line's file, until an Open dialog has started at it.
    std::u16string m_strPendingPath;
};

}  // namespace quorvel
