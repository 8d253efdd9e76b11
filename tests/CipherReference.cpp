#include "CipherReference.h"

#include <algorithm>

namespace quorvel::test {

uint32_t BlockLength(uint64_t size, uint64_t index)
{
    const uint64_t rest = size - index * CIPHER_BLOCK_SIZE;
    return rest >= CIPHER_BLOCK_SIZE ? CIPHER_BLOCK_SIZE : static_cast<uint32_t>(rest);
}

std::vector<uint8_t> ReferenceKey(std::u16string_view password)
{
    std::vector<uint8_t> key;
    for (const char16_t unit : password)
        key.push_back(static_cast<uint8_t>(unit & 0xFF));
    return key;
}

void ReferenceBlock(CipherDirection direction, std::span<const uint8_t> key, const uint8_t* in, uint8_t* out, size_t n)
{
    // Enciphering: E[i] = P[n-1-i] + key[i mod K]. Deciphering:
    // P[i] = E[n-1-i] - key[(n-1-i) mod K], that is P[n-1-i] = E[i] - key[i mod K].
    // j = i mod K walks along with i rather than a division per byte, so
    // gigabyte files stay quick to check. An empty key adds nothing.
    const size_t k = key.size();
    for (size_t i = 0, j = 0; i < n; ++i, j = j + 1 >= k ? 0 : j + 1) {
        const uint8_t keyByte = k == 0 ? 0 : key[j];
        if (direction == CipherDirection::Encipher)
            out[i] = static_cast<uint8_t>(in[n - 1 - i] + keyByte);
        else
            out[n - 1 - i] = static_cast<uint8_t>(in[i] - keyByte);
    }
}

std::vector<uint8_t> ReferenceFile(CipherDirection direction, std::span<const uint8_t> key,
                                   const std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> out(bytes.size());
    for (size_t at = 0; at < bytes.size(); at += CIPHER_BLOCK_SIZE)
        ReferenceBlock(direction, key, bytes.data() + at, out.data() + at,
                       std::min<size_t>(CIPHER_BLOCK_SIZE, bytes.size() - at));
    return out;
}

std::vector<uint8_t> ReferenceFile(CipherDirection direction, std::u16string_view password,
                                   const std::vector<uint8_t>& bytes)
{
    return ReferenceFile(direction, ReferenceKey(password), bytes);
}

}  // namespace quorvel::test
