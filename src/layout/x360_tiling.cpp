// Level walk for the Xbox 360 tiling.
//
// Inside a 32 x 32-block tile the address of block (x, y) splits into a part
// that depends on the column alone and one that depends on the row alone:
// they fill different address bits, except the pipe, where column bit 4 and
// row bit 3 meet by exclusive or; and the tile's own number fills bits above
// both. So the address is the tile origin + (column_part[x % 32] ^
// row_part[y % 32]), from two 32-entry tables per block size, with the origin
// computed once per tile.
//
// Address bits 0-3 (0-2 for 1-byte blocks) come from the column alone, so
// blocks x .. x + R - 1 of a row, x a multiple of R, are 16 consecutive bytes
// (8 for 1-byte blocks; R = 16 / B, or 8). The walk moves such runs whole,
// swapping the byte order on the way. A level drawn at a tail offset that is
// not a multiple of R, or narrower than R, leaves partial runs at its edges;
// those are cut at the multiples of R of the column and moved as they are.
//
// Levels are taken tile by tile in address order: for blocks of 4 bytes and
// more one tile is one contiguous range of the image, so the console side is
// written (or read) in order while the linear side is 32 short rows.
//
// The image's padding must be zero. Before the first level of a region is
// drawn, swizzle zeroes only the pages of each slice that the level does not
// fill completely: in a large texture most pages are filled and never zeroed.
#include "layout/x360_tiling.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

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

// The split holds on every block of a tile away from the surface's origin.
constexpr bool parts_rebuild_a_tile(std::uint32_t log2_bytes) noexcept {
    const TileParts& parts = parts_by_log2_bytes.at(log2_bytes);
    const std::uint64_t origin = x360_tiled_address(tile_side, tile_side, 3 * tile_side, log2_bytes);
    for (std::uint32_t y = 0; y < tile_side; ++y) {
        for (std::uint32_t x = 0; x < tile_side; ++x) {
            const std::uint64_t address = x360_tiled_address(tile_side + x, tile_side + y, 3 * tile_side, log2_bytes);
            if (address != origin + (parts.column.at(x) ^ parts.row.at(y))) return false;
        }
    }
    return true;
}

static_assert(parts_rebuild_a_tile(0) && parts_rebuild_a_tile(1) && parts_rebuild_a_tile(2) &&
              parts_rebuild_a_tile(3) && parts_rebuild_a_tile(4));

// Reverses the bytes inside every Swap-byte unit of an 8-byte word (Swap 1:
// unchanged). The units sit at the same places counted from either end of the
// word, so the bytes in memory come out the same whichever byte order the
// host loads words in.
template <std::uint32_t Swap>
constexpr std::uint64_t swap_units(std::uint64_t v) noexcept {
    constexpr std::uint64_t low_bytes = 0x00FF00FF00FF00FFU;
    constexpr std::uint64_t low_halves = 0x0000FFFF0000FFFFU;
    if constexpr (Swap >= 2) v = ((v >> 8U) & low_bytes) | ((v & low_bytes) << 8U);
    if constexpr (Swap == 4) v = ((v >> 16U) & low_halves) | ((v & low_halves) << 16U);
    return v;
}

static_assert(swap_units<1>(0x0102030405060708U) == 0x0102030405060708U);
static_assert(swap_units<2>(0x0102030405060708U) == 0x0201040306050807U);
static_assert(swap_units<4>(0x0102030405060708U) == 0x0403020108070605U);

// Moves a run of blocks, or part of one, between the linear levels and the
// image, swapping the byte order on the way. `tiled` and `linear` are byte
// offsets into the image and into the linear levels, whichever of source and
// result each is in this direction.
template <std::uint32_t Bytes, std::uint32_t Swap, Direction D>
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
        std::byte* out = to(tiled, linear);
        const std::byte* in = from(tiled, linear);
        for (std::size_t i = 0; i < run_bytes; i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, in + i, 8);
            word = swap_units<Swap>(word);
            std::memcpy(out + i, &word, 8);
        }
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
template <std::uint32_t Bytes, std::uint32_t Swap, Direction D>
void walk_level(const Mover<Bytes, Swap, D>& mover, const X360Placement& p, std::uint64_t slice,
                std::uint64_t linear) noexcept {
    using M = Mover<Bytes, Swap, D>;
    constexpr std::uint32_t run = M::run_blocks;
    const TileParts& parts = parts_by_log2_bytes[M::log2_bytes];
    const std::uint64_t stride = std::uint64_t{p.width} * Bytes;
    const std::uint32_t x_end = p.x + p.width;
    const std::uint32_t y_end = p.y + p.height;
    for (std::uint32_t ty = p.y / tile_side * tile_side; ty < y_end; ty += tile_side) {
        const std::uint32_t y_first = std::max(ty, p.y);
        const std::uint32_t y_last = std::min(ty + tile_side, y_end);
        for (std::uint32_t tx = p.x / tile_side * tile_side; tx < x_end; tx += tile_side) {
            const std::uint32_t x_first = std::max(tx, p.x);
            const std::uint32_t x_last = std::min(tx + tile_side, x_end);
            const std::uint64_t origin = slice + x360_tiled_address(tx, ty, p.pitch, M::log2_bytes);
            for (std::uint32_t y = y_first; y < y_last; ++y) {
                const std::uint32_t row = parts.row[y - ty];
                std::uint64_t at = linear + (y - p.y) * stride + std::uint64_t{x_first - p.x} * Bytes;
                if (x_last - x_first == tile_side) {
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
// level one after another.
template <std::uint32_t Bytes, std::uint32_t Swap, Direction D>
void convert_surface(const X360Surface& surface, const std::byte* source, std::byte* result) noexcept {
    const Mover<Bytes, Swap, D> mover{source, result};
    const std::uint64_t face_linear = x360_linear_size(surface) / surface.faces;
    std::uint64_t level_linear = 0;
    std::uint64_t region = x360_image_size(surface);  // no region starts there
    for (std::int32_t level = 0; level < surface.level_count; ++level) {
        const X360Placement p = x360_level_placement(surface, level);
        for (std::uint32_t face = 0; face < surface.faces; ++face) {
            const std::uint64_t slice = p.region_offset + face * p.slice_bytes;
            if (D == Direction::swizzle && p.region_offset != region) zero_unfilled_pages(result + slice, p, Bytes);
            walk_level(mover, p, slice, face * face_linear + level_linear);
        }
        region = p.region_offset;
        level_linear += std::uint64_t{p.width} * p.height * Bytes;
    }
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
