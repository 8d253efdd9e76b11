// Block transform throughput, every path and both directions, against memcpy
// of the same 256 KiB block between the same two buffers: a transform is one
// read and one write per byte, so memcpy is the bound it is measured against.
//
//   build/<dir>/bin/transform_bench --benchmark_min_time=1
#include "cipher/BlockTransform.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using quorvel::CIPHER_BLOCK_SIZE;
using quorvel::CipherDirection;
using quorvel::TransformPath;

struct Buffers {
    std::vector<uint8_t> in, out;
    Buffers() : in(CIPHER_BLOCK_SIZE), out(CIPHER_BLOCK_SIZE)
    {
        std::mt19937 rng(1);
        for (auto& b : in)
            b = static_cast<uint8_t>(rng());
    }
};

void Memcpy(benchmark::State& state)
{
    Buffers b;
    for (auto _ : state) {
        std::memcpy(b.out.data(), b.in.data(), b.in.size());
        benchmark::DoNotOptimize(b.out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * CIPHER_BLOCK_SIZE);
}

// A seven-byte key: not a divisor of any vector width, the common case.
const quorvel::ExpandedKey& Key()
{
    static const uint8_t bytes[] = {'q', 'u', 'o', 'r', 'v', 'e', 'l'};
    static const quorvel::ExpandedKey key(bytes, sizeof bytes);
    return key;
}

void Transform(benchmark::State& state, const TransformPath* path, CipherDirection direction)
{
    Buffers b;
    for (auto _ : state) {
        if (path)
            quorvel::TransformBlock(*path, direction, Key(), b.in.data(), b.out.data(), b.in.size());
        else
            quorvel::TransformBlock(direction, Key(), b.in.data(), b.out.data(), b.in.size());
        benchmark::DoNotOptimize(b.out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * CIPHER_BLOCK_SIZE);
}

const int registered = [] {
    benchmark::RegisterBenchmark("memcpy", Memcpy);
    static std::vector<TransformPath> paths = quorvel::AvailableTransformPaths();
    for (const CipherDirection direction : {CipherDirection::Encipher, CipherDirection::Decipher}) {
        const std::string dir = direction == CipherDirection::Encipher ? "encipher" : "decipher";
        for (const TransformPath& path : paths)
            benchmark::RegisterBenchmark((dir + "/" + quorvel::TransformPathName(path)).c_str(), Transform, &path,
                                         direction);
        benchmark::RegisterBenchmark((dir + "/default").c_str(), Transform, nullptr, direction);
    }
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
