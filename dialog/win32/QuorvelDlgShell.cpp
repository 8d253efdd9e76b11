// The main dialog in the Windows shell: files dropped from Explorer start a
// job as a pick in the Open dialog would, a file on the command line is where
// the next Open dialog starts, the taskbar button shows the jobs' progress,
// and the window's icons and background follow the screen's DPI.
#include "dialog/DropTarget.h"
#include "dialog/win32/QuorvelDlg.h"
#include "platform/FileSystem.h"
#include "platform/win32/DroppedFiles.h"
#include "platform/win32/FileDialog.h"

namespace quorvel {
namespace {

DropRect ToDropRect(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

// The group box among dialog's children that frames the control id, in client pixels.
DropRect GroupAround(HWND dialog, int id)
{
    RECT control {};
    if (!::GetWindowRect(::GetDlgItem(dialog, id), &control))
        return {};
    const POINT centre {(control.left + control.right) / 2, (control.top + control.bottom) / 2};
    for (const HWND box : win32::GroupBoxes(dialog)) {
        RECT group {};
        if (!::GetWindowRect(box, &group) || !::PtInRect(&group, centre))
            continue;
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&group), 2);
        return ToDropRect(group);
    }
    return {};
}

win32::TaskbarState ToTaskbarState(ProgressState state)
{
    switch (state) {
    case ProgressState::Normal:
        return win32::TaskbarState::Normal;
    case ProgressState::Error:
        return win32::TaskbarState::Error;
    case ProgressState::None:
        break;
    }
    return win32::TaskbarState::None;
}

}  // namespace

void CQuorvelDlg::InitShell()
{
    win32::AcceptDroppedFiles(m_hWnd);
    LoadIconsForDpi(win32::WindowDpi(m_hWnd));
    m_taskbar = m_services.taskbar ? m_services.taskbar(m_hWnd) : win32::CreateTaskbarProgress(m_hWnd);
    // Any box about them comes over the dialog, once it is on the screen.
    if (!m_commandLineFiles.empty())
        ::PostMessageW(m_hWnd, WM_COMMAND_LINE_FILES, 0, 0);
}

LRESULT CQuorvelDlg::OnCommandLineFiles(WPARAM, LPARAM)
{
    std::vector<DroppedItem> items;
    for (const std::u16string& path : m_commandLineFiles)
        items.push_back({path, false});
    m_commandLineFiles.clear();
    if (items.size() == 1)
        items.front().isFolder = IsFolder(items.front().path);
    const DropRefusal refusal = RefuseItems(items);
    if (refusal != DropRefusal::None) {
        const MessageText text = DropRefusalText({refusal}, items);
        ShowBox(text.text, text.caption);
        return 0;
    }
    // A name that does not exist or names a device gets the box its job would
    // give, now rather than after the password and the Open dialog.
    std::unique_ptr<File> source;
    const FileStatus opened = Files().OpenRead(items.front().path, source);
    if (!opened) {
        ShowFailure({JobStatus::OpenSourceFailed, opened, {}}, BareName(items.front().path));
        return 0;
    }
    m_strPendingPath = items.front().path;
    return 0;
}

win32::OpenFileOptions CQuorvelDlg::WithCommandLineFile(win32::OpenFileOptions options)
{
    if (!m_strPendingPath.empty()) {
        options.initialName = m_strPendingPath;
        m_strPendingPath.clear();
    }
    return options;
}

LRESULT CQuorvelDlg::OnDropFiles(WPARAM wParam, LPARAM)
{
    const win32::DroppedFiles dropped = win32::TakeDroppedFiles(reinterpret_cast<HDROP>(wParam));
    // While a box or the Open dialog is up the dialog is disabled and waits
    // for that answer; a drop then is no more a start than a click would be.
    if (!::IsWindowEnabled(m_hWnd) || IsEnding() || m_jobState.IsClosing())
        return 0;

    std::vector<DroppedItem> items;
    for (const std::u16string& path : dropped.paths)
        items.push_back({path, false});
    if (items.size() == 1)
        items.front().isFolder = IsFolder(items.front().path);

    RECT client {};
    ::GetClientRect(m_hWnd, &client);
    const DropLayout layout {ToDropRect(client), GroupAround(m_hWnd, IDC_ENCIPHER_BUTTON),
                             GroupAround(m_hWnd, IDC_DECIPHER_BUTTON)};
    const DropDecision decision =
        ClassifyDrop(layout, dropped.point.x, dropped.point.y, dropped.inClient, items,
                     m_jobState.IsBusy(CipherDirection::Encipher), m_jobState.IsBusy(CipherDirection::Decipher));
    if (decision.refusal == DropRefusal::None) {
        const win32::PickedFile file {items.front().path, BareName(items.front().path)};
        StartJob(decision.direction, &file);
    } else if (decision.refusal != DropRefusal::NoFile) {
        const MessageText refusal = DropRefusalText(decision, items);
        ShowBox(refusal.text, refusal.caption);
    }
    return 0;
}

LRESULT CQuorvelDlg::OnDpiChanged(WPARAM wParam, LPARAM)
{
    LoadIconsForDpi(LOWORD(wParam));
    // The dialog manager lays the dialog out again at the new DPI.
    PassToDefault();
    return 0;
}

void CQuorvelDlg::OnSize()
{
    // The picture is stretched over the whole client area: a new size changes
    // every pixel of it, not only the part that was uncovered.
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    PassToDefault();
}

void CQuorvelDlg::LoadIconsForDpi(UINT dpi)
{
    win32::UniqueIcon big = win32::LoadIconOfSize(IDR_MAINFRAME, win32::IconSizeForDpi(true, dpi));
    win32::UniqueIcon small = win32::LoadIconOfSize(IDR_MAINFRAME, win32::IconSizeForDpi(false, dpi));
    // The old icons are in use until the new ones are set.
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big ? big.Get() : m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small ? small.Get() : m_hIcon));
    m_bigIcon = std::move(big);
    m_smallIcon = std::move(small);
}

void CQuorvelDlg::BlockWritten(CipherDirection direction, uint64_t done, uint64_t)
{
    SideOf(direction).bytesDone.store(done, std::memory_order_relaxed);
}

void CQuorvelDlg::ProgressStarted(CipherDirection direction, uint64_t size)
{
    m_progress.Started(direction, size);
    RefreshProgress();
}

void CQuorvelDlg::ProgressEnded(CipherDirection direction, JobStatus status)
{
    if (status == JobStatus::Cancelled)
        return;
    RefreshProgress();
    m_progress.Ended(direction, status != JobStatus::Succeeded);
    RefreshProgress();
}

void CQuorvelDlg::ProgressDismissed(CipherDirection direction)
{
    m_progress.Dismissed(direction);
    RefreshProgress();
}

void CQuorvelDlg::RefreshProgress()
{
    for (const DirectionSide& side : m_sides)
        m_progress.Advanced(side.controls.direction, side.bytesDone.load(std::memory_order_relaxed));
    const ProgressView view = m_progress.View();
    if (view == m_shownProgress)
        return;
    m_shownProgress = view;
    if (m_taskbar)
        m_taskbar->Show(ToTaskbarState(view.state), view.done, view.total);
}

}  // namespace quorvel
