// Loading the program's pictures and icons from its own resources.
#pragma once

#include "platform/win32/Dialog.h"
#include "platform/win32/Handle.h"

namespace quorvel::win32 {

// A new bitmap from resource id, owned by the caller (empty if missing).
inline UniqueBitmap LoadBitmapResource(UINT id)
{
    return UniqueBitmap(::LoadBitmapW(ModuleInstance(), MAKEINTRESOURCEW(id)));
}

inline SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info {};
    if (::GetObjectW(bitmap, sizeof info, &info) == 0)
        return {0, 0};
    return {info.bmWidth, info.bmHeight};
}

// The system-sized icon of group id. LoadIconW shares it for the process's
// life, so it is never destroyed.
inline HICON LoadIconResource(UINT id)
{
    return ::LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(id));
}

}  // namespace quorvel::win32
