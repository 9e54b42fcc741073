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
// Swizzle goes through each band of rows (eight rows of pixels, two of
// compressed blocks) tile by tile, unswizzle through whole tiles (see
// walk_level for why); levels of 8 MiB and more are written with streaming
// stores.
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
#include "layout/walk_support.h"

namespace ddsswizzle::engine {
namespace {

constexpr std::uint32_t tile_side = x360_tile_side;

constexpr std::uint64_t align_up(std::uint64_t v, std::uint64_t a) noexcept { return (v + a - 1) / a * a; }

// Smallest k with 2^k >= v (0 for v <= 1).
constexpr std::uint32_t log2_ceil(std::uint32_t v) noexcept {
    return v <= 1 ? 0 : static_cast<std::uint32_t>(std::bit_width(v - 1));
}

// A region's side in blocks: `pixels` in whole blocks, rounded up to whole tiles.
constexpr std::uint32_t region_side(std::uint32_t pixels, std::uint32_t block_side) noexcept {
    return static_cast<std::uint32_t>(align_up((pixels + block_side - 1) / block_side, tile_side));
}

// Where a level is drawn, as the walk sees it: its face's slice of the
// region, the region's sides, its position and its content, in blocks.
struct Placement {
    std::uint64_t slice_bytes = 0;
    std::uint32_t pitch = 0;
    std::uint32_t rows = 0;
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

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

    const std::byte* source = nullptr;
    detail::Piece result;  // of the image (swizzle) or of the linear levels (unswizzle)

    std::byte* to(std::uint64_t tiled, std::uint64_t linear) const noexcept {
        return result.place(D == Direction::swizzle ? tiled : linear);
    }
    const std::byte* from(std::uint64_t tiled, std::uint64_t linear) const noexcept {
        return source + (D == Direction::swizzle ? linear : tiled);
    }

    void run(std::uint64_t tiled, std::uint64_t linear) const noexcept {
#if DDSSWIZZLE_HAVE_SSE2
        if constexpr (Stream) {
            alignas(16) std::array<std::byte, 16> swapped{};
            detail::copy_swapped<Swap, run_bytes>(swapped.data(), from(tiled, linear));
            detail::stream16(to(tiled, linear), detail::load16(swapped.data()));
            return;
        }
#endif
        detail::copy_swapped<Swap, run_bytes>(to(tiled, linear), from(tiled, linear));
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

    // The bytes of one block that fall in the result's piece, for a block the
    // piece's ends cut.
    void block_in_piece(std::uint64_t tiled, std::uint64_t linear) const noexcept {
        const std::uint64_t at = D == Direction::swizzle ? tiled : linear;
        const std::byte* in = from(tiled, linear);
        for (std::uint64_t i = result.lo(at); i < result.hi(at + Bytes); ++i) *result.place(i) = in[(i - at) ^ (Swap - 1)];
    }
};

// A rectangle of a region, in blocks: columns [x0, x1), rows [y0, y1).
struct Rect {
    std::uint32_t x0 = 0;
    std::uint32_t y0 = 0;
    std::uint32_t x1 = 0;
    std::uint32_t y1 = 0;
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
// reads to two streams and measured faster by far than eight.
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
void walk_level(const Mover<Bytes, Swap, D, Stream>& mover, const Placement& p, std::uint64_t slice,
                std::uint64_t linear, const Rect& rect) noexcept {
    using M = Mover<Bytes, Swap, D, Stream>;
    constexpr std::uint32_t run = M::run_blocks;
    constexpr std::uint32_t band_rows = D == Direction::unswizzle ? tile_side : Bytes >= 8 ? 2 : 8;
    const TileParts& parts = parts_by_log2_bytes[M::log2_bytes];
    const std::uint64_t stride = std::uint64_t{p.width} * Bytes;
    constexpr std::uint64_t share = std::uint64_t{tile_side} * Bytes;  // a tile row's bytes
    constexpr std::uint64_t tile_bytes = share * tile_side;
    for (std::uint32_t band = rect.y0 / band_rows * band_rows; band < rect.y1; band += band_rows) {
        const std::uint32_t ty = band / tile_side * tile_side;
        const std::uint32_t y_first = std::max(band, rect.y0);
        const std::uint32_t y_last = std::min(band + band_rows, rect.y1);
        for (std::uint32_t tx = rect.x0 / tile_side * tile_side; tx < rect.x1; tx += tile_side) {
            const std::uint32_t x_first = std::max(tx, rect.x0);
            const std::uint32_t x_last = std::min(tx + tile_side, rect.x1);
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

// The tiles of a slice fill its pages in tile-number order: with 1-byte
// blocks four consecutive tiles share one 4 KiB page, with 2-byte blocks two;
// a tile of 4-byte blocks is one page, one of 8- or 16-byte blocks two or
// four. So the slice is a run of groups, each one tile or one page, and
// group g holds the tiles from g x tiles_per_group on.
struct SliceGroups {
    std::uint64_t tile_bytes = 0;
    std::uint64_t group_bytes = 0;
    std::uint64_t tiles_per_group = 0;
    std::uint64_t across = 0;  // tiles in a row of the region
    std::uint64_t tiles = 0;
};

SliceGroups slice_groups(const Placement& p, std::uint32_t block_bytes) noexcept {
    SliceGroups s;
    s.tile_bytes = std::uint64_t{tile_side} * tile_side * block_bytes;
    s.group_bytes = std::max(s.tile_bytes, x360_page_bytes);
    s.tiles_per_group = s.group_bytes / s.tile_bytes;
    s.across = p.pitch / tile_side;
    s.tiles = s.across * (p.rows / tile_side);
    return s;
}

// The blocks of tile t that the level covers.
Rect tile_in_level(const SliceGroups& s, std::uint64_t t, const Placement& p) noexcept {
    const auto x = static_cast<std::uint32_t>(t % s.across * tile_side);
    const auto y = static_cast<std::uint32_t>(t / s.across * tile_side);
    return {std::max(x, p.x), std::max(y, p.y), std::min(x + tile_side, p.x + p.width),
            std::min(y + tile_side, p.y + p.height)};
}

// Zeroes the groups of a slice that the level drawn in it does not fill
// completely, as far as they fall in the piece. A group is filled when every
// tile in it lies inside the level; the last page of a slice whose tiles do
// not fill it never is.
void zero_unfilled_pages(const detail::Piece& image, std::uint64_t slice, const Placement& p,
                         std::uint32_t block_bytes) noexcept {
    const SliceGroups s = slice_groups(p, block_bytes);
    const auto filled = [&](std::uint64_t tile) {
        const Rect r = tile_in_level(s, tile, p);
        return tile < s.tiles && r.x1 >= r.x0 + tile_side && r.y1 >= r.y0 + tile_side;
    };
    const std::uint64_t end = image.hi(slice + p.slice_bytes);
    for (std::uint64_t at = slice + (image.lo(slice) - slice) / s.group_bytes * s.group_bytes; at < end;
         at += s.group_bytes) {
        const std::uint64_t first = (at - slice) / s.tile_bytes;
        bool all = true;
        for (std::uint64_t t = first; t < first + s.tiles_per_group; ++t) all = all && filled(t);
        const std::uint64_t lo = image.lo(at);
        if (!all) std::memset(image.place(lo), 0, static_cast<std::size_t>(image.hi(at + s.group_bytes) - lo));
    }
}

// Swizzle of one face of one level into the part of its slice that falls in
// the piece: the groups wholly inside by the walk, in rectangles of whole
// tile rows or parts of one; the (at most two) groups the piece's ends cut
// block by block.
template <std::uint32_t Bytes, std::uint32_t Swap, bool Stream>
void draw_in_piece(const Mover<Bytes, Swap, Direction::swizzle, Stream>& mover, const Placement& p,
                   std::uint64_t slice, std::uint64_t linear) noexcept {
    const detail::Piece& image = mover.result;
    const std::uint64_t lo = image.lo(slice) - slice;
    const std::uint64_t hi = image.hi(slice + p.slice_bytes);
    if (slice + lo >= hi) return;
    const SliceGroups s = slice_groups(p, Bytes);
    const std::uint64_t whole_first = (lo + s.group_bytes - 1) / s.group_bytes;
    const std::uint64_t whole_last = std::max((hi - slice) / s.group_bytes, whole_first);
    const std::uint64_t tiles_end = std::min(whole_last * s.tiles_per_group, s.tiles);
    for (std::uint64_t t = std::min(whole_first * s.tiles_per_group, s.tiles); t < tiles_end;) {
        const std::uint64_t column = t % s.across;
        const bool part_of_row = column != 0 || tiles_end - t < s.across;
        const std::uint64_t n = part_of_row ? std::min(s.across - column, tiles_end - t) : (tiles_end - t) / s.across * s.across;
        const auto tiles_x = static_cast<std::uint32_t>(part_of_row ? n : s.across) * tile_side;
        const auto tiles_y = static_cast<std::uint32_t>(part_of_row ? 1 : n / s.across) * tile_side;
        const Rect first = tile_in_level(s, t, p);
        const auto x = static_cast<std::uint32_t>(column * tile_side);
        const auto y = static_cast<std::uint32_t>(t / s.across * tile_side);
        const Rect r{first.x0, first.y0, std::min(x + tiles_x, p.x + p.width), std::min(y + tiles_y, p.y + p.height)};
        if (r.x0 < r.x1 && r.y0 < r.y1) walk_level(mover, p, slice, linear, r);
        t += n;
    }
    const std::uint64_t stride = std::uint64_t{p.width} * Bytes;
    const auto cut = [&](std::uint64_t group) {
        for (std::uint64_t t = group * s.tiles_per_group; t < std::min((group + 1) * s.tiles_per_group, s.tiles); ++t) {
            const Rect r = tile_in_level(s, t, p);
            for (std::uint32_t y = r.y0; y < r.y1; ++y) {
                for (std::uint32_t x = r.x0; x < r.x1; ++x) {
                    mover.block_in_piece(slice + x360_tiled_address(x, y, p.pitch, Mover<Bytes, Swap, Direction::swizzle>::log2_bytes),
                                         linear + (y - p.y) * stride + std::uint64_t{x - p.x} * Bytes);
                }
            }
        }
    };
    if (lo < whole_first * s.group_bytes) cut(lo / s.group_bytes);
    if (hi - slice > whole_last * s.group_bytes) cut(whole_last);
}

// Unswizzle of the part of one face of one level that falls in the piece:
// its whole blocks by the walk, in rectangles of whole rows or parts of one;
// the (at most two) blocks the piece's ends cut byte by byte.
template <std::uint32_t Bytes, std::uint32_t Swap, bool Stream>
void read_in_piece(const Mover<Bytes, Swap, Direction::unswizzle, Stream>& mover, const Placement& p,
                   std::uint64_t slice, std::uint64_t linear) noexcept {
    const detail::Piece& levels = mover.result;
    const std::uint64_t lo = levels.lo(linear) - linear;
    const std::uint64_t hi = levels.hi(linear + std::uint64_t{p.width} * p.height * Bytes);
    if (linear + lo >= hi) return;
    const std::uint64_t whole_first = (lo + Bytes - 1) / Bytes;
    const std::uint64_t whole_last = std::max((hi - linear) / Bytes, whole_first);
    for (std::uint64_t b = whole_first; b < whole_last;) {
        const std::uint64_t column = b % p.width;
        const bool part_of_row = column != 0 || whole_last - b < p.width;
        const std::uint64_t n = part_of_row ? std::min(p.width - column, whole_last - b) : (whole_last - b) / p.width * p.width;
        const auto x0 = static_cast<std::uint32_t>(p.x + column);
        const auto y0 = static_cast<std::uint32_t>(p.y + b / p.width);
        const Rect r = part_of_row ? Rect{x0, y0, static_cast<std::uint32_t>(x0 + n), y0 + 1}
                                   : Rect{p.x, y0, p.x + p.width, static_cast<std::uint32_t>(y0 + n / p.width)};
        walk_level(mover, p, slice, linear, r);
        b += n;
    }
    const auto cut = [&](std::uint64_t b) {
        const auto x = static_cast<std::uint32_t>(p.x + b % p.width);
        const auto y = static_cast<std::uint32_t>(p.y + b / p.width);
        mover.block_in_piece(slice + x360_tiled_address(x, y, p.pitch, Mover<Bytes, Swap, Direction::unswizzle>::log2_bytes),
                             linear + b * Bytes);
    };
    if (lo < whole_first * Bytes) cut(lo / Bytes);
    if (hi - linear > whole_last * Bytes) cut(whole_last);
}

// Every level and face, in image order: level by level, the faces of each
// level one after another, each as far as it falls in the piece. Levels
// are written with streaming stores where the piece is large (a whole
// image rather than a piece small enough to stay in the cache until it is
// written out) and every full run lands on a 16-byte boundary: for swizzle,
// with the image 16-byte aligned (runs land at multiples of 16 from its
// start); for unswizzle, with the level 16-byte aligned, its rows whole
// 16-byte units and its left edge a multiple of the run length.
template <std::uint32_t Bytes, std::uint32_t Swap, Direction D>
void convert_surface(const SurfaceGeometry& g, const std::byte* source, const detail::Piece& result) noexcept {
    constexpr bool can_stream = DDSSWIZZLE_HAVE_SSE2 && Mover<Bytes, Swap, D>::run_bytes == 16;
    const Mover<Bytes, Swap, D> mover{source, result};
    const Mover<Bytes, Swap, D, can_stream> streaming{source, result};
    const auto origin = reinterpret_cast<std::uintptr_t>(result.out) - result.begin;  // where byte 0 would be
    std::uint64_t region = g.console_size;  // no region starts there
    for (std::uint32_t level = 0; level < g.entries; ++level) {
        const LevelGeometry& l = g.levels[level];
        const Placement p{l.x360_slice, l.x360_pitch, l.x360_rows, l.x360_x, l.x360_y, l.blocks_wide, l.blocks_high};
        for (std::uint32_t face = 0; face < g.faces; ++face) {
            const std::uint64_t slice = l.x360_region + face * p.slice_bytes;
            const std::uint64_t at = face * g.linear_face_bytes + l.linear_offset;
            if (D == Direction::swizzle && l.x360_region != region) zero_unfilled_pages(result, slice, p, Bytes);
            const bool aligned = D == Direction::swizzle ? origin % 16 == 0
                                                         : (origin + at) % 16 == 0 &&
                                                               std::uint64_t{p.width} * Bytes % 16 == 0 &&
                                                               std::uint64_t{p.x} * Bytes % 16 == 0;
            const bool stream = can_stream && aligned && g.faces * p.slice_bytes >= streaming_level_bytes &&
                                result.end - result.begin >= streaming_level_bytes;
            if constexpr (D == Direction::swizzle) {
                if (stream) draw_in_piece(streaming, p, slice, at);
                else draw_in_piece(mover, p, slice, at);
            } else {
                if (stream) read_in_piece(streaming, p, slice, at);
                else read_in_piece(mover, p, slice, at);
            }
        }
        region = l.x360_region;
    }
#if DDSSWIZZLE_HAVE_SSE2
    if constexpr (can_stream) _mm_sfence();
#endif
}

// The walk for each block size and byte-order unit of the format table.
template <Direction D>
bool convert_format(const SurfaceGeometry& g, const std::byte* source, const detail::Piece& result) noexcept {
    const std::uint32_t bytes = g.format.block_bytes;
    const std::uint32_t swap = g.format.x360_swap;
    if (bytes == 1 && swap == 1) convert_surface<1, 1, D>(g, source, result);
    else if (bytes == 2 && swap == 2) convert_surface<2, 2, D>(g, source, result);
    else if (bytes == 4 && swap == 4) convert_surface<4, 4, D>(g, source, result);
    else if (bytes == 8 && swap == 2) convert_surface<8, 2, D>(g, source, result);
    else if (bytes == 16 && swap == 2) convert_surface<16, 2, D>(g, source, result);
    else return false;
    return true;
}

}  // namespace

std::uint32_t x360_tail_level(const SurfaceGeometry& g) noexcept {
    const std::uint32_t log2_w = log2_ceil(static_cast<std::uint32_t>(g.surface.width));
    const std::uint32_t log2_h = log2_ceil(static_cast<std::uint32_t>(g.surface.height));
    return std::max(std::min(log2_w, log2_h), 4U) - 4;
}

std::uint64_t x360_lay_out(SurfaceGeometry& g) noexcept {
    // The tail exists only when the chain reaches it, and never for a single
    // level.
    const std::uint32_t last = g.entries - 1;
    return x360_lay_out(g, last > 0 && last >= x360_tail_level(g));
}

std::uint64_t x360_lay_out(SurfaceGeometry& g, bool packed) noexcept {
    const std::uint32_t side = g.format.block_side;
    const auto width = static_cast<std::uint32_t>(g.surface.width);
    const auto height = static_cast<std::uint32_t>(g.surface.height);
    const std::uint32_t log2_w = log2_ceil(width);
    const std::uint32_t log2_h = log2_ceil(height);
    const bool wide = log2_w > log2_h;
    const std::uint32_t log2_long = wide ? log2_w : log2_h;
    const std::uint32_t tail_level = x360_tail_level(g);
    std::uint64_t end = 0;  // of the last region
    for (std::uint32_t level = 0; level < g.entries; ++level) {
        LevelGeometry& l = g.levels[level];
        const bool in_tail = packed && level >= tail_level;
        if (in_tail && level > tail_level) {
            const LevelGeometry& tail = g.levels[tail_level];
            l.x360_region = tail.x360_region, l.x360_slice = tail.x360_slice;
            l.x360_pitch = tail.x360_pitch, l.x360_rows = tail.x360_rows;
        } else {
            // Level 0 has the real size rounded up to whole tiles, unless it
            // opens the tail; every other region the power-of-two size halved
            // once per level.
            const bool real = level == 0 && !in_tail;
            l.x360_pitch = real ? region_side(width, side) : region_side(std::max(1U << log2_w >> level, 1U), side);
            l.x360_rows = real ? region_side(height, side) : region_side(std::max(1U << log2_h >> level, 1U), side);
            l.x360_region = end;
            l.x360_slice = align_up(std::uint64_t{l.x360_pitch} * l.x360_rows * g.format.block_bytes, x360_page_bytes);
            end += g.faces * l.x360_slice;
        }
        if (in_tail) {
            // The first three tail levels step along the shorter side (16, 8,
            // 4 pixels), the rest along the longer one, from a quarter of the
            // tail level's longer side down. Square textures count as tall.
            // Every offset is at least 4 pixels, so always whole 4 x 4 blocks.
            const std::uint32_t k = level - tail_level;
            const std::uint32_t along_short = k < 3 ? x360_tail_short_side >> k : 0;
            const std::uint32_t along_long = k < 3 ? 0 : (1U << (log2_long - tail_level)) >> (k - 2);
            l.x360_x = (wide ? along_long : along_short) / side;
            l.x360_y = (wide ? along_short : along_long) / side;
        }
    }
    return end;
}

bool convert_x360_piece(const SurfaceGeometry& g, std::span<const std::byte> source, std::uint64_t begin,
                        std::span<std::byte> piece, Direction direction) noexcept {
    const bool swizzle = direction == Direction::swizzle;
    const std::uint64_t out_size = swizzle ? g.console_size : g.linear_size;
    if (g.console != Console::x360 || source.size() < (swizzle ? g.linear_size : g.console_size) || begin > out_size ||
        piece.size() > out_size - begin) {
        return false;
    }
    const detail::Piece result{piece.data(), begin, begin + piece.size()};
    return swizzle ? convert_format<Direction::swizzle>(g, source.data(), result)
                   : convert_format<Direction::unswizzle>(g, source.data(), result);
}

bool convert_x360_levels(const SurfaceGeometry& g, std::span<const std::byte> source, std::span<std::byte> result,
                         Direction direction) noexcept {
    const std::uint64_t out_size = direction == Direction::swizzle ? g.console_size : g.linear_size;
    return result.size() >= out_size && convert_x360_piece(g, source, 0, result.first(out_size), direction);
}

}  // namespace ddsswizzle::engine
