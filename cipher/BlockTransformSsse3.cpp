// The 16-byte path with SSSE3, which every x86 processor since 2006 has: it
// reverses a vector in one byte shuffle.
#include "cipher/BlockTransformVectors.h"

#include <tmmintrin.h>

namespace quorvel {
namespace {

struct Ssse3Ops : Ops128 {
    static Vector Reverse(Vector v)
    {
        return _mm_shuffle_epi8(v, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
    }
};

}  // namespace

void TransformSsse3(CipherDirection direction, const uint8_t* pat, uint32_t period, const uint8_t* in, uint8_t* out,
                    size_t n)
{
    TransformVectors<Ssse3Ops>(direction, pat, period, in, out, n);
}

}  // namespace quorvel
