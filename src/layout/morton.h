// Morton (Z-order) pixel order of uncompressed PS3 textures, and the walk
// that converts every level of a surface, 2D texture, cube map or volume,
// between linear order and Morton order.
//
// In Morton order the position of pixel (x, y) is formed by interleaving the
// bits of the column and the row, column first. Each side contributes as many
// bits as it can be halved before reaching 1, so a side of 2^n contributes n
// bits; once the shorter side has run out, the remaining bits of the longer
// side follow in order. A volume interleaves three axes the same way: column,
// row, slice, in turn.
//
// The console swizzles no element wider than 32 bits: a level of texels of 8
// or 16 bytes is a Morton array of 32-bit words over a grid 2 or 4 times as
// wide, so an 8-byte texel stays whole but the next position bit comes from
// the row, and a 16-byte texel is split into two halves 8 bytes apart.
//
// The console reads big-endian values, so some formats have their bytes
// reordered too (the format table's PS3 swap unit): 16-bit pixels and half
// floats the two bytes of every 16-bit value, 32-bit floats the four bytes of
// every word. 16-bit pixels have that swap over the whole buffer, bytes after
// the levels included, as this tool has always done; other formats over their
// levels only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/kernel_set.h"
#include "layout/surface_geometry.h"

namespace ddsswizzle::engine {

// Converts every level of every face of a surface laid out for the PS3 with
// the Morton rule, between linear and Morton order, from source into result.
// Every byte of result up to the shorter buffer's length is written: bytes
// the layout does not move are copied from the same offset of source (or
// swapped in place, see above). A level that would reach past the shorter
// buffer is copied, with every level after it. The caller checks the sizes;
// this only keeps memory safe. A kernel set the processor lacks is replaced
// by the portable kernels.
void convert_morton_levels(const SurfaceGeometry& geometry, std::span<const std::byte> source,
                           std::span<std::byte> result, Direction direction,
                           KernelSet set = best_kernel_set()) noexcept;

// The same conversion, a piece at a time: writes bytes [begin, begin +
// piece.size()) of the result the call above would make from source (a
// result as long as source) into piece, and nothing else; bytes of piece
// past the end of source are left as they are. The pieces of a result, taken
// in any order, make the same bytes as the whole; a piece costs no more a
// byte than the whole does, but for a few pixels at its ends.
void convert_morton_piece(const SurfaceGeometry& geometry, std::span<const std::byte> source, std::uint64_t begin,
                          std::span<std::byte> piece, Direction direction,
                          KernelSet set = best_kernel_set()) noexcept;

}  // namespace ddsswizzle::engine
