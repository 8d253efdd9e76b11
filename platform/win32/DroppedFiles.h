// Files dropped on a window from Explorer (DragAcceptFiles / WM_DROPFILES).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace quorvel::win32 {

// Lets window take dropped files, also from a less privileged Explorer when
// the program runs elevated.
void AcceptDroppedFiles(HWND window);

struct DroppedFiles {
    POINT point {};          // where they were dropped, in client pixels
    bool inClient = false;   // false on the title bar or the frame
    std::vector<std::u16string> paths;
};

// Reads a WM_DROPFILES drop and releases it (DragFinish). Paths of any length.
DroppedFiles TakeDroppedFiles(HDROP drop);

}  // namespace quorvel::win32
