// The transform's loops, written once over a vector width, and the entry point
// of each vector path. Each BlockTransform<Set>.cpp includes this, is compiled
// for its own instruction set and instantiates the loop with its vector
// operations; BlockTransform.cpp picks among them at run time.
//
// Both directions walk the key forward from index 0 of the block:
//   Encipher: out[i]       = in[n-1-i] + key[i mod K]
//   Decipher: out[n-1-m]   = in[m]     - key[m mod K]
// so one forward walk over the expanded key pattern serves both, and a vector
// path only adds the byte reversal of each vector.
#pragma once

#include "cipher/BlockTransform.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorvel {

using TransformFunction = void(CipherDirection direction, const uint8_t* pat, uint32_t period, const uint8_t* in,
                               uint8_t* out, size_t n);
TransformFunction TransformSse2, TransformSsse3, TransformAvx2;

// Internal linkage throughout: every file that includes this compiles it for
// its own instruction set, and a shared copy would let the linker hand one
// path's instructions to another (AVX2 code in the plain path, say).
namespace {

// The scalar tail of every path, and the whole plain one: bytes [from, n) with
// the key at pattern index j.
inline void EncipherScalar(const uint8_t* pat, uint32_t period, uint32_t j, const uint8_t* in, uint8_t* out,
                           size_t from, size_t n)
{
    for (size_t i = from; i < n; ++i) {
        out[i] = static_cast<uint8_t>(in[n - 1 - i] + pat[j]);
        if (++j == period)
            j = 0;
    }
}

inline void DecipherScalar(const uint8_t* pat, uint32_t period, uint32_t j, const uint8_t* in, uint8_t* out,
                           size_t from, size_t n)
{
    for (size_t m = from; m < n; ++m) {
        out[n - 1 - m] = static_cast<uint8_t>(in[m] - pat[j]);
        if (++j == period)
            j = 0;
    }
}

// Ops is a vector width's operations: a Vector type, unaligned Load and Store,
// bytewise Add and Sub, and Reverse of a vector's bytes.
//
// Vectors L... from output position i on, the key at pattern index j. The
// packs unroll the step whatever the optimiser decides, and all loads come
// before the first store, which leaves the compiler free to order them
// although it cannot know that in and out do not overlap.
template <class Ops, size_t... L>
inline void EncipherVectors(const uint8_t* pat, uint32_t j, const uint8_t* in, uint8_t* out, size_t i, size_t n,
                            std::index_sequence<L...>)
{
    constexpr size_t width = sizeof(typename Ops::Vector);
    const typename Ops::Vector v[] = {Ops::Reverse(Ops::Load(in + n - i - width * (L + 1)))...};
    (Ops::Store(out + i + width * L, Ops::Add(v[L], Ops::Load(pat + j + width * L))), ...);
}

// Vectors L... from input position m on, the key at pattern index j.
template <class Ops, size_t... L>
inline void DecipherVectors(const uint8_t* pat, uint32_t j, const uint8_t* in, uint8_t* out, size_t m, size_t n,
                            std::index_sequence<L...>)
{
    constexpr size_t width = sizeof(typename Ops::Vector);
    const typename Ops::Vector v[] = {
        Ops::Reverse(Ops::Sub(Ops::Load(in + m + width * L), Ops::Load(pat + j + width * L)))...};
    (Ops::Store(out + n - m - width * (L + 1), v[L]), ...);
}

// Pattern index j moved on by bytes; one wrap is enough, as a step never
// exceeds the period.
inline uint32_t KeyIndexAfter(uint32_t j, size_t bytes, uint32_t period)
{
    j += static_cast<uint32_t>(bytes);
    return j >= period ? j - period : j;
}

#ifdef __SSE2__
// The 16-byte operations but Reverse, which SSE2 and SSSE3 do each their way.
struct Ops128 {
    using Vector = __m128i;
    static Vector Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(uint8_t* p, Vector v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static Vector Add(Vector a, Vector b) { return _mm_add_epi8(a, b); }
    static Vector Sub(Vector a, Vector b) { return _mm_sub_epi8(a, b); }
};
#endif

// A whole block: steps of ExpandedKey::kOverhang bytes, then single vectors,
// then bytes. The pattern's overhang covers the key read of a step at any
// j < period.
template <class Ops>
void TransformVectors(CipherDirection direction, const uint8_t* pat, uint32_t period, const uint8_t* in,
                      uint8_t* out, size_t n)
{
    constexpr size_t width = sizeof(typename Ops::Vector);
    constexpr size_t step = ExpandedKey::kOverhang;
    static_assert(step % width == 0, "a step is whole vectors");
    constexpr auto stepVectors = std::make_index_sequence<step / width>();
    constexpr auto oneVector = std::index_sequence<0>();
    uint32_t j = 0;
    size_t i = 0;
    if (direction == CipherDirection::Encipher) {
        for (; i + step <= n; i += step, j = KeyIndexAfter(j, step, period))
            EncipherVectors<Ops>(pat, j, in, out, i, n, stepVectors);
        for (; i + width <= n; i += width, j = KeyIndexAfter(j, width, period))
            EncipherVectors<Ops>(pat, j, in, out, i, n, oneVector);
        EncipherScalar(pat, period, j, in, out, i, n);
    } else {
        for (; i + step <= n; i += step, j = KeyIndexAfter(j, step, period))
            DecipherVectors<Ops>(pat, j, in, out, i, n, stepVectors);
        for (; i + width <= n; i += width, j = KeyIndexAfter(j, width, period))
            DecipherVectors<Ops>(pat, j, in, out, i, n, oneVector);
        DecipherScalar(pat, period, j, in, out, i, n);
    }
}

}  // namespace
}  // namespace quorvel
