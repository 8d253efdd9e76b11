// Per-monitor DPI where the system has it (Windows 10 1607 and later),
// found at run time; the screen's DPI elsewhere.
#include "platform/win32/Dpi.h"

#include "platform/win32/Dialog.h"

namespace quorvel::win32 {
namespace {

constexpr UINT kDefaultDpi = 96;

// A function of a loaded system library that older systems may lack.
template <class F>
F SystemFunction(const wchar_t* library, const char* name)
{
    const HMODULE module = ::GetModuleHandleW(library);
    return module != nullptr ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)))
                             : nullptr;
}

UINT ScreenDpi()
{
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr)
        ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

}  // namespace

UINT WindowDpi(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    return dpi != 0 ? dpi : ScreenDpi();
}

SIZE IconSizeForDpi(bool big, UINT dpi)
{
    const int width = big ? SM_CXICON : SM_CXSMICON;
    const int height = big ? SM_CYICON : SM_CYSMICON;
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto forDpi = SystemFunction<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    if (forDpi != nullptr)
        return {forDpi(width, dpi), forDpi(height, dpi)};
    // The metrics are those of the screen's DPI here.
    const int screen = static_cast<int>(ScreenDpi());
    return {::MulDiv(::GetSystemMetrics(width), static_cast<int>(dpi), screen),
            ::MulDiv(::GetSystemMetrics(height), static_cast<int>(dpi), screen)};
}

UniqueIcon LoadIconOfSize(UINT id, SIZE size)
{
    // Common controls 6 (the manifest asks for them) scale a larger image
    // down; LoadImageW may scale a smaller one up.
    using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto scaleDown = SystemFunction<LoadIconWithScaleDownFn>(L"comctl32.dll", "LoadIconWithScaleDown");
    HICON icon = nullptr;
    if (scaleDown != nullptr && SUCCEEDED(scaleDown(ModuleInstance(), MAKEINTRESOURCEW(id), size.cx, size.cy, &icon)))
        return UniqueIcon(icon);
    return UniqueIcon(static_cast<HICON>(
        ::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(id), IMAGE_ICON, size.cx, size.cy, LR_DEFAULTCOLOR)));
}

}  // namespace quorvel::win32
