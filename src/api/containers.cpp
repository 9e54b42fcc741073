// The C interface of the descriptors and containers: arguments checked, then
// handed to src/container, and the sentences of their reasons.
#include <array>
#include <cstdint>
#include <span>

#include "api/containers.h"
#include "container/container.h"
#include "ddsswizzle/ddsswizzle.h"

namespace {

using namespace ddsswizzle::engine;

// The faults are the values of ddsswizzle_reason from
// DDSSWIZZLE_REASON_CONTAINER_SHORT_FILE on, in order.
constexpr int fault_offset = DDSSWIZZLE_REASON_CONTAINER_SHORT_FILE - 1;

constexpr std::array<const char*, 24> fault_texts = {
    "the file is shorter than a GTF or XPR2 header",
    "the container's count of textures or resources is zero",
    "the record or entry table runs past the end of the file or of the header block",
    "a record's or entry's offset and size reach outside the file or the header block",
    "two textures share bytes",
    "not a table of 16-byte XPR2 entries (a type that is no FourCC, or a texture entry not 52 bytes long)",
    "an XPR2 name offset outside the names, or a name with no NUL before the header block ends",
    "the XPR2 header and data blocks run past the end of the file",
    "a base or mip page of the texture lies outside the data block, or its levels outside its bytes",
    "the size of a linear cube map fits no face stride (packed, or 128-byte aligned)",
    "the descriptor's format is none this library converts to a DDS format",
    "the channel swizzle of an 8 or 8_8_8_8 texture names no DDS format",
    "a texture type not converted: a DXT volume, a cube map not 2D, a 1D or 3D Xbox 360 texture, an array, "
    "a fetch constant of no texture",
    "an Xbox 360 linear texture of more than one level, or a linear cube map",
    "the packed tail holds level 0 but the mip page is not the base page",
    "the texture's base and mip areas overlap",
    "the descriptor's pitch does not fit the texture's rows",
    "the fetch constant's smallest level (mip_min_level) is not 0",
    "the DDS texture's format is not stored as the container texture's",
    "the DDS texture is not of the container texture's type (2D, cube map, volume)",
    "the DDS texture's sides differ from the container texture's",
    "the DDS texture has fewer levels than the container texture",
    "no entry of the container has that index",
    "the entry is an XPR2 resource that is no texture",
};

static_assert(static_cast<int>(Fault::container_short) + fault_offset == DDSSWIZZLE_REASON_CONTAINER_SHORT_FILE &&
              static_cast<int>(Fault::not_a_texture_entry) + fault_offset == DDSSWIZZLE_REASON_NOT_A_TEXTURE_ENTRY &&
              fault_texts.size() == static_cast<std::size_t>(Fault::not_a_texture_entry));

constexpr std::array<ddsswizzle_status, 8> outcome_statuses = {
    DDSSWIZZLE_OK, DDSSWIZZLE_NOT_A_DDS_TEXTURE, DDSSWIZZLE_UNKNOWN_FORMAT, DDSSWIZZLE_UNSUPPORTED_TEXTURE_TYPE,
    DDSSWIZZLE_UNSUPPORTED_SIZE, DDSSWIZZLE_TRUNCATED_DATA, DDSSWIZZLE_INVALID_ARGUMENT,
    DDSSWIZZLE_NOT_A_TEXTURE_CONTAINER,
};

ddsswizzle_reason reason_code(Verdict v) noexcept {
    if (v.fault == Fault::result_too_small) return DDSSWIZZLE_REASON_RESULT_TOO_SMALL;
    if (v.fault != Fault::none) return static_cast<ddsswizzle_reason>(static_cast<int>(v.fault) + fault_offset);
    return static_cast<ddsswizzle_reason>(v.reason);
}

ddsswizzle_status verdict(Verdict v, ddsswizzle_reason* reason) noexcept {
    if (reason != nullptr) *reason = reason_code(v);
    return outcome_statuses[static_cast<std::size_t>(outcome_of(v))];
}

ddsswizzle_status invalid(ddsswizzle_reason why, ddsswizzle_reason* reason) noexcept {
    if (reason != nullptr) *reason = why;
    return DDSSWIZZLE_INVALID_ARGUMENT;
}

bool known(ddsswizzle_console console) noexcept { return console == DDSSWIZZLE_PS3 || console == DDSSWIZZLE_X360; }

Console engine_console(ddsswizzle_console console) noexcept {
    return console == DDSSWIZZLE_X360 ? Console::x360 : Console::ps3;
}

ddsswizzle_console c_console(Console console) noexcept {
    return console == Console::x360 ? DDSSWIZZLE_X360 : DDSSWIZZLE_PS3;
}

std::span<const std::byte> bytes(const void* data, std::size_t size) noexcept {
    return {static_cast<const std::byte*>(data), size};
}

bool overlap(const void* a, std::size_t a_size, const void* b, std::size_t b_size) noexcept {
    const auto first = reinterpret_cast<std::uintptr_t>(a);
    const auto second = reinterpret_cast<std::uintptr_t>(b);
    return a_size != 0 && b_size != 0 && first < second + b_size && second < first + a_size;
}

ddsswizzle_surface c_surface(const Surface& s) noexcept {
    return {s.format, s.width, s.height, s.type == TextureType::volume ? s.depth : 1, s.levels,
            s.type == TextureType::cube_map ? 1 : 0};
}

ddsswizzle_descriptor_layout c_layout(const ConsoleLayout& l) noexcept {
    return {c_console(l.console), l.format_code, l.swizzled ? 1 : 0, l.pitch, static_cast<std::uint32_t>(l.order),
            l.packed_tail ? 1 : 0, l.level0, l.mips, l.face_stride, l.end};
}

// A descriptor of 24 bytes read for data of data_size bytes.
ddsswizzle_status descriptor_texture(const void* descriptor, std::size_t size, ddsswizzle_console console,
                                     std::uint64_t data_size, DescriptorTexture& texture,
                                     ddsswizzle_reason* reason) noexcept {
    if (descriptor == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    if (!known(console)) return invalid(DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION, reason);
    if (size != descriptor_bytes) return invalid(DDSSWIZZLE_REASON_HEADER_NOT_GIVEN, reason);
    const auto bytes24 = bytes(descriptor, size).first<descriptor_bytes>();
    return verdict(read_descriptor(bytes24, engine_console(console), data_size, texture), reason);
}

}  // namespace

namespace ddsswizzle::api {

const char* container_reason_text(int reason) noexcept {
    const int at = reason - DDSSWIZZLE_REASON_CONTAINER_SHORT_FILE;
    return at >= 0 && static_cast<std::size_t>(at) < fault_texts.size() ? fault_texts[static_cast<std::size_t>(at)] : "";
}

}  // namespace ddsswizzle::api

extern "C" {

ddsswizzle_status ddsswizzle_read_descriptor(const void* descriptor, size_t descriptor_size, ddsswizzle_console console,
                                             uint64_t data_size, ddsswizzle_surface* surface,
                                             ddsswizzle_descriptor_layout* layout, ddsswizzle_reason* reason) {
    DescriptorTexture texture;
    const ddsswizzle_status status = descriptor_texture(descriptor, descriptor_size, console, data_size, texture, reason);
    if (status != DDSSWIZZLE_OK) return status;
    if (surface != nullptr) *surface = c_surface(texture.surface);
    if (layout != nullptr) *layout = c_layout(texture.layout);
    return DDSSWIZZLE_OK;
}

ddsswizzle_status ddsswizzle_convert_descriptor(const void* descriptor, size_t descriptor_size,
                                                ddsswizzle_console console, ddsswizzle_direction direction,
                                                const void* source, size_t source_size, void* result,
                                                size_t result_size, ddsswizzle_reason* reason) {
    if (direction != DDSSWIZZLE_SWIZZLE && direction != DDSSWIZZLE_UNSWIZZLE) {
        return invalid(DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION, reason);
    }
    if ((source == nullptr && source_size != 0) || (result == nullptr && result_size != 0)) {
        return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    }
    const bool swizzle = direction == DDSSWIZZLE_SWIZZLE;
    DescriptorTexture t;
    const ddsswizzle_status status =
        descriptor_texture(descriptor, descriptor_size, console, swizzle ? result_size : source_size, t, reason);
    if (status != DDSSWIZZLE_OK) return status;
    const std::uint64_t linear = t.geometry.linear_size;
    if (swizzle && source_size < linear) return verdict({Reason::data_short, Fault::none}, reason);
    if (!swizzle && result_size < linear) return invalid(DDSSWIZZLE_REASON_RESULT_TOO_SMALL, reason);
    if (overlap(source, source_size, result, result_size)) return invalid(DDSSWIZZLE_REASON_BUFFERS_OVERLAP, reason);
    const bool done = convert_descriptor_texture(t, swizzle ? Direction::swizzle : Direction::unswizzle,
                                                 bytes(source, source_size),
                                                 {static_cast<std::byte*>(result), result_size},
                                                 t.geometry.linear_face_bytes);
    return verdict({done ? Reason::none : Reason::data_short, Fault::none}, reason);
}

ddsswizzle_status ddsswizzle_container_count(const void* data, size_t size, ddsswizzle_console* console,
                                             uint32_t* count, ddsswizzle_reason* reason) {
    if (data == nullptr && size != 0) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    ContainerSummary summary;
    const ddsswizzle_status status = verdict(read_container(bytes(data, size), summary), reason);
    if (status != DDSSWIZZLE_OK) return status;
    if (console != nullptr) *console = c_console(summary.console);
    if (count != nullptr) *count = summary.count;
    return DDSSWIZZLE_OK;
}

ddsswizzle_status ddsswizzle_container_texture(const void* data, size_t size, uint32_t index,
                                               ddsswizzle_texture_entry* entry, ddsswizzle_reason* reason) {
    if ((data == nullptr && size != 0) || entry == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    ContainerEntry e;
    const ddsswizzle_status status = verdict(read_container_entry(bytes(data, size), index, e), reason);
    if (status != DDSSWIZZLE_OK) return status;
    ddsswizzle_texture_entry out{};
    out.index = e.index;
    out.console = c_console(e.console);
    out.is_texture = e.is_texture ? 1 : 0;
    out.type = e.type;
    out.id = e.id;
    out.name_offset = e.name_offset;
    out.name_length = e.name_length;
    out.descriptor_offset = e.descriptor_offset;
    out.record_offset = e.record_offset;
    out.record_size = e.record_size;
    out.data_offset = e.data_offset;
    out.data_size = e.data_size;
    out.status = verdict(e.verdict, &out.reason);
    if (e.is_texture && e.verdict.ok()) {
        out.surface = c_surface(e.texture.surface);
        out.layout = c_layout(e.texture.layout);
        const auto areas = texture_areas(e);
        for (std::size_t i = 0; i < areas.size(); ++i) {
            out.area_offset[i] = areas[i][0];
            out.area_length[i] = areas[i][1] - areas[i][0];
        }
    }
    *entry = out;
    return DDSSWIZZLE_OK;
}

ddsswizzle_status ddsswizzle_extract(const void* data, size_t size, uint32_t index, void* result, size_t result_size,
                                     size_t* written, ddsswizzle_reason* reason) {
    if ((data == nullptr && size != 0) || (result == nullptr && result_size != 0)) {
        return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    }
    if (overlap(data, size, result, result_size)) return invalid(DDSSWIZZLE_REASON_BUFFERS_OVERLAP, reason);
    std::uint64_t needed = 0;
    const Verdict v = extract_texture(bytes(data, size), index, {static_cast<std::byte*>(result), result_size}, needed);
    if (written != nullptr) *written = static_cast<std::size_t>(needed);
    // No result at all asks for the size only.
    if (v.fault == Fault::result_too_small && result == nullptr) return verdict({}, reason);
    return verdict(v, reason);
}

ddsswizzle_status ddsswizzle_replace(const void* data, size_t size, uint32_t index, const void* dds, size_t dds_size,
                                     void* result, size_t result_size, size_t* written, ddsswizzle_reason* reason) {
    if ((data == nullptr && size != 0) || (dds == nullptr && dds_size != 0) || (result == nullptr && result_size != 0)) {
        return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    }
    if (overlap(data, size, result, result_size) || overlap(dds, dds_size, result, result_size)) {
        return invalid(DDSSWIZZLE_REASON_BUFFERS_OVERLAP, reason);
    }
    std::uint64_t needed = 0;
    const Verdict v = replace_texture(bytes(data, size), index, bytes(dds, dds_size),
                                      {static_cast<std::byte*>(result), result_size}, needed);
    if (written != nullptr) *written = static_cast<std::size_t>(needed);
    // No result at all asks for the size only.
    if (v.fault == Fault::result_too_small && result == nullptr) return verdict({}, reason);
    return verdict(v, reason);
}

}  // extern "C"
