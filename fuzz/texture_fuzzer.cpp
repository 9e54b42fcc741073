// libFuzzer target: arbitrary bytes as a texture file, through the path the
// command line takes (header checks, recognition, texture type, sizes, the
// level walks of every face or of a volume, the Xbox 360 tiling, byte
// swaps), for both consoles and both directions, with the guarantees the
// tool makes checked on every input:
//
//  - each direction reaches the verdict of its plan;
//  - a refused input leaves the output (or the file) untouched;
//  - an accepted input keeps its header;
//  - PS3: the payload comes back as a permutation of the same bytes with
//    every byte the walks do not count in place, and swiz then unswiz, or
//    unswiz then swiz, restores it;
//  - Xbox 360: the bytes after the texture data follow the converted data
//    unchanged; swiz then unswiz restores the file, and an image unswizzled,
//    swizzled and unswizzled again gives the same linear levels (only the
//    padding of the image, which unswiz drops, may differ);
//  - the file on disk ends up exactly as the in-memory conversion says, with
//    no temporary file left beside it (one input in eight, for one console;
//    the rest stay in memory to keep the runs fast).
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

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "texture/texture_file.h"

namespace {

namespace fs = std::filesystem;
using namespace ddsswizzle;
using Bytes = std::vector<std::byte>;

void require(bool holds, const char* what) {
    if (!holds) {
        static_cast<void>(std::fprintf(stderr, "\nbroken guarantee: %s\n", what));
        std::abort();
    }
}

// Fill byte of output buffers, to see whether a refusal wrote anything.
constexpr std::byte untouched_fill{0xA5};

// The converted image, as long as its plan says; a refusal gets a buffer of
// the input's length, which it must leave as it is.
Bytes convert(std::span<const std::byte> file, Direction direction, Console console, ConversionStatus& status) {
    const TexturePlan plan = plan_texture_conversion(file, file.size(), direction, console);
    Bytes out(plan.status == ConversionStatus::converted ? plan.output_length : file.size(), untouched_fill);
    status = convert_texture_image(file, out, direction, console);
    return out;
}

Direction other(Direction direction) {
    return direction == Direction::swizzle ? Direction::unswizzle : Direction::swizzle;
}

// Compared with memcmp: a byte-by-byte loop would take most of a run's time.
bool same(std::span<const std::byte> a, std::span<const std::byte> b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// How often each byte value occurs: equal counts mean only moves. (Through
// data(): the checked operator[] of the assertion build would double the
// time of a run.)
std::array<std::size_t, 256> count_bytes(std::span<const std::byte> bytes) {
    std::array<std::size_t, 256> counts{};
    for (const std::byte b : bytes) ++counts.data()[static_cast<std::size_t>(b)];
    return counts;
}

// Bytes no walk counts (past the counted levels of each face, and after the
// last face) keep their place; the 16-bit class swaps every pair of the
// payload afterwards, so there each comes from its partner.
void check_uncounted_bytes(std::span<const std::byte> payload, std::span<const std::byte> converted,
                           const TexturePlan& plan) {
    const VolumeChain volume{plan.chain.width, plan.chain.height, plan.depth, plan.chain.level_count};
    const std::uint64_t counted = plan.type == TextureType::volume ? volume_levels_size(element_bytes(plan.format), volume)
                                                                   : counted_levels_size(plan.format, plan.chain);
    require(counted <= plan.face_bytes && plan.face_bytes * plan.faces <= payload.size(), "the faces fit");
    const bool swapped = plan.format == FormatClass::pixel16;
    for (std::uint64_t face = 0; face <= plan.faces; ++face) {  // the last round is what follows the faces
        const std::uint64_t end = face < plan.faces ? (face + 1) * plan.face_bytes : payload.size();
        for (std::size_t i = face * plan.face_bytes + (face < plan.faces ? counted : 0); i < end; ++i) {
            const std::size_t from = swapped && (i ^ 1U) < payload.size() ? (i ^ 1U) : i;
            require(converted.data()[i] == payload.data()[from], "bytes the walks do not count keep their value");
        }
    }
}

void check_ps3(std::span<const std::byte> file, const TexturePlan& plan, std::span<const std::byte> converted,
               Direction direction) {
    const std::span<const std::byte> payload = file.subspan(plan.header_bytes);
    require(converted.size() == file.size(), "a PS3 conversion keeps the length");
    require(count_bytes(converted.subspan(plan.header_bytes)) == count_bytes(payload), "the payload is a permutation");
    check_uncounted_bytes(payload, converted.subspan(plan.header_bytes), plan);
    // Levels that keep linear order: block levels below the tiling
    // threshold, pixel levels one pixel wide or high.
    const bool identity = is_block_class(plan.format)
                              ? top_level_size(plan.format, plan.chain) < block_tiling_threshold(element_bytes(plan.format))
                              : plan.chain.width == 1 || plan.chain.height == 1;
    if (plan.type != TextureType::volume && identity && plan.format != FormatClass::pixel16) {
        require(same(converted, file), "linear levels are copied");
    }
    ConversionStatus back{};
    require(same(convert(converted, other(direction), Console::ps3, back), file) && back == plan.status,
            "the other direction restores the file");
}

void check_x360(std::span<const std::byte> file, const TexturePlan& plan, std::span<const std::byte> converted,
                Direction direction) {
    require(converted.size() == plan.output_length && plan.data_in <= file.size() - plan.header_bytes,
            "the image and the linear levels fit");
    require(same(converted.subspan(plan.header_bytes + plan.data_out), file.subspan(plan.header_bytes + plan.data_in)),
            "the bytes after the texture data follow it unchanged");
    ConversionStatus back{};
    const Bytes restored = convert(converted, other(direction), Console::x360, back);
    require(back == ConversionStatus::converted, "the other direction accepts the result");
    if (direction == Direction::swizzle) {
        require(same(restored, file), "swiz then unswiz restores the file");
    } else {
        require(same(convert(restored, Direction::unswizzle, Console::x360, back), converted),
                "unswiz of the image made from linear levels gives them back");
    }
}

void check_in_memory(std::span<const std::byte> file, Console console, Bytes& swizzled) {
    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        const TexturePlan plan = plan_texture_conversion(file, file.size(), direction, console);
        ConversionStatus status{};
        Bytes converted = convert(file, direction, console, status);
        require(status == plan.status, "the conversion follows the plan");
        if (plan.status != ConversionStatus::converted) {
            require(plan.status != ConversionStatus::cannot_open && plan.status != ConversionStatus::cannot_write &&
                        plan.status != ConversionStatus::out_of_memory,
                    "an image in memory is refused only for what its header says");
            require(same(converted, Bytes(file.size(), untouched_fill)), "a refusal writes nothing");
            continue;
        }
        require(plan.chain.width > 0 && plan.chain.height > 0, "accepted sides are positive");
        require(plan.chain.level_count >= 1 && plan.chain.level_count <= 127, "level count 1 to 127");
        require(plan.faces == 1 || plan.faces == 6, "a 2D texture, a cube map or a volume");
        require(same(std::span<const std::byte>(converted).first(plan.header_bytes), file.first(plan.header_bytes)),
                "the header never changes");
        if (console == Console::ps3) {
            check_ps3(file, plan, converted, direction);
        } else {
            check_x360(file, plan, converted, direction);
        }
        if (direction == Direction::swizzle) swizzled = std::move(converted);
    }
}

void write_whole(const fs::path& path, std::span<const std::byte> bytes) {
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

// The same input through convert_texture_file, on a real file.
void check_on_disk(std::span<const std::byte> file, Console console, const Bytes& swizzled) {
    const TexturePlan plan = plan_texture_conversion(file, file.size(), Direction::swizzle, console);
    static const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    if (folder.empty()) return;
    const fs::path path = fs::path(folder) / "texture.dds";
    write_whole(path, file);
    require(convert_texture_file(path, Direction::swizzle, console) == plan.status, "the file follows the plan");
    const bool converted = plan.status == ConversionStatus::converted;
    require(same(read_whole(path), converted ? std::span<const std::byte>(swizzled) : file),
            "the file is converted as in memory, or untouched");
    if (converted) {
        require(convert_texture_file(path, Direction::unswizzle, console) == ConversionStatus::converted,
                "it converts back");
        require(same(read_whole(path), file), "the file comes back byte for byte");
    }
    std::error_code error;
    require(std::distance(fs::directory_iterator(folder, error), fs::directory_iterator()) == 1 && !error,
            "no temporary file is left behind");
    fs::remove(path, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> file(reinterpret_cast<const std::byte*>(data), size);
    Bytes swizzled[2];
    check_in_memory(file, Console::ps3, swizzled[0]);
    check_in_memory(file, Console::x360, swizzled[1]);
    // The same inputs go to disk on every run: those whose length and first
    // bytes sum to a multiple of eight, for the console the next bit picks.
    std::size_t pick = size;
    for (const std::byte b : file.first(std::min<std::size_t>(size, 256))) pick += static_cast<std::size_t>(b);
    if (pick % 8 == 0) {
        const bool x360 = pick % 16 == 8;
        check_on_disk(file, x360 ? Console::x360 : Console::ps3, swizzled[x360 ? 1 : 0]);
    }
    return 0;
}
