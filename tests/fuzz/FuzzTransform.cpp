// The block transform on files the fuzzer shapes: any key length, any file
// length across block boundaries, buffers at any alignment. Every path must
// give the bytes of the format's formula, and deciphering must give the file back.
//
// Input: [key length][file length x3][alignments][key bytes...][file seed bytes...]
#include "CipherReference.h"
#include "cipher/BlockTransform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace quorvel;

namespace {

void Fail(int line)
{
    std::fprintf(stderr, "FuzzTransform.cpp:%d: check failed\n", line);
    std::abort();
}

#define Check(ok) ((ok) ? void() : Fail(__LINE__))

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    // Key lengths 1..256 cover shorter than, equal to and longer than every vector width.
    const size_t keyLength = 1 + data[0];
    // File length from the fourth byte: mostly short (vector tails and key
    // wrap-arounds, fast to run), one input in 32 within 128 bytes of a block
    // boundary and one in 32 anywhere up to three blocks (these cost ~20 ms).
    const size_t low = static_cast<size_t>(data[1]) | static_cast<size_t>(data[2]) << 8;
    size_t fileLength = 0;
    if (data[3] < 0xF0)
        fileLength = data[3] < 0xA0 ? low % 1024 : low;
    else if (data[3] < 0xF8)
        fileLength = (1 + data[3] % 2) * size_t {CIPHER_BLOCK_SIZE} + data[1] - 128;
    else
        fileLength = (low | static_cast<size_t>(data[3] & 0x07) << 16) % (3 * CIPHER_BLOCK_SIZE + 300);
    const size_t inShift = data[4] & 31, outShift = data[4] >> 5;
    data += 5, size -= 5;

    std::vector<uint8_t> key(keyLength);
    for (size_t j = 0; j < keyLength; ++j)
        key[j] = j < size ? data[j] : static_cast<uint8_t>(j * 151 + 7);
    // The file repeats what is left of the input, one higher each time round,
    // so neighbouring blocks differ.
    const uint8_t* seed = size > keyLength ? data + keyLength : data;
    const size_t seedLength = size > keyLength ? size - keyLength : size;
    std::vector<uint8_t> plain(fileLength);
    for (size_t i = 0; i < fileLength; ++i)
        plain[i] = static_cast<uint8_t>(seedLength == 0 ? i : i < seedLength ? seed[i] : plain[i - seedLength] + 1);

    const ExpandedKey expanded(key.data(), static_cast<uint32_t>(keyLength));
    const std::vector<TransformPath> paths = AvailableTransformPaths();
    const uint64_t blocks = BlockCount(fileLength);
    Check(blocks == (fileLength + CIPHER_BLOCK_SIZE - 1) / CIPHER_BLOCK_SIZE);
    // Exactly sized heap copies, so a vector read or write past a block's end is caught.
    for (uint64_t b = 0; b < blocks; ++b) {
        const size_t start = static_cast<size_t>(b) * CIPHER_BLOCK_SIZE;
        const size_t n = test::BlockLength(fileLength, b);
        Check(n >= 1 && n <= CIPHER_BLOCK_SIZE && start + n <= fileLength);
        auto* in = static_cast<uint8_t*>(std::malloc(n + inShift));
        auto* out = static_cast<uint8_t*>(std::malloc(n + outShift));
        auto* back = static_cast<uint8_t*>(std::malloc(n));
        std::memcpy(in + inShift, plain.data() + start, n);
        std::vector<uint8_t> first;
        for (const TransformPath path : paths) {
            TransformBlock(path, CipherDirection::Encipher, expanded, in + inShift, out + outShift, n);
            if (first.empty()) {
                // The format's reference, built first and compared whole: a
                // comparison per byte would be traced by the fuzzer's
                // instrumentation and cost tenfold.
                std::vector<uint8_t> expected(n);
                test::ReferenceBlock(CipherDirection::Encipher, key, plain.data() + start, expected.data(), n);
                Check(std::memcmp(expected.data(), out + outShift, n) == 0);
                first.assign(out + outShift, out + outShift + n);
            } else {
                Check(std::memcmp(first.data(), out + outShift, n) == 0);
            }
            TransformBlock(path, CipherDirection::Decipher, expanded, out + outShift, back, n);
            Check(std::memcmp(back, plain.data() + start, n) == 0);
        }
        // The default path and the one-off form straight from key bytes agree with them.
        TransformBlock(CipherDirection::Encipher, key.data(), static_cast<uint32_t>(keyLength), in + inShift,
                       out + outShift, n);
        Check(std::memcmp(first.data(), out + outShift, n) == 0);
        std::free(in), std::free(out), std::free(back);
    }

    // The partition of any 64-bit size from the first eight input bytes: the
    // count rounds up, the last block holds the rest, the one before is full.
    uint64_t big = 0;
    std::memcpy(&big, data - 5, 8 <= size + 5 ? 8 : size + 5);
    const uint64_t count = BlockCount(big);
    const unsigned __int128 expectedCount = (static_cast<unsigned __int128>(big) + CIPHER_BLOCK_SIZE - 1) >> 18;
    Check(count == expectedCount);
    if (count != 0) {
        Check(test::BlockLength(big, count - 1) == big - (count - 1) * CIPHER_BLOCK_SIZE);
        Check(test::BlockLength(big, count - 1) >= 1);
    }
    if (count >= 2)
        Check(test::BlockLength(big, count - 2) == CIPHER_BLOCK_SIZE);
    return 0;
}
