// The enciphered format: key bytes, block partition, and every transform path
// against a plain reference written from the format's definition.
#include "cipher/BlockTransform.h"

#include "CipherReference.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

namespace quorvel {
namespace {

// Every input here is one block long at most, so its reference is that of a
// file of one block.
using test::ReferenceFile;

std::vector<uint8_t> Transform(TransformPath path, CipherDirection direction, const std::vector<uint8_t>& key,
                         const std::vector<uint8_t>& in)
{
    const ExpandedKey expanded(key.data(), static_cast<uint32_t>(key.size()));
    // Guard bytes after the output catch a vector store past the end.
    std::vector<uint8_t> out(in.size() + 64, 0xA5);
    TransformBlock(path, direction, expanded, in.data(), out.data(), in.size());
    for (size_t i = in.size(); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xA5) << "write past the block end at " << i;
    out.resize(in.size());
    return out;
}

std::vector<uint8_t> KeyBytes(std::u16string_view password)
{
    const SecureBytes key = MakeKey(password);
    return std::vector<uint8_t>(key.data(), key.data() + key.size());
}

TEST(MakeKey, TakesTheLowByteOfEachUtf16CodeUnit)
{
    EXPECT_EQ(KeyBytes(u"mqzvtrk"), (std::vector<uint8_t> {'m', 'q', 'z', 'v', 't', 'r', 'k'}));
    // 密 is U+5BC6, 码 U+7801: only 0xC6 and 0x01 survive.
    EXPECT_EQ(KeyBytes(u"密码abcd"), (std::vector<uint8_t> {0xC6, 0x01, 'a', 'b', 'c', 'd'}));
    // U+1F600 is the surrogate pair D83D DE00: two key bytes.
    EXPECT_EQ(KeyBytes(u"\U0001F600abcd"), (std::vector<uint8_t> {0x3D, 0x00, 'a', 'b', 'c', 'd'}));
    // So passwords with the same low bytes give the same key.
    EXPECT_EQ(KeyBytes(u"\u0141\u0242cdef"), KeyBytes(u"ABcdef"));
}

TEST(BlockPartition, CountsAroundTheBlockSize)
{
    // Past 4 GiB the count needs the high half of the size; past 2^50 bytes
    // it needs more than 32 bits.
    for (const auto& [size, count] :
         {std::pair<uint64_t, uint64_t> {0, 0}, {1, 1}, {0x3FFFF, 1}, {0x40000, 1}, {0x40001, 2},
          {uint64_t {1} << 32, 0x4000}, {(uint64_t {1} << 32) + 1, 0x4001}, {(uint64_t {1} << 50) + 1, 0x100000001},
          {~uint64_t {0}, uint64_t {1} << 46}})
        EXPECT_EQ(BlockCount(size), count) << size;
}

TEST(TransformBlock, KnownAnswers)
{
    const std::vector<uint8_t> key {'a', 'b', 'c', 'd', 'e', 'f'};
    // One byte: that byte plus key byte 0.
    EXPECT_EQ(Transform(TransformPath::Plain, CipherDirection::Encipher, key, {0x10}), (std::vector<uint8_t> {0x71}));
    // Reversed, then keyed from index 0: 3+'a', 2+'b', 1+'c'.
    EXPECT_EQ(Transform(TransformPath::Plain, CipherDirection::Encipher, key, {1, 2, 3}),
              (std::vector<uint8_t> {0x64, 0x64, 0x64}));
    // Sums wrap modulo 256.
    EXPECT_EQ(Transform(TransformPath::Plain, CipherDirection::Encipher, {0xFF, 2, 3, 4, 5, 6}, {0x02}),
              (std::vector<uint8_t> {0x01}));
    // Key longer than the block uses key bytes 0..n-1 only, in both directions.
    EXPECT_EQ(Transform(TransformPath::Plain, CipherDirection::Decipher, key, {0x64, 0x64, 0x64}),
              (std::vector<uint8_t> {1, 2, 3}));
}

// Every path, both directions, against the reference on every length class:
// shorter than the key, around the vector widths, odd, and whole blocks.
TEST(TransformBlock, EveryPathMatchesTheReference)
{
    const uint32_t seed = 20261208;
    std::mt19937 rng(seed);
    std::vector<size_t> lengths;
    for (size_t n = 1; n <= 130; ++n)
        lengths.push_back(n);
    for (size_t n : {255u, 257u, 1000u, 4097u, 65535u, 0x3FFFFu, 0x40000u})
        lengths.push_back(n);
    for (int i = 0; i < 20; ++i)
        lengths.push_back(1 + rng() % CIPHER_BLOCK_SIZE);

    for (size_t keyLength : {6u, 7u, 16u, 31u, 32u, 33u, 64u, 65u, 100u, 1000u}) {
        const auto key = test::RandomBytes(keyLength, seed + static_cast<uint32_t>(keyLength));
        for (size_t n : lengths) {
            const auto plain = test::RandomBytes(n, static_cast<uint32_t>(n * 31 + keyLength));
            const auto enciphered = ReferenceFile(CipherDirection::Encipher, key, plain);
            for (TransformPath path : AvailableTransformPaths()) {
                SCOPED_TRACE(testing::Message() << TransformPathName(path) << " K=" << keyLength << " n=" << n
                                                << " seed=" << seed);
                ASSERT_EQ(Transform(path, CipherDirection::Encipher, key, plain), enciphered);
                ASSERT_EQ(Transform(path, CipherDirection::Decipher, key, enciphered), plain);
                ASSERT_EQ(Transform(path, CipherDirection::Decipher, key, plain),
                          ReferenceFile(CipherDirection::Decipher, key, plain));
            }
        }
    }
}

TEST(TransformBlock, DefaultPathAndOneOffFormAgree)
{
    const auto key = test::RandomBytes(9, 1);
    const auto plain = test::RandomBytes(CIPHER_BLOCK_SIZE, 2);
    std::vector<uint8_t> a(plain.size()), b(plain.size());
    TransformBlock(CipherDirection::Encipher, ExpandedKey(key.data(), 9), plain.data(), a.data(), a.size());
    TransformBlock(CipherDirection::Encipher, key.data(), 9, plain.data(), b.data(), b.size());
    EXPECT_EQ(a, ReferenceFile(CipherDirection::Encipher, key, plain));
    EXPECT_EQ(b, a);
}

#if defined(__x86_64__)
// Every x86-64 build, the 64-bit Windows one included, offers the AVX2 path
// where the processor has it; a build guard that quietly drops it fails here.
// The list goes to the log, which then shows the paths the test above ran.
TEST(TransformBlock, X86_64BuildsOfferAvx2WhereTheProcessorHasIt)
{
    const auto paths = AvailableTransformPaths();
    std::string names;
    for (TransformPath path : paths)
        names += std::string(" ") + TransformPathName(path);
    std::printf("transform paths on this processor:%s\n", names.c_str());
    if (!__builtin_cpu_supports("avx2"))
        GTEST_SKIP() << "this processor has no AVX2";
    EXPECT_NE(std::find(paths.begin(), paths.end(), TransformPath::Avx2), paths.end()) << names;
}
#endif

TEST(TransformBlock, WrongKeyIsNotDetectedButGivesOtherBytes)
{
    const auto plain = test::RandomBytes(5000, 3);
    const auto enciphered = Transform(TransformPath::Plain, CipherDirection::Encipher, KeyBytes(u"secret1"), plain);
    const auto wrong = Transform(TransformPath::Plain, CipherDirection::Decipher, KeyBytes(u"secret2"), enciphered);
    EXPECT_EQ(wrong.size(), plain.size());
    EXPECT_NE(wrong, plain);
}

// That the bytes are wiped before their memory is freed is key_wipe_test's.
TEST(SecureBytes, AMoveLeavesOneOwner)
{
    SecureBytes key = MakeKey(u"mqzvtrk");
    ASSERT_EQ(key.size(), 7u);
    SecureBytes moved = std::move(key);
    EXPECT_TRUE(key.empty());
    EXPECT_EQ(key.data(), nullptr);
    EXPECT_EQ(moved[0], 'm');
}

}  // namespace
}  // namespace quorvel
