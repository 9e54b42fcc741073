// Header reading, classification, validation and the in-place conversion of
// one texture file.
#include "texture/texture_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "texture/file_io.h"
#include "texture/payload_buffer.h"

namespace ddsswizzle {
namespace {

// Largest level the layouts were designed for: its byte count must fit the
// signed 32-bit arithmetic the console layouts are defined in.
constexpr std::uint64_t max_level_bytes = std::numeric_limits<std::int32_t>::max();

template <typename T>
T load_field(std::span<const std::byte, texture_header_size> bytes, std::size_t offset) noexcept {
    static_assert(std::is_trivially_copyable_v<T>);
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// Fields wider than a byte are little-endian in the file.
std::int32_t load_int32_le(std::span<const std::byte, texture_header_size> bytes,
                           std::size_t offset) noexcept {
    const auto raw = load_field<std::array<std::uint8_t, 4>>(bytes, offset);
    const std::uint32_t value = std::uint32_t{raw[0]} | (std::uint32_t{raw[1]} << 8U) |
                                (std::uint32_t{raw[2]} << 16U) | (std::uint32_t{raw[3]} << 24U);
    return static_cast<std::int32_t>(value);
}

constexpr bool is_power_of_two(std::int32_t v) noexcept { return v > 0 && (v & (v - 1)) == 0; }

bool four_cc_is(const TextureHeader& header, const char (&code)[5]) noexcept {
    return std::equal(header.four_cc.begin(), header.four_cc.end(), code);
}

}  // namespace

TextureHeader read_texture_header(std::span<const std::byte, texture_header_size> bytes) noexcept {
    TextureHeader header;
    header.signature = load_field<std::array<std::uint8_t, 8>>(bytes, header_offset::signature);
    header.height = load_int32_le(bytes, header_offset::height);
    header.width = load_int32_le(bytes, header_offset::width);
    header.mip_count_low = load_field<std::int8_t>(bytes, header_offset::mip_count);
    header.format_flags_low = load_field<std::uint8_t>(bytes, header_offset::format_flags);
    header.format_flags_third = load_field<std::uint8_t>(bytes, header_offset::luminance_flags);
    header.four_cc = load_field<std::array<char, 4>>(bytes, header_offset::four_cc);
    header.bit_count_low = load_field<std::uint8_t>(bytes, header_offset::bit_count);
    return header;
}

bool has_texture_signature(const TextureHeader& header) noexcept {
    return header.signature == texture_signature;
}

std::optional<FormatClass> classify_texture(const TextureHeader& header) noexcept {
    if (four_cc_is(header, "DXT5") || four_cc_is(header, "DXT3")) return FormatClass::block16;
    if (four_cc_is(header, "DXT1")) return FormatClass::block8;
    if (header.format_flags_low == rgb_with_alpha_flags && header.bit_count_low == 32) {
        return FormatClass::pixel32;
    }
    if (header.format_flags_low == rgb_with_alpha_flags && header.bit_count_low == 16) {
        return FormatClass::pixel16;
    }
    if (header.format_flags_third == luminance_flag && header.bit_count_low == 8) {
        return FormatClass::luminance8;
    }
    return std::nullopt;
}

LevelChain texture_level_chain(const TextureHeader& header) noexcept {
    LevelChain chain;
    chain.width = header.width;
    chain.height = header.height;
    chain.level_count = header.mip_count_low > 0 ? header.mip_count_low : 1;
    return chain;
}

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

TexturePlan plan_texture_conversion(std::span<const std::byte> file_start,
                                    std::uint64_t file_length) noexcept {
    TexturePlan plan;
    if (file_length < texture_header_size || file_start.size() < texture_header_size) {
        plan.status = ConversionStatus::not_a_texture;
        return plan;
    }
    const TextureHeader header = read_texture_header(file_start.first<texture_header_size>());
    if (!has_texture_signature(header)) {
        plan.status = ConversionStatus::not_a_texture;
        return plan;
    }
    const std::optional<FormatClass> format = classify_texture(header);
    if (!format) {
        plan.status = ConversionStatus::unknown_format;
        return plan;
    }
    plan.format = *format;
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
    if (counted_levels_size(plan.format, plan.chain) > file_length - texture_header_size) {
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

void convert_payload(FormatClass format, const LevelChain& chain,
                     std::span<const std::byte> source, std::span<std::byte> result,
                     Direction direction) noexcept {
    if (is_block_class(format)) {
        convert_block_levels(element_bytes(format), chain, source, result, direction);
        return;
    }
    convert_pixel_levels(element_bytes(format), chain, source, result, direction);
    if (format == FormatClass::pixel16) swap_16bit_words(result);
}

ConversionStatus convert_texture_image(std::span<const std::byte> file,
                                       std::span<std::byte> converted,
                                       Direction direction) noexcept {
    if (converted.size() != file.size()) return ConversionStatus::cannot_write;
    const TexturePlan plan = plan_texture_conversion(file, file.size());
    if (plan.status != ConversionStatus::converted) return plan.status;
    std::memcpy(converted.data(), file.data(), texture_header_size);
    convert_payload(plan.format, plan.chain, file.subspan(texture_header_size),
                    converted.subspan(texture_header_size), direction);
    return ConversionStatus::converted;
}

ConversionStatus convert_texture_file(const std::filesystem::path& path, Direction direction) {
    OpenedFile file;
    if (open_for_rewrite(path, file) != FileStatus::ok) return ConversionStatus::cannot_open;

    std::array<std::byte, texture_header_size> header{};
    const std::size_t header_bytes =
        static_cast<std::size_t>(std::min<std::uint64_t>(file.length, texture_header_size));
    if (read_exact(file, std::span(header).first(header_bytes)) != FileStatus::ok) {
        return ConversionStatus::cannot_open;
    }
    const TexturePlan plan = plan_texture_conversion(std::span(header).first(header_bytes), file.length);
    if (plan.status != ConversionStatus::converted) return plan.status;

    // Two buffers of the whole file: the source as read, the result as it
    // will be written. Both are left uninitialised; every byte is filled.
    if (file.length > std::numeric_limits<std::size_t>::max()) return ConversionStatus::out_of_memory;
    const auto length = static_cast<std::size_t>(file.length);
    const PayloadBuffer source = allocate_payload_buffer(length);
    const PayloadBuffer result = allocate_payload_buffer(length);
    if (!source || !result) return ConversionStatus::out_of_memory;

    std::memcpy(source.get(), header.data(), texture_header_size);
    const FileStatus read = read_exact(
        file, std::span(source.get() + texture_header_size, length - texture_header_size));
    if (read == FileStatus::short_read) return ConversionStatus::truncated;
    if (read != FileStatus::ok) return ConversionStatus::cannot_open;
    close_file(file);

    std::memcpy(result.get(), source.get(), texture_header_size);
    convert_payload(plan.format, plan.chain,
                    std::span<const std::byte>(source.get() + texture_header_size, length - texture_header_size),
                    std::span(result.get() + texture_header_size, length - texture_header_size), direction);

    if (replace_file_contents(file, std::span<const std::byte>(result.get(), length)) != FileStatus::ok) {
        return ConversionStatus::cannot_write;
    }
    return ConversionStatus::converted;
}

}  // namespace ddsswizzle
