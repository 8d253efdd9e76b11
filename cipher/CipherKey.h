// The key and the blocks: the whole enciphered file format, which
// BlockTransform.h carries out. A file is cut into blocks of CIPHER_BLOCK_SIZE
// bytes; each block is reversed and has the key bytes added (enciphering) or
// subtracted (deciphering), the key restarting at index 0 in every block. No
// header, no length, nothing else.
#pragma once

#include "cipher/SecureBytes.h"

#include <cstdint>
#include <string_view>

namespace quorvel {

constexpr uint32_t CIPHER_BLOCK_SIZE = 0x40000;

enum class CipherDirection { Encipher, Decipher };

// 0 for Encipher, 1 for Decipher: the slot of a direction in per-direction arrays.
constexpr int DirectionIndex(CipherDirection direction)
{
    return direction == CipherDirection::Encipher ? 0 : 1;
}

// Key byte j is the low 8 bits of UTF-16 code unit j of the password.
SecureBytes MakeKey(std::u16string_view password);

// Number of blocks of a file of size bytes (the last one may be short); at
// most 2^46, so it never wraps.
uint64_t BlockCount(uint64_t size);

}  // namespace quorvel
