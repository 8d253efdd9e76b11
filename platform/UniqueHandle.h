// One move-only owner for every operating-system handle: file descriptors,
// kernel handles, GDI objects. Each kind's traits say what its empty value is
// and how it is released, so no caller has to remember either, and every
// handle is released exactly once.
#pragma once

#include <utility>

namespace quorvel {

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

    // Gives up ownership, e.g. to close by hand where the result of closing matters.
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

}  // namespace quorvel
