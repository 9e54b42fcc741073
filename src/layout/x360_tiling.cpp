// Level walk for the Xbox 360 tiling.
//
// Inside a 32 x 32-block tile the address of block (x, y) splits into a part
// that depends on the column alone and one that depends on the row alone: they
// fill different address bits, except the pipe, where column bit 4 and row
// bit 3 meet by exclusive or; the tile's own number fills the bits above both.
// So the address is the tile origin + (column_part[x % 32] ^ row_part[y % 32]),
// from two 32-entry tables per block size, with the origin computed once per
// tile.
//
// Address bits 0-3 (0-2 for 1-byte blocks) come from the column alone, so
// blocks x .. x + R - 1 of a row, x a multiple of R, are 16 consecutive bytes
// (8 for 1-byte blocks; R = 16 / B, or 8). The walk moves such runs whole,
// swapping the byte order on the way, which the compiler does in vector
// registers. A level drawn at a tail offset that is not a multiple of R, or
// narrower than R, leaves partial runs at its edges; those are cut at the
// multiples of R of the column and moved block by block.
//
// Swizzle goes through each band of eight rows tile by tile, unswizzle
// through whole tiles (see walk_level for why); levels of 8 MiB and more are
// written with streaming stores.
//
// The image's padding must be zero. Before the first level of a region is
// drawn, swizzle zeroes only the pages of each slice that the level does not
// fill completely: in a large texture most pages are filled and never zeroed.
#include "layout/x360_tiling.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "layout/simd.h"

namespace ddsswizzle {
namespace {

constexpr std::uint32_t tile_side = x360_tile_side;

// The layouts worked out by hand: region offset, pitch x rows and position.
constexpr bool placed(const X360Surface& s, std::int32_t level, std::uint64_t offset, std::uint32_t pitch,
                      std::uint32_t rows, std::uint32_t x, std::uint32_t y) noexcept {
    const X360Placement p = x360_level_placement(s, level);
    return p.region_offset == offset && p.pitch == pitch && p.rows == rows && p.x == x && p.y == y;
}

// 256 x 256 DXT1, 9 levels: the tail starts at level 4 (16 x 16 pixels).
static_assert(placed({8, 4, 2, 256, 256, 9}, 0, 0x0000, 64, 64, 0, 0));
static_assert(placed({8, 4, 2, 256, 256, 9}, 1, 0x8000, 32, 32, 0, 0));
static_assert(placed({8, 4, 2, 256, 256, 9}, 3, 0xC000, 32, 32, 0, 0));
static_assert(placed({8, 4, 2, 256, 256, 9}, 4, 0xE000, 32, 32, 4, 0));
static_assert(placed({8, 4, 2, 256, 256, 9}, 5, 0xE000, 32, 32, 2, 0));
static_assert(placed({8, 4, 2, 256, 256, 9}, 6, 0xE000, 32, 32, 1, 0));
static_assert(placed({8, 4, 2, 256, 256, 9}, 7, 0xE000, 32, 32, 0, 2));
static_assert(placed({8, 4, 2, 256, 256, 9}, 8, 0xE000, 32, 32, 0, 1));
static_assert(x360_image_size({8, 4, 2, 256, 256, 9}) == 65536);
// 100 x 60 32-bit, 7 levels: level 1 (50 x 30) in a 64 x 32 region; a wide tail.
static_assert(placed({4, 1, 4, 100, 60, 7}, 1, 0x8000, 64, 32, 0, 0));
static_assert(placed({4, 1, 4, 100, 60, 7}, 2, 0xA000, 32, 32, 0, 16));
static_assert(placed({4, 1, 4, 100, 60, 7}, 4, 0xA000, 32, 32, 0, 4));
static_assert(placed({4, 1, 4, 100, 60, 7}, 5, 0xA000, 32, 32, 16, 0));
static_assert(placed({4, 1, 4, 100, 60, 7}, 6, 0xA000, 32, 32, 8, 0));
static_assert(x360_level_placement({4, 1, 4, 100, 60, 7}, 2).width == 25 &&
              x360_level_placement({4, 1, 4, 100, 60, 7}, 2).height == 15);
static_assert(x360_image_size({4, 1, 4, 100, 60, 7}) == 45056);
// 80 x 260 32-bit, 9 levels: a tall tail from level 3.
static_assert(placed({4, 1, 4, 80, 260, 9}, 0, 0x0, 96, 288, 0, 0));
static_assert(placed({4, 1, 4, 80, 260, 9}, 1, 0x1B000, 64, 256, 0, 0));
static_assert(placed({4, 1, 4, 80, 260, 9}, 2, 0x2B000, 32, 128, 0, 0));
static_assert(placed({4, 1, 4, 80, 260, 9}, 3, 0x2F000, 32, 64, 16, 0));
static_assert(placed({4, 1, 4, 80, 260, 9}, 6, 0x2F000, 32, 64, 0, 32));
static_assert(placed({4, 1, 4, 80, 260, 9}, 8, 0x2F000, 32, 64, 0, 8));
static_assert(x360_image_size({4, 1, 4, 80, 260, 9}) == 200704);
// 16 x 16 DXT5, 5 levels: two tails, level 0 at its tail offset in the base.
static_assert(placed({16, 4, 2, 16, 16, 5}, 0, 0x0, 32, 32, 4, 0));
static_assert(placed({16, 4, 2, 16, 16, 5}, 1, 0x4000, 32, 32, 2, 0));
static_assert(placed({16, 4, 2, 16, 16, 5}, 3, 0x4000, 32, 32, 0, 2));
static_assert(placed({16, 4, 2, 16, 16, 5}, 4, 0x4000, 32, 32, 0, 1));
static_assert(x360_image_size({16, 4, 2, 16, 16, 5}) == 32768);
// 1024 x 16 DXT1, 11 levels: wide, two tails.
static_assert(placed({8, 4, 2, 1024, 16, 11}, 0, 0x0, 256, 32, 0, 4));
static_assert(placed({8, 4, 2, 1024, 16, 11}, 2, 0x10000, 256, 32, 0, 1));
static_assert(placed({8, 4, 2, 1024, 16, 11}, 3, 0x10000, 256, 32, 128, 0));
static_assert(placed({8, 4, 2, 1024, 16, 11}, 10, 0x10000, 256, 32, 1, 0));
static_assert(x360_image_size({8, 4, 2, 1024, 16, 11}) == 131072);
// 2 x 2 and 1 x 1 32-bit; a single level is never packed.
static_assert(placed({4, 1, 4, 2, 2, 2}, 0, 0x0, 32, 32, 16, 0));
static_assert(placed({4, 1, 4, 2, 2, 2}, 1, 0x1000, 32, 32, 8, 0));
static_assert(x360_image_size({4, 1, 4, 2, 2, 2}) == 8192);
static_assert(x360_image_size({4, 1, 4, 1, 1, 1}) == 4096);
static_assert(placed({4, 1, 4, 16, 16, 1}, 0, 0x0, 32, 32, 0, 0));
// 64 x 64 DXT1 cube, 7 levels: six faces inside every region.
static_assert(placed({8, 4, 2, 64, 64, 7, 6}, 1, 0xC000, 32, 32, 0, 0));
static_assert(placed({8, 4, 2, 64, 64, 7, 6}, 2, 0x18000, 32, 32, 4, 0));
static_assert(x360_level_placement({8, 4, 2, 64, 64, 7, 6}, 2).slice_bytes == 0x2000);
static_assert(x360_image_size({8, 4, 2, 64, 64, 7, 6}) == 147456);

// The address of block (x, y) of a tile, relative to the tile's origin, is
// column[x] ^ row[y].
struct TileParts {
    std::array<std::uint32_t, tile_side> column{};
    std::array<std::uint32_t, tile_side> row{};
};

constexpr TileParts tile_parts(std::uint32_t log2_bytes) noexcept {
    TileParts parts;
    for (std::uint32_t i = 0; i < tile_side; ++i) {
        parts.column[i] = static_cast<std::uint32_t>(x360_tiled_address(i, 0, tile_side, log2_bytes));
        parts.row[i] = static_cast<std::uint32_t>(x360_tiled_address(0, i, tile_side, log2_bytes));
    }
    return parts;
}

constexpr std::array<TileParts, 5> parts_by_log2_bytes = {tile_parts(0), tile_parts(1), tile_parts(2), tile_parts(3),
                                                          tile_parts(4)};

// The split holds on every block of a tile away from the surface's origin;
// and rows of a band of eight (which share row bit 3) differ from the band's
// first row only in address bits of their own, so their parts add.
constexpr bool parts_rebuild_a_tile(std::uint32_t log2_bytes) noexcept {
    const TileParts& parts = parts_by_log2_bytes.at(log2_bytes);
    const std::uint64_t origin = x360_tiled_address(tile_side, tile_side, 3 * tile_side, log2_bytes);
    for (std::uint32_t y = 0; y < tile_side; ++y) {
        if (parts.row.at(y) != parts.row.at(y & ~7U) + parts.row.at(y & 7U)) return false;
        for (std::uint32_t x = 0; x < tile_side; ++x) {
            const std::uint64_t address = x360_tiled_address(tile_side + x, tile_side + y, 3 * tile_side, log2_bytes);
            if (address != origin + (parts.column.at(x) ^ parts.row.at(y))) return false;
        }
    }
    return true;
}

static_assert(parts_rebuild_a_tile(0) && parts_rebuild_a_tile(1) && parts_rebuild_a_tile(2) &&
              parts_rebuild_a_tile(3) && parts_rebuild_a_tile(4));

// Copies `Bytes` bytes, reversing the bytes inside every Swap-byte unit:
// first the two bytes of every 16-bit word, then, for 4-byte units, the two
// halves of every 32-bit word. Each step rotates whole words, which exchanges
// the same bytes in memory whichever byte order the host has; and on words
// of one size at a time the compiler turns each step into a few vector shifts.
template <std::uint32_t Swap, std::size_t Bytes>
inline void copy_swapped(std::byte* out, const std::byte* in) noexcept {
    if constexpr (Swap == 1) {
        std::memcpy(out, in, Bytes);
    } else {
        std::array<std::uint16_t, Bytes / 2> halves{};
        std::memcpy(halves.data(), in, Bytes);
        for (std::uint16_t& h : halves) h = static_cast<std::uint16_t>((h >> 8U) | (h << 8U));
        if constexpr (Swap == 4) {
            std::array<std::uint32_t, Bytes / 4> words{};
            std::memcpy(words.data(), halves.data(), Bytes);
            for (std::uint32_t& w : words) w = (w >> 16U) | (w << 16U);
            std::memcpy(out, words.data(), Bytes);
        } else {
            std::memcpy(out, halves.data(), Bytes);
        }
    }
}

// Levels whose region slices add up to this much are written with streaming
// stores: they do not fit the cache anyway, and streaming saves reading every
// line of the result before overwriting it.
constexpr std::uint64_t streaming_level_bytes = std::uint64_t{8} << 20U;

// Moves a run of blocks, or part of one, between the linear levels and the
// image, swapping the byte order on the way. `tiled` and `linear` are byte
// offsets into the image and into the linear levels, whichever of source and
// result each is in this direction.
template <std::uint32_t Bytes, std::uint32_t Swap, Direction D, bool Stream = false>
struct Mover {
    static constexpr auto log2_bytes = static_cast<std::uint32_t>(std::countr_zero(Bytes));
    static constexpr std::uint32_t run_blocks = Bytes == 1 ? 8 : 16 / Bytes;
    static constexpr std::size_t run_bytes = std::size_t{run_blocks} * Bytes;

    const std::byte* source;
    std::byte* result;

    std::byte* to(std::uint64_t tiled, std::uint64_t linear) const noexcept {
        return result + (D == Direction::swizzle ? tiled : linear);
    }
    const std::byte* from(std::uint64_t tiled, std::uint64_t linear) const noexcept {
        return source + (D == Direction::swizzle ? linear : tiled);
    }

    void run(std::uint64_t tiled, std::uint64_t linear) const noexcept {
#if DDSSWIZZLE_HAVE_SSE2
        if constexpr (Stream) {
            alignas(16) std::array<std::byte, 16> swapped{};
            copy_swapped<Swap, run_bytes>(swapped.data(), from(tiled, linear));
            detail::stream16(to(tiled, linear), detail::load16(swapped.data()));
            return;
        }
#endif
        copy_swapped<Swap, run_bytes>(to(tiled, linear), from(tiled, linear));
    }

    // Asks for `bytes` of the source from byte `at` on, which the walk reads
    // next, line by line, ahead of use.
    void prefetch(std::uint64_t at, std::uint64_t bytes) const noexcept {
        for (std::uint64_t line = 0; line < bytes; line += 64) detail::prefetch(source + at + line);
    }

    // Whole blocks, so whole swap units: byte i of a unit comes from byte
    // Swap - 1 - i.
    void part(std::uint64_t tiled, std::uint64_t linear, std::uint32_t bytes) const noexcept {
        std::byte* out = to(tiled, linear);
        const std::byte* in = from(tiled, linear);
        for (std::uint32_t i = 0; i < bytes; ++i) out[i] = in[i ^ (Swap - 1)];
    }
};

// Moves one face of one level: its linear blocks start at byte `linear`, its
// slice of the region at byte `slice` of the image.
//
// Swizzle takes the level in bands of rows, each band tile by tile: the rows
// are sequential streams on the linear side, and a band of a tile fills
// whole 64-byte lines of the image, as streaming stores need (row bit 0, and
// for small blocks row bits 1 and 2, sit below the pipe bits, so a line
// holds blocks of 8 rows for 1-byte blocks, 4 for 2-byte, 2 for larger
// ones). A whole band of a tile goes run by run with the rows' runs one after
// another, so every line is filled within a few runs; the rows of a band
// share row bit 3, so each run's address is the column's address in the band
// plus the row's own part. Pixels go in bands of eight rows, which fill one
// stretch of the image a tile; DXT blocks in bands of two, which keeps the
// reads to two streams and measured faster by far than eight (4096 x 4096
// DXT5: about 1.25 against 0.75 x memcpy).
// Unswizzle takes whole tiles, row by row: each row of a tile is whole lines
// of the linear level. The tiles are read in address order, but the blocks of
// a row are scattered over the tile, which the hardware prefetcher does not
// follow; so each row of a tile asks for its share (1/32) of the next tile,
// the next stretch of the image, ahead of use.
//
// Rows cut by the level's edges go run by run, runs cut at the multiples of
// the run length of the region's columns (a tail level starts at columns
// like 1 or 4, which are not).
template <std::uint32_t Bytes, std::uint32_t Swap, Direction D, bool Stream>
void walk_level(const Mover<Bytes, Swap, D, Stream>& mover, const X360Placement& p, std::uint64_t slice,
                std::uint64_t linear) noexcept {
    using M = Mover<Bytes, Swap, D, Stream>;
    constexpr std::uint32_t run = M::run_blocks;
    constexpr std::uint32_t band_rows = D == Direction::unswizzle ? tile_side : Bytes >= 8 ? 2 : 8;
    const TileParts& parts = parts_by_log2_bytes[M::log2_bytes];
    const std::uint64_t stride = std::uint64_t{p.width} * Bytes;
    const std::uint32_t x_end = p.x + p.width;
    const std::uint32_t y_end = p.y + p.height;
    constexpr std::uint64_t share = std::uint64_t{tile_side} * Bytes;  // a tile row's bytes
    constexpr std::uint64_t tile_bytes = share * tile_side;
    for (std::uint32_t band = p.y / band_rows * band_rows; band < y_end; band += band_rows) {
        const std::uint32_t ty = band / tile_side * tile_side;
        const std::uint32_t y_first = std::max(band, p.y);
        const std::uint32_t y_last = std::min(band + band_rows, y_end);
        for (std::uint32_t tx = p.x / tile_side * tile_side; tx < x_end; tx += tile_side) {
            const std::uint32_t x_first = std::max(tx, p.x);
            const std::uint32_t x_last = std::min(tx + tile_side, x_end);
            const bool whole_rows = x_last - x_first == tile_side;
            const std::uint64_t origin = slice + x360_tiled_address(tx, ty, p.pitch, M::log2_bytes);
            const std::uint64_t first_at = linear + (y_first - p.y) * stride + std::uint64_t{x_first - p.x} * Bytes;
            if (D == Direction::swizzle && whole_rows && y_last - y_first == band_rows) {
                for (std::uint32_t x = 0; x < tile_side; x += run) {
                    const std::uint64_t column = origin + (parts.column[x] ^ parts.row[band - ty]);
                    for (std::uint32_t r = 0; r < band_rows; ++r) {
                        mover.run(column + parts.row[r], first_at + r * stride + std::uint64_t{x} * Bytes);
                    }
                }
                continue;
            }
            for (std::uint32_t y = y_first; y < y_last; ++y) {
                const std::uint32_t row = parts.row[y - ty];
                std::uint64_t at = first_at + (y - y_first) * stride;
                if constexpr (D == Direction::unswizzle) {  // this row's share of the next tile
                    const std::uint64_t ahead = origin + tile_bytes + std::uint64_t{y - ty} * share;
                    if (ahead + share <= slice + p.slice_bytes) mover.prefetch(ahead, share);
                }
                if (whole_rows) {
                    for (std::uint32_t x = 0; x < tile_side; x += run, at += M::run_bytes) {
                        mover.run(origin + (parts.column[x] ^ row), at);
                    }
                    continue;
                }
                for (std::uint32_t x = x_first; x < x_last;) {
                    const std::uint32_t next = std::min((x / run + 1) * run, x_last);
                    const std::uint64_t tiled = origin + (parts.column[x - tx] ^ row);
                    const std::uint32_t bytes = (next - x) * Bytes;
                    if (bytes == M::run_bytes) {
                        mover.run(tiled, at);
                    } else {
                        mover.part(tiled, at, bytes);
                    }
                    at += bytes;
                    x = next;
                }
            }
        }
    }
}

// Zeroes the pages of a slice that the level drawn in it does not fill
// completely. The tiles of a slice fill its pages in tile-number order: with
// 1-byte blocks four consecutive tiles share one 4 KiB page, with 2-byte
// blocks two; a tile of 4-byte blocks is one page, one of 8- or 16-byte
// blocks two or four. A page is filled when every tile in it lies inside the
// level; the last page of a slice whose tiles do not fill it never is.
void zero_unfilled_pages(std::byte* slice, const X360Placement& p, std::uint32_t block_bytes) noexcept {
    const std::uint64_t tile_bytes = std::uint64_t{tile_side} * tile_side * block_bytes;
    const std::uint64_t group_bytes = std::max(tile_bytes, x360_page_bytes);
    const std::uint64_t tiles_per_group = group_bytes / tile_bytes;
    const std::uint64_t across = p.pitch / tile_side;
    const std::uint64_t tiles = across * (p.rows / tile_side);
    const auto filled = [&](std::uint64_t tile) {
        const std::uint64_t x = tile % across * tile_side;
        const std::uint64_t y = tile / across * tile_side;
        return tile < tiles && x >= p.x && x + tile_side <= p.x + p.width && y >= p.y &&
               y + tile_side <= p.y + p.height;
    };
    for (std::uint64_t first = 0; first * tile_bytes < p.slice_bytes; first += tiles_per_group) {
        bool all = true;
        for (std::uint64_t t = first; t < first + tiles_per_group; ++t) all = all && filled(t);
        if (!all) std::memset(slice + first * tile_bytes, 0, static_cast<std::size_t>(group_bytes));
    }
}

// Every level and face, in image order: level by level, the faces of each
// level one after another. Large levels are written with streaming stores
// where every full run lands on a 16-byte boundary: for swizzle, with the
// image 16-byte aligned (runs land at multiples of 16 from its start); for
// unswizzle, with the level 16-byte aligned, its rows whole 16-byte units and
// its left edge a multiple of the run length.
template <std::uint32_t Bytes, std::uint32_t Swap, Direction D>
void convert_surface(const X360Surface& surface, const std::byte* source, std::byte* result) noexcept {
    constexpr bool can_stream = DDSSWIZZLE_HAVE_SSE2 && Mover<Bytes, Swap, D>::run_bytes == 16;
    const Mover<Bytes, Swap, D> mover{source, result};
    const Mover<Bytes, Swap, D, can_stream> streaming{source, result};
    const std::uint64_t face_linear = x360_linear_size(surface) / surface.faces;
    std::uint64_t level_linear = 0;
    std::uint64_t region = x360_image_size(surface);  // no region starts there
    for (std::int32_t level = 0; level < surface.level_count; ++level) {
        const X360Placement p = x360_level_placement(surface, level);
        for (std::uint32_t face = 0; face < surface.faces; ++face) {
            const std::uint64_t slice = p.region_offset + face * p.slice_bytes;
            const std::uint64_t at = face * face_linear + level_linear;
            if (D == Direction::swizzle && p.region_offset != region) zero_unfilled_pages(result + slice, p, Bytes);
            const bool aligned = D == Direction::swizzle
                                     ? reinterpret_cast<std::uintptr_t>(result) % 16 == 0
                                     : reinterpret_cast<std::uintptr_t>(result + at) % 16 == 0 &&
                                           std::uint64_t{p.width} * Bytes % 16 == 0 &&
                                           std::uint64_t{p.x} * Bytes % 16 == 0;
            if (can_stream && aligned && surface.faces * p.slice_bytes >= streaming_level_bytes) {
                walk_level(streaming, p, slice, at);
            } else {
                walk_level(mover, p, slice, at);
            }
        }
        region = p.region_offset;
        level_linear += std::uint64_t{p.width} * p.height * Bytes;
    }
#if DDSSWIZZLE_HAVE_SSE2
    if constexpr (can_stream) _mm_sfence();
#endif
}

template <Direction D>
void convert_class(const X360Surface& surface, const std::byte* source, std::byte* result) noexcept {
    switch (surface.block_bytes) {
        case 1: convert_surface<1, 1, D>(surface, source, result); break;
        case 2: convert_surface<2, 2, D>(surface, source, result); break;
        case 4: convert_surface<4, 4, D>(surface, source, result); break;
        case 8: convert_surface<8, 2, D>(surface, source, result); break;
        default: convert_surface<16, 2, D>(surface, source, result); break;
    }
}

}  // namespace

bool convert_x360_levels(const X360Surface& surface, std::span<const std::byte> source, std::span<std::byte> result,
                         Direction direction) noexcept {
    if (!x360_surface_valid(surface)) return false;
    const std::uint64_t image = x360_image_size(surface);
    const std::uint64_t linear = x360_linear_size(surface);
    const bool swizzle = direction == Direction::swizzle;
    if (source.size() < (swizzle ? linear : image) || result.size() < (swizzle ? image : linear)) return false;
    if (swizzle) {
        convert_class<Direction::swizzle>(surface, source.data(), result.data());
    } else {
        convert_class<Direction::unswizzle>(surface, source.data(), result.data());
    }
    return true;
}

}  // namespace ddsswizzle
