// The checks a surface must pass on each console, and its layout, computed
// once for every level.
#include "layout/surface_geometry.h"

#include <algorithm>
#include <limits>

#include "layout/walk_support.h"
#include "layout/x360_tiling.h"

namespace ddsswizzle::engine {
namespace {

// The largest level the PS3 layouts were designed for: its byte count must fit
// the signed 32-bit arithmetic they are defined in.
constexpr std::uint64_t max_ps3_level_bytes = std::numeric_limits<std::int32_t>::max();

constexpr std::uint32_t cube_map_faces = 6;

constexpr bool is_power_of_two(std::int32_t v) noexcept { return v > 0 && (v & (v - 1)) == 0; }

// Whether the PS3 counts a 2D chain's levels without a lower bound of 1 (see
// the header): pixels and compressed blocks; not floats, nor any volume.
bool counts_without_lower_bound(const Surface& surface, const FormatFacts& format) noexcept {
    return surface.type != TextureType::volume && !format.ps3_stored_levels;
}

// The bytes the PS3 walk counts for level 0, saturating: width x height x
// depth x block bytes / (block side squared).
std::uint64_t ps3_top_level_bytes(const Surface& surface, const FormatFacts& format) noexcept {
    const std::uint64_t depth = surface.type == TextureType::volume ? static_cast<std::uint64_t>(surface.depth) : 1;
    return detail::saturating_product(static_cast<std::uint64_t>(surface.width), static_cast<std::uint64_t>(surface.height),
                                      depth * format.block_bytes) /
           (std::uint64_t{format.block_side} * format.block_side);
}

Reason check_ps3_sizes(const Surface& surface, const FormatFacts& format) noexcept {
    const bool volume = surface.type == TextureType::volume;
    if (format.ps3 == Ps3Rule::morton) {
        // Morton order maps pixels one to one only when every side is a
        // power of two; any other side would send several pixels to one
        // place and lose the others.
        if (!is_power_of_two(surface.width)) return Reason::width_not_power_of_two;
        if (!is_power_of_two(surface.height)) return Reason::height_not_power_of_two;
        if (volume && !is_power_of_two(surface.depth)) return Reason::depth_not_power_of_two;
    }
    if (volume && surface.levels > full_chain_levels(std::max({surface.width, surface.height, surface.depth}))) {
        return Reason::level_count_out_of_range;
    }
    if (ps3_top_level_bytes(surface, format) > max_ps3_level_bytes) return Reason::level_too_large;
    return Reason::none;
}

Reason check_x360_sizes(const Surface& surface) noexcept {
    if (surface.width > x360_max_side || surface.height > x360_max_side) return Reason::side_above_limit;
    if (surface.levels > full_chain_levels(std::max(surface.width, surface.height))) return Reason::level_count_out_of_range;
    return Reason::none;
}

Reason check_surface(const Surface& surface, Console console, const std::optional<FormatFacts>& format) noexcept {
    if (!format || !console_stores(surface.format, console)) return Reason::format_not_on_console;
    const bool volume = surface.type == TextureType::volume;
    if (volume && (console == Console::x360 || format->ps3 == Ps3Rule::block_tiling)) {
        return Reason::volume_not_on_console;
    }
    if (surface.width <= 0 || surface.height <= 0 || (volume && surface.depth <= 0)) return Reason::side_not_positive;
    if (surface.levels < 1 || surface.levels > max_levels) return Reason::level_count_out_of_range;
    return console == Console::ps3 ? check_ps3_sizes(surface, *format) : check_x360_sizes(surface);
}

// A side of level l: halved l times, at least 1.
std::uint32_t level_side(std::int32_t side, std::uint32_t level) noexcept {
    return std::max<std::uint32_t>(static_cast<std::uint32_t>(side) >> level, 1);
}

}  // namespace

Reason lay_out_surface(const Surface& surface, Console console, SurfaceGeometry& geometry) noexcept {
    const std::optional<FormatFacts> format = format_facts(surface.format);
    if (const Reason refused = check_surface(surface, console, format); refused != Reason::none) return refused;

    SurfaceGeometry& g = geometry;
    g = SurfaceGeometry{};
    g.surface = surface;
    g.format = *format;
    g.console = console;
    const bool volume = surface.type == TextureType::volume;
    if (!volume) g.surface.depth = 1;
    g.faces = surface.type == TextureType::cube_map ? cube_map_faces : 1;
    g.entries = static_cast<std::uint32_t>(std::min<std::int32_t>(surface.levels, max_level_entries));

    const std::uint32_t side = format->block_side;
    const std::uint64_t block_bytes = format->block_bytes;
    const bool no_lower_bound = counts_without_lower_bound(surface, *format);
    std::uint64_t linear = 0;
    std::uint64_t ps3 = 0;
    bool ps3_chain_over = false;
    for (std::uint32_t l = 0; l < g.entries; ++l) {
        LevelGeometry& level = g.levels[l];
        level.width = level_side(surface.width, l);
        level.height = level_side(surface.height, l);
        level.depth = volume ? level_side(surface.depth, l) : 1;
        level.blocks_wide = (level.width + side - 1) / side;
        level.blocks_high = (level.height + side - 1) / side;
        level.linear_offset = linear;
        level.linear_bytes = std::uint64_t{level.blocks_wide} * level.blocks_high * level.depth * block_bytes;
        linear += level.linear_bytes;

        // The PS3 chain: without a lower bound it ends at the first level
        // with a side of 0; otherwise after the 1 x 1 level.
        std::uint64_t ps3_bytes = 0;
        if (no_lower_bound) {
            const std::uint64_t w = static_cast<std::uint64_t>(surface.width) >> l;
            const std::uint64_t h = static_cast<std::uint64_t>(surface.height) >> l;
            ps3_chain_over = ps3_chain_over || w == 0 || h == 0;
            if (!ps3_chain_over) ps3_bytes = w * h * block_bytes / (std::uint64_t{side} * side);
        } else if (!ps3_chain_over) {
            ps3_bytes = level.linear_bytes;
            ps3_chain_over = level.width == 1 && level.height == 1 && level.depth == 1;
        }
        level.ps3_offset = ps3;
        level.ps3_bytes = ps3_bytes;
        ps3 += ps3_bytes;
    }
    // Levels past the entries are 1 x 1: one block each in the linear layout.
    linear += static_cast<std::uint64_t>(surface.levels - static_cast<std::int32_t>(g.entries)) * block_bytes;
    g.linear_face_bytes = linear;
    g.linear_size = linear * g.faces;
    if (console == Console::x360) {
        g.console_size = x360_lay_out(g);
    } else {
        g.console_size = g.linear_size;
        g.ps3_reach = surface.type == TextureType::plain ? ps3 : g.linear_size;
    }
    return Reason::none;
}

LevelPlace place_level(const SurfaceGeometry& g, std::uint32_t level, std::uint32_t face) noexcept {
    LevelPlace place;
    const std::uint64_t face_start = std::uint64_t{face} * g.linear_face_bytes;
    if (level >= g.entries) {
        const std::uint64_t last_end = g.entries == 0 ? 0 : g.levels[g.entries - 1].linear_offset + g.levels[g.entries - 1].linear_bytes;
        place.linear_offset = face_start + last_end + (level - g.entries) * std::uint64_t{g.format.block_bytes};
        place.linear_bytes = g.format.block_bytes;
        if (g.console == Console::ps3) {
            place.console_offset = place.linear_offset;
            place.console_bytes = place.linear_bytes;
        }
        return place;
    }
    const LevelGeometry& l = g.levels[level];
    place.linear_offset = face_start + l.linear_offset;
    place.linear_bytes = l.linear_bytes;
    if (g.console == Console::ps3) {
        place.console_offset = place.linear_offset;
        place.console_bytes = place.linear_bytes;
    } else {
        place.console_offset = l.x360_region + face * l.x360_slice;
        place.console_bytes = l.x360_slice;
    }
    return place;
}

}  // namespace ddsswizzle::engine
