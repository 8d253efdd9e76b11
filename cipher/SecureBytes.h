// A heap byte array that is wiped before its memory goes back to the heap:
// key bytes and their expansion must not linger in freed memory.
#pragma once

#include "platform/Wipe.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quorvel {

class SecureBytes {
public:
    SecureBytes() = default;
    explicit SecureBytes(size_t size) : m_data(size ? new uint8_t[size]() : nullptr), m_size(size) {}
    SecureBytes(SecureBytes&& other) noexcept : m_data(std::move(other.m_data)), m_size(other.m_size) { other.m_size = 0; }
    SecureBytes& operator=(SecureBytes&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_data = std::move(other.m_data);
            m_size = other.m_size;
            other.m_size = 0;
        }
        return *this;
    }
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;
    ~SecureBytes() { Reset(); }

    void Reset()
    {
        if (m_data)
            SecureZero(m_data.get(), m_size);
        m_data.reset();
        m_size = 0;
    }

    uint8_t* data() { return m_data.get(); }
    const uint8_t* data() const { return m_data.get(); }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    uint8_t& operator[](size_t i) { return m_data[i]; }
    uint8_t operator[](size_t i) const { return m_data[i]; }

private:
    std::unique_ptr<uint8_t[]> m_data;
    size_t m_size = 0;
};

}  // namespace quorvel
