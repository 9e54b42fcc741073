// The two 24-byte texture descriptors game data carries, read into a surface
// and the layout of its bytes, and the conversion of a payload so laid out
// to the linear levels a DDS file stores, and back.
//
// PS3: the GCM texture descriptor (CellGcmTexture), big-endian:
//   0 format (base | 0x20 LN: linear rows | 0x40 UN), 1 levels, 2 dimension
//   (1, 2, 3), 3 cube map, 4 remap, 8 width, 10 height, 12 depth,
//   14 location, 15 padding, 16 pitch (LN only), 20 runtime offset.
// Levels follow each other with no padding, each max(1, side >> level).
// Pixel formats without LN are in 2D (3D) Morton order level by level, wider
// texels as 32-bit words on a grid 2 or 4 times as wide; DXT blocks are never
// reordered by the RSX: plain block rows, packed without LN, `pitch` bytes
// apart with it. With LN every level's rows are level 0's pitch apart. The
// console reads big-endian words: 16-bit pixels and half floats have their
// bytes swapped, 32-bit pixels (a 0xAARRGGBB word) and floats reversed.
// This differs from the DDS-file PS3 rule of the tool (whose compressed
// levels are permuted in groups of 8192 blocks and whose 32-bit pixels keep
// their bytes): a texture the console reads by this descriptor is laid out
// by this rule, a DDS file in PS3 layout by the other. Cube map faces (+X -X
// +Y -Y +Z -Z) each hold a whole chain; without LN each starts on a 128-byte
// boundary.
//
// Xbox 360: the texture fetch constant, six big-endian dwords (bit 0 the
// least significant): dword 0 type (bits 0-1, 2 = texture), pitch in texels
// / 32 (22-30), tiled (31); dword 1 format (0-5), endian (6-7), stacked (10),
// base page (12-31); dword 2 width - 1 (0-12), height - 1 (13-25); dword 3
// channel swizzle (1-12); dword 4 mip_min_level (2-5), mip_max_level (6-9);
// dword 5 dimension (9-10: 1 2D, 3 cube), packed mips (11), mip page
// (12-31). Pages are 4 KiB from the start of the data the texture is in.
// Tiled levels are the regions of x360_tiling.h with level 0 at the base
// page and levels 1.. at the mip page, the small ones in the packed tail
// when the packed bit is set (a single small level too, at its tail place);
// without it every level has a region of its own. The endian field says
// which byte swap the console image carries, in memory order. Linear
// textures (256-byte aligned rows) are converted with one level only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/surface_geometry.h"

namespace ddsswizzle::engine {

inline constexpr std::size_t descriptor_bytes = 24;

// What is wrong with a container or a descriptor beyond the reasons a DDS
// surface has (Reason), grouped by the outcome they belong to.
enum class Fault : std::uint8_t {
    none,
    // not a texture container: the file's structure
    container_short,     // shorter than a GTF or XPR2 header
    no_entries,          // a count of zero
    table_past_end,      // the record or entry table runs past the end
    range_outside,       // a record's or entry's bytes outside the file or header block
    textures_overlap,    // two textures share bytes
    entry_stride,        // not a table of 16-byte XPR2 entries with 52-byte texture headers
    name_outside,        // a name offset outside the names, or no NUL before the block ends
    // texture data is truncated
    blocks_past_end,     // the XPR2 header and data blocks run past the end of the file
    pages_outside,       // a base or mip area outside the data
    cube_stride,         // a linear cube map whose size fits no face stride
    // unknown format
    descriptor_format,   // a format code not converted
    descriptor_swizzle,  // an 8 or 8_8_8_8 channel swizzle no DDS format matches
    // unsupported texture type
    descriptor_type,     // a DXT volume, a cube map not 2D, 1D or 3D on the Xbox 360, an array, no texture
    linear_mips,         // an Xbox 360 linear texture of several levels, or a linear cube map
    tail_pages,          // the tail holds level 0 but the mip page is not the base page
    areas_overlap,       // the base and the mip areas of one texture overlap
    // unsupported size
    descriptor_pitch,    // a pitch that does not fit the texture's rows
    mip_min_level,       // mip_min_level not 0
    // replacing a texture by a DDS file
    replacement_format,  // another format (storage)
    replacement_type,    // 2D against cube map or volume
    replacement_sides,   // other sides
    replacement_levels,  // fewer levels
    // a call the caller got wrong
    no_such_texture,     // the index is past the count
    not_a_texture_entry, // an XPR2 resource that is no texture
    result_too_small,    // the result buffer is too small
};

// A refusal: a DDS reason, or a fault, or neither.
struct Verdict {
    Reason reason = Reason::none;
    Fault fault = Fault::none;
    [[nodiscard]] bool ok() const noexcept { return reason == Reason::none && fault == Fault::none; }
};

enum class Outcome : std::uint8_t {
    ok,
    not_a_dds_texture,
    unknown_format,
    unsupported_type,
    unsupported_size,
    truncated,
    invalid_argument,
    not_a_container,
};

Outcome outcome_of(Verdict verdict) noexcept;

// The swap of the console image, in memory order: the bytes exchanged are
// those whose offsets differ by the xor of the value (8in16 1, 8in32 3,
// 16in32 2).
enum class ByteOrder : std::uint8_t { none = 0, swap_8in16 = 1, swap_8in32 = 2, swap_16in32 = 3 };

constexpr std::uint32_t swap_mask(ByteOrder order) noexcept {
    constexpr std::array<std::uint32_t, 4> masks = {0, 1, 3, 2};
    return masks[static_cast<std::size_t>(order)];
}

// Where the bytes of a descriptor's texture are, from the start of the data
// it is in (PS3: the texture's bytes; Xbox 360: the data block pages count
// from).
struct ConsoleLayout {
    Console console = Console::ps3;
    std::uint32_t format_code = 0;  // the GCM format byte as stored, or the Xbox 360 GPU format
    bool swizzled = false;          // PS3 Morton order; Xbox 360 tiled
    // Bytes between rows of blocks where rows are linear (PS3 with LN, Xbox
    // 360 linear), level 0's tiled pitch in blocks on the Xbox 360, 0 for
    // packed rows and Morton order.
    std::uint32_t pitch = 0;
    ByteOrder order = ByteOrder::none;
    bool packed_tail = false;
    std::uint64_t level0 = 0;       // where level 0 starts
    std::uint64_t mips = 0;         // where level 1 starts (its area on the Xbox 360)
    std::uint64_t face_stride = 0;  // PS3: from one face's chain to the next; Xbox 360: a slice of level 0
    std::uint64_t end = 0;          // one past the last byte the texture uses
    // The areas the texture's bytes fill, [first, end) each (the second
    // empty on the PS3 and without mips): a conversion to the console writes
    // every byte of them.
    std::array<std::array<std::uint64_t, 2>, 2> areas{};
};

// A descriptor read: the surface (a plain 2D texture, a cube map or a
// volume), its layout, and the geometry the walks take.
struct DescriptorTexture {
    Surface surface;
    ConsoleLayout layout;
    SurfaceGeometry geometry;  // levels with their linear places, and on the Xbox 360 their regions
    std::uint32_t faces = 1;
};

// Reads a descriptor, for a texture whose data holds data_size bytes
// (checked: every level inside them).
Verdict read_descriptor(std::span<const std::byte, descriptor_bytes> descriptor, Console console,
                        std::uint64_t data_size, DescriptorTexture& texture) noexcept;

// Bytes of the linear levels of one face for the first `levels` levels of
// the surface, as a DDS file stores them.
std::uint64_t linear_face_bytes(const Surface& surface, std::int32_t levels) noexcept;

// Converts between the console data (console: the data the descriptor's
// offsets count from, at least layout.end bytes) and the linear levels
// (linear: face after face, face_stride bytes apart, the texture's levels at
// the start of each). swizzle writes every byte of the layout's areas and
// nothing else of console; unswizzle writes the texture's linear levels.
// False, writing nothing, when a span is too short.
bool convert_descriptor_texture(const DescriptorTexture& texture, Direction direction,
                                std::span<const std::byte> source, std::span<std::byte> result,
                                std::uint64_t linear_face_stride) noexcept;

}  // namespace ddsswizzle::engine
