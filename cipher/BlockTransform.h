// The block transform and the key pattern it walks, with vector paths chosen
// at run time. The format itself, what the transform computes, is CipherKey.h's.
#pragma once

#include "cipher/CipherKey.h"
#include "cipher/SecureBytes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

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

    // One vector step of the loops, whatever their width.
    static constexpr uint32_t kOverhang = 64;

private:
    SecureBytes m_bytes;
    uint32_t m_period = 0;
};

// Which implementation of the transform to run; all give identical bytes.
enum class TransformPath { Plain, Sse2, Ssse3, Avx2 };

// The paths this machine can run, slowest (Plain) first: the last is the one
// TransformBlock takes.
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
