// The 32-byte path with AVX2. cipher/CMakeLists.txt builds it only where no
// 256-bit value can fault on a misaligned stack slot.
#include "cipher/BlockTransformVectors.h"

#include <immintrin.h>

namespace quorvel {
namespace {

struct Avx2Ops {
    using Vector = __m256i;
    static Vector Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(uint8_t* p, Vector v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static Vector Add(Vector a, Vector b) { return _mm256_add_epi8(a, b); }
    static Vector Sub(Vector a, Vector b) { return _mm256_sub_epi8(a, b); }
    // The byte shuffle reverses each 128-bit half; swapping the halves finishes it.
    static Vector Reverse(Vector v)
    {
        const __m256i mask = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,  //
                                              15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, mask), _MM_SHUFFLE(1, 0, 3, 2));
    }
};

}  // namespace

void TransformAvx2(CipherDirection direction, const uint8_t* pat, uint32_t period, const uint8_t* in, uint8_t* out,
                   size_t n)
{
    TransformVectors<Avx2Ops>(direction, pat, period, in, out, n);
}

}  // namespace quorvel
