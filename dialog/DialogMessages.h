// The main dialog's private window messages, all of them. WM_CIPHER_DONE keeps
// the number it has always had; the program's own ones sit in the range
// Windows keeps for applications (WM_APP, 0x8000 on), which no control or
// system message uses.
#pragma once

namespace quorvel {

// From a worker to the interface thread; wParam is the direction's done code.
constexpr unsigned WM_CIPHER_DONE = 0x0500;  // sent: the job ended (shows its box)

constexpr unsigned kAppMessageBase = 0x8000;                  // WM_APP
constexpr unsigned WM_JOB_STARTED = kAppMessageBase + 1;      // posted: start the tick timer
constexpr unsigned WM_JOB_RELEASED = kAppMessageBase + 2;     // posted: the worker has released everything
constexpr unsigned WM_COMMAND_LINE_FILES = kAppMessageBase + 3;  // posted to itself once up: check the command line's files

}  // namespace quorvel
