// Validation of a texture against its file, for either console, and the
// in-place conversion.
#include "texture/texture_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "layout/walk_support.h"
#include "texture/file_io.h"
#include "texture/payload_buffer.h"

namespace ddsswizzle {
namespace {

// Largest level the layouts were designed for: its byte count must fit the
// signed 32-bit arithmetic the console layouts are defined in.
constexpr std::uint64_t max_level_bytes = std::numeric_limits<std::int32_t>::max();

constexpr std::uint32_t cube_map_faces = 6;

// The level walk of the class over one face (or a whole 2D payload).
void walk_levels(FormatClass format, const LevelChain& chain, std::span<const std::byte> source,
                 std::span<std::byte> result, Direction direction) noexcept {
    if (is_block_class(format)) {
        convert_block_levels(element_bytes(format), chain, source, result, direction);
    } else {
        convert_pixel_levels(element_bytes(format), chain, source, result, direction);
    }
}

bool is_power_of_two(std::int64_t v) noexcept { return v > 0 && (v & (v - 1)) == 0; }

// The most levels a chain can have: halving the longest side until it is 1,
// floor(log2(side)) + 1.
std::int64_t full_chain_levels(std::int64_t longest_side) noexcept {
    return static_cast<std::int64_t>(std::bit_width(static_cast<std::uint64_t>(longest_side)));
}

VolumeChain volume_chain(const TexturePlan& plan) noexcept {
    return {plan.chain.width, plan.chain.height, plan.depth, plan.chain.level_count};
}

// PS3 sides, level counts and payload; the texture data is the whole payload.
ConversionStatus check_ps3_sizes(TexturePlan& plan, std::uint64_t payload) noexcept {
    const LevelChain& chain = plan.chain;
    if (chain.width <= 0 || chain.height <= 0 || plan.depth <= 0) return ConversionStatus::unsupported_size;
    const std::uint32_t bytes = element_bytes(plan.format);
    if (plan.type == TextureType::volume) {
        // Morton order needs power-of-two sides; a chain ends at a 1 x 1 x 1 level.
        const VolumeChain volume = volume_chain(plan);
        const std::int64_t longest = std::max({chain.width, chain.height, plan.depth});
        VolumeChain top = volume;
        top.level_count = 1;
        if (!is_power_of_two(chain.width) || !is_power_of_two(chain.height) || !is_power_of_two(plan.depth) ||
            chain.level_count > full_chain_levels(longest) || volume_levels_size(bytes, top) > max_level_bytes) {
            return ConversionStatus::unsupported_size;
        }
        plan.face_bytes = payload;
        return volume_levels_size(bytes, volume) <= payload ? ConversionStatus::converted : ConversionStatus::truncated;
    }
    // Morton order is one-to-one only for power-of-two sides; any other side
    // would map several pixels to one place and lose the others.
    const bool sides_convertible =
        is_block_class(plan.format) || (is_power_of_two(chain.width) && is_power_of_two(chain.height));
    if (!sides_convertible || top_level_size(plan.format, chain) > max_level_bytes) {
        return ConversionStatus::unsupported_size;
    }
    // A 2D texture needs the bytes its levels count; a cube map needs six
    // faces of what a file stores for each.
    if (plan.type == TextureType::cube_map) {
        plan.faces = cube_map_faces;
        plan.face_bytes = stored_levels_size(plan.format, chain);
        return plan.face_bytes <= payload / cube_map_faces ? ConversionStatus::converted : ConversionStatus::truncated;
    }
    plan.face_bytes = payload;
    return counted_levels_size(plan.format, chain) <= payload ? ConversionStatus::converted
                                                              : ConversionStatus::truncated;
}

// How the Xbox 360 tiles each class: block size, block side, and the unit
// its big-endian words swap (DXT blocks are 16-bit words throughout).
X360Surface x360_surface(FormatClass format) noexcept {
    switch (format) {
        case FormatClass::block16: return {16, 4, 2};
        case FormatClass::block8: return {8, 4, 2};
        case FormatClass::pixel32: return {4, 1, 4};
        case FormatClass::pixel16: return {2, 1, 2};
        case FormatClass::luminance8: return {1, 1, 1};
    }
    return {};
}

// Xbox 360 sides, level counts and payload: swiz reads the linear levels a
// DDS file stores and writes the longer console image; unswiz the reverse.
ConversionStatus check_x360_sizes(TexturePlan& plan, std::uint64_t payload, Direction direction) noexcept {
    plan.faces = plan.type == TextureType::cube_map ? cube_map_faces : 1;
    plan.surface = x360_surface(plan.format);
    plan.surface.width = plan.chain.width;
    plan.surface.height = plan.chain.height;
    plan.surface.level_count = plan.chain.level_count;
    plan.surface.faces = plan.faces;
    if (!x360_surface_valid(plan.surface)) return ConversionStatus::unsupported_size;
    const std::uint64_t linear = x360_linear_size(plan.surface);
    const std::uint64_t image = x360_image_size(plan.surface);
    plan.data_in = direction == Direction::swizzle ? linear : image;
    plan.data_out = direction == Direction::swizzle ? image : linear;
    return plan.data_in <= payload ? ConversionStatus::converted : ConversionStatus::truncated;
}

}  // namespace

std::uint32_t element_bytes(FormatClass format) noexcept {
    switch (format) {
        case FormatClass::block16: return 16;
        case FormatClass::block8: return 8;
        case FormatClass::pixel32: return 4;
        case FormatClass::pixel16: return 2;
        case FormatClass::luminance8: return 1;
    }
    return 1;
}

bool is_block_class(FormatClass format) noexcept {
    return format == FormatClass::block16 || format == FormatClass::block8;
}

std::uint64_t counted_levels_size(FormatClass format, const LevelChain& chain) noexcept {
    return is_block_class(format) ? block_levels_size(element_bytes(format), chain)
                                  : pixel_levels_size(element_bytes(format), chain);
}

std::uint64_t top_level_size(FormatClass format, const LevelChain& chain) noexcept {
    LevelChain top = chain;
    top.level_count = 1;
    return counted_levels_size(format, top);
}

std::uint64_t stored_levels_size(FormatClass format, const LevelChain& chain) noexcept {
    const bool blocks = is_block_class(format);
    std::uint64_t width = static_cast<std::uint64_t>(std::max(chain.width, 1));
    std::uint64_t height = static_cast<std::uint64_t>(std::max(chain.height, 1));
    std::uint64_t total = 0;
    for (std::int32_t level = 0; level < chain.level_count; ++level) {
        const std::uint64_t across = blocks ? (width + 3) / 4 : width;
        const std::uint64_t down = blocks ? (height + 3) / 4 : height;
        total = detail::saturating_sum(total, detail::saturating_product(across, down, element_bytes(format)));
        width = std::max<std::uint64_t>(width / 2, 1);
        height = std::max<std::uint64_t>(height / 2, 1);
    }
    return total;
}

TexturePlan plan_texture_conversion(std::span<const std::byte> file_start, std::uint64_t file_length,
                                    Direction direction, Console console) noexcept {
    TexturePlan plan;
    plan.console = console;
    if (file_length < texture_header_size || file_start.size() < texture_header_size) {
        plan.status = ConversionStatus::not_a_texture;
        return plan;
    }
    const TextureHeader header = read_texture_header(
        file_start.first(static_cast<std::size_t>(std::min<std::uint64_t>(file_length, file_start.size()))));
    if (!has_texture_signature(header)) {
        plan.status = ConversionStatus::not_a_texture;
        return plan;
    }
    SurfaceFormat surface;
    const Recognition recognition = recognise_surface(header, surface);
    if (recognition != Recognition::recognised) {
        plan.status = recognition == Recognition::unknown_format ? ConversionStatus::unknown_format
                                                                 : ConversionStatus::not_a_texture;
        return plan;
    }
    plan.format = surface.format;
    plan.header_bytes = surface.extended ? extended_header_size : texture_header_size;
    plan.type = texture_type(header, surface.extended);
    // Only the PS3 stores volumes, and only of pixels: it has no tiled
    // layout for volumes of compressed blocks.
    const bool volume_convertible = console == Console::ps3 && !is_block_class(plan.format);
    if (plan.type == TextureType::unsupported || (plan.type == TextureType::volume && !volume_convertible)) {
        plan.status = ConversionStatus::unsupported_type;
        return plan;
    }
    plan.chain = texture_level_chain(header);
    if (plan.type == TextureType::volume) {
        plan.depth = static_cast<std::int32_t>(std::min<std::uint32_t>(header.depth, std::numeric_limits<std::int32_t>::max()));
    }
    const std::uint64_t payload = file_length - plan.header_bytes;
    plan.data_in = payload;
    plan.data_out = payload;
    plan.status = console == Console::x360 ? check_x360_sizes(plan, payload, direction) : check_ps3_sizes(plan, payload);
    if (plan.status == ConversionStatus::converted) {
        plan.output_length = plan.header_bytes + plan.data_out + (payload - plan.data_in);
    }
    return plan;
}

void swap_16bit_words(std::span<std::byte> buffer) noexcept {
    const std::size_t pairs = buffer.size() / 2;
    std::byte* data = buffer.data();
    for (std::size_t i = 0; i < pairs; ++i) {
        std::swap(data[2 * i], data[2 * i + 1]);
    }
}

void convert_payload(const TexturePlan& plan, std::span<const std::byte> source, std::span<std::byte> result,
                     Direction direction) noexcept {
    if (plan.console == Console::x360) {
        // The image and the linear levels differ in length; what follows
        // them moves up or down by that difference.
        const auto in = static_cast<std::size_t>(std::min<std::uint64_t>(plan.data_in, source.size()));
        const auto out = static_cast<std::size_t>(std::min<std::uint64_t>(plan.data_out, result.size()));
        const std::size_t after = std::min(source.size() - in, result.size() - out);
        static_cast<void>(convert_x360_levels(plan.surface, source.first(in), result.first(out), direction));
        std::memcpy(result.data() + out, source.data() + in, after);
        return;
    }
    const std::size_t length = std::min(source.size(), result.size());
    std::size_t offset = 0;
    if (plan.type == TextureType::volume) {
        convert_volume_levels(element_bytes(plan.format), volume_chain(plan), source.first(length),
                              result.first(length), direction);
        offset = length;
    }
    for (std::uint32_t face = 0; face < plan.faces && offset < length; ++face) {
        const auto face_length = static_cast<std::size_t>(std::min<std::uint64_t>(plan.face_bytes, length - offset));
        walk_levels(plan.format, plan.chain, source.subspan(offset, face_length), result.subspan(offset, face_length),
                    direction);
        offset += face_length;
    }
    detail::copy_span(source.data(), result.data(), offset, length);
    if (plan.format == FormatClass::pixel16) swap_16bit_words(result.first(length));
}

ConversionStatus convert_texture_image(std::span<const std::byte> file, std::span<std::byte> converted,
                                       Direction direction, Console console) noexcept {
    const TexturePlan plan = plan_texture_conversion(file, file.size(), direction, console);
    if (plan.status != ConversionStatus::converted) return plan.status;
    if (converted.size() != plan.output_length) return ConversionStatus::cannot_write;
    std::memcpy(converted.data(), file.data(), plan.header_bytes);
    convert_payload(plan, file.subspan(plan.header_bytes), converted.subspan(plan.header_bytes), direction);
    return ConversionStatus::converted;
}

ConversionStatus convert_texture_file(const std::filesystem::path& path, Direction direction, Console console) {
    OpenedFile file;
    if (open_for_rewrite(path, file) != FileStatus::ok) return ConversionStatus::cannot_open;

    // The header, with the DX10 extension if the file is long enough for one,
    // decides everything before the payload is read.
    std::array<std::byte, extended_header_size> start{};
    const auto start_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(file.length, start.size()));
    if (read_exact(file, std::span(start).first(start_bytes)) != FileStatus::ok) return ConversionStatus::cannot_open;
    const TexturePlan plan = plan_texture_conversion(std::span(start).first(start_bytes), file.length, direction, console);
    if (plan.status != ConversionStatus::converted) return plan.status;

    // Two buffers: the whole file as read, and the whole file as it will be
    // written. Both are left uninitialised; every byte is filled.
    constexpr std::uint64_t addressable = std::numeric_limits<std::size_t>::max();
    if (file.length > addressable || plan.output_length > addressable) return ConversionStatus::out_of_memory;
    const auto length = static_cast<std::size_t>(file.length);
    const auto output_length = static_cast<std::size_t>(plan.output_length);
    const PayloadBuffer source_buffer = allocate_payload_buffer(length);
    const PayloadBuffer result_buffer = allocate_payload_buffer(output_length);
    if (!source_buffer || !result_buffer) return ConversionStatus::out_of_memory;
    const std::span<std::byte> source(source_buffer.get(), length);
    const std::span<std::byte> result(result_buffer.get(), output_length);

    std::memcpy(source.data(), start.data(), start_bytes);
    const FileStatus read = read_exact(file, source.subspan(start_bytes));
    if (read == FileStatus::short_read) return ConversionStatus::truncated;
    if (read != FileStatus::ok) return ConversionStatus::cannot_open;
    close_file(file);

    std::memcpy(result.data(), source.data(), plan.header_bytes);
    convert_payload(plan, source.subspan(plan.header_bytes), result.subspan(plan.header_bytes), direction);

    const FileStatus written = replace_file_contents(file, result);
    if (written == FileStatus::not_confirmed) return ConversionStatus::not_confirmed;
    return written == FileStatus::ok ? ConversionStatus::converted : ConversionStatus::cannot_write;
}

}  // namespace ddsswizzle
