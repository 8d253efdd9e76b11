// The main dialog: password check, file pick, launch, tick counting, the
// completion and failure boxes and the clock.
#include "dialog/win32/QuorvelDlg.h"

#include "dialog/DisplayTexts.h"
#include "dialog/win32/AboutDlg.h"
#include "platform/win32/FileDialog.h"
#include "platform/Wipe.h"
#include "platform/win32/Gdi.h"

#include <commdlg.h>

namespace quorvel {
namespace {

constexpr UINT kClockPeriod = 1000;   // ms
constexpr UINT kTickPeriod = kTickMilliseconds;  // the completion text counts tenths of a second
constexpr DWORD kOpenFlags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;

constexpr char16_t kAllFilesFilter[] = u"All Files (*.*)|*.*||";

struct CloseQuestionSearch {
    HWND owner;
    HWND found;
};

// EnumThreadWindows' callback: stops at the owner's box captioned as the question.
BOOL CALLBACK FindCloseQuestion(HWND window, LPARAM param)
{
    auto& search = *reinterpret_cast<CloseQuestionSearch*>(param);
    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);
    if (::GetWindow(window, GW_OWNER) != search.owner ||
        std::u16string(reinterpret_cast<const char16_t*>(caption)) != kCloseWhileRunningCaption)
        return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

CQuorvelDlg::CQuorvelDlg(DialogServices services)
    : CDialogImpl(IDD_QUORVEL_DIALOG),
      m_hIcon(win32::LoadIconResource(IDR_MAINFRAME)),
      m_services(std::move(services)),
      m_sides {DirectionSide {kDirectionControls[0], Files()}, DirectionSide {kDirectionControls[1], Files()}}
{
}

CQuorvelDlg::~CQuorvelDlg()
{
    // As quorvel-cli does with its copies: the password stays in no freed memory.
    Wipe(m_strPassword);
}

void CQuorvelDlg::DoDataExchange()
{
    DDX_Text(IDC_PASSWORD, m_strPassword);
    for (DirectionSide& side : m_sides)
        DDX_Text(side.controls.nameId, side.name);
}

FileSystem& CQuorvelDlg::Files() const
{
    return m_services.fileSystem != nullptr ? *m_services.fileSystem : SystemFileSystem();
}

BOOL CQuorvelDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hWndForJobs = m_hWnd;

    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        const std::u16string about = win32::LoadResourceString(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, win32::Wide(about));
        }
    }
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    InitShell();
    // Group box titles are drawn in the dialog's magenta, like the labels.
    win32::UseClassicGroupBoxes(m_hWnd);

    UpdateClock();
    SetTimer(CLOCK_TIMER, kClockPeriod);
    PaintBackground();
    return TRUE;
}

void CQuorvelDlg::OnSysCommand(UINT id, LPARAM)
{
    // The system keeps the low four bits of menu command ids for itself.
    const UINT command = id & 0xFFFF;
    if (command >= IDM_ABOUTBOX && command <= IDM_ABOUTBOX + 0xF) {
        CAboutDlg about(m_hWnd);
        about.DoModal();
        return;
    }
    PassToDefault();
}

void CQuorvelDlg::ShowBox(const std::u16string& text, const std::u16string& caption)
{
    MessageBox(text, caption, MB_OK);
}

void CQuorvelDlg::ShowFailure(const JobOutcome& outcome, const std::u16string& sourceName)
{
    const MessageText failure = FormatFailureText(outcome, sourceName);
    ShowBox(failure.text, failure.caption);
}

void CQuorvelDlg::StartJob(CipherDirection direction, const win32::PickedFile* dropped)
{
    // A second click while the file dialog or a box of this start is up, or
    // while the direction's worker runs, is not a new job.
    if (!m_jobState.BeginStart(direction))
        return;
    struct EndStart {
        DialogJobState& state;
        CipherDirection direction;
        ~EndStart() { state.EndStart(direction); }
    } endStart {m_jobState, direction};

    DirectionSide& side = SideOf(direction);
    const DirectionControls& controls = side.controls;
    CipherJob& job = side.job;

    UpdateData(true);
    if (m_strPassword.size() < kMinPasswordLength) {
        ShowBox(kPasswordTooShortText, kPasswordTooShortCaption);
        return;
    }

    const std::optional<win32::PickedFile> picked =
        dropped != nullptr
            ? std::optional<win32::PickedFile>(*dropped)
            : win32::ShowOpenFileDialog(m_hWnd, WithCommandLineFile({u"All Files", u"*.*", kOpenFlags, kAllFilesFilter}));
    // The dialog may have been closed while the file dialog was up.
    if (!picked || IsEnding() || m_jobState.IsClosing())
        return;

    job.SetKey(m_strPassword);
    side.name = picked->name;
    UpdateData(false);

    uint64_t size = 0;
    const JobOutcome prepared = job.PrepareJob(picked->path, size);
    if (prepared.status != JobStatus::Succeeded) {
        ShowFailure(prepared, picked->name);
        return;
    }
    SetDlgItemText(controls.sizeId, FormatSizeText(size));

    // Everything the job shows is set up before its worker exists: a short job
    // can end, and its box come and go, in any message loop that runs after
    // the launch (the taskbar's COM calls may run one).
    EnableDlgItem(controls.buttonId, false);
    ProgressStarted(direction, size);
    // Zeroed before the worker exists, so a job that ends before the first
    // tick reports 0 and never a count left from the last job.
    side.ticks = 0;
    side.launchTime = ::GetTickCount64();
    side.runningName = picked->name;
    side.bytesDone.store(0, std::memory_order_relaxed);
    // A close confirmed inside the taskbar's calls wants no new job.
    if (IsEnding() || m_jobState.IsClosing()) {
        ProgressDismissed(direction);
        return;
    }
    const JobOutcome outcome = job.LaunchJob(*this, direction, picked->name);
    if (outcome.status == JobStatus::Succeeded) {
        m_jobState.Launched(direction);
        return;
    }
    ProgressDismissed(direction);
    ShowFailure(outcome, picked->name);
    if (!m_jobState.IsClosing())
        EnableDlgItem(controls.buttonId, true);
}

void CQuorvelDlg::OnTimer(UINT_PTR id)
{
    if (id == CLOCK_TIMER)
        UpdateClock();
    for (const DirectionSide& side : m_sides) {
        if (id == side.controls.tickTimerId) {
            CatchUpTicks(side.controls.direction, true);
            RefreshProgress();
        }
    }
    PassToDefault();
}

void CQuorvelDlg::CatchUpTicks(CipherDirection direction, bool timerTick)
{
    DirectionSide& side = SideOf(direction);
    side.ticks = TicksAfter(side.ticks, ::GetTickCount64() - side.launchTime, timerTick);
}

void CQuorvelDlg::UpdateClock()
{
    SetDlgItemText(IDC_CLOCK, FormatClockText(ToLocalTime(CurrentTime())));
}

void CQuorvelDlg::OnChar(UINT character, UINT, UINT)
{
    if (character == VK_ESCAPE)
        OnCancel();
    PassToDefault();
}

void CQuorvelDlg::OnOK()
{
    UpdateData(true);
    Close(IDOK);
}

void CQuorvelDlg::OnCancel()
{
    Close(IDCANCEL);
}

void CQuorvelDlg::Close(int result)
{
    switch (m_jobState.RequestClose()) {
    case DialogJobState::CloseStep::Ignore:
        return;
    case DialogJobState::CloseStep::EndNow:
        EndDialog(result);
        return;
    case DialogJobState::CloseStep::Ask:
        break;
    }
    const bool confirmed =
        MessageBox(kCloseWhileRunningText, kCloseWhileRunningCaption, MB_YESNO) == IDYES;
    // Jobs may have ended while the box was up; the state knows.
    const bool endNow = m_jobState.AnswerClose(confirmed, result);
    if (confirmed)
        EndStoppingJobs(endNow, result);
}

void CQuorvelDlg::DismissCloseQuestion()
{
    // The question is a message box of this thread, owned by the dialog and
    // captioned as Close made it; answering it No leaves all as it was.
    CloseQuestionSearch search {m_hWnd, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), FindCloseQuestion, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr)
        ::PostMessageW(search.found, WM_COMMAND, IDNO, 0);
}

void CQuorvelDlg::OnUnexpectedException(const win32::UnexpectedError& error)
{
    const MessageText fault = FormatUnexpectedErrorText(error.what, error.outOfMemory);
    ShowBox(fault.text, fault.caption);
    // As after a confirmed close: running jobs stop and remove their partial outputs.
    EndStoppingJobs(m_jobState.AnswerClose(true, IDABORT), IDABORT);
}

void CQuorvelDlg::EndStoppingJobs(bool endNow, int result)
{
    for (const DirectionSide& side : m_sides)
        EnableDlgItem(side.controls.buttonId, false);
    if (endNow) {
        EndDialog(result);
        return;
    }
    // The workers stop after their current block and remove their partial
    // outputs; the last release notice ends the dialog.
    for (DirectionSide& side : m_sides) {
        if (m_jobState.IsRunning(side.controls.direction))
            side.job.RequestCancel();
    }
}

LRESULT CQuorvelDlg::OnCipherDone(WPARAM wParam, LPARAM)
{
    const std::optional<CipherDirection> direction = DirectionOfCode(wParam);
    if (!direction)
        return 0;
    // After a confirmed close nobody waits for the result any more.
    if (m_jobState.IsClosing())
        return 0;
    const DirectionSide& side = SideOf(*direction);
    const JobOutcome& outcome = side.job.Outcome();
    ProgressEnded(*direction, outcome.status);
    if (outcome.status == JobStatus::Succeeded) {
        // Whole tenths up to now, whether or not the last tick has arrived.
        CatchUpTicks(*direction, false);
        const MessageText done = FormatDoneText(*direction, side.ticks);
        ShowBox(done.text, done.caption);
    } else if (outcome.status != JobStatus::Cancelled) {
        ShowFailure(outcome, side.runningName);
    }
    ProgressDismissed(*direction);
    return 0;
}

LRESULT CQuorvelDlg::OnJobStarted(WPARAM wParam, LPARAM)
{
    if (const std::optional<CipherDirection> direction = DirectionOfCode(wParam))
        SetTimer(ControlsOf(*direction).tickTimerId, kTickPeriod);
    return 0;
}

LRESULT CQuorvelDlg::OnJobReleased(WPARAM wParam, LPARAM)
{
    const std::optional<CipherDirection> direction = DirectionOfCode(wParam);
    if (!direction)
        return 0;
    DirectionSide& side = SideOf(*direction);
    KillTimer(side.controls.tickTimerId);
    // The worker posted this as its last act, so the join is immediate.
    side.job.Wait();
    ProgressDismissed(*direction);
    const DialogJobState::ReleaseStep step = m_jobState.Released(*direction);
    if (step.enableButton)
        EnableDlgItem(side.controls.buttonId, true);
    if (step.dismissQuestion)
        DismissCloseQuestion();
    if (step.endDialog)
        EndDialog(m_jobState.CloseResult());
    return 0;
}

// Timers belong to the window's own thread: the worker asks for its tick
// timer by message, and the release notice stops it.
void CQuorvelDlg::JobStarted(CipherDirection direction)
{
    ::PostMessageW(m_hWndForJobs, WM_JOB_STARTED, ControlsOf(direction).doneCode, 0);
}

void CQuorvelDlg::JobEnded(CipherDirection direction)
{
    ::SendMessageW(m_hWndForJobs, WM_CIPHER_DONE, ControlsOf(direction).doneCode, 0);
}

void CQuorvelDlg::JobReleased(CipherDirection direction)
{
    ::PostMessageW(m_hWndForJobs, WM_JOB_RELEASED, ControlsOf(direction).doneCode, 0);
}

}  // namespace quorvel
