// Wiping that the optimiser must keep: the zeroed memory is handed to an
// empty assembly statement that may read it, so the stores cannot be dropped
// as dead, and memset does them a vector at a time, not a byte at a time.
#include "platform/Wipe.h"

#include <cstring>

namespace quorvel {

void SecureZero(void* p, size_t n)
{
    if (n == 0)
        return;
    std::memset(p, 0, n);
    __asm__ __volatile__("" : : "r"(p) : "memory");
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
