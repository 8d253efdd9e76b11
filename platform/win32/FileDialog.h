// The standard file-open dialog.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace quorvel::win32 {

struct OpenFileOptions {
    std::u16string defaultExtension;
    // A full path starts the dialog in its folder, whatever folder the dialog
    // showed last; the name box shows the name.
    std::u16string initialName;
    DWORD flags = 0;
    // Pairs of description and pattern separated by '|', ending in "||".
    std::u16string filter;
};

struct PickedFile {
    std::u16string path;  // full path
    std::u16string name;  // bare file name
};

// Shows the dialog owned by owner; nothing when the user did not pick a file.
std::optional<PickedFile> ShowOpenFileDialog(HWND owner, const OpenFileOptions& options);

}  // namespace quorvel::win32
