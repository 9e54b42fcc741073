// Level walk for the tiled block order.
//
// Within a group of 8192 blocks the permutation is linear over bits, and
// input bits 0 to 3 land unchanged on output bits 2 to 5. So the walk takes
// the group in runs of 16 consecutive blocks: the tiled position of a run's
// first block is computed once, and the run's blocks go to that position
// plus 0, 4, 8 ... 60 blocks.
//
// Input bit 10 (together with bit 4, which keeps output bit 6 unchanged)
// flips only output bit 0, and input bit 5 only output bit 1. So the runs
// starting at first, first ^ 1040, first ^ 32 and first ^ 1072 fill tiled
// positions t, t + 1, t + 2 and t + 3 of every group of four: taken together,
// four runs fill 64 consecutive tiled positions, whole lines one after
// another, while each run is read (or written) in order. The walk takes these
// quads in tiled order, so the tiled side is one sequential stream.
#include "layout/block_tiling.h"

#include <algorithm>

#include "layout/kernel_set.h"
#include "layout/simd.h"
#include "layout/walk_support.h"

namespace ddsswizzle::engine {
namespace {

using detail::move_element;

constexpr std::uint32_t blocks_per_run = 16;
static_assert(block_tile_index(1) == 4 && block_tile_index(15) == 60,
              "input bits 0-3 must land on output bits 2-5");

constexpr std::uint32_t next_tiled_bit0 = 1040;  // input bits 4 and 10
constexpr std::uint32_t next_tiled_bit1 = 32;    // input bit 5
static_assert(block_tile_index(next_tiled_bit0) == 1 && block_tile_index(next_tiled_bit1) == 2);

// The four runs that fill one set of tiled lines, and where the lines start.
struct RunQuad {
    std::size_t run[4];
    std::size_t tiled;
};

constexpr RunQuad run_quad(std::uint32_t first, std::size_t block) noexcept {
    return {{std::size_t{first} * block, std::size_t{first ^ next_tiled_bit0} * block,
             std::size_t{first ^ next_tiled_bit1} * block,
             std::size_t{first ^ next_tiled_bit0 ^ next_tiled_bit1} * block},
            std::size_t{block_tile_index(first)} * block};
}

// The four runs of a quad fill 64 consecutive tiled positions; quad c of a
// group fills positions 64 c to 64 c + 63. Its leading run is found by
// reading the table of output bits backwards: output bits 6 to 12 of the
// first position are the bits of c, and bits 0 to 5 are zero.
constexpr std::uint32_t quads_per_group = blocks_per_tile_group / 64;

constexpr std::uint32_t quad_leader(std::uint32_t c) noexcept {
    auto bit = [c](unsigned k) { return (c >> k) & 1U; };
    const std::uint32_t j11 = bit(6);       // o12
    const std::uint32_t j4 = bit(0) ^ j11;  // o6 = j4 ^ j10 ^ j11, with j10 = 0
    return (j4 << 4U) | (bit(1) << 6U) | (bit(3) << 7U) | (bit(4) << 8U) | (bit(5) << 9U) | (j11 << 11U) |
           (bit(2) << 12U);
}

static_assert(block_tile_index(quad_leader(0)) == 0 && block_tile_index(quad_leader(1)) == 64 &&
              block_tile_index(quad_leader(77)) == 77 * 64 && block_tile_index(quad_leader(127)) == 127 * 64);

// Plain copies, one block at a time: block k of run r lands at tiled
// position t + 4 k + r.
template <std::size_t Block, Direction D>
void permute_quad_portable(const std::byte* source, std::byte* result, const RunQuad& q) noexcept {
    for (std::size_t k = 0; k < blocks_per_run; ++k) {
        const std::size_t line = q.tiled + k * 4 * Block;
        for (std::size_t r = 0; r < 4; ++r) {
            if constexpr (D == Direction::swizzle) {
                move_element<Block>(result + line + r * Block, source + q.run[r] + k * Block, Block);
            } else {
                move_element<Block>(result + q.run[r] + k * Block, source + line + r * Block, Block);
            }
        }
    }
}

#if DDSSWIZZLE_HAVE_SSE2
using detail::load16;
using detail::store16;

// 16-byte registers. A 16-byte block is one register. Two consecutive 8-byte
// blocks of a run are one register, and unpacking it with the partner run's
// gives two pairs of tiled neighbours.
template <std::size_t Block, Direction D>
void permute_quad_sse2(const std::byte* source, std::byte* result, const RunQuad& q) noexcept {
    if constexpr (Block == 16) {
        permute_quad_portable<Block, D>(source, result, q);  // already one load and store per block
    } else {
        for (std::size_t k = 0; k < blocks_per_run; k += 2) {
            const std::size_t line = q.tiled + k * 4 * Block;
            const std::size_t at = k * Block;
            if constexpr (D == Direction::swizzle) {
                const __m128i a = load16(source + q.run[0] + at);
                const __m128i b = load16(source + q.run[1] + at);
                const __m128i c = load16(source + q.run[2] + at);
                const __m128i d = load16(source + q.run[3] + at);
                store16(result + line, _mm_unpacklo_epi64(a, b));
                store16(result + line + 16, _mm_unpacklo_epi64(c, d));
                store16(result + line + 32, _mm_unpackhi_epi64(a, b));
                store16(result + line + 48, _mm_unpackhi_epi64(c, d));
            } else {
                const __m128i p = load16(source + line);
                const __m128i r = load16(source + line + 16);
                const __m128i s = load16(source + line + 32);
                const __m128i t = load16(source + line + 48);
                store16(result + q.run[0] + at, _mm_unpacklo_epi64(p, s));
                store16(result + q.run[1] + at, _mm_unpackhi_epi64(p, s));
                store16(result + q.run[2] + at, _mm_unpacklo_epi64(r, t));
                store16(result + q.run[3] + at, _mm_unpackhi_epi64(r, t));
            }
        }
    }
}
#endif

#if DDSSWIZZLE_HAVE_AVX2_DISPATCH
// 32-byte registers: each load or store carries two 16-byte blocks or four
// 8-byte ones. The shuffles work on the two 16-byte halves of a register
// (permute2x128 picks halves, unpack pairs 8-byte blocks within each half).
__attribute__((target("avx2"))) inline __m256i load32(const std::byte* at) noexcept {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

__attribute__((target("avx2"))) inline void store32(std::byte* at, __m256i value) noexcept {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), value);
}

constexpr int low_halves = 0x20;   // [low half of a, low half of b]
constexpr int high_halves = 0x31;  // [high half of a, high half of b]

template <std::size_t Block, Direction D>
__attribute__((target("avx2"))) void permute_quad_avx2(const std::byte* source, std::byte* result,
                                                       const RunQuad& q) noexcept {
    // Each step covers two tiled lines: 32 bytes of every run.
    constexpr std::size_t blocks_per_step = 32 / Block;
    for (std::size_t k = 0; k < blocks_per_run; k += blocks_per_step) {
        const std::size_t at = k * Block;
        const std::size_t line = q.tiled + k * 4 * Block;  // the second line is 64 bytes on
        if constexpr (D == Direction::swizzle) {
            const __m256i a = load32(source + q.run[0] + at);
            const __m256i b = load32(source + q.run[1] + at);
            const __m256i c = load32(source + q.run[2] + at);
            const __m256i d = load32(source + q.run[3] + at);
            if constexpr (Block == 16) {
                // a = [a0 a1], line k = [a0 b0 c0 d0], line k + 1 = [a1 b1 c1 d1].
                store32(result + line, _mm256_permute2x128_si256(a, b, low_halves));
                store32(result + line + 32, _mm256_permute2x128_si256(c, d, low_halves));
                store32(result + line + 64, _mm256_permute2x128_si256(a, b, high_halves));
                store32(result + line + 96, _mm256_permute2x128_si256(c, d, high_halves));
            } else {
                // a = [a0 a1 | a2 a3]; line k = [a0 b0 c0 d0 a1 b1 c1 d1],
                // line k + 2 = [a2 b2 c2 d2 a3 b3 c3 d3].
                const __m256i ab_even = _mm256_unpacklo_epi64(a, b);  // [a0 b0 | a2 b2]
                const __m256i ab_odd = _mm256_unpackhi_epi64(a, b);   // [a1 b1 | a3 b3]
                const __m256i cd_even = _mm256_unpacklo_epi64(c, d);
                const __m256i cd_odd = _mm256_unpackhi_epi64(c, d);
                store32(result + line, _mm256_permute2x128_si256(ab_even, cd_even, low_halves));
                store32(result + line + 32, _mm256_permute2x128_si256(ab_odd, cd_odd, low_halves));
                store32(result + line + 64, _mm256_permute2x128_si256(ab_even, cd_even, high_halves));
                store32(result + line + 96, _mm256_permute2x128_si256(ab_odd, cd_odd, high_halves));
            }
        } else {
            const __m256i p = load32(source + line);
            const __m256i r = load32(source + line + 32);
            const __m256i s = load32(source + line + 64);
            const __m256i t = load32(source + line + 96);
            if constexpr (Block == 16) {
                // p = [a0 b0], r = [c0 d0], s = [a1 b1], t = [c1 d1].
                store32(result + q.run[0] + at, _mm256_permute2x128_si256(p, s, low_halves));
                store32(result + q.run[1] + at, _mm256_permute2x128_si256(p, s, high_halves));
                store32(result + q.run[2] + at, _mm256_permute2x128_si256(r, t, low_halves));
                store32(result + q.run[3] + at, _mm256_permute2x128_si256(r, t, high_halves));
            } else {
                // p = [a0 b0 | c0 d0], r = [a1 b1 | c1 d1], s = [a2 b2 | c2 d2], t = [a3 b3 | c3 d3].
                const __m256i ab_even = _mm256_permute2x128_si256(p, s, low_halves);   // [a0 b0 | a2 b2]
                const __m256i ab_odd = _mm256_permute2x128_si256(r, t, low_halves);    // [a1 b1 | a3 b3]
                const __m256i cd_even = _mm256_permute2x128_si256(p, s, high_halves);  // [c0 d0 | c2 d2]
                const __m256i cd_odd = _mm256_permute2x128_si256(r, t, high_halves);   // [c1 d1 | c3 d3]
                store32(result + q.run[0] + at, _mm256_unpacklo_epi64(ab_even, ab_odd));
                store32(result + q.run[1] + at, _mm256_unpackhi_epi64(ab_even, ab_odd));
                store32(result + q.run[2] + at, _mm256_unpacklo_epi64(cd_even, cd_odd));
                store32(result + q.run[3] + at, _mm256_unpackhi_epi64(cd_even, cd_odd));
            }
        }
    }
}

template <std::size_t Block, Direction D>
__attribute__((target("avx2"))) void permute_group_avx2(const std::byte* source, std::byte* result) noexcept {
    for (std::uint32_t c = 0; c < quads_per_group; ++c) {
        permute_quad_avx2<Block, D>(source, result, run_quad(quad_leader(c), Block));
    }
    _mm256_zeroupper();
}
#endif

template <std::size_t Block, Direction D>
void permute_group([[maybe_unused]] KernelSet set, const std::byte* source, std::byte* result) noexcept {
#if DDSSWIZZLE_HAVE_AVX2_DISPATCH
    if (set == KernelSet::avx2) {
        permute_group_avx2<Block, D>(source, result);
        return;
    }
#endif
    for (std::uint32_t c = 0; c < quads_per_group; ++c) {
        const RunQuad q = run_quad(quad_leader(c), Block);
#if DDSSWIZZLE_HAVE_SSE2
        if (set != KernelSet::portable) {
            permute_quad_sse2<Block, D>(source, result, q);
            continue;
        }
#endif
        permute_quad_portable<Block, D>(source, result, q);
    }
}

// The block number whose tiled position is t: the table of output bits read
// backwards (see block_tile_index).
constexpr std::uint32_t block_untile_index(std::uint32_t t) noexcept {
    auto bit = [t](unsigned k) { return (t >> k) & 1U; };
    std::uint32_t j = t & ~(blocks_per_tile_group - 1U);
    j |= bit(2) << 0U;
    j |= bit(3) << 1U;
    j |= bit(4) << 2U;
    j |= bit(5) << 3U;
    j |= (bit(6) ^ bit(0) ^ bit(12)) << 4U;  // o6 = j4 ^ j10 ^ j11
    j |= bit(1) << 5U;
    j |= bit(7) << 6U;
    j |= bit(9) << 7U;
    j |= bit(10) << 8U;
    j |= bit(11) << 9U;
    j |= bit(0) << 10U;
    j |= bit(12) << 11U;
    j |= bit(8) << 12U;
    return j;
}

constexpr bool untiles_every_block() noexcept {
    for (std::uint32_t j = 0; j < blocks_per_tile_group; ++j) {
        if (block_untile_index(block_tile_index(j)) != j) return false;
    }
    return true;
}

static_assert(untiles_every_block());

// Writes bytes [result.begin, result.end) of one group's result (offsets in
// the group), block by block: for a piece that cuts the group.
void permute_group_part(std::uint32_t block, const std::byte* source, const detail::Piece& result,
                        Direction direction) noexcept {
    for (std::uint64_t b = result.begin / block; b * block < result.end; ++b) {
        const auto n = static_cast<std::uint32_t>(b);
        const std::uint32_t from = direction == Direction::swizzle ? block_untile_index(n) : block_tile_index(n);
        const std::uint64_t lo = result.lo(b * block);
        detail::copy_into(result, lo, result.hi((b + 1) * block), source + std::uint64_t{from} * block + lo - b * block);
    }
}

template <std::size_t Block>
void permute_group_of(KernelSet set, const std::byte* source, std::byte* result, Direction direction) noexcept {
    if (direction == Direction::swizzle) {
        permute_group<Block, Direction::swizzle>(set, source, result);
    } else {
        permute_group<Block, Direction::unswizzle>(set, source, result);
    }
}

// The groups of a level from `level`, as far as they fall in the piece: whole
// groups by the kernels, cut ones block by block.
void permute_groups(KernelSet set, std::uint32_t block, std::uint64_t level, std::uint64_t groups,
                    const std::byte* source, const detail::Piece& piece, Direction direction) noexcept {
    const std::uint64_t group_bytes = block_tiling_threshold(block);
    const std::uint64_t end = level + groups * group_bytes;
    if (piece.lo(level) >= piece.hi(end)) return;
    for (std::uint64_t at = level + (piece.lo(level) - level) / group_bytes * group_bytes; at < piece.hi(end);
         at += group_bytes) {
        const std::byte* group = source + at;
        if (piece.lo(at) != at || piece.hi(at + group_bytes) != at + group_bytes) {
            permute_group_part(block, group, {piece.place(piece.lo(at)), piece.lo(at) - at, piece.hi(at + group_bytes) - at},
                               direction);
        } else if (block == 8) {
            permute_group_of<8>(set, group, piece.place(at), direction);
        } else {
            permute_group_of<16>(set, group, piece.place(at), direction);
        }
    }
}

}  // namespace

void convert_block_piece(const SurfaceGeometry& g, std::span<const std::byte> source, std::uint64_t begin,
                         std::span<std::byte> piece, Direction direction, KernelSet set) noexcept {
    if (!kernel_set_available(set)) set = KernelSet::portable;
    const std::uint64_t length = source.size();
    const std::uint64_t first = std::min(begin, length);
    const detail::Piece out{piece.data(), first, first + std::min<std::uint64_t>(piece.size(), length - first)};
    const std::uint32_t block_bytes = g.format.block_bytes;
    const bool supported = g.format.ps3 == Ps3Rule::block_tiling && (block_bytes == 8 || block_bytes == 16);
    std::uint64_t copied = 0;  // the result before copied is written, as far as it is in the piece
    for (std::uint32_t face = 0; supported && face < g.faces; ++face) {
        for (std::uint32_t index = 0; index < g.entries; ++index) {
            const LevelGeometry& l = g.levels[index];
            const std::uint64_t offset = face * g.linear_face_bytes + l.ps3_offset;
            if (offset > length || l.ps3_bytes > length - offset) break;
            if (l.ps3_bytes < block_tiling_threshold(block_bytes)) continue;
            const std::uint64_t groups = l.ps3_bytes / block_bytes / blocks_per_tile_group;
            detail::copy_into(out, copied, offset, source.data() + copied);
            permute_groups(set, block_bytes, offset, groups, source.data(), out, direction);
            copied = offset + groups * block_tiling_threshold(block_bytes);
        }
    }
    detail::copy_into(out, copied, length, source.data() + copied);
}

void convert_block_levels(const SurfaceGeometry& g, std::span<const std::byte> source, std::span<std::byte> result,
                          Direction direction, KernelSet set) noexcept {
    const std::size_t length = std::min(source.size(), result.size());
    convert_block_piece(g, source.first(length), 0, result.first(length), direction, set);
}

}  // namespace ddsswizzle::engine
