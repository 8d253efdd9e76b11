// The Win32 side's own plumbing, shared by its files: GetLastError in
// FileError's words, read and write loops over short transfers, and the
// names Windows reads as devices.
#pragma once

#include "platform/FileStatus.h"
#include "platform/win32/Handle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

FileStatus FromLastError(DWORD code);
// The same for a call on path: Windows answers "access denied" where a folder
// stands in the way, and then it says what it is.
FileStatus FromLastError(DWORD code, const std::u16string& path);

// Reads until count bytes or the end: ReadFile may return fewer bytes than
// asked (network shares, pipes); only a zero count is the end, and for a
// stream, a pipe whose writer closed. A stream gives up on an interrupt.
FileStatus ReadFully(HANDLE file, void* buffer, uint32_t count, uint32_t& got, bool stream);
// Writes all count bytes, looping over short writes. For a stream, a pipe
// whose reader went away is reported as Interrupted, as SIGPIPE would stop
// the run elsewhere.
FileStatus WriteFully(HANDLE file, const void* buffer, uint32_t count, bool stream);

// Names Windows reads as a device in every folder: "C:\x\con.txt" is the
// console, not a file. Any case; an extension, trailing dots and spaces, or a
// colon after the name do not change that.
bool IsDeviceName(std::u16string_view name);
// Whether a path's last part is such a name ("CON:" too).
bool NamesDevice(std::u16string path);

// A handle that only asks about a file or folder: no access rights needed,
// and backup semantics let folders open too.
win32::UniqueFileHandle OpenToAsk(const std::u16string& path);

}  // namespace quorvel
