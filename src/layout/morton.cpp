// Level walks for the Morton pixel order, of 2D textures, cube maps and
// volumes (a 2D level is a volume one slice deep; texels wider than 4 bytes
// are 32-bit words on a wider level).
//
// The rule as the walks see it: a level with power-of-two sides has a Morton
// bit pattern, the list of which axis (column, row or slice) each bit of a
// position comes from, lowest first: "x y x y x x" for 8 x 4, "x y z x y z"
// for 4 x 4 x 4. Each position bit stands for a fixed distance on the linear
// side: the k-th column bit for 2^k pixels, the k-th row bit for 2^k rows, the
// k-th slice bit for 2^k slices. The linear place of Morton position m is the
// sum of the distances of the bits set in m.
//
// The low bits of the pattern span a box of the level that is one contiguous
// run of Morton positions: a tile. The walks take the tiles in linear order
// and the groups inside a tile (the tile's lowest few position bits, the unit
// a kernel moves) in Morton order, so the Morton side is one sequential run
// per tile. Going from group g - 1 to g sets bit countr_zero(g) of the group
// number and clears the ones below it, so the linear offset is stepped by one
// addition per group instead of being recomputed.
//
// Swizzle reads each group straight from the level's rows. Unswizzle writes
// tiles into a small staging buffer and then copies their rows out whole:
// writing many rows a few bytes at a time is slow, with streaming stores above
// all. Its tiles are runs of the Morton side that lie apart, which the
// hardware prefetcher does not follow from one to the next, so while it
// converts a tile it asks for the next tile of the row, a line for every line
// it reads. Levels of 8 MiB and more are written with streaming stores, which
// skip reading each destination line before overwriting it.
#include "layout/morton.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "layout/kernel_set.h"
#include "layout/simd.h"
#include "layout/walk_support.h"

namespace ddsswizzle::engine {
namespace {

// Levels at least this large are written with streaming stores: they do not
// fit the cache anyway, and streaming saves reading every destination line
// from memory before overwriting it.
constexpr std::uint64_t streaming_level_bytes = std::uint64_t{8} << 20U;

// Tile sizes, found by measurement. Swizzle does best with small tiles of
// 256 bytes (8 x 8 pixels of 4 bytes, 4 x 4 x 4 of a volume): they read few
// rows at a time, which keeps the hardware prefetcher on track, and still
// write whole 64-byte lines. Unswizzle does best with tiles of 16 KiB (64 x 64
// pixels of 4 bytes, 16 x 16 x 16 of a volume) read in one run each, staged
// a few side by side so that the rows they are copied out in are long.
constexpr std::size_t swizzle_tile_bytes = 256;
constexpr std::size_t unswizzle_tile_bytes = std::size_t{16} << 10U;
constexpr std::size_t staging_bytes = std::size_t{64} << 10U;

// A volume's swizzle tile reads 16 rows at once (4 rows of 4 slices), more
// sequential streams than the hardware prefetcher follows; so each tile that
// starts a 64-byte line asks for its rows this far ahead (the README gives
// the figures).
constexpr std::size_t volume_prefetch_bytes = 256;

// Position bits of a tile of the given bytes.
constexpr std::uint32_t bits_of_tile(std::size_t tile_bytes, std::size_t bpp) noexcept {
    return static_cast<std::uint32_t>(std::countr_zero(tile_bytes / bpp));
}

enum class Axis : std::uint8_t { column, row, slice };

// A level with power-of-two sides and its Morton bit pattern: axis[b] is the
// axis bit b of a position comes from. A level fits in memory, so its pixel
// count has fewer than 64 bits.
struct Level {
    std::array<std::uint32_t, 3> side{};  // width, height, depth
    std::size_t bpp = 0;
    std::uint32_t bits = 0;
    std::array<Axis, 64> axis{};
};

constexpr Level morton_level(std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::size_t bpp) noexcept {
    Level level{{width, height, depth}, bpp, 0, {}};
    std::array<std::uint32_t, 3> left = level.side;  // how far each axis can still be halved
    while (left[0] > 1 || left[1] > 1 || left[2] > 1) {
        for (const Axis a : {Axis::column, Axis::row, Axis::slice}) {
            std::uint32_t& l = left[static_cast<std::size_t>(a)];
            if (l > 1) {
                level.axis[level.bits++] = a;
                l /= 2;
            }
        }
    }
    return level;
}

// Whether the pattern begins with the given bits: 'x' for a column bit, '-'
// for a bit of another axis.
constexpr bool pattern_begins(const Level& level, const char* bits) noexcept {
    for (std::uint32_t b = 0; bits[b] != '\0'; ++b) {
        if (b >= level.bits || (level.axis[b] == Axis::column) != (bits[b] == 'x')) return false;
    }
    return true;
}

static_assert(pattern_begins(morton_level(8, 4, 1, 4), "x-x-x") && !pattern_begins(morton_level(8, 4, 1, 4), "x-x-xx"));
static_assert(pattern_begins(morton_level(4, 4, 4, 4), "x--x--") && pattern_begins(morton_level(8, 1, 2, 4), "x-xx"));

// Distances on the linear side, in bytes, between neighbours along each axis:
// the level's own rows and slices, or those of the staging buffer.
using Strides = std::array<std::size_t, 3>;

// The level's own distances between neighbours along each axis.
Strides level_strides(const Level& level) noexcept {
    return {level.bpp, std::size_t{level.side[0]} * level.bpp,
            std::size_t{level.side[0]} * level.side[1] * level.bpp};
}

// The linear distance each position bit of the level stands for.
std::array<std::size_t, 64> bit_distances(const Level& level, Strides strides) noexcept {
    std::array<std::size_t, 64> distance{};
    for (std::uint32_t b = 0; b < level.bits; ++b) {
        std::size_t& next = strides[static_cast<std::size_t>(level.axis[b])];
        distance[b] = next;
        next *= 2;
    }
    return distance;
}

// The next value of a number whose bits live only at the set bits of mask.
constexpr std::uint64_t next_in_mask(std::uint64_t m, std::uint64_t mask) noexcept { return ((m | ~mask) + 1U) & mask; }

static_assert(next_in_mask(0b0001, 0b0101) == 0b0100 && next_in_mask(0b0101, 0b0101) == 0);

// The tiles of a level: position bits [0, tile_bits), of which the lowest
// group_bits make a group. step[t] is what the linear offset changes by from
// group g - 1 to group g when g has t trailing zeros (adding the unsigned
// wrap-around of a negative change subtracts it).
struct Tiling {
    std::uint32_t group_bits = 0;
    std::uint32_t tile_bits = 0;
    std::array<std::size_t, 3> extent{};  // the tile's sides in pixels
    std::array<std::size_t, 64> step{};
};

Tiling tiling(const Level& level, std::uint32_t group_bits, std::uint32_t tile_bits, Strides strides) noexcept {
    Tiling t{group_bits, std::min(tile_bits, level.bits), {1, 1, 1}, {}};
    for (std::uint32_t b = 0; b < t.tile_bits; ++b) t.extent[static_cast<std::size_t>(level.axis[b])] *= 2;
    const std::array<std::size_t, 64> distance = bit_distances(level, strides);
    std::size_t below = 0;
    for (std::uint32_t k = 0; group_bits + k < t.tile_bits; ++k) {
        t.step[k] = distance[group_bits + k] - below;
        below += distance[group_bits + k];
    }
    return t;
}

// A box of a level: extent[a] positions from begin[a] on axis a, every
// extent a power of two and every begin a multiple of its extent. The whole
// level is one; so is every aligned run of 2^k Morton positions (the box the
// pattern's low k bits span) and every aligned run of 2^k linear positions
// (whole rows and slices, or part of one row).
struct Box {
    std::array<std::size_t, 3> begin{};
    std::array<std::size_t, 3> extent{};
};

// The position bits that coordinate c on axis a stands for.
std::uint64_t spread(const Level& level, Axis a, std::uint64_t c) noexcept {
    std::uint64_t bits = 0;
    for (std::uint32_t b = 0, k = 0; b < level.bits; ++b) {
        if (level.axis[b] != a) continue;
        bits |= ((c >> k++) & 1U) << b;
    }
    return bits;
}

// The coordinates of Morton position m.
std::array<std::size_t, 3> coordinates(const Level& level, std::uint64_t m) noexcept {
    std::array<std::size_t, 3> c{};
    std::array<std::uint32_t, 3> k{};
    for (std::uint32_t b = 0; b < level.bits; ++b) {
        const auto a = static_cast<std::size_t>(level.axis[b]);
        c[a] |= static_cast<std::size_t>((m >> b) & 1U) << k[a]++;
    }
    return c;
}

std::uint64_t morton_position(const Level& level, const std::array<std::size_t, 3>& c) noexcept {
    return spread(level, Axis::column, c[0]) | spread(level, Axis::row, c[1]) | spread(level, Axis::slice, c[2]);
}

// The most low bits of the pattern whose box fits inside extents: a walk of
// a box of these extents takes tiles of at most so many bits.
std::uint32_t bits_fitting(const Level& level, const std::array<std::size_t, 3>& extent) noexcept {
    std::array<std::size_t, 3> spanned{1, 1, 1};
    std::uint32_t b = 0;
    for (; b < level.bits; ++b) {
        std::size_t& side = spanned[static_cast<std::size_t>(level.axis[b])];
        if (side * 2 > extent[static_cast<std::size_t>(level.axis[b])]) break;
        side *= 2;
    }
    return b;
}

// Calls visit(tile's linear offset, tile's Morton offset, Morton offset of
// the next tile of its row, or its own for the last) for every tile of a box
// of the level, in linear order. A tile's Morton position is made of the
// position bits of its column, its row and its slice, each stepped from tile
// to tile with the masked increment. The tiles fit the box (see
// bits_fitting).
template <typename Visit>
void for_each_tile(const Level& level, const Tiling& tiling, const Box& box, Visit visit) noexcept {
    std::array<std::uint64_t, 3> mask{};  // the position bits above the tile's, by axis
    for (std::uint32_t b = tiling.tile_bits; b < level.bits; ++b) {
        mask[static_cast<std::size_t>(level.axis[b])] |= std::uint64_t{1} << b;
    }
    const Strides strides = level_strides(level);
    const std::array<std::size_t, 3> end{box.begin[0] + box.extent[0], box.begin[1] + box.extent[1],
                                         box.begin[2] + box.extent[2]};
    const std::uint64_t x_start = spread(level, Axis::column, box.begin[0]);
    const std::uint64_t y_start = spread(level, Axis::row, box.begin[1]);
    std::uint64_t z_bits = spread(level, Axis::slice, box.begin[2]);
    for (std::size_t z = box.begin[2]; z < end[2]; z += tiling.extent[2], z_bits = next_in_mask(z_bits, mask[2])) {
        std::uint64_t y_bits = y_start;
        for (std::size_t y = box.begin[1]; y < end[1]; y += tiling.extent[1], y_bits = next_in_mask(y_bits, mask[1])) {
            std::uint64_t x_bits = x_start;
            for (std::size_t x = box.begin[0]; x < end[0]; x += tiling.extent[0], x_bits = next_in_mask(x_bits, mask[0])) {
                const std::uint64_t next_x = x + tiling.extent[0] < end[0] ? next_in_mask(x_bits, mask[0]) : x_bits;
                visit(z * strides[2] + y * strides[1] + x * strides[0], (z_bits | y_bits | x_bits) * level.bpp,
                      (z_bits | y_bits | next_x) * level.bpp);
            }
        }
    }
}

// Calls move(linear offset, Morton offset) for every group of a tile in
// Morton order, both offsets relative to the tile's.
template <typename Move>
void for_each_group(const Tiling& tiling, std::size_t group_bytes, Move move) noexcept {
    const std::uint64_t groups = std::uint64_t{1} << (tiling.tile_bits - tiling.group_bits);
    std::size_t linear = 0;
    move(linear, std::size_t{0});
    for (std::uint64_t g = 1; g < groups; ++g) {
        linear += tiling.step[static_cast<std::size_t>(std::countr_zero(g))];
        move(linear, g * group_bytes);
    }
}

// The kernels. Each moves one group between its place on the linear side and
// its run of Morton positions: to_morton for swizzle, to_linear for unswizzle.
// on(distance) makes the kernel for a linear side with the given distances of
// the position bits.

// Each kernel reverses the bytes of every Swap-byte unit on the way (1: none).

// One pixel: any pattern.
template <std::size_t Bpp, std::uint32_t Swap>
struct PixelKernel {
    static constexpr std::uint32_t group_bits = 0;
    static constexpr bool streams = false;
    static PixelKernel on(const std::array<std::size_t, 64>& /*distance*/) noexcept { return {}; }
    static void to_morton(const std::byte* linear, std::byte* morton) noexcept {
        detail::copy_swapped<Swap, Bpp>(morton, linear);
    }
    static void to_linear(const std::byte* morton, std::byte* linear) noexcept {
        detail::copy_swapped<Swap, Bpp>(linear, morton);
    }
};

#if DDSSWIZZLE_HAVE_SSE2
// 64 bytes in four 16-byte registers, for the patterns that begin
//   "x a x b"   (4-byte pixels: 2D levels, volumes one row high)
//   "x a b x"   (4-byte pixels: volumes)
//   "x a x b x" (2-byte pixels: 2D levels)
// where a and b are the group's first two bits from another axis than the
// column. On the linear side such a group is four row pieces of 16 bytes,
// r_ab at a * step_a + b * step_b. Bit a falls between pixel pairs (8 bytes
// of 4-byte pixels, 4 of 2-byte ones), so each Morton register interleaves
// the pairs of r_0b and r_1b; the last two group bits say which register
// holds which: (high column bit, b) in the first pattern, (b, high column
// bit) in the other two.
enum class RowShape { x_a_x_b, x_a_b_x, x_a_x_b_x };

// The bytes of every Swap-byte unit of a register reversed: the two bytes of
// each 16-bit word by shifts, then for 4-byte units the two words of each
// 32-bit one.
template <std::uint32_t Swap>
__m128i swap_units(__m128i v) noexcept {
    if constexpr (Swap == 4) {
        constexpr int exchange_words = _MM_SHUFFLE(2, 3, 0, 1);
        v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, exchange_words), exchange_words);
    }
    if constexpr (Swap >= 2) v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    return v;
}

// The same in one byte shuffle (SSSE3, which every processor with AVX2 has),
// for the kernels of the AVX2 set; elsewhere the shifts.
#if DDSSWIZZLE_HAVE_AVX2_DISPATCH
template <std::uint32_t Swap>
__attribute__((target("avx2"))) __m128i shuffle_units(__m128i v) noexcept {
    if constexpr (Swap == 4) return _mm_shuffle_epi8(v, _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));
    if constexpr (Swap == 2) return _mm_shuffle_epi8(v, _mm_set_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1));
    return v;
}
#else
template <std::uint32_t Swap>
__m128i shuffle_units(__m128i v) noexcept {
    return swap_units<Swap>(v);
}
#endif

// Shuffle: the byte swap by shuffle_units, for the AVX2 set.
template <RowShape Shape, bool Stream, std::uint32_t Swap, bool Shuffle = false>
struct RowKernel {
    static constexpr std::uint32_t group_bits = Shape == RowShape::x_a_x_b_x ? 5 : 4;
    static constexpr bool streams = Stream;
    static constexpr bool pairs_of_8 = Shape != RowShape::x_a_x_b_x;
    static constexpr bool column_first = Shape == RowShape::x_a_x_b;
    std::size_t step_a = 0;
    std::size_t step_b = 0;

    static RowKernel on(const std::array<std::size_t, 64>& distance) noexcept {
        return {distance[1], distance[Shape == RowShape::x_a_b_x ? 2 : 3]};
    }

    void to_morton(const std::byte* linear, std::byte* morton) const noexcept {
        const __m128i r00 = swap(detail::load16(linear));
        const __m128i r10 = swap(detail::load16(linear + step_a));
        const __m128i r01 = swap(detail::load16(linear + step_b));
        const __m128i r11 = swap(detail::load16(linear + step_a + step_b));
        const __m128i lo0 = pairs_of_8 ? _mm_unpacklo_epi64(r00, r10) : _mm_unpacklo_epi32(r00, r10);
        const __m128i hi0 = pairs_of_8 ? _mm_unpackhi_epi64(r00, r10) : _mm_unpackhi_epi32(r00, r10);
        const __m128i lo1 = pairs_of_8 ? _mm_unpacklo_epi64(r01, r11) : _mm_unpacklo_epi32(r01, r11);
        const __m128i hi1 = pairs_of_8 ? _mm_unpackhi_epi64(r01, r11) : _mm_unpackhi_epi32(r01, r11);
        store(morton, lo0);
        store(morton + 16, column_first ? hi0 : lo1);
        store(morton + 32, column_first ? lo1 : hi0);
        store(morton + 48, hi1);
    }

    void to_linear(const std::byte* morton, std::byte* linear) const noexcept {
        const __m128i lo0 = swap(detail::load16(morton));
        const __m128i hi0 = swap(detail::load16(morton + (column_first ? 16 : 32)));
        const __m128i lo1 = swap(detail::load16(morton + (column_first ? 32 : 16)));
        const __m128i hi1 = swap(detail::load16(morton + 48));
        split_pairs(lo0, hi0, linear, linear + step_a);
        split_pairs(lo1, hi1, linear + step_b, linear + step_a + step_b);
    }

    static __m128i swap(__m128i v) noexcept {
        if constexpr (Shuffle) {
            return shuffle_units<Swap>(v);
        } else {
            return swap_units<Swap>(v);
        }
    }

    static void store(std::byte* at, __m128i value) noexcept {
        if constexpr (Stream) {
            detail::stream16(at, value);
        } else {
            detail::store16(at, value);
        }
    }

    // Undoes the interleave of two rows' pixel pairs.
    static void split_pairs(__m128i lo, __m128i hi, std::byte* row0, std::byte* row1) noexcept {
        if constexpr (!pairs_of_8) {
            constexpr int even_then_odd = _MM_SHUFFLE(3, 1, 2, 0);
            lo = _mm_shuffle_epi32(lo, even_then_odd);
            hi = _mm_shuffle_epi32(hi, even_then_odd);
        }
        detail::store16(row0, _mm_unpacklo_epi64(lo, hi));
        detail::store16(row1, _mm_unpackhi_epi64(lo, hi));
    }
};

// Copies bytes (a multiple of 64, destination 16-byte aligned) with
// streaming stores.
void stream_copy(std::byte* to, const std::byte* from, std::size_t bytes) noexcept {
    for (std::size_t i = 0; i < bytes; i += 16) detail::stream16(to + i, detail::load16(from + i));
}
#endif

template <typename Kernel>
void swizzle_level(const Level& level, const Box& box, const std::byte* source, const detail::Piece& result) noexcept {
    const Strides strides = level_strides(level);
    const Kernel kernel = Kernel::on(bit_distances(level, strides));
    const std::uint32_t bits = std::min(bits_of_tile(swizzle_tile_bytes, level.bpp), bits_fitting(level, box.extent));
    const Tiling tiles = tiling(level, Kernel::group_bits, bits, strides);
    const std::size_t group_bytes = level.bpp << Kernel::group_bits;
    const bool prefetch = level.side[2] > 1;
    for_each_tile(level, tiles, box, [&](std::size_t tile_linear, std::size_t tile_morton, std::size_t /*next_morton*/) {
        if (prefetch && tile_linear % 64 == 0 && tile_linear % strides[1] + volume_prefetch_bytes < strides[1]) {
            for (std::size_t z = 0; z < tiles.extent[2]; ++z) {
                for (std::size_t y = 0; y < tiles.extent[1]; ++y) {
                    detail::prefetch(source + tile_linear + volume_prefetch_bytes + z * strides[2] + y * strides[1]);
                }
            }
        }
        std::byte* const tile = result.place(tile_morton);
        for_each_group(tiles, group_bytes, [&](std::size_t linear, std::size_t morton) {
            kernel.to_morton(source + tile_linear + linear, tile + morton);
        });
    });
#if DDSSWIZZLE_HAVE_SSE2
    if constexpr (Kernel::streams) _mm_sfence();
#endif
}

// The staging buffer holds a run of tiles side by side, which are converted
// into it one after another and then copied out row by row. stream: the level
// may be written with streaming stores; it is, when the tile's rows are whole
// 64-byte lines.
template <typename Kernel>
void unswizzle_level(const Level& level, const Box& box, const std::byte* source, const detail::Piece& result,
                     bool stream) noexcept {
    alignas(64) std::byte stage[staging_bytes];
    const std::uint32_t bits = std::min(bits_of_tile(unswizzle_tile_bytes, level.bpp), bits_fitting(level, box.extent));
    const std::array<std::size_t, 3> extent = tiling(level, 0, bits, {}).extent;
    const std::size_t tile_row = extent[0] * level.bpp;
    const std::size_t run = std::min(staging_bytes / (level.bpp << bits), box.extent[0] / extent[0]);
    const Strides stage_strides{level.bpp, run * tile_row, run * tile_row * extent[1]};
    const Tiling tiles = tiling(level, Kernel::group_bits, bits, stage_strides);
    const Kernel kernel = Kernel::on(bit_distances(level, stage_strides));
    const Strides strides = level_strides(level);
    const std::size_t group_bytes = level.bpp << Kernel::group_bits;
    stream = stream && tile_row % 64 == 0;
    std::size_t in_run = 0;
    for_each_tile(level, tiles, box, [&](std::size_t tile_linear, std::size_t tile_morton, std::size_t next_morton) {
        std::byte* tile_stage = stage + in_run * tile_row;
        const bool ahead = next_morton != tile_morton;
        for_each_group(tiles, group_bytes, [&](std::size_t linear, std::size_t morton) {
            if (ahead && morton % 64 == 0) detail::prefetch(source + next_morton + morton);
            kernel.to_linear(source + tile_morton + morton, tile_stage + linear);
        });
        if (++in_run < run) return;
        in_run = 0;
        const std::size_t run_linear = tile_linear - (run - 1) * tile_row;
        for (std::size_t z = 0; z < extent[2]; ++z) {
            for (std::size_t y = 0; y < extent[1]; ++y) {
                std::byte* to = result.place(run_linear + z * strides[2] + y * strides[1]);
                const std::byte* from = stage + z * stage_strides[2] + y * stage_strides[1];
#if DDSSWIZZLE_HAVE_SSE2
                if (stream) {
                    stream_copy(to, from, stage_strides[1]);
                    continue;
                }
#endif
                std::memcpy(to, from, stage_strides[1]);
            }
        }
    });
#if DDSSWIZZLE_HAVE_SSE2
    if (stream) _mm_sfence();
#endif
}

// A box of a level in either direction; a swizzle with streaming stores
// takes the kernel that writes with them.
template <typename Kernel, typename StreamingKernel = Kernel>
void walk_level(const Level& level, const Box& box, const std::byte* source, const detail::Piece& result,
                Direction direction, bool stream) noexcept {
    if (direction == Direction::unswizzle) {
        unswizzle_level<Kernel>(level, box, source, result, stream);
    } else if (stream) {
        swizzle_level<StreamingKernel>(level, box, source, result);
    } else {
        swizzle_level<Kernel>(level, box, source, result);
    }
}

#if DDSSWIZZLE_HAVE_SSE2
template <RowShape Shape, std::uint32_t Swap, bool Shuffle = false>
void walk_rows(const Level& level, const Box& box, const std::byte* source, const detail::Piece& result,
               Direction direction, bool stream) noexcept {
    walk_level<RowKernel<Shape, false, Swap, Shuffle>, RowKernel<Shape, true, Swap, Shuffle>>(level, box, source, result,
                                                                                              direction, stream);
}

// The row walks of the AVX2 set, for levels whose bytes are swapped: the
// whole walk is inlined into this one function compiled for AVX2 (flatten),
// so that the kernels' byte shuffles are inlined too.
template <RowShape Shape, std::uint32_t Swap>
#if DDSSWIZZLE_HAVE_AVX2_DISPATCH
__attribute__((target("avx2"), flatten))
#endif
void walk_rows_shuffling(const Level& level, const Box& box, const std::byte* source, const detail::Piece& result,
                         Direction direction, bool stream) noexcept {
    walk_rows<Shape, Swap, true>(level, box, source, result, direction, stream);
}

// The row walk of a shape: with byte shuffles when the set is AVX2 and there
// are bytes to swap.
template <RowShape Shape, std::uint32_t Swap>
void walk_rows_of(KernelSet set, const Level& level, const Box& box, const std::byte* source,
                  const detail::Piece& result, Direction direction, bool stream) noexcept {
    if (set == KernelSet::avx2 && Swap > 1 && DDSSWIZZLE_HAVE_AVX2_DISPATCH) {
        walk_rows_shuffling<Shape, Swap>(level, box, source, result, direction, stream);
    } else {
        walk_rows<Shape, Swap>(level, box, source, result, direction, stream);
    }
}
#endif

// Converts a box of a level with power-of-two sides and 1, 2 or 4 bytes per
// pixel, reversing the bytes of every Swap-byte unit of its pixels, with a
// row kernel where the pattern, the box and the kernel set allow (the box
// must hold the kernel's groups whole). set: one the processor has. stream:
// the result may be written with streaming stores (16-byte aligned at every
// multiple of 16 of the level).
template <std::uint32_t Swap>
void convert_box(KernelSet set, const Level& level, const Box& box, const std::byte* source,
                 const detail::Piece& result, Direction direction, bool stream) noexcept {
#if DDSSWIZZLE_HAVE_SSE2
    const bool vectors = set != KernelSet::portable;
    const std::uint32_t fit = bits_fitting(level, box.extent);
    if (vectors && level.bpp == 4 && fit >= 4 && pattern_begins(level, "x-x-")) {
        walk_rows_of<RowShape::x_a_x_b, Swap>(set, level, box, source, result, direction, stream);
        return;
    }
    if (vectors && level.bpp == 4 && fit >= 4 && pattern_begins(level, "x--x")) {
        walk_rows_of<RowShape::x_a_b_x, Swap>(set, level, box, source, result, direction, stream);
        return;
    }
    if (vectors && level.bpp == 2 && fit >= 5 && pattern_begins(level, "x-x-x")) {
        walk_rows_of<RowShape::x_a_x_b_x, std::min(Swap, 2U)>(set, level, box, source, result, direction, stream);
        return;
    }
#else
    static_cast<void>(set);
#endif
    switch (level.bpp) {
        case 1: walk_level<PixelKernel<1, 1>>(level, box, source, result, direction, stream); break;
        case 2: walk_level<PixelKernel<2, std::min(Swap, 2U)>>(level, box, source, result, direction, stream); break;
        default: walk_level<PixelKernel<4, Swap>>(level, box, source, result, direction, stream); break;
    }
}

void convert_box_swapping(std::uint32_t swap, KernelSet set, const Level& level, const Box& box,
                          const std::byte* source, const detail::Piece& result, Direction direction,
                          bool stream) noexcept {
    if (swap == 4) {
        convert_box<4>(set, level, box, source, result, direction, stream);
    } else if (swap == 2) {
        convert_box<2>(set, level, box, source, result, direction, stream);
    } else {
        convert_box<1>(set, level, box, source, result, direction, stream);
    }
}

// The coordinates of linear position i (the i-th pixel in row order).
std::array<std::size_t, 3> linear_coordinates(const Level& level, std::uint64_t i) noexcept {
    return {static_cast<std::size_t>(i % level.side[0]), static_cast<std::size_t>(i / level.side[0] % level.side[1]),
            static_cast<std::size_t>(i / level.side[0] / level.side[1])};
}

// The box of the aligned run of 2^k positions from `first` (a multiple of
// 2^k) in the result's order: Morton order for swizzle, linear for
// unswizzle.
Box run_box(const Level& level, std::uint64_t first, std::uint32_t k, Direction direction) noexcept {
    Box box{{}, {1, 1, 1}};
    if (direction == Direction::swizzle) {
        box.begin = coordinates(level, first);
        for (std::uint32_t b = 0; b < k; ++b) box.extent[static_cast<std::size_t>(level.axis[b])] *= 2;
        return box;
    }
    box.begin = linear_coordinates(level, first);
    const std::size_t run = std::size_t{1} << k;
    box.extent[0] = std::min<std::size_t>(run, level.side[0]);
    box.extent[1] = std::min<std::size_t>(run / box.extent[0], level.side[1]);
    box.extent[2] = run / box.extent[0] / box.extent[1];
    return box;
}

// Where byte `offset` of the level's result comes from in its source.
std::size_t source_byte(const Level& level, std::uint64_t offset, Direction direction, std::uint32_t unit) noexcept {
    const std::uint64_t element = offset / level.bpp;
    std::uint64_t from = 0;
    if (direction == Direction::swizzle) {
        const std::array<std::size_t, 3> c = coordinates(level, element);
        from = c[0] + level.side[0] * (c[1] + std::uint64_t{level.side[1]} * c[2]);
    } else {
        from = morton_position(level, linear_coordinates(level, element));
    }
    return static_cast<std::size_t>(from * level.bpp + ((offset % level.bpp) ^ (unit - 1)));
}

// Writes bytes [result.begin, result.end) of a level's result: the whole
// pixels in boxes, each an aligned power-of-two run of the result's order
// (so a level is one box, and a piece of one a few large ones and a few
// small ones at its ends), and the bytes of pixels its ends cut one by one.
void convert_level_bytes(std::uint32_t swap, KernelSet set, const Level& level, const std::byte* source,
                         const detail::Piece& result, Direction direction, bool stream) noexcept {
    const std::uint64_t bpp = level.bpp;
    const std::uint32_t unit = std::min<std::uint32_t>(swap, static_cast<std::uint32_t>(bpp));
    const auto bytes = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t at = from; at < to; ++at) *result.place(at) = source[source_byte(level, at, direction, unit)];
    };
    const std::uint64_t first = (result.begin + bpp - 1) / bpp;  // the whole pixels: [first, last)
    const std::uint64_t last = std::max(result.end / bpp, first);
    bytes(result.begin, std::min(first * bpp, result.end));
    for (std::uint64_t at = first; at < last;) {
        const auto aligned = static_cast<std::uint32_t>(std::countr_zero(at));  // 64 for 0
        const auto k = std::min(aligned, static_cast<std::uint32_t>(std::bit_width(last - at)) - 1);
        convert_box_swapping(swap, set, level, run_box(level, at, k, direction), source, result, direction, stream);
        at += std::uint64_t{1} << k;
    }
    bytes(last * bpp, result.end);
}

constexpr bool is_power_of_two(std::uint64_t v) noexcept { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

// Levels lie where the geometry's PS3 ranges say, face after face; each is
// converted when its sides (the width in 32-bit words for wider texels) are
// powers of two, and copied otherwise. The first level that reaches past the
// source, and everything after it, is copied, as are the bytes between and
// after the levels; those are swapped when the format swaps (between levels)
// or has 2-byte pixels (after them too). Each of these parts writes only
// what falls in the piece.
void convert_morton_piece(const SurfaceGeometry& g, std::span<const std::byte> source, std::uint64_t begin,
                          std::span<std::byte> piece, Direction direction, KernelSet set) noexcept {
    if (!kernel_set_available(set)) set = KernelSet::portable;
    const std::uint32_t bpp = std::min(g.format.block_bytes, 4U);
    const std::uint32_t widen = g.format.block_bytes / bpp;
    const std::uint32_t swap = g.format.ps3_swap;
    const std::uint64_t length = source.size();
    const std::uint64_t first = std::min(begin, length);
    const detail::Piece out{piece.data(), first, first + std::min<std::uint64_t>(piece.size(), length - first)};
    std::uint64_t done = 0;  // the result before done is written, as far as it is in the piece
    bool inside = true;
    for (std::uint32_t face = 0; face < g.faces && inside; ++face) {
        for (std::uint32_t index = 0; index < g.entries && inside; ++index) {
            const LevelGeometry& l = g.levels[index];
            const std::uint64_t start = face * g.linear_face_bytes + l.ps3_offset;
            inside = start <= length && l.ps3_bytes <= length - start;
            if (!inside || l.ps3_bytes == 0) continue;
            const std::uint64_t width = std::uint64_t{l.width} * widen;
            if (!is_power_of_two(width) || !is_power_of_two(l.height) || !is_power_of_two(l.depth)) continue;
            detail::copy_swapped_into(out, done, start, source.data() + done, swap);
            done = start + l.ps3_bytes;
            const std::uint64_t lo = out.lo(start);
            const std::uint64_t hi = out.hi(done);
            if (lo >= hi) continue;
            const Level level = morton_level(static_cast<std::uint32_t>(width), l.height, l.depth, bpp);
            const detail::Piece part{out.place(lo), lo - start, hi - start};
            // Streaming stores pay off only over pieces larger than the cache,
            // and need every multiple of 16 of the level 16-byte aligned.
            const bool stream = set != KernelSet::portable && hi - lo >= streaming_level_bytes &&
                                (reinterpret_cast<std::uintptr_t>(part.out) - part.begin) % 16 == 0;
            convert_level_bytes(swap, set, level, source.data() + start, part, direction, stream);
        }
    }
    detail::copy_swapped_into(out, done, length, source.data() + done, bpp == 2 ? swap : 1);
}

void convert_morton_levels(const SurfaceGeometry& g, std::span<const std::byte> source, std::span<std::byte> result,
                           Direction direction, KernelSet set) noexcept {
    const std::size_t length = std::min(source.size(), result.size());
    convert_morton_piece(g, source.first(length), 0, result.first(length), direction, set);
}

}  // namespace ddsswizzle::engine
