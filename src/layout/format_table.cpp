// The format table and the DXGI names.
#include "layout/format_table.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace ddsswizzle::engine {
namespace {

// Formats that differ only in how their bits are read (typeless, unorm, srgb,
// uint, snorm, sint) are stored alike, so a row covers a run of DXGI
// numbers.
struct FormatRow {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    FormatFacts facts;  // its dxgi field is filled in by the lookup
};

constexpr Ps3Rule morton = Ps3Rule::morton;
constexpr Ps3Rule tiling = Ps3Rule::block_tiling;
constexpr Ps3Rule none = Ps3Rule::none;
// PS3 levels of 2D textures and cube maps: those a DDS file stores, or the
// halved sides counted down to the first side of 0.
constexpr bool stored = true;
constexpr bool counted = false;

// Columns: block side, block bytes, PS3 rule, PS3 swap unit, Xbox 360 swap
// unit, PS3 levels. The Xbox 360 reads texels as big-endian words: 32-bit
// pixels have their four bytes reversed, 16-bit pixels and every 16-bit word
// of a compressed block their two bytes swapped. The PS3 converts the byte
// order of 16-bit pixels and of floats: the bytes of every 16-bit value of a
// half float texel swapped, the four bytes of every 32-bit float reversed.
// Its float formats, R32_FLOAT as the two wider ones, have the levels a DDS
// file stores; pixels and blocks the counted ones.
constexpr FormatRow format_rows[] = {
    {2, 2, {0, 1, 16, morton, 4, 0, stored}},     // R32G32B32A32_FLOAT: four 32-bit words on the PS3
    {10, 10, {0, 1, 8, morton, 2, 0, stored}},    // R16G16B16A16_FLOAT: two 32-bit words on the PS3
    {27, 32, {0, 1, 4, morton, 1, 4, counted}},   // R8G8B8A8
    {41, 41, {0, 1, 4, morton, 4, 0, stored}},    // R32_FLOAT
    {48, 53, {0, 1, 2, morton, 2, 2, counted}},   // R8G8, R16_TYPELESS
    {56, 59, {0, 1, 2, morton, 2, 2, counted}},   // R16 unorm, uint, snorm, sint
    {60, 65, {0, 1, 1, morton, 1, 1, counted}},   // R8, A8
    {70, 72, {0, 4, 8, tiling, 1, 2, counted}},   // BC1 (DXT1)
    {73, 78, {0, 4, 16, tiling, 1, 2, counted}},  // BC2, BC3 (DXT2 to DXT5)
    {79, 81, {0, 4, 8, none, 1, 2, counted}},     // BC4 (ATI1, DXT5A on the Xbox 360; the PS3 has none)
    {82, 84, {0, 4, 16, none, 1, 2, counted}},    // BC5 (ATI2, DXN on the Xbox 360; the PS3 has none)
    {85, 86, {0, 1, 2, morton, 2, 2, counted}},   // B5G6R5, B5G5R5A1
    {87, 88, {0, 1, 4, morton, 1, 4, counted}},   // B8G8R8A8, B8G8R8X8
    {90, 93, {0, 1, 4, morton, 1, 4, counted}},   // B8G8R8A8, B8G8R8X8 typeless and srgb
    {115, 115, {0, 1, 2, morton, 2, 2, counted}}, // B4G4R4A4
};

// DXGI_FORMAT names by number, 0 to 115 and 130 to 132.
constexpr std::string_view names_from_0[] = {
    "UNKNOWN", "R32G32B32A32_TYPELESS", "R32G32B32A32_FLOAT", "R32G32B32A32_UINT", "R32G32B32A32_SINT",
    "R32G32B32_TYPELESS", "R32G32B32_FLOAT", "R32G32B32_UINT", "R32G32B32_SINT", "R16G16B16A16_TYPELESS",
    "R16G16B16A16_FLOAT", "R16G16B16A16_UNORM", "R16G16B16A16_UINT", "R16G16B16A16_SNORM", "R16G16B16A16_SINT",
    "R32G32_TYPELESS", "R32G32_FLOAT", "R32G32_UINT", "R32G32_SINT", "R32G8X24_TYPELESS", "D32_FLOAT_S8X24_UINT",
    "R32_FLOAT_X8X24_TYPELESS", "X32_TYPELESS_G8X24_UINT", "R10G10B10A2_TYPELESS", "R10G10B10A2_UNORM",
    "R10G10B10A2_UINT", "R11G11B10_FLOAT", "R8G8B8A8_TYPELESS", "R8G8B8A8_UNORM", "R8G8B8A8_UNORM_SRGB",
    "R8G8B8A8_UINT", "R8G8B8A8_SNORM", "R8G8B8A8_SINT", "R16G16_TYPELESS", "R16G16_FLOAT", "R16G16_UNORM",
    "R16G16_UINT", "R16G16_SNORM", "R16G16_SINT", "R32_TYPELESS", "D32_FLOAT", "R32_FLOAT", "R32_UINT", "R32_SINT",
    "R24G8_TYPELESS", "D24_UNORM_S8_UINT", "R24_UNORM_X8_TYPELESS", "X24_TYPELESS_G8_UINT", "R8G8_TYPELESS",
    "R8G8_UNORM", "R8G8_UINT", "R8G8_SNORM", "R8G8_SINT", "R16_TYPELESS", "R16_FLOAT", "D16_UNORM", "R16_UNORM",
    "R16_UINT", "R16_SNORM", "R16_SINT", "R8_TYPELESS", "R8_UNORM", "R8_UINT", "R8_SNORM", "R8_SINT", "A8_UNORM",
    "R1_UNORM", "R9G9B9E5_SHAREDEXP", "R8G8_B8G8_UNORM", "G8R8_G8B8_UNORM", "BC1_TYPELESS", "BC1_UNORM",
    "BC1_UNORM_SRGB", "BC2_TYPELESS", "BC2_UNORM", "BC2_UNORM_SRGB", "BC3_TYPELESS", "BC3_UNORM", "BC3_UNORM_SRGB",
    "BC4_TYPELESS", "BC4_UNORM", "BC4_SNORM", "BC5_TYPELESS", "BC5_UNORM", "BC5_SNORM", "B5G6R5_UNORM",
    "B5G5R5A1_UNORM", "B8G8R8A8_UNORM", "B8G8R8X8_UNORM", "R10G10B10_XR_BIAS_A2_UNORM", "B8G8R8A8_TYPELESS",
    "B8G8R8A8_UNORM_SRGB", "B8G8R8X8_TYPELESS", "B8G8R8X8_UNORM_SRGB", "BC6H_TYPELESS", "BC6H_UF16", "BC6H_SF16",
    "BC7_TYPELESS", "BC7_UNORM", "BC7_UNORM_SRGB", "AYUV", "Y410", "Y416", "NV12", "P010", "P016", "420_OPAQUE",
    "YUY2", "Y210", "Y216", "NV11", "AI44", "IA44", "P8", "A8P8", "B4G4R4A4_UNORM",
};
constexpr std::uint32_t names_from_130_first = 130;
constexpr std::string_view names_from_130[] = {"P208", "V208", "V408"};

}  // namespace

std::optional<FormatFacts> format_facts(std::uint32_t dxgi) noexcept {
    const auto* const row = std::find_if(std::begin(format_rows), std::end(format_rows),
                                         [dxgi](const FormatRow& r) { return dxgi >= r.first && dxgi <= r.last; });
    if (row == std::end(format_rows)) return std::nullopt;
    FormatFacts facts = row->facts;
    facts.dxgi = dxgi;
    return facts;
}

bool console_stores(std::uint32_t dxgi, Console console) noexcept {
    const std::optional<FormatFacts> facts = format_facts(dxgi);
    return facts && (console == Console::ps3 ? facts->ps3 != Ps3Rule::none : facts->x360_swap != 0);
}

std::string_view dxgi_format_name(std::uint32_t dxgi) noexcept {
    if (dxgi < std::size(names_from_0)) return names_from_0[dxgi];
    if (dxgi >= names_from_130_first && dxgi - names_from_130_first < std::size(names_from_130)) {
        return names_from_130[dxgi - names_from_130_first];
    }
    return {};
}

std::optional<std::uint32_t> dxgi_format_number(std::string_view name) noexcept {
    if (name.empty()) return std::nullopt;
    const auto* const at = std::find(std::begin(names_from_0), std::end(names_from_0), name);
    if (at != std::end(names_from_0)) return static_cast<std::uint32_t>(at - std::begin(names_from_0));
    const auto* const high = std::find(std::begin(names_from_130), std::end(names_from_130), name);
    if (high != std::end(names_from_130)) return names_from_130_first + static_cast<std::uint32_t>(high - std::begin(names_from_130));
    return std::nullopt;
}

}  // namespace ddsswizzle::engine
