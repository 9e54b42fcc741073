// Checks of a DDS file image against its length, and the conversion of its
// texture data by the layout of the format's row.
#include "texture/texture_plan.h"

#include <algorithm>
#include <cstring>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "layout/x360_tiling.h"

namespace ddsswizzle::engine {

Status status_of(Reason reason) noexcept {
    switch (reason) {
        case Reason::none: return Status::converted;
        case Reason::short_file:
        case Reason::no_signature:
        case Reason::short_extended_header: return Status::not_a_texture;
        case Reason::format_not_recognised:
        case Reason::format_not_on_console: return Status::unknown_format;
        case Reason::texture_array:
        case Reason::partial_cube_map:
        case Reason::cube_map_and_volume:
        case Reason::volume_not_on_console: return Status::unsupported_type;
        case Reason::side_not_positive:
        case Reason::width_not_power_of_two:
        case Reason::height_not_power_of_two:
        case Reason::depth_not_power_of_two:
        case Reason::side_above_limit:
        case Reason::level_count_out_of_range:
        case Reason::level_too_large: return Status::unsupported_size;
        case Reason::data_short: return Status::truncated;
    }
    return Status::not_a_texture;
}

std::uint64_t data_in_size(const SurfaceGeometry& geometry, Direction direction) noexcept {
    return direction == Direction::swizzle ? geometry.linear_size : geometry.console_size;
}

std::uint64_t data_out_size(const SurfaceGeometry& geometry, Direction direction) noexcept {
    return direction == Direction::swizzle ? geometry.console_size : geometry.linear_size;
}

bool convert_surface(const SurfaceGeometry& geometry, Direction direction, std::span<const std::byte> source,
                     std::span<std::byte> result) noexcept {
    if (geometry.console == Console::x360) return convert_x360_levels(geometry, source, result, direction);
    if (source.size() != result.size() || source.size() < geometry.ps3_reach) return false;
    if (geometry.format.ps3 == Ps3Rule::block_tiling) {
        convert_block_levels(geometry, source, result, direction);
    } else {
        convert_morton_levels(geometry, source, result, direction);
    }
    return true;
}

TexturePlan plan_texture_conversion(std::span<const std::byte> file_start, std::uint64_t file_length,
                                    Direction direction, Console console) noexcept {
    TexturePlan plan;
    plan.dds = read_dds_surface(file_start, file_length);
    plan.reason = plan.dds.reason;
    if (status_of(plan.reason) == Status::not_a_texture || plan.reason == Reason::format_not_recognised) return plan;
    // A format the console has no layout for is an unknown format whatever
    // else the header says, as if the table had no row for it.
    if (!console_stores(plan.dds.surface.format, console)) {
        plan.reason = Reason::format_not_on_console;
        return plan;
    }
    if (plan.reason != Reason::none) return plan;
    plan.reason = lay_out_surface(plan.dds.surface, console, plan.geometry);
    if (plan.reason != Reason::none) return plan;
    const std::uint64_t payload = file_length - plan.dds.header_bytes;
    // The PS3 converts the payload as one buffer, which must reach as far as
    // its walks do; the Xbox 360 reads the linear levels or the image.
    const bool ps3 = console == Console::ps3;
    const std::uint64_t needed = ps3 ? plan.geometry.ps3_reach : data_in_size(plan.geometry, direction);
    if (needed > payload) {
        plan.reason = Reason::data_short;
        return plan;
    }
    plan.data_in = ps3 ? payload : needed;
    plan.data_out = ps3 ? payload : data_out_size(plan.geometry, direction);
    plan.output_length = plan.dds.header_bytes + plan.data_out + (payload - plan.data_in);
    return plan;
}

bool convert_texture_image(const TexturePlan& plan, Direction direction, std::span<const std::byte> file,
                           std::span<std::byte> converted) noexcept {
    const std::size_t header = plan.dds.header_bytes;
    if (plan.reason != Reason::none || converted.size() != plan.output_length ||
        file.size() != header + plan.data_in + (plan.output_length - header - plan.data_out)) {
        return false;
    }
    const std::span<const std::byte> payload = file.subspan(header);
    const std::span<std::byte> out = converted.subspan(header);
    const auto in_bytes = static_cast<std::size_t>(plan.data_in);
    const auto out_bytes = static_cast<std::size_t>(plan.data_out);
    if (!convert_surface(plan.geometry, direction, payload.first(in_bytes), out.first(out_bytes))) return false;
    // What follows the texture data moves up or down by the difference.
    std::memcpy(out.data() + out_bytes, payload.data() + in_bytes, payload.size() - in_bytes);
    std::memcpy(converted.data(), file.data(), header);
    return true;
}

}  // namespace ddsswizzle::engine
