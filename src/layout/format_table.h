// The facts of every texture format the consoles store, one row a format,
// named by its DXGI number (the vocabulary of Direct3D, DirectXTex and most
// texture tools; a legacy DDS header is mapped onto it when it is read).
//
// A format's row says how big its elements are and how each console stores
// it: the PS3 either puts pixels (or 32-bit words of wider texels) in Morton
// order, or permutes 4 x 4 blocks in groups of 8192; the Xbox 360 tiles every
// format the same way and differs only in the byte order of its words. A
// console that has no such format, or whose layout for it no public source
// settles, has none in the row, and the texture is refused rather than
// converted by a guess.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ddsswizzle::engine {

// Which console's layout a texture is converted to or from.
enum class Console : std::uint8_t { ps3, x360 };

// How the PS3 stores a format.
enum class Ps3Rule : std::uint8_t {
    none,          // the console has no such format, or no source settles its layout
    morton,        // Morton order of pixels; a texel wider than 4 bytes as 32-bit words on a wider grid
    block_tiling,  // 4 x 4 blocks, levels of 8192 blocks or more permuted in groups of 8192
};

struct FormatFacts {
    std::uint32_t dxgi = 0;
    std::uint32_t block_side = 1;   // pixels on a block's side: 1, or 4 for block-compressed formats
    std::uint32_t block_bytes = 1;  // bytes of one block (or pixel): 1, 2, 4, 8 or 16
    Ps3Rule ps3 = Ps3Rule::none;
    std::uint32_t ps3_swap = 1;     // PS3: after the walk, the bytes of every unit of this size are reversed (1: none)
    std::uint32_t x360_swap = 0;    // Xbox 360: the same on the way into the image (0: no layout on the Xbox 360)
    // PS3, 2D textures and cube maps: true when the walks convert the levels
    // a DDS file stores, max(1, W >> l) x max(1, H >> l) down to 1 x 1 (the
    // float formats); false when a level is (W >> l) x (H >> l), the chain
    // ending at the first side of 0 (pixels and blocks).
    bool ps3_stored_levels = false;
};

// The row of a DXGI format, or nothing when neither console has a layout for it.
std::optional<FormatFacts> format_facts(std::uint32_t dxgi) noexcept;

// Whether the console has a layout for the format: checked before anything
// else a texture says, since a format a console lacks is unknown to it
// whatever the rest of the texture is.
bool console_stores(std::uint32_t dxgi, Console console) noexcept;

// The DXGI name without its DXGI_FORMAT_ prefix ("BC3_UNORM"), for every
// number DXGI defines; empty for the others.
std::string_view dxgi_format_name(std::uint32_t dxgi) noexcept;

// The number of a DXGI name without its prefix, matched exactly.
std::optional<std::uint32_t> dxgi_format_number(std::string_view name) noexcept;

}  // namespace ddsswizzle::engine
