// The screen DPI a window is shown at, and the program's icons at the sizes
// that DPI needs.
#pragma once

#include "platform/win32/Handle.h"

namespace quorvel::win32 {

struct IconTraits {
    using Type = HICON;
    static Type Empty() { return nullptr; }
    static void Close(Type icon) { ::DestroyIcon(icon); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

// The DPI of the screen window is on (per monitor where the system knows it).
UINT WindowDpi(HWND window);

// The system's big (SM_CXICON) or small (SM_CXSMICON) icon size at dpi.
SIZE IconSizeForDpi(bool big, UINT dpi);

// Icon group id at exactly size, drawn from the group's nearest larger image
// and scaled down where the group has no image of that size; empty if missing.
UniqueIcon LoadIconOfSize(UINT id, SIZE size);

}  // namespace quorvel::win32
