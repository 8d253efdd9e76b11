// The enciphered format written out from its definition, apart from the cipher
// core: the reference every test compares the programs' bytes with. Key byte j
// is the low byte of the password's UTF-16 unit j; a file is cut into blocks of
// CIPHER_BLOCK_SIZE bytes, and each block is reversed and has the key bytes
// added (enciphering) or taken away (deciphering) modulo 256, the key starting
// again at its first byte in every block.
#pragma once

#include "cipher/CipherKey.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quorvel::test {

// Block index of a file of size bytes: min(size - index * CIPHER_BLOCK_SIZE, CIPHER_BLOCK_SIZE) long.
uint32_t BlockLength(uint64_t size, uint64_t index);

std::vector<uint8_t> ReferenceKey(std::u16string_view password);

// One block of n bytes from in to out.
void ReferenceBlock(CipherDirection direction, std::span<const uint8_t> key, const uint8_t* in, uint8_t* out,
                    size_t n);

// A whole file, block by block, from key bytes or from a password.
std::vector<uint8_t> ReferenceFile(CipherDirection direction, std::span<const uint8_t> key,
                                   const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReferenceFile(CipherDirection direction, std::u16string_view password,
                                   const std::vector<uint8_t>& bytes);

}  // namespace quorvel::test
