// Validation of a texture against its file and the in-place conversion.
#include "texture/texture_file.h"

#include <algorithm>
#include <array>
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

constexpr bool is_power_of_two(std::int32_t v) noexcept { return v > 0 && (v & (v - 1)) == 0; }

// The level walk of the class over one face (or a whole 2D payload).
void walk_levels(FormatClass format, const LevelChain& chain, std::span<const std::byte> source,
                 std::span<std::byte> result, Direction direction) noexcept {
    if (is_block_class(format)) {
        convert_block_levels(element_bytes(format), chain, source, result, direction);
    } else {
        convert_pixel_levels(element_bytes(format), chain, source, result, direction);
    }
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

TexturePlan plan_texture_conversion(std::span<const std::byte> file_start,
                                    std::uint64_t file_length) noexcept {
    TexturePlan plan;
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
    const TextureType type = texture_type(header, surface.extended);
    if (type == TextureType::unsupported) {
        plan.status = ConversionStatus::unsupported_type;
        return plan;
    }
    plan.format = surface.format;
    plan.header_bytes = surface.extended ? extended_header_size : texture_header_size;
    plan.chain = texture_level_chain(header);

    // Morton order is one-to-one only for power-of-two sides; any other side
    // would map several pixels to one place and lose the others.
    const bool sides_positive = plan.chain.width > 0 && plan.chain.height > 0;
    const bool sides_convertible = is_block_class(plan.format) ||
                                   (is_power_of_two(plan.chain.width) && is_power_of_two(plan.chain.height));
    if (!sides_positive || !sides_convertible || top_level_size(plan.format, plan.chain) > max_level_bytes) {
        plan.status = ConversionStatus::unsupported_size;
        return plan;
    }
    // A 2D texture needs the bytes its levels count; a cube map needs six
    // faces of what a file stores for each.
    const std::uint64_t payload = file_length - plan.header_bytes;
    bool fits = false;
    if (type == TextureType::cube_map) {
        plan.faces = cube_map_faces;
        plan.face_bytes = stored_levels_size(plan.format, plan.chain);
        fits = plan.face_bytes <= payload / cube_map_faces;
    } else {
        plan.face_bytes = payload;
        fits = counted_levels_size(plan.format, plan.chain) <= payload;
    }
    if (!fits) {
        plan.status = ConversionStatus::truncated;
        return plan;
    }
    plan.status = ConversionStatus::converted;
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
    const std::size_t length = std::min(source.size(), result.size());
    std::size_t offset = 0;
    for (std::uint32_t face = 0; face < plan.faces; ++face) {
        const auto face_length = static_cast<std::size_t>(std::min<std::uint64_t>(plan.face_bytes, length - offset));
        walk_levels(plan.format, plan.chain, source.subspan(offset, face_length), result.subspan(offset, face_length),
                    direction);
        offset += face_length;
    }
    detail::copy_span(source.data(), result.data(), offset, length);
    if (plan.format == FormatClass::pixel16) swap_16bit_words(result.first(length));
}

ConversionStatus convert_texture_image(std::span<const std::byte> file,
                                       std::span<std::byte> converted,
                                       Direction direction) noexcept {
    if (converted.size() != file.size()) return ConversionStatus::cannot_write;
    const TexturePlan plan = plan_texture_conversion(file, file.size());
    if (plan.status != ConversionStatus::converted) return plan.status;
    std::memcpy(converted.data(), file.data(), plan.header_bytes);
    convert_payload(plan, file.subspan(plan.header_bytes), converted.subspan(plan.header_bytes), direction);
    return ConversionStatus::converted;
}

ConversionStatus convert_texture_file(const std::filesystem::path& path, Direction direction) {
    OpenedFile file;
    if (open_for_rewrite(path, file) != FileStatus::ok) return ConversionStatus::cannot_open;

    // The header, with the DX10 extension if the file is long enough for one,
    // decides everything before the payload is read.
    std::array<std::byte, extended_header_size> start{};
    const auto start_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(file.length, start.size()));
    if (read_exact(file, std::span(start).first(start_bytes)) != FileStatus::ok) return ConversionStatus::cannot_open;
    const TexturePlan plan = plan_texture_conversion(std::span(start).first(start_bytes), file.length);
    if (plan.status != ConversionStatus::converted) return plan.status;

    // Two buffers of the whole file: the source as read, the result as it
    // will be written. Both are left uninitialised; every byte is filled.
    if (file.length > std::numeric_limits<std::size_t>::max()) return ConversionStatus::out_of_memory;
    const auto length = static_cast<std::size_t>(file.length);
    const PayloadBuffer source = allocate_payload_buffer(length);
    const PayloadBuffer result = allocate_payload_buffer(length);
    if (!source || !result) return ConversionStatus::out_of_memory;

    std::memcpy(source.get(), start.data(), start_bytes);
    const FileStatus read = read_exact(file, std::span(source.get() + start_bytes, length - start_bytes));
    if (read == FileStatus::short_read) return ConversionStatus::truncated;
    if (read != FileStatus::ok) return ConversionStatus::cannot_open;
    close_file(file);

    std::memcpy(result.get(), source.get(), plan.header_bytes);
    convert_payload(plan, std::span<const std::byte>(source.get() + plan.header_bytes, length - plan.header_bytes),
                    std::span(result.get() + plan.header_bytes, length - plan.header_bytes), direction);

    const FileStatus written = replace_file_contents(file, std::span<const std::byte>(result.get(), length));
    if (written == FileStatus::not_confirmed) return ConversionStatus::not_confirmed;
    return written == FileStatus::ok ? ConversionStatus::converted : ConversionStatus::cannot_write;
}

}  // namespace ddsswizzle
