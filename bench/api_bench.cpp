// One call of the library's public conversion (ddsswizzle::convert) on a
// whole surface, between two plain heap buffers touched before timing: the
// C++ side of bench/python_bench.py, which times the Python module's
// swizzle and unswizzle on the same surfaces and buffers of the same kind
// and prints the ratio of the medians.
//
// Benchmark names: convert/FORMAT/SIDE/CONSOLE/DIRECTION, a square level of
// SIDE x SIDE pixels, CONSOLE 0 PS3 and 1 Xbox 360, DIRECTION 0 swizzle and
// 1 unswizzle.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ddsswizzle/ddsswizzle.hpp"

namespace {

void convert(benchmark::State& state) {
    const ddsswizzle::Surface surface{static_cast<std::uint32_t>(state.range(0)),
                                      static_cast<std::int32_t>(state.range(1)),
                                      static_cast<std::int32_t>(state.range(1))};
    const auto console = static_cast<ddsswizzle::Console>(state.range(2));
    const auto direction = static_cast<ddsswizzle::Direction>(state.range(3));
    std::uint64_t linear = 0;
    std::uint64_t tiled = 0;
    if (ddsswizzle::sizes(surface, console, linear, tiled) != ddsswizzle::Status::ok) std::abort();
    const bool swizzle = direction == ddsswizzle::Direction::swizzle;
    std::vector<std::byte> source(static_cast<std::size_t>(swizzle ? linear : tiled));
    std::vector<std::byte> result(static_cast<std::size_t>(swizzle ? tiled : linear));
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::byte>((i * 131U) >> 3U);
    for (auto _ : state) {
        if (ddsswizzle::convert(surface, console, direction, source, result) != ddsswizzle::Status::ok) std::abort();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(source.size()));
}

// B8G8R8A8_UNORM (87) and BC3_UNORM (77, DXT5) levels of 4096 x 4096, and
// 64 x 64 pixels for the cost of a call.
void arguments(benchmark::internal::Benchmark* benchmark) {
    for (const std::int64_t side : {4096, 64}) {
        for (const std::int64_t format : {87, 77}) {
            if (side == 64 && format == 77) continue;
            for (const std::int64_t console : {0, 1}) {
                for (const std::int64_t direction : {0, 1}) benchmark->Args({format, side, console, direction});
            }
        }
    }
}

}  // namespace

BENCHMARK(convert)->Apply(arguments)->UseRealTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
