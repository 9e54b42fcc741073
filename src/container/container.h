// The containers the consoles' SDKs write textures into, read from bytes
// held in memory (untrusted: every offset and count is checked against them
// before anything is read), and a texture of one taken out as a DDS file or
// put back from one.
//
// PS3 GTF, big-endian, no magic: a 12-byte header {version, data size,
// count}, then `count` 36-byte records {id, offset from the start of the
// file, size, 24-byte GCM descriptor}; each texture's bytes lie at its
// record's offset.
//
// Xbox 360 XPR2, big-endian: "XPR2", the size of the header block that
// starts at 0x0C, the size of the data block after it; at 0x0C the count,
// then 16-byte entries {FourCC type, offset, size, name offset}, offsets
// counting from 0x0C. A texture entry (type TX2D or TXCM) points at a
// 52-byte header whose bytes 0x1C-0x33 are the fetch constant; its pages
// count from the start of the data block. Other resources (vertex buffers,
// shaders, user data) are listed as not textures.
//
// The file's structure (header, table, records and entries, overlapping
// textures) decides whether it is a container; a texture's own faults
// (format, type, sizes, data outside its bytes) refuse that texture alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "container/descriptor.h"

namespace ddsswizzle::engine {

struct ContainerSummary {
    Console console = Console::ps3;  // PS3: GTF; Xbox 360: XPR2
    std::uint32_t count = 0;         // records or entries (textures or not)
};

struct ContainerEntry {
    std::uint32_t index = 0;
    Console console = Console::ps3;
    bool is_texture = false;         // GTF: always; XPR2: a TX type
    std::uint32_t type = 0;          // XPR2: the FourCC as a big-endian number ("TX2D" 0x54583244); GTF 0
    std::uint32_t id = 0;            // GTF: the record's id; XPR2: the index
    std::uint64_t name_offset = 0;   // XPR2: the name's bytes in the file (no NUL); GTF: none
    std::uint64_t name_length = 0;
    std::uint64_t descriptor_offset = 0;  // the 24 descriptor bytes in the file
    std::uint64_t record_offset = 0;  // GTF: the texture's bytes; XPR2: the resource's (the 52-byte header)
    std::uint64_t record_size = 0;
    std::uint64_t data_offset = 0;   // what the descriptor's offsets count from: GTF the texture, XPR2 the data block
    std::uint64_t data_size = 0;
    Verdict verdict;                 // the texture's own: converts, or why not
    DescriptorTexture texture;       // when it converts (offsets from data_offset)
};

// Checks the file's structure; on success fills the summary.
Verdict read_container(std::span<const std::byte> file, ContainerSummary& summary) noexcept;

// Checks the file's structure and reads entry `index`.
Verdict read_container_entry(std::span<const std::byte> file, std::uint32_t index, ContainerEntry& entry) noexcept;

// Bytes of the file a texture's data fills, with the entry's descriptor
// offsets made absolute: at most two areas, empty ones [0, 0).
std::array<std::array<std::uint64_t, 2>, 2> texture_areas(const ContainerEntry& entry) noexcept;

// Whether two DXGI formats store their bytes alike (the same row of the
// DXGI list told apart only by how the bits are read: typeless, unorm,
// srgb, ...).
bool same_storage(std::uint32_t a, std::uint32_t b) noexcept;

// Texture `index` as a whole DDS file in `result`: the header the texture
// layer writes for its surface (legacy where one names the format), then its
// linear levels, face after face. written: the file's length, also when
// result is too small.
Verdict extract_texture(std::span<const std::byte> file, std::uint32_t index, std::span<std::byte> result,
                        std::uint64_t& written) noexcept;

// A new image of the container, as long as the old one, in `result` (at
// least that long), with texture `index` holding the texture of the DDS
// file `dds` in its layout; every byte outside the texture's areas copied.
// The DDS texture must have the same format storage, texture type and
// sides, and at least as many levels (the extra ones are left out).
// written: the container's length, also when result is too small.
Verdict replace_texture(std::span<const std::byte> file, std::uint32_t index, std::span<const std::byte> dds,
                        std::span<std::byte> result, std::uint64_t& written) noexcept;

}  // namespace ddsswizzle::engine
