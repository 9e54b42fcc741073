// libFuzzer target: arbitrary bytes as a texture file, through the library's
// DDS entry points (the path the command line takes: header checks,
// recognition, texture type, sizes, the level walks of every face or of a
// volume, the Xbox 360 tiling, byte swaps), for both consoles and both
// directions, with the guarantees checked on every input:
//
//  - ddsswizzle_check_dds reaches the verdict and the length of the engine's
//    plan, from the whole file or from its first 148 bytes alone, and
//    ddsswizzle_convert_dds the same verdict; a refusal writes nothing;
//  - a result one byte too small, or overlapping the file, is an invalid
//    argument and nothing is written;
//  - ddsswizzle_read_dds reads nothing past the bytes it is given (each call
//    gets a buffer of exactly those bytes) and says the same of the first
//    148 bytes as of the whole file;
//  - an accepted input keeps its header, and the surface read_dds reports,
//    converted by ddsswizzle_convert from the payload, gives the bytes
//    convert_dds gives, wherever both apply;
//  - PS3: the payload comes back as a permutation of the same bytes, every
//    byte outside the levels the walks count in place (or swapped where the
//    format swaps), and the other direction restores it;
//  - Xbox 360: the bytes after the texture data follow the converted data
//    unchanged; swiz then unswiz restores the file, and an image unswizzled,
//    swizzled and unswizzled again gives the same linear levels (only the
//    padding of the image, which unswiz drops, may differ);
//  - the file on disk, through the library's rewrite, ends up exactly as the
//    in-memory conversion says, with no temporary file left beside it (one
//    input in eight, for one console; the rest stay in memory to keep the
//    runs fast).
//
// A broken guarantee prints what broke and aborts, which libFuzzer reports
// as a crash with the input saved.
#include <stdlib.h>  // mkdtemp

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ddsswizzle/ddsswizzle.h"
#include "layout/block_tiling.h"
#include "texture/texture_plan.h"

namespace {

namespace fs = std::filesystem;
namespace engine = ddsswizzle::engine;
using Bytes = std::vector<std::byte>;
using Span = std::span<const std::byte>;

void require(bool holds, const char* what) {
    if (!holds) {
        static_cast<void>(std::fprintf(stderr, "\nbroken guarantee: %s\n", what));
        std::abort();
    }
}

// Fill byte of output buffers, to see whether a refusal wrote anything.
constexpr std::byte untouched_fill{0xA5};

// Compared with memcmp: a byte-by-byte loop would take most of a run's time.
bool same(Span a, Span b) { return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0); }
bool untouched(Span bytes) { return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == untouched_fill; }); }

ddsswizzle_direction other(ddsswizzle_direction d) { return d == DDSSWIZZLE_SWIZZLE ? DDSSWIZZLE_UNSWIZZLE : DDSSWIZZLE_SWIZZLE; }

engine::TexturePlan plan_of(Span file, ddsswizzle_console console, ddsswizzle_direction direction) {
    return engine::plan_texture_conversion(file, file.size(),
                                           direction == DDSSWIZZLE_SWIZZLE ? engine::Direction::swizzle : engine::Direction::unswizzle,
                                           console == DDSSWIZZLE_X360 ? engine::Console::x360 : engine::Console::ps3);
}

// The file through ddsswizzle_convert_dds into a result as long as
// ddsswizzle_check_dds says (the input's length for a refusal).
Bytes convert(Span file, ddsswizzle_console console, ddsswizzle_direction direction, ddsswizzle_status& status) {
    std::uint64_t length = 0;
    const ddsswizzle_status checked = ddsswizzle_check_dds(file.data(), file.size(), file.size(), console, direction, &length, nullptr);
    Bytes out(checked == DDSSWIZZLE_OK ? length : file.size(), untouched_fill);
    status = ddsswizzle_convert_dds(file.data(), file.size(), out.data(), out.size(), console, direction);
    require(status == checked, "convert_dds reaches the verdict of check_dds");
    require(status == DDSSWIZZLE_OK || untouched(out), "a refusal writes nothing");
    return out;
}

// How often each byte value occurs: equal counts mean only moves. (Through
// data(): the checked operator[] of the assertion build would double the
// time of a run.)
std::array<std::size_t, 256> count_bytes(Span bytes) {
    std::array<std::size_t, 256> counts{};
    for (const std::byte b : bytes) ++counts.data()[static_cast<std::size_t>(b)];
    return counts;
}

// The header checks of the library against the plan, and read_dds on exact
// copies of the bytes it is given.
void check_entry_points(Span file, ddsswizzle_console console, ddsswizzle_direction direction, const engine::TexturePlan& plan,
                        ddsswizzle_dds& dds) {
    const auto expected = static_cast<ddsswizzle_status>(engine::status_of(plan.reason));
    const Bytes start(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(file.size(), 148)));
    for (const Span given : {file, Span(start)}) {
        std::uint64_t length = 1;
        ddsswizzle_reason reason{};
        require(ddsswizzle_check_dds(given.data(), given.size(), file.size(), console, direction, &length, &reason) == expected &&
                    reason == static_cast<ddsswizzle_reason>(plan.reason) && length == plan.output_length,
                "check_dds follows the plan, from the whole file or its first 148 bytes");
    }
    ddsswizzle_dds from_start{};
    ddsswizzle_reason reason{}, start_reason{};
    const ddsswizzle_status read = ddsswizzle_read_dds(file.data(), file.size(), &dds, &reason);
    const Bytes exact(start);  // a buffer of exactly the bytes given
    require(ddsswizzle_read_dds(exact.data(), exact.size(), &from_start, &start_reason) == read && start_reason == reason &&
                std::memcmp(&dds, &from_start, sizeof dds) == 0 && reason == static_cast<ddsswizzle_reason>(plan.dds.reason),
            "read_dds says the same of the first 148 bytes as of the file, as the plan does");
}

// A result one byte short, and one overlapping the file, are refused before
// anything is written.
void check_bad_results(Span file, ddsswizzle_console console, ddsswizzle_direction direction, std::uint64_t length) {
    Bytes shorter(length - 1, untouched_fill);
    require(ddsswizzle_convert_dds(file.data(), file.size(), shorter.data(), shorter.size(), console, direction) ==
                    DDSSWIZZLE_INVALID_ARGUMENT && untouched(shorter),
            "a result too small is an invalid argument, left untouched");
    Bytes shared(length - 1 + file.size(), untouched_fill);  // the file's first byte is the result's last
    std::copy(file.begin(), file.end(), shared.begin() + static_cast<std::ptrdiff_t>(length - 1));
    const Bytes before = shared;
    require(ddsswizzle_convert_dds(shared.data() + length - 1, file.size(), shared.data(), length, console, direction) ==
                    DDSSWIZZLE_INVALID_ARGUMENT && same(shared, before),
            "an overlapping result is an invalid argument, nothing written");
}

// The surface read_dds reports through ddsswizzle_convert, where it means
// what the DDS path converts: not a volume of depth 1 (2D to the surface
// interface), and a payload holding the whole input size (the PS3 DDS path
// needs only as much as its walks reach).
void check_surface_interface(Span file, ddsswizzle_console console, ddsswizzle_direction direction,
                             const engine::TexturePlan& plan, const ddsswizzle_dds& dds, Span converted) {
    if (dds.volume != 0 && dds.surface.depth == 1) return;
    const engine::SurfaceGeometry& g = plan.geometry;
    std::uint64_t linear = 0, image = 0;
    require(ddsswizzle_sizes(&dds.surface, console, &linear, &image) == DDSSWIZZLE_OK && linear == g.linear_size &&
                image == g.console_size && dds.payload_offset == plan.dds.header_bytes,
            "the surface read_dds reports has the plan's sizes");
    const std::uint64_t in = direction == DDSSWIZZLE_SWIZZLE ? linear : image;
    const std::uint64_t out = direction == DDSSWIZZLE_SWIZZLE ? image : linear;
    if (file.size() - plan.dds.header_bytes < in) return;
    Bytes result(out + 1, untouched_fill);
    require(ddsswizzle_convert(&dds.surface, console, direction, file.data() + plan.dds.header_bytes, in, result.data(),
                               result.size()) == DDSSWIZZLE_OK && result.back() == untouched_fill,
            "the surface converts, writing exactly its output size");
    require(same(Span(result).first(out), converted.subspan(plan.dds.header_bytes, out)),
            "the surface interface gives the bytes of convert_dds");
}

// Bytes outside the counted levels keep their place, or are reversed inside
// their unit where the format swaps: between levels for any such format,
// after the last level for 16-bit pixels only (a last partial unit stays).
void check_uncounted_bytes(Span payload, Span out, const engine::SurfaceGeometry& g) {
    const auto gap = [&](std::uint64_t from, std::uint64_t to, std::uint64_t unit) {
        for (std::uint64_t i = from; i < to; ++i) {
            const std::uint64_t first = from + (i - from) / unit * unit;
            const std::uint64_t partner = first + unit <= to ? first + unit - 1 - (i - first) : i;
            require(out.data()[i] == payload.data()[partner], "bytes the walks do not count keep their value");
        }
    };
    std::uint64_t at = 0;
    for (std::uint32_t face = 0; face < g.faces; ++face) {
        for (std::uint32_t l = 0; l < g.entries; ++l) {
            if (g.levels[l].ps3_bytes == 0) continue;
            const std::uint64_t start = face * g.linear_face_bytes + g.levels[l].ps3_offset;
            require(start >= at && start + g.levels[l].ps3_bytes <= payload.size(), "the levels lie in order inside the payload");
            gap(at, start, g.format.ps3_swap);
            at = start + g.levels[l].ps3_bytes;
        }
    }
    gap(at, payload.size(), g.format.block_bytes == 2 ? g.format.ps3_swap : 1);
}

void check_ps3(Span file, const engine::TexturePlan& plan, Span converted, ddsswizzle_direction direction) {
    const engine::SurfaceGeometry& g = plan.geometry;
    const Span payload = file.subspan(plan.dds.header_bytes);
    require(converted.size() == file.size(), "a PS3 conversion keeps the length");
    require(count_bytes(converted.subspan(plan.dds.header_bytes)) == count_bytes(payload), "the payload is a permutation");
    check_uncounted_bytes(payload, converted.subspan(plan.dds.header_bytes), g);
    // Levels that keep linear order: block levels below the tiling
    // threshold, pixel levels one pixel wide or high, with nothing to swap.
    const bool identity = g.format.ps3 == engine::Ps3Rule::block_tiling
                              ? g.levels[0].ps3_bytes < engine::block_tiling_threshold(g.format.block_bytes)
                              : g.format.ps3_swap == 1 && (g.levels[0].width == 1 || g.levels[0].height == 1);
    if (g.surface.type != engine::TextureType::volume && identity) require(same(converted, file), "linear levels are copied");
    ddsswizzle_status back{};
    require(same(convert(converted, DDSSWIZZLE_PS3, other(direction), back), file) && back == DDSSWIZZLE_OK,
            "the other direction restores the file");
}

void check_x360(Span file, const engine::TexturePlan& plan, Span converted, ddsswizzle_direction direction) {
    const std::size_t header = plan.dds.header_bytes;
    require(converted.size() == plan.output_length && plan.data_in <= file.size() - header, "the image and the linear levels fit");
    require(same(converted.subspan(header + plan.data_out), file.subspan(header + plan.data_in)),
            "the bytes after the texture data follow it unchanged");
    ddsswizzle_status back{};
    const Bytes restored = convert(converted, DDSSWIZZLE_X360, other(direction), back);
    require(back == DDSSWIZZLE_OK, "the other direction accepts the result");
    if (direction == DDSSWIZZLE_SWIZZLE) {
        require(same(restored, file), "swiz then unswiz restores the file");
    } else {
        require(same(convert(restored, DDSSWIZZLE_X360, DDSSWIZZLE_UNSWIZZLE, back), converted),
                "unswiz of the image made from linear levels gives them back");
    }
}

void check_in_memory(Span file, ddsswizzle_console console, Bytes& swizzled) {
    for (const ddsswizzle_direction direction : {DDSSWIZZLE_SWIZZLE, DDSSWIZZLE_UNSWIZZLE}) {
        const engine::TexturePlan plan = plan_of(file, console, direction);
        ddsswizzle_dds dds{};
        check_entry_points(file, console, direction, plan, dds);
        ddsswizzle_status status{};
        Bytes converted = convert(file, console, direction, status);
        if (direction == DDSSWIZZLE_SWIZZLE) swizzled = converted;
        if (status != DDSSWIZZLE_OK) continue;
        check_bad_results(file, console, direction, converted.size());
        require(same(Span(converted).first(plan.dds.header_bytes), file.first(plan.dds.header_bytes)), "the header never changes");
        check_surface_interface(file, console, direction, plan, dds, converted);
        if (console == DDSSWIZZLE_PS3) {
            check_ps3(file, plan, converted, direction);
        } else {
            check_x360(file, plan, converted, direction);
        }
    }
}

void write_whole(const fs::path& path, Span bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    require(static_cast<bool>(out), "the scratch file can be written");
}

Bytes read_whole(const fs::path& path) {
    std::error_code error;
    Bytes bytes(static_cast<std::size_t>(fs::file_size(path, error)));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    require(!error && in.gcount() == static_cast<std::streamsize>(bytes.size()) && in.peek() == EOF,
            "the scratch file can be read");
    return bytes;
}

// A folder of our own for the on-disk round, removed at exit.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        std::error_code error;
        std::string pattern = (fs::temp_directory_path(error) / "ddsswizzle-fuzz-XXXXXX").string();
        if (!error && ::mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
};

// The same input through the library's rewrite, on a real file; swizzled is
// what convert_dds made of it (the input itself when refused).
void check_on_disk(Span file, ddsswizzle_console console, const Bytes& swizzled) {
    std::uint64_t length = 0;
    const ddsswizzle_status expected =
        ddsswizzle_check_dds(file.data(), file.size(), file.size(), console, DDSSWIZZLE_SWIZZLE, &length, nullptr);
    static const ScratchFolder scratch;
    if (scratch.path.empty()) return;
    const fs::path path = fs::path(scratch.path) / "texture.dds";
    write_whole(path, file);
    const bool converted = expected == DDSSWIZZLE_OK;
    require(ddsswizzle_convert_file(path.c_str(), console, DDSSWIZZLE_SWIZZLE, nullptr) == expected, "the file follows the plan");
    require(same(read_whole(path), converted ? Span(swizzled) : file), "the file is converted as in memory, or untouched");
    if (converted) {
        require(ddsswizzle_convert_file(path.c_str(), console, DDSSWIZZLE_UNSWIZZLE, nullptr) == DDSSWIZZLE_OK,
                "it converts back");
        require(same(read_whole(path), file), "the file comes back byte for byte");
    }
    std::error_code error;
    require(std::distance(fs::directory_iterator(scratch.path, error), fs::directory_iterator()) == 1 && !error,
            "no temporary file is left behind");
    fs::remove(path, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Span file(reinterpret_cast<const std::byte*>(data), size);
    Bytes swizzled[2];
    check_in_memory(file, DDSSWIZZLE_PS3, swizzled[0]);
    check_in_memory(file, DDSSWIZZLE_X360, swizzled[1]);
    // The same inputs go to disk on every run: those whose length and first
    // bytes sum to a multiple of eight, for the console the next bit picks.
    std::size_t pick = size;
    for (const std::byte b : file.first(std::min<std::size_t>(size, 256))) pick += static_cast<std::size_t>(b);
    if (pick % 8 == 0) {
        const bool x360 = pick % 16 == 8;
        check_on_disk(file, x360 ? DDSSWIZZLE_X360 : DDSSWIZZLE_PS3, swizzled[x360 ? 1 : 0]);
    }
    return 0;
}
