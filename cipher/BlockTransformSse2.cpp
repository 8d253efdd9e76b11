// The 16-byte path in SSE2 alone, which every x86-64 processor has.
#include "cipher/BlockTransformVectors.h"

namespace quorvel {
namespace {

struct Sse2Ops : Ops128 {
    // Bytes swap within 16-bit lanes and lanes within 32-bit words by shifts,
    // then one shuffle of the words.
    static Vector Reverse(Vector v)
    {
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        v = _mm_or_si128(_mm_slli_epi32(v, 16), _mm_srli_epi32(v, 16));
        return _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
    }
};

}  // namespace

void TransformSse2(CipherDirection direction, const uint8_t* pat, uint32_t period, const uint8_t* in, uint8_t* out,
                   size_t n)
{
    TransformVectors<Sse2Ops>(direction, pat, period, in, out, n);
}

}  // namespace quorvel
