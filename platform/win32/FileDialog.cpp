// GetOpenFileNameW with a path buffer large enough for long paths.
#include "platform/win32/FileDialog.h"

#include "platform/FileNames.h"
#include "platform/win32/Dialog.h"

#include <commdlg.h>

#include <vector>

namespace quorvel::win32 {

std::optional<PickedFile> ShowOpenFileDialog(HWND owner, const OpenFileOptions& options)
{
    // The dialog wants its filter as NUL-separated pairs.
    std::u16string filter = options.filter;
    for (char16_t& c : filter) {
        if (c == u'|')
            c = u'\0';
    }

    constexpr std::size_t kPathCapacity = 32768;
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    const std::size_t initial = options.initialName.size() < kPathCapacity - 1 ? options.initialName.size() : 0;
    options.initialName.copy(reinterpret_cast<char16_t*>(path.data()), initial);

    OPENFILENAMEW ofn {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.empty() ? nullptr : Wide(filter);
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrDefExt = options.defaultExtension.empty() ? nullptr : Wide(options.defaultExtension);
    ofn.Flags = options.flags;
    if (!::GetOpenFileNameW(&ofn))
        return std::nullopt;

    PickedFile picked;
    picked.path = FromWide(path.data(), ::wcslen(path.data()));
    picked.name = NameOf(picked.path);
    return picked;
}

}  // namespace quorvel::win32
