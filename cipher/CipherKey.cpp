// Key making and the block transform, with vector paths chosen at run time.
//
// Both directions walk the key forward from index 0 of the block:
//   Encipher: out[i]       = in[n-1-i] + key[i mod K]
//   Decipher: out[n-1-m]   = in[m]     - key[m mod K]
// so one forward walk over an expanded key pattern serves both, and the vector
// paths only add a byte reversal of each vector.
#include "cipher/CipherKey.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QUORVEL_X86_VECTORS 1
#include <immintrin.h>
// GCC cannot align the stack to 32 bytes on Windows targets, so AVX code there
// may spill to misaligned slots. A Windows build has AVX2 only where its build
// makes every aligned vector move unaligned (the 64-bit one); the 32-bit one
// keeps to SSSE3.
#if !defined(_WIN32) || defined(QUORVEL_UNALIGNED_VECTOR_MOVES)
#define QUORVEL_AVX2 1
#endif
#endif

namespace quorvel {

SecureBytes MakeKey(std::u16string_view password)
{
    SecureBytes key(password.size());
    for (size_t j = 0; j < password.size(); ++j)
        key[j] = static_cast<uint8_t>(password[j] & 0xFF);
    return key;
}

uint32_t BlockCount(uint64_t size)
{
    return static_cast<uint32_t>(size >> 18) + ((size & (CIPHER_BLOCK_SIZE - 1)) != 0 ? 1u : 0u);
}

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

namespace {

// Scalar tail shared by every path: bytes [from, n) with the key at index j.
void EncipherScalar(const uint8_t* pat, uint32_t period, uint32_t j, const uint8_t* in, uint8_t* out, size_t from,
                    size_t n)
{
    for (size_t i = from; i < n; ++i) {
        out[i] = static_cast<uint8_t>(in[n - 1 - i] + pat[j]);
        if (++j == period)
            j = 0;
    }
}

void DecipherScalar(const uint8_t* pat, uint32_t period, uint32_t j, const uint8_t* in, uint8_t* out, size_t from,
                    size_t n)
{
    for (size_t m = from; m < n; ++m) {
        out[n - 1 - m] = static_cast<uint8_t>(in[m] - pat[j]);
        if (++j == period)
            j = 0;
    }
}

#ifdef QUORVEL_X86_VECTORS

// Byte reversal of a vector in SSE2 alone: bytes swap within 16-bit lanes and
// lanes within 32-bit words by shifts, then one shuffle of the words.
__attribute__((target("sse2"))) inline __m128i Reverse16(__m128i v)
{
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    v = _mm_or_si128(_mm_slli_epi32(v, 16), _mm_srli_epi32(v, 16));
    return _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
}

// SSSE3 reverses a vector in one byte shuffle; every x86 processor since 2006 has it.
__attribute__((target("ssse3"))) inline __m128i ReverseBytes16(__m128i v)
{
    return _mm_shuffle_epi8(v, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
}

// The 16-byte loop, over the way a vector is reversed. It is inlined into
// one function per instruction set below, so each instantiation is compiled
// under that function's target and the SSE2 one never uses SSSE3.
template <__m128i (*Reverse)(__m128i)>
__attribute__((target("sse2"), always_inline)) inline void TransformVectors16(CipherDirection direction,
                                                                             const uint8_t* pat, uint32_t period,
                                                                             const uint8_t* in, uint8_t* out, size_t n)
{
    // Four vectors per step: the key pattern's overhang covers j + 64 <= period + 64.
    uint32_t j = 0;
    size_t i = 0;
    if (direction == CipherDirection::Encipher) {
        for (; i + 64 <= n; i += 64) {
            const uint8_t* src = in + n - 64 - i;
            const __m128i v0 = Reverse(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48)));
            const __m128i v1 = Reverse(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32)));
            const __m128i v2 = Reverse(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)));
            const __m128i v3 = Reverse(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
            const __m128i* k = reinterpret_cast<const __m128i*>(pat + j);
            __m128i* dst = reinterpret_cast<__m128i*>(out + i);
            _mm_storeu_si128(dst, _mm_add_epi8(v0, _mm_loadu_si128(k)));
            _mm_storeu_si128(dst + 1, _mm_add_epi8(v1, _mm_loadu_si128(k + 1)));
            _mm_storeu_si128(dst + 2, _mm_add_epi8(v2, _mm_loadu_si128(k + 2)));
            _mm_storeu_si128(dst + 3, _mm_add_epi8(v3, _mm_loadu_si128(k + 3)));
            if ((j += 64) >= period)
                j -= period;
        }
        for (; i + 16 <= n; i += 16) {
            const __m128i v = Reverse(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + n - 16 - i)));
            const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pat + j));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_add_epi8(v, k));
            if ((j += 16) >= period)
                j -= period;
        }
        EncipherScalar(pat, period, j, in, out, i, n);
    } else {
        for (; i + 64 <= n; i += 64) {
            const __m128i* src = reinterpret_cast<const __m128i*>(in + i);
            const __m128i* k = reinterpret_cast<const __m128i*>(pat + j);
            const __m128i v0 = Reverse(_mm_sub_epi8(_mm_loadu_si128(src), _mm_loadu_si128(k)));
            const __m128i v1 = Reverse(_mm_sub_epi8(_mm_loadu_si128(src + 1), _mm_loadu_si128(k + 1)));
            const __m128i v2 = Reverse(_mm_sub_epi8(_mm_loadu_si128(src + 2), _mm_loadu_si128(k + 2)));
            const __m128i v3 = Reverse(_mm_sub_epi8(_mm_loadu_si128(src + 3), _mm_loadu_si128(k + 3)));
            uint8_t* dst = out + n - 64 - i;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 48), v0);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), v1);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), v2);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v3);
            if ((j += 64) >= period)
                j -= period;
        }
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pat + j));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n - 16 - i), Reverse(_mm_sub_epi8(v, k)));
            if ((j += 16) >= period)
                j -= period;
        }
        DecipherScalar(pat, period, j, in, out, i, n);
    }
}

__attribute__((target("sse2"))) void TransformSse2(CipherDirection direction, const uint8_t* pat, uint32_t period,
                                                   const uint8_t* in, uint8_t* out, size_t n)
{
    TransformVectors16<Reverse16>(direction, pat, period, in, out, n);
}

__attribute__((target("ssse3"))) void TransformSsse3(CipherDirection direction, const uint8_t* pat, uint32_t period,
                                                     const uint8_t* in, uint8_t* out, size_t n)
{
    TransformVectors16<ReverseBytes16>(direction, pat, period, in, out, n);
}

#endif

#ifdef QUORVEL_AVX2

__attribute__((target("avx2"))) inline __m256i Reverse32(__m256i v)
{
    const __m256i mask = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,  //
                                          15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, mask), _MM_SHUFFLE(1, 0, 3, 2));
}

__attribute__((target("avx2"))) void TransformAvx2(CipherDirection direction, const uint8_t* pat, uint32_t period,
                                                   const uint8_t* in, uint8_t* out, size_t n)
{
    // Two vectors per step: the key pattern's overhang covers j + 64 <= period + 64.
    uint32_t j = 0;
    size_t i = 0;
    if (direction == CipherDirection::Encipher) {
        for (; i + 64 <= n; i += 64) {
            const uint8_t* src = in + n - 64 - i;
            const __m256i v0 = Reverse32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32)));
            const __m256i v1 = Reverse32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)));
            const __m256i* k = reinterpret_cast<const __m256i*>(pat + j);
            __m256i* dst = reinterpret_cast<__m256i*>(out + i);
            _mm256_storeu_si256(dst, _mm256_add_epi8(v0, _mm256_loadu_si256(k)));
            _mm256_storeu_si256(dst + 1, _mm256_add_epi8(v1, _mm256_loadu_si256(k + 1)));
            if ((j += 64) >= period)
                j -= period;
        }
        for (; i + 32 <= n; i += 32) {
            const __m256i v = Reverse32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + n - 32 - i)));
            const __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pat + j));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_add_epi8(v, k));
            if ((j += 32) >= period)
                j -= period;
        }
        EncipherScalar(pat, period, j, in, out, i, n);
    } else {
        for (; i + 64 <= n; i += 64) {
            const __m256i* src = reinterpret_cast<const __m256i*>(in + i);
            const __m256i* k = reinterpret_cast<const __m256i*>(pat + j);
            const __m256i v0 = Reverse32(_mm256_sub_epi8(_mm256_loadu_si256(src), _mm256_loadu_si256(k)));
            const __m256i v1 = Reverse32(_mm256_sub_epi8(_mm256_loadu_si256(src + 1), _mm256_loadu_si256(k + 1)));
            uint8_t* dst = out + n - 64 - i;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 32), v0);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), v1);
            if ((j += 64) >= period)
                j -= period;
        }
        for (; i + 32 <= n; i += 32) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
            const __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pat + j));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + n - 32 - i), Reverse32(_mm256_sub_epi8(v, k)));
            if ((j += 32) >= period)
                j -= period;
        }
        DecipherScalar(pat, period, j, in, out, i, n);
    }
}

#endif

TransformPath DetectBestPath()
{
#ifdef QUORVEL_AVX2
    if (__builtin_cpu_supports("avx2"))
        return TransformPath::Avx2;
#endif
#ifdef QUORVEL_X86_VECTORS
    if (__builtin_cpu_supports("ssse3"))
        return TransformPath::Ssse3;
    if (__builtin_cpu_supports("sse2"))
        return TransformPath::Sse2;
#endif
    return TransformPath::Plain;
}

}  // namespace

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
    static const TransformPath best = DetectBestPath();
    TransformBlock(best, direction, key, in, out, n);
}

void TransformBlock(CipherDirection direction, const uint8_t* key, uint32_t keyLength, const uint8_t* in,
                    uint8_t* out, size_t n)
{
    TransformBlock(direction, ExpandedKey(key, keyLength), in, out, n);
}

}  // namespace quorvel
