// Throughput of the MD5 digest over a 64 MiB buffer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "digest/md5.h"

namespace {

void hashBuffer(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  std::vector<unsigned char> buffer(size);
  std::uint32_t seed = 12345;
  for (unsigned char& byte : buffer) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<unsigned char>(seed >> 24);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(catpack::md5OfBuffer(buffer.data(), static_cast<std::uint32_t>(size)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

BENCHMARK(hashBuffer)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
