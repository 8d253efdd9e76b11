// Wiping through a volatile pointer: every store happens.
#include "platform/Wipe.h"

#include <cstdint>

namespace quorvel {

void SecureZero(void* p, size_t n)
{
    auto* volatile bytes = static_cast<volatile uint8_t*>(p);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = 0;
}

void Wipe(std::string& text)
{
    SecureZero(text.data(), text.size());
    text.clear();
}

void Wipe(std::u16string& text)
{
    SecureZero(text.data(), text.size() * sizeof(char16_t));
    text.clear();
}

}  // namespace quorvel
