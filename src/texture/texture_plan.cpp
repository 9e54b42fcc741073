// Checks of a DDS file image against its length, and the conversion of its
// texture data by the layout of the format's row.
#include "texture/texture_plan.h"

#include <algorithm>
#include <cstring>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "layout/walk_support.h"
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

bool convert_surface_piece(const SurfaceGeometry& geometry, Direction direction, std::span<const std::byte> source,
                           std::uint64_t begin, std::span<std::byte> piece) noexcept {
    if (geometry.console == Console::x360) return convert_x360_piece(geometry, source, begin, piece, direction);
    if (source.size() < geometry.ps3_reach || begin > source.size() || piece.size() > source.size() - begin) return false;
    if (geometry.format.ps3 == Ps3Rule::block_tiling) {
        convert_block_piece(geometry, source, begin, piece, direction);
    } else {
        convert_morton_piece(geometry, source, begin, piece, direction);
    }
    return true;
}

bool convert_surface(const SurfaceGeometry& geometry, Direction direction, std::span<const std::byte> source,
                     std::span<std::byte> result) noexcept {
    if (geometry.console == Console::x360) return convert_x360_levels(geometry, source, result, direction);
    return source.size() == result.size() && convert_surface_piece(geometry, direction, source, 0, result);
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

bool convert_texture_piece(const TexturePlan& plan, Direction direction, std::span<const std::byte> file,
                           std::uint64_t begin, std::span<std::byte> piece) noexcept {
    const std::uint64_t header = plan.dds.header_bytes;
    const std::uint64_t after = plan.output_length - header - plan.data_out;  // bytes after the texture data
    if (plan.reason != Reason::none || file.size() != header + plan.data_in + after || begin > plan.output_length ||
        piece.size() > plan.output_length - begin) {
        return false;
    }
    const detail::Piece out{piece.data(), begin, begin + piece.size()};
    const std::uint64_t data_end = header + plan.data_out;
    const std::uint64_t lo = out.lo(header);
    const std::uint64_t hi = out.hi(data_end);
    if (lo < hi && !convert_surface_piece(plan.geometry, direction, file.subspan(header, plan.data_in), lo - header,
                                          {out.place(lo), static_cast<std::size_t>(hi - lo)})) {
        return false;
    }
    // The header as it is; what follows the texture data moves up or down by
    // the difference.
    detail::copy_into(out, 0, header, file.data());
    detail::copy_into(out, data_end, plan.output_length, file.data() + header + plan.data_in);
    return true;
}

bool convert_texture_image(const TexturePlan& plan, Direction direction, std::span<const std::byte> file,
                           std::span<std::byte> converted) noexcept {
    return converted.size() == plan.output_length && convert_texture_piece(plan, direction, file, 0, converted);
}

}  // namespace ddsswizzle::engine
