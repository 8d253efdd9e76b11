// The key and the block transform: together the whole enciphered file format.
// A file is cut into blocks of CIPHER_BLOCK_SIZE bytes; each block is reversed
// and has the key bytes added (enciphering) or subtracted (deciphering), the key
// restarting at index 0 in every block. No header, no length, nothing else.
#pragma once

#include "cipher/SecureBytes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

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

// Number of blocks of a file of size bytes (the last one may be short).
uint32_t BlockCount(uint64_t size);

// The key repeated to a whole number of copies that spans at least one vector
// step, plus a vector's worth of overhang, so the vector loops read key bytes
// for any block position without a division per byte. Built once per job.
class ExpandedKey {
public:
    ExpandedKey() = default;
    ExpandedKey(const uint8_t* key, uint32_t keyLength);

    const uint8_t* Pattern() const { return m_bytes.data(); }
    // A multiple of the key length; key[i mod K] == Pattern()[i mod Period()].
    uint32_t Period() const { return m_period; }
    bool empty() const { return m_period == 0; }
    void Wipe() { m_bytes.Reset(), m_period = 0; }

    static constexpr uint32_t kOverhang = 64;

private:
    SecureBytes m_bytes;
    uint32_t m_period = 0;
};

// Which implementation of the transform to run; all give identical bytes.
enum class TransformPath { Plain, Sse2, Ssse3, Avx2 };

// The paths this machine can run, Plain first.
std::vector<TransformPath> AvailableTransformPaths();
const char* TransformPathName(TransformPath path);

// Transforms n bytes (0..CIPHER_BLOCK_SIZE) of in into out, which must not overlap.
void TransformBlock(CipherDirection direction, const ExpandedKey& key, const uint8_t* in, uint8_t* out, size_t n);
void TransformBlock(TransformPath path, CipherDirection direction, const ExpandedKey& key, const uint8_t* in,
                    uint8_t* out, size_t n);
// One-off form straight from key bytes, as the format describes it.
void TransformBlock(CipherDirection direction, const uint8_t* key, uint32_t keyLength, const uint8_t* in,
                    uint8_t* out, size_t n);

}  // namespace quorvel
