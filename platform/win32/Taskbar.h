// Progress on the program's taskbar button (ITaskbarList3), behind a small
// interface so the dialog can be tested with a stand-in that records it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

namespace quorvel::win32 {

enum class TaskbarState {
    None,    // no progress on the button
    Normal,  // done of total, in the usual colour
    Error,   // done of total, in the error colour
};

class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;
    // done and total mean nothing for None.
    virtual void Show(TaskbarState state, uint64_t done, uint64_t total) = 0;
};

// The taskbar button of window, or nothing where the system offers no taskbar
// object (Windows before 7, Wine without a taskbar): the caller then shows no
// progress and says nothing about it.
std::unique_ptr<TaskbarProgress> CreateTaskbarProgress(HWND window);

}  // namespace quorvel::win32
