// Throughput of the level walks on one large level (a 2D one, and a volume of
// as many bytes), next to memcpy of the
// same bytes (the physical limit) and the walk written the plain way: column
// by column, recomputing the Morton index for every pixel. The Xbox 360 walk
// is timed on the same level sizes.
//
// Run through bench/run.sh, which prints each figure as a ratio to memcpy.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <span>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "layout/x360_tiling.h"
#include "texture/payload_buffer.h"

namespace {

using ddsswizzle::Direction;
using ddsswizzle::LevelChain;

constexpr std::int32_t side = 4096;
constexpr std::int32_t volume_side = 256;

// Buffers of the kind the tool converts in (huge pages where Linux offers
// them), every page touched before timing starts.
struct Buffers {
    ddsswizzle::PayloadBuffer source_storage;
    ddsswizzle::PayloadBuffer result_storage;
    std::span<const std::byte> source;
    std::span<std::byte> result;
};

Buffers make_buffers(std::size_t length) {
    Buffers buffers{ddsswizzle::allocate_payload_buffer(length), ddsswizzle::allocate_payload_buffer(length), {}, {}};
    if (!buffers.source_storage || !buffers.result_storage) std::abort();
    for (std::size_t i = 0; i < length; ++i) buffers.source_storage[i] = static_cast<std::byte>((i * 131U) >> 3U);
    std::memset(buffers.result_storage.get(), 0, length);
    buffers.source = std::span<const std::byte>(buffers.source_storage.get(), length);
    buffers.result = std::span<std::byte>(buffers.result_storage.get(), length);
    return buffers;
}

// The literal walk a naive port would run: kept here only as the baseline.
void plain_pixel_walk(std::size_t bpp, std::int32_t w, std::int32_t h, const std::byte* source, std::byte* result,
                      Direction direction) {
    for (std::int32_t x = 0; x < w; ++x) {
        for (std::int32_t y = 0; y < h; ++y) {
            const auto m = static_cast<std::size_t>(ddsswizzle::morton_index(x, y, w, h));
            const std::size_t l = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
            if (direction == Direction::swizzle) {
                std::memcpy(result + m * bpp, source + l * bpp, bpp);
            } else {
                std::memcpy(result + l * bpp, source + m * bpp, bpp);
            }
        }
    }
}

// Times one operation over a pair of buffers of length bytes, reporting
// bytes per second.
template <typename Operation>
void measure(benchmark::State& state, std::size_t length, Operation operation) {
    const Buffers buffers = make_buffers(length);
    for (auto _ : state) {
        operation(buffers.source, buffers.result);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(length));
}

void memcpy_bytes(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    measure(state, length, [length](std::span<const std::byte> source, std::span<std::byte> result) {
        std::memcpy(result.data(), source.data(), length);
    });
}

template <Direction D>
void pixel_walk(benchmark::State& state) {
    const auto bpp = static_cast<std::uint32_t>(state.range(0));
    measure(state, std::size_t{side} * side * bpp, [bpp](std::span<const std::byte> source, std::span<std::byte> result) {
        ddsswizzle::convert_pixel_levels(bpp, LevelChain{side, side, 1}, source, result, D);
    });
}

// One 256 x 256 x 256 level of a volume, as many bytes as the 2D level.
template <Direction D>
void volume_walk(benchmark::State& state) {
    const auto bpp = static_cast<std::uint32_t>(state.range(0));
    measure(state, std::size_t{volume_side} * volume_side * volume_side * bpp,
            [bpp](std::span<const std::byte> source, std::span<std::byte> result) {
                ddsswizzle::convert_volume_levels(bpp, ddsswizzle::VolumeChain{volume_side, volume_side, volume_side, 1},
                                                  source, result, D);
            });
}

template <Direction D>
void plain_walk(benchmark::State& state) {
    const auto bpp = static_cast<std::size_t>(state.range(0));
    measure(state, std::size_t{side} * side * bpp, [bpp](std::span<const std::byte> source, std::span<std::byte> result) {
        plain_pixel_walk(bpp, side, side, source.data(), result.data(), D);
    });
}

template <Direction D>
void block_walk(benchmark::State& state) {
    const auto block_bytes = static_cast<std::uint32_t>(state.range(0));
    measure(state, std::size_t{side} * side * block_bytes / 16,
            [block_bytes](std::span<const std::byte> source, std::span<std::byte> result) {
                ddsswizzle::convert_block_levels(block_bytes, LevelChain{side, side, 1}, source, result, D);
            });
}

// One Xbox 360 level of 4-byte pixels (block_bytes 4), DXT5 (16) or DXT1 (8). A
// 4096 x 4096 level fills its region exactly, so the image is as large as the
// linear level.
template <Direction D>
void x360_walk(benchmark::State& state) {
    const auto block_bytes = static_cast<std::uint32_t>(state.range(0));
    const ddsswizzle::X360Surface surface{block_bytes, block_bytes == 4 ? 1U : 4U, block_bytes == 4 ? 4U : 2U, side, side, 1, 1};
    measure(state, static_cast<std::size_t>(ddsswizzle::x360_image_size(surface)),
            [&surface](std::span<const std::byte> source, std::span<std::byte> result) {
                if (!ddsswizzle::convert_x360_levels(surface, source, result, D)) std::abort();
            });
}

// Names are read by bench/ratios.py: "<what>/<bytes or size>".
BENCHMARK(memcpy_bytes)->Name("memcpy/bytes")->Arg(std::int64_t{side} * side * 4)->Arg(std::int64_t{side} * side * 2)
    ->Arg(std::int64_t{side} * side)->Arg(std::int64_t{side} * side / 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(pixel_walk<Direction::swizzle>)->Name("pixel_swizzle/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(pixel_walk<Direction::unswizzle>)->Name("pixel_unswizzle/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(volume_walk<Direction::swizzle>)->Name("volume_swizzle/bpp")->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(volume_walk<Direction::unswizzle>)->Name("volume_unswizzle/bpp")->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(block_walk<Direction::swizzle>)->Name("block_swizzle/block_bytes")->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(block_walk<Direction::unswizzle>)->Name("block_unswizzle/block_bytes")->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(x360_walk<Direction::swizzle>)->Name("x360_swizzle/block_bytes")->Arg(4)->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(x360_walk<Direction::unswizzle>)->Name("x360_unswizzle/block_bytes")->Arg(4)->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plain_walk<Direction::swizzle>)->Name("plain_swizzle/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plain_walk<Direction::unswizzle>)->Name("plain_unswizzle/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
