// Owners for GDI objects and device contexts: move-only, released exactly
// once. Each kind's traits say what its empty value is and how it is
// released, so no caller has to remember either.
#pragma once

#include <windows.h>

#include <utility>

namespace quorvel::win32 {

template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Traits::Empty(); }

    Type Release()
    {
        return std::exchange(m_handle, Traits::Empty());
    }
    void Reset(Type handle = Traits::Empty())
    {
        const Type old = std::exchange(m_handle, handle);
        if (old != Traits::Empty())
            Traits::Close(old);
    }

private:
    Type m_handle = Traits::Empty();
};

template <class T>
struct GdiObjectTraits {
    using Type = T;
    static Type Empty() { return nullptr; }
    static void Close(Type object) { ::DeleteObject(object); }
};

struct MemoryDcTraits {
    using Type = HDC;
    static Type Empty() { return nullptr; }
    static void Close(Type dc) { ::DeleteDC(dc); }
};

using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// Selects an object into a device context and selects the previous one back
// when it goes out of scope, so the object can then be deleted safely.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    ~SelectGuard()
    {
        if (m_previous != nullptr && m_previous != HGDI_ERROR)
            ::SelectObject(m_dc, m_previous);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// BeginPaint/EndPaint for one WM_PAINT (or one forced paint).
class PaintDc {
public:
    explicit PaintDc(HWND window) : m_window(window) { m_dc = ::BeginPaint(window, &m_paint); }
    ~PaintDc() { ::EndPaint(m_window, &m_paint); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;

    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint {};
    HDC m_dc = nullptr;
};

}  // namespace quorvel::win32
