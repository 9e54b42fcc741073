// GTF and XPR2 files: their structure checked, their entries read, and a
// texture replaced.
#include "container/container.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "texture/texture_header.h"

namespace ddsswizzle::engine {
namespace {

constexpr std::uint64_t gtf_header = 12;
constexpr std::uint64_t gtf_record = 36;
constexpr std::uint64_t gtf_descriptor = 12;  // in a record
constexpr std::uint64_t xpr_header = 16;      // magic, two sizes, count
constexpr std::uint64_t xpr_block = 0x0C;     // where the header block starts and its offsets count from
constexpr std::uint64_t xpr_entry = 16;
constexpr std::uint64_t xpr_texture_header = 52;
constexpr std::uint64_t xpr_fetch_constant = 0x1C;  // in a texture header
constexpr std::uint32_t tx2d = 0x54583244, txcm = 0x5458434D, tx_prefix = 0x54580000;

std::uint32_t read_be32(std::span<const std::byte> b, std::uint64_t at) noexcept {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8U | std::to_integer<std::uint32_t>(b[static_cast<std::size_t>(at) + i]);
    return v;
}

bool is_xpr2(std::span<const std::byte> file) noexcept {
    return file.size() >= 4 && read_be32(file, 0) == 0x58505232;  // "XPR2"
}

using Range = std::array<std::uint64_t, 2>;

bool overlap(const Range& a, const Range& b) noexcept {
    return a[0] < a[1] && b[0] < b[1] && a[0] < b[1] && b[0] < a[1];
}

// The structure of a file, as far as it was read.
struct Layout {
    Console console = Console::ps3;
    std::uint32_t count = 0;
    std::uint64_t data_offset = 0;  // XPR2 data block
    std::uint64_t data_size = 0;
    std::uint64_t header_size = 0;  // XPR2 header block
};

// The entry's fields (no descriptor read yet); false when the structure
// around it is broken, with the fault.
Fault read_fields(std::span<const std::byte> file, const Layout& layout, std::uint32_t index, ContainerEntry& e) noexcept {
    e = ContainerEntry{};
    e.index = index;
    e.console = layout.console;
    if (layout.console == Console::ps3) {
        const std::uint64_t at = gtf_header + gtf_record * index;
        e.is_texture = true;
        e.id = read_be32(file, at);
        e.record_offset = read_be32(file, at + 4);
        e.record_size = read_be32(file, at + 8);
        e.descriptor_offset = at + gtf_descriptor;
        e.data_offset = e.record_offset;
        e.data_size = e.record_size;
        const std::uint64_t table_end = gtf_header + gtf_record * layout.count;
        if (e.record_offset < table_end || e.record_offset + e.record_size > file.size()) return Fault::range_outside;
        return Fault::none;
    }
    const std::uint64_t at = xpr_block + 4 + xpr_entry * index;
    const std::uint64_t table_end = 4 + xpr_entry * layout.count;  // from 0x0C
    e.type = read_be32(file, at);
    e.id = index;
    const std::uint64_t offset = read_be32(file, at + 4);
    e.record_size = read_be32(file, at + 8);
    const std::uint64_t name = read_be32(file, at + 12);
    for (std::uint32_t shift = 0; shift < 32; shift += 8) {
        const std::uint32_t c = (e.type >> shift) & 0xFFU;
        if (c < 0x20 || c > 0x7E) return Fault::entry_stride;
    }
    if (offset < table_end || offset + e.record_size > layout.header_size) return Fault::range_outside;
    if (name < table_end || name >= layout.header_size) return Fault::name_outside;
    const auto* const first = file.data() + xpr_block + name;
    const auto* const last = file.data() + xpr_block + layout.header_size;
    const auto* const nul = std::find(first, last, std::byte{0});
    if (nul == last) return Fault::name_outside;
    e.name_offset = xpr_block + name;
    e.name_length = static_cast<std::uint64_t>(nul - first);
    e.record_offset = xpr_block + offset;
    e.is_texture = (e.type & 0xFFFF0000U) == tx_prefix;
    if (e.is_texture && e.record_size != xpr_texture_header) return Fault::entry_stride;
    e.descriptor_offset = e.record_offset + xpr_fetch_constant;
    e.data_offset = layout.data_offset;
    e.data_size = layout.data_size;
    return Fault::none;
}

// Reads the descriptor of an entry whose fields are read.
void read_texture(std::span<const std::byte> file, const Layout& layout, ContainerEntry& e) noexcept {
    if (!e.is_texture) return;
    if (layout.console == Console::x360 && e.type != tx2d && e.type != txcm) {
        e.verdict = {Reason::none, Fault::descriptor_type};
        return;
    }
    // A TX2D holds a 2D texture (dimension 1), a TXCM a cube map (3).
    const std::uint32_t dimension = (read_be32(file, e.descriptor_offset + 20) >> 9U) & 3U;
    if (layout.console == Console::x360 && dimension != (e.type == txcm ? 3U : 1U)) {
        e.verdict = {Reason::none, Fault::descriptor_type};
        return;
    }
    const auto descriptor = file.subspan(static_cast<std::size_t>(e.descriptor_offset)).first<descriptor_bytes>();
    e.verdict = read_descriptor(descriptor, layout.console, e.data_size, e.texture);
}

// The byte ranges of an entry that no other texture may share: the GTF
// record's bytes; an XPR2 texture's header and, when it converts, its data.
std::array<Range, 3> entry_ranges(const ContainerEntry& e) noexcept {
    std::array<Range, 3> ranges{};
    if (!e.is_texture) return ranges;
    ranges[0] = {e.record_offset, e.record_offset + e.record_size};
    if (e.console == Console::x360 && e.verdict.ok()) {
        const auto areas = texture_areas(e);
        ranges[1] = areas[0];
        ranges[2] = areas[1];
    }
    return ranges;
}

// Entries are read in chunks into a buffer on the stack and compared chunk
// against chunk, so that each is read (count / chunk) times, not count.
constexpr std::uint32_t chunk = 128;

bool fill_chunk(std::span<const std::byte> file, const Layout& layout, std::uint32_t first,
                std::array<std::array<Range, 3>, chunk>& ranges, Fault& fault) noexcept {
    for (std::uint32_t i = 0; i < chunk && first + i < layout.count; ++i) {
        ContainerEntry e;
        fault = read_fields(file, layout, first + i, e);
        if (fault != Fault::none) return false;
        if (layout.console == Console::x360) read_texture(file, layout, e);  // a GTF record's range is its own
        ranges[i] = entry_ranges(e);
    }
    return true;
}

Fault check_entries(std::span<const std::byte> file, const Layout& layout) noexcept {
    std::array<std::array<Range, 3>, chunk> a{};
    std::array<std::array<Range, 3>, chunk> b{};
    Fault fault = Fault::none;
    for (std::uint32_t first = 0; first < layout.count; first += chunk) {
        if (!fill_chunk(file, layout, first, a, fault)) return fault;
        for (std::uint32_t second = first; second < layout.count; second += chunk) {
            if (second != first && !fill_chunk(file, layout, second, b, fault)) return fault;
            const auto& other = second == first ? a : b;
            for (std::uint32_t i = 0; i < chunk && first + i < layout.count; ++i) {
                for (std::uint32_t j = 0; j < chunk && second + j < layout.count; ++j) {
                    if (second + j <= first + i) continue;
                    for (const Range& x : a[i]) {
                        for (const Range& y : other[j]) {
                            if (overlap(x, y)) return Fault::textures_overlap;
                        }
                    }
                }
            }
        }
    }
    return Fault::none;
}

Verdict read_layout(std::span<const std::byte> file, Layout& layout) noexcept {
    const std::uint64_t size = file.size();
    if (is_xpr2(file)) {
        if (size < xpr_header) return {Reason::none, Fault::container_short};
        layout.console = Console::x360;
        layout.header_size = read_be32(file, 4);
        layout.data_size = read_be32(file, 8);
        layout.data_offset = xpr_block + layout.header_size;
        layout.count = read_be32(file, xpr_block);
        if (layout.header_size < 4) return {Reason::none, Fault::table_past_end};
        if (layout.data_offset + layout.data_size > size) return {Reason::none, Fault::blocks_past_end};
        if (layout.count == 0) return {Reason::none, Fault::no_entries};
        if (4 + xpr_entry * layout.count > layout.header_size) return {Reason::none, Fault::table_past_end};
    } else {
        if (size < gtf_header) return {Reason::none, Fault::container_short};
        layout.console = Console::ps3;
        layout.count = read_be32(file, 8);
        if (layout.count == 0) return {Reason::none, Fault::no_entries};
        if (gtf_header + gtf_record * layout.count > size) return {Reason::none, Fault::table_past_end};
    }
    return {Reason::none, check_entries(file, layout)};
}

// Storage rows: the DXGI formats from `first` to `last` store their bytes
// alike; those not listed are alone.
constexpr std::array<Range, 13> storage_rows = {{
    {1, 4}, {9, 14}, {27, 32}, {39, 43}, {48, 52}, {53, 59}, {60, 64}, {70, 72}, {73, 75}, {76, 78}, {79, 81},
    {82, 84}, {90, 91},
}};

std::uint32_t storage_of(std::uint32_t dxgi) noexcept {
    if (dxgi == 92 || dxgi == 93) return 88;  // B8G8R8X8 typeless, srgb
    if (dxgi == 90 || dxgi == 91) return 87;  // B8G8R8A8 typeless, srgb
    for (const Range& row : storage_rows) {
        if (dxgi >= row[0] && dxgi <= row[1]) return static_cast<std::uint32_t>(row[0]);
    }
    return dxgi;
}

// Copies every byte of file outside the areas into result.
void copy_outside(std::span<const std::byte> file, std::span<std::byte> result, std::array<Range, 2> areas) noexcept {
    if (areas[1][0] < areas[0][0]) std::swap(areas[0], areas[1]);
    std::uint64_t at = 0;
    for (const Range& area : areas) {
        if (area[0] >= area[1]) continue;
        std::memcpy(result.data() + at, file.data() + at, static_cast<std::size_t>(area[0] - at));
        at = area[1];
    }
    std::memcpy(result.data() + at, file.data() + at, static_cast<std::size_t>(file.size() - at));
}

// The entry at index, when it is a texture that converts.
Verdict convertible_texture(std::span<const std::byte> file, std::uint32_t index, ContainerEntry& e) noexcept {
    const Verdict structure = read_container_entry(file, index, e);
    if (!structure.ok()) return structure;
    if (!e.is_texture) return {Reason::none, Fault::not_a_texture_entry};
    return e.verdict;
}

}  // namespace

std::array<std::array<std::uint64_t, 2>, 2> texture_areas(const ContainerEntry& entry) noexcept {
    std::array<Range, 2> areas = entry.texture.layout.areas;
    for (Range& area : areas) {
        if (area[0] < area[1]) area = {area[0] + entry.data_offset, area[1] + entry.data_offset};
    }
    return areas;
}

Verdict read_container(std::span<const std::byte> file, ContainerSummary& summary) noexcept {
    Layout layout;
    const Verdict verdict = read_layout(file, layout);
    if (verdict.ok()) summary = {layout.console, layout.count};
    return verdict;
}

Verdict read_container_entry(std::span<const std::byte> file, std::uint32_t index, ContainerEntry& entry) noexcept {
    Layout layout;
    const Verdict verdict = read_layout(file, layout);
    if (!verdict.ok()) return verdict;
    if (index >= layout.count) return {Reason::none, Fault::no_such_texture};
    const Fault fault = read_fields(file, layout, index, entry);
    if (fault != Fault::none) return {Reason::none, fault};
    read_texture(file, layout, entry);
    return {};
}

bool same_storage(std::uint32_t a, std::uint32_t b) noexcept { return storage_of(a) == storage_of(b); }

Verdict extract_texture(std::span<const std::byte> file, std::uint32_t index, std::span<std::byte> result,
                        std::uint64_t& written) noexcept {
    written = 0;
    ContainerEntry e;
    if (const Verdict found = convertible_texture(file, index, e); !found.ok()) return found;
    DdsHeaderImage header;
    const Reason refused = write_dds_header(e.texture.surface, true, header);
    if (refused != Reason::none) return {refused, Fault::none};
    const std::uint64_t linear = e.texture.geometry.linear_size;
    written = header.size + linear;
    if (result.size() < written) return {Reason::none, Fault::result_too_small};
    const auto data = file.subspan(static_cast<std::size_t>(e.data_offset), static_cast<std::size_t>(e.data_size));
    const auto levels = result.subspan(header.size, static_cast<std::size_t>(linear));
    if (!convert_descriptor_texture(e.texture, Direction::unswizzle, data, levels, e.texture.geometry.linear_face_bytes)) {
        return {Reason::data_short, Fault::none};
    }
    std::memcpy(result.data(), header.bytes.data(), header.size);
    return {};
}

Verdict replace_texture(std::span<const std::byte> file, std::uint32_t index, std::span<const std::byte> dds,
                        std::span<std::byte> result, std::uint64_t& written) noexcept {
    written = 0;
    ContainerEntry e;
    if (const Verdict found = convertible_texture(file, index, e); !found.ok()) return found;
    written = file.size();
    if (result.size() < file.size()) return {Reason::none, Fault::result_too_small};
    const DdsSurface d = read_dds_surface(dds, dds.size());
    if (d.reason != Reason::none) return {d.reason, Fault::none};
    const Surface& want = e.texture.surface;
    const Surface& got = d.surface;
    if (!same_storage(got.format, want.format)) return {Reason::none, Fault::replacement_format};
    if (got.type != want.type) return {Reason::none, Fault::replacement_type};
    if (got.width != want.width || got.height != want.height ||
        (want.type == TextureType::volume && got.depth != want.depth)) {
        return {Reason::none, Fault::replacement_sides};
    }
    if (got.levels < want.levels) return {Reason::none, Fault::replacement_levels};
    const std::uint64_t stride = linear_face_bytes(got, got.levels);
    const std::uint64_t needed = (e.texture.faces - 1) * stride + e.texture.geometry.linear_face_bytes;
    const std::span<const std::byte> payload = dds.subspan(d.header_bytes);
    if (payload.size() < needed) return {Reason::data_short, Fault::none};
    copy_outside(file, result, texture_areas(e));
    const auto data = result.subspan(static_cast<std::size_t>(e.data_offset), static_cast<std::size_t>(e.data_size));
    if (!convert_descriptor_texture(e.texture, Direction::swizzle, payload, data, stride)) {
        return {Reason::data_short, Fault::none};
    }
    return {};
}

}  // namespace ddsswizzle::engine
