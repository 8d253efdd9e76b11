// The key pattern, the plain path, and the choice among the vector paths that
// cipher/CMakeLists.txt builds for this target (QUORVEL_X86_VECTORS and
// QUORVEL_AVX2 say which).
#include "cipher/BlockTransform.h"

#include "cipher/BlockTransformVectors.h"

namespace quorvel {

ExpandedKey::ExpandedKey(const uint8_t* key, uint32_t keyLength)
{
    if (keyLength == 0) {
        // No key bytes add nothing: the transform only reverses the block.
        m_period = kOverhang;
        m_bytes = SecureBytes(static_cast<size_t>(m_period) + kOverhang);
        return;
    }
    // The smallest whole number of key copies that covers one full vector step.
    m_period = ((kOverhang + keyLength - 1) / keyLength) * keyLength;
    m_bytes = SecureBytes(static_cast<size_t>(m_period) + kOverhang);
    for (size_t i = 0; i < m_bytes.size(); ++i)
        m_bytes[i] = key[i % keyLength];
}

std::vector<TransformPath> AvailableTransformPaths()
{
    std::vector<TransformPath> paths {TransformPath::Plain};
#ifdef QUORVEL_X86_VECTORS
    if (__builtin_cpu_supports("sse2"))
        paths.push_back(TransformPath::Sse2);
    if (__builtin_cpu_supports("ssse3"))
        paths.push_back(TransformPath::Ssse3);
#endif
#ifdef QUORVEL_AVX2
    if (__builtin_cpu_supports("avx2"))
        paths.push_back(TransformPath::Avx2);
#endif
    return paths;
}

const char* TransformPathName(TransformPath path)
{
    switch (path) {
    case TransformPath::Plain:
        return "plain";
    case TransformPath::Sse2:
        return "sse2";
    case TransformPath::Ssse3:
        return "ssse3";
    case TransformPath::Avx2:
        return "avx2";
    }
    return "?";
}

void TransformBlock(TransformPath path, CipherDirection direction, const ExpandedKey& key, const uint8_t* in,
                    uint8_t* out, size_t n)
{
    const uint8_t* pat = key.Pattern();
    const uint32_t period = key.Period();
    switch (path) {
#ifdef QUORVEL_AVX2
    case TransformPath::Avx2:
        TransformAvx2(direction, pat, period, in, out, n);
        return;
#endif
#ifdef QUORVEL_X86_VECTORS
    case TransformPath::Sse2:
        TransformSse2(direction, pat, period, in, out, n);
        return;
    case TransformPath::Ssse3:
        TransformSsse3(direction, pat, period, in, out, n);
        return;
#endif
    default:
        if (direction == CipherDirection::Encipher)
            EncipherScalar(pat, period, 0, in, out, 0, n);
        else
            DecipherScalar(pat, period, 0, in, out, 0, n);
        return;
    }
}

void TransformBlock(CipherDirection direction, const ExpandedKey& key, const uint8_t* in, uint8_t* out, size_t n)
{
    // The paths are listed slowest first.
    static const TransformPath best = AvailableTransformPaths().back();
    TransformBlock(best, direction, key, in, out, n);
}

void TransformBlock(CipherDirection direction, const uint8_t* key, uint32_t keyLength, const uint8_t* in,
                    uint8_t* out, size_t n)
{
    TransformBlock(direction, ExpandedKey(key, keyLength), in, out, n);
}

}  // namespace quorvel
