// The block partition as the format states it, the reference the tests walk
// files by: block b of a file of `size` bytes is min(size - b * 0x40000, 0x40000) long.
#pragma once

#include "cipher/CipherKey.h"

#include <cstdint>

namespace quorvel::test {

inline uint32_t BlockLength(uint64_t size, uint32_t index)
{
    const uint64_t rest = size - static_cast<uint64_t>(index) * CIPHER_BLOCK_SIZE;
    return rest >= CIPHER_BLOCK_SIZE ? CIPHER_BLOCK_SIZE : static_cast<uint32_t>(rest);
}

}  // namespace quorvel::test
