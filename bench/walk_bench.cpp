// Throughput of the level walks on one large level (a 2D one, and a volume of
// as many bytes), next to memcpy of the same bytes (the physical limit) and
// the walk written the plain way: column by column, recomputing the Morton
// index for every pixel. Each level is laid out by lay_out_surface as a
// one-level surface of a real format, so the walks run exactly as they do
// for a texture, byte swaps included. The Xbox 360 walk is timed on the same
// level sizes. Each walk is timed again converting its level a piece at a
// time into one staging buffer, as the durable rewrite does while it writes.
//
// Run through bench/run.sh, which prints each figure as a ratio to memcpy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "file/payload_buffer.h"
#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "layout/surface_geometry.h"
#include "layout/x360_tiling.h"

namespace {

using ddsswizzle::engine::Console;
using ddsswizzle::engine::Direction;
using ddsswizzle::engine::Surface;
using ddsswizzle::engine::SurfaceGeometry;
using ddsswizzle::engine::TextureType;

constexpr std::int32_t side = 4096;
constexpr std::int32_t volume_side = 256;

// DXGI numbers of the formats timed.
constexpr std::uint32_t rgba32_float = 2;   // 16-byte texels: four 32-bit words, each byte-reversed
constexpr std::uint32_t rgba16_float = 10;  // 8-byte texels: two 32-bit words, 16-bit values swapped
constexpr std::uint32_t bc1 = 71;
constexpr std::uint32_t bc3 = 77;
constexpr std::uint32_t b5g6r5 = 85;        // 2-byte pixels, swapped on both consoles
constexpr std::uint32_t b8g8r8a8 = 87;      // 4-byte pixels, kept as they are on the PS3

// One level of a format laid out for a console; aborts if it is refused,
// since a refused level would time nothing.
SurfaceGeometry one_level(std::uint32_t format, Console console, std::int32_t width, std::int32_t height,
                          std::int32_t depth = 1) {
    const Surface surface{format, depth > 1 ? TextureType::volume : TextureType::plain, width, height, depth, 1};
    SurfaceGeometry geometry;
    if (ddsswizzle::engine::lay_out_surface(surface, console, geometry) != ddsswizzle::engine::Reason::none) std::abort();
    return geometry;
}

// Buffers of the kind the tool converts in (huge pages where Linux offers
// them), every page touched before timing starts.
struct Buffers {
    ddsswizzle::file::PayloadBuffer source_storage;
    ddsswizzle::file::PayloadBuffer result_storage;
    std::span<const std::byte> source;
    std::span<std::byte> result;
};

Buffers make_buffers(std::size_t length) {
    using ddsswizzle::file::allocate_payload_buffer;
    Buffers buffers{allocate_payload_buffer(length), allocate_payload_buffer(length), {}, {}};
    if (!buffers.source_storage || !buffers.result_storage) std::abort();
    for (std::size_t i = 0; i < length; ++i) buffers.source_storage[i] = static_cast<std::byte>((i * 131U) >> 3U);
    std::memset(buffers.result_storage.get(), 0, length);
    buffers.source = std::span<const std::byte>(buffers.source_storage.get(), length);
    buffers.result = std::span<std::byte>(buffers.result_storage.get(), length);
    return buffers;
}

// The Morton position of (x, y) the way the rule is first stated: halve both
// sides, and while a side still has a bit, take the next bit of its
// coordinate. Kept here only for the baseline.
constexpr std::uint32_t plain_morton_index(std::int32_t x, std::int32_t y, std::int32_t width,
                                           std::int32_t height) noexcept {
    std::uint32_t index = 0;
    std::uint32_t bit = 1;
    do {
        width /= 2;
        height /= 2;
        if (width > 0) {
            if (x % 2 != 0) index |= bit;
            bit <<= 1U;
        }
        if (height > 0) {
            if (y % 2 != 0) index |= bit;
            bit <<= 1U;
        }
        x /= 2;
        y /= 2;
    } while (std::int64_t{x} + std::int64_t{y} != 0);
    return index;
}

static_assert(plain_morton_index(3, 1, 4, 2) == 7 && plain_morton_index(0, 2, 2, 4) == 4);

// The literal walk a naive port would run: kept here only as the baseline.
void plain_pixel_walk(std::size_t bpp, std::int32_t w, std::int32_t h, const std::byte* source, std::byte* result,
                      Direction direction) {
    for (std::int32_t x = 0; x < w; ++x) {
        for (std::int32_t y = 0; y < h; ++y) {
            const std::size_t m = plain_morton_index(x, y, w, h);
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

// The pieces the durable rewrite converts a file in while it writes it:
// each is made in one staging buffer of this size and written out from there.
constexpr std::size_t piece_bytes = std::size_t{4} << 20U;

// Times converting a level of length bytes a piece at a time, every piece
// into the same staging buffer: convert_piece(source, begin, piece).
template <typename ConvertPiece>
void measure_pieces(benchmark::State& state, std::size_t length, ConvertPiece convert_piece) {
    const Buffers buffers = make_buffers(length);
    for (auto _ : state) {
        for (std::size_t begin = 0; begin < length; begin += piece_bytes) {
            convert_piece(buffers.source, begin, buffers.result.first(std::min(piece_bytes, length - begin)));
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(length));
}

// A PS3 level through the walk its format's rule picks, whole or in pieces.
template <Direction D, bool Pieces = false>
void measure_ps3(benchmark::State& state, const SurfaceGeometry& geometry) {
    const bool blocks = geometry.format.ps3 == ddsswizzle::engine::Ps3Rule::block_tiling;
    if constexpr (Pieces) {
        measure_pieces(state, geometry.linear_size, [&](std::span<const std::byte> source, std::size_t begin, std::span<std::byte> piece) {
            if (blocks) {
                ddsswizzle::engine::convert_block_piece(geometry, source, begin, piece, D);
            } else {
                ddsswizzle::engine::convert_morton_piece(geometry, source, begin, piece, D);
            }
        });
        return;
    }
    measure(state, geometry.linear_size, [&](std::span<const std::byte> source, std::span<std::byte> result) {
        if (blocks) {
            ddsswizzle::engine::convert_block_levels(geometry, source, result, D);
        } else {
            ddsswizzle::engine::convert_morton_levels(geometry, source, result, D);
        }
    });
}

void memcpy_bytes(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    measure(state, length, [length](std::span<const std::byte> source, std::span<std::byte> result) {
        std::memcpy(result.data(), source.data(), length);
    });
}

// 4096 x 4096 pixels of 4 bytes (B8G8R8A8) or 2 bytes (B5G6R5, whose bytes
// are swapped inside the walk).
template <Direction D, bool Pieces = false>
void pixel_walk(benchmark::State& state) {
    measure_ps3<D, Pieces>(state, one_level(state.range(0) == 4 ? b8g8r8a8 : b5g6r5, Console::ps3, side, side));
}

// Texels of 8 bytes (R16G16B16A16_FLOAT, 2048 x 2048) or 16 bytes
// (R32G32B32A32_FLOAT, 1024 x 1024): 32-bit words on a 4096-word-wide level,
// their float values byte-swapped inside the walk.
template <Direction D, bool Pieces = false>
void float_walk(benchmark::State& state) {
    const bool half = state.range(0) == 8;
    const std::int32_t texels = half ? side / 2 : side / 4;
    measure_ps3<D, Pieces>(state, one_level(half ? rgba16_float : rgba32_float, Console::ps3, texels, texels));
}

// One 256 x 256 x 256 level of a volume, as many bytes as the 2D level.
template <Direction D, bool Pieces = false>
void volume_walk(benchmark::State& state) {
    measure_ps3<D, Pieces>(state, one_level(b8g8r8a8, Console::ps3, volume_side, volume_side, volume_side));
}

template <Direction D>
void plain_walk(benchmark::State& state) {
    const auto bpp = static_cast<std::size_t>(state.range(0));
    measure(state, std::size_t{side} * side * bpp, [bpp](std::span<const std::byte> source, std::span<std::byte> result) {
        plain_pixel_walk(bpp, side, side, source.data(), result.data(), D);
    });
}

// 4096 x 4096 DXT5 (16-byte blocks) or DXT1 (8-byte blocks).
template <Direction D, bool Pieces = false>
void block_walk(benchmark::State& state) {
    measure_ps3<D, Pieces>(state, one_level(state.range(0) == 16 ? bc3 : bc1, Console::ps3, side, side));
}

// One Xbox 360 level of 4-byte pixels (block_bytes 4), DXT5 (16) or DXT1 (8). A
// 4096 x 4096 level fills its region exactly, so the image is as large as the
// linear level.
template <Direction D, bool Pieces = false>
void x360_walk(benchmark::State& state) {
    const auto block_bytes = state.range(0);
    const SurfaceGeometry geometry =
        one_level(block_bytes == 4 ? b8g8r8a8 : block_bytes == 16 ? bc3 : bc1, Console::x360, side, side);
    if (geometry.console_size != geometry.linear_size) std::abort();
    if constexpr (Pieces) {
        measure_pieces(state, geometry.linear_size, [&geometry](std::span<const std::byte> source, std::size_t begin, std::span<std::byte> piece) {
            if (!ddsswizzle::engine::convert_x360_piece(geometry, source, begin, piece, D)) std::abort();
        });
        return;
    }
    measure(state, geometry.linear_size, [&geometry](std::span<const std::byte> source, std::span<std::byte> result) {
        if (!ddsswizzle::engine::convert_x360_levels(geometry, source, result, D)) std::abort();
    });
}

// Names are read by bench/ratios.py: "<what>/<bytes or size>".
BENCHMARK(memcpy_bytes)->Name("memcpy/bytes")->Arg(std::int64_t{side} * side * 4)->Arg(std::int64_t{side} * side * 2)
    ->Arg(std::int64_t{side} * side)->Arg(std::int64_t{side} * side / 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(pixel_walk<Direction::swizzle>)->Name("pixel_swizzle/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(pixel_walk<Direction::unswizzle>)->Name("pixel_unswizzle/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(float_walk<Direction::swizzle>)->Name("float_swizzle/texel_bytes")->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(float_walk<Direction::unswizzle>)->Name("float_unswizzle/texel_bytes")->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(volume_walk<Direction::swizzle>)->Name("volume_swizzle/bpp")->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(volume_walk<Direction::unswizzle>)->Name("volume_unswizzle/bpp")->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(block_walk<Direction::swizzle>)->Name("block_swizzle/block_bytes")->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(block_walk<Direction::unswizzle>)->Name("block_unswizzle/block_bytes")->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(x360_walk<Direction::swizzle>)->Name("x360_swizzle/block_bytes")->Arg(4)->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(x360_walk<Direction::unswizzle>)->Name("x360_unswizzle/block_bytes")->Arg(4)->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
// The same levels a piece at a time, through one staging buffer.
BENCHMARK(pixel_walk<Direction::swizzle, true>)->Name("pixel_swizzle_pieces/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(pixel_walk<Direction::unswizzle, true>)->Name("pixel_unswizzle_pieces/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(float_walk<Direction::swizzle, true>)->Name("float_swizzle_pieces/texel_bytes")->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(float_walk<Direction::unswizzle, true>)->Name("float_unswizzle_pieces/texel_bytes")->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(volume_walk<Direction::swizzle, true>)->Name("volume_swizzle_pieces/bpp")->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(volume_walk<Direction::unswizzle, true>)->Name("volume_unswizzle_pieces/bpp")->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(block_walk<Direction::swizzle, true>)->Name("block_swizzle_pieces/block_bytes")->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(block_walk<Direction::unswizzle, true>)->Name("block_unswizzle_pieces/block_bytes")->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(x360_walk<Direction::swizzle, true>)->Name("x360_swizzle_pieces/block_bytes")->Arg(4)->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(x360_walk<Direction::unswizzle, true>)->Name("x360_unswizzle_pieces/block_bytes")->Arg(4)->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plain_walk<Direction::swizzle>)->Name("plain_swizzle/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(plain_walk<Direction::unswizzle>)->Name("plain_unswizzle/bpp")->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
