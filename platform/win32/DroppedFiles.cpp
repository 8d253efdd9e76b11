// WM_DROPFILES rather than OLE drag and drop: the system delivers it to a
// plain window without a COM apartment or a drop-target object, it works
// across privilege levels once allowed through the message filter, and a drop
// can be built in memory to test the dialog.
#include "platform/win32/DroppedFiles.h"

#include "platform/win32/Dialog.h"

#include <shellapi.h>

namespace quorvel::win32 {
namespace {

// Sent by the system to carry a drop's data into an elevated process.
constexpr UINT kCopyGlobalData = 0x0049;

}  // namespace

void AcceptDroppedFiles(HWND window)
{
    for (UINT message : {UINT {WM_DROPFILES}, UINT {WM_COPYDATA}, kCopyGlobalData})
        ::ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
    ::DragAcceptFiles(window, TRUE);
}

DroppedFiles TakeDroppedFiles(HDROP drop)
{
    DroppedFiles files;
    files.inClient = ::DragQueryPoint(drop, &files.point) != FALSE;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::u16string path(length, u'\0');
        const UINT got = ::DragQueryFileW(drop, i, reinterpret_cast<wchar_t*>(path.data()), length + 1);
        path.resize(got < length ? got : length);
        files.paths.push_back(std::move(path));
    }
    ::DragFinish(drop);
    return files;
}

}  // namespace quorvel::win32
