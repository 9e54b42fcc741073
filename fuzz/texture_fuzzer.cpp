// libFuzzer target: arbitrary bytes as a texture file, through the path the
// command line takes (header checks, recognition, texture type, sizes, the
// level walks of every face in both directions, the 16-bit swap), with the
// guarantees the tool makes checked on every input:
//
//  - both directions reach the verdict of the plan;
//  - a refused input leaves the output (or the file) untouched;
//  - an accepted input keeps its header, its payload comes back as a
//    permutation of the same bytes with every byte the walks do not count
//    in place, and swiz then unswiz, or unswiz then swiz, restores it;
//  - the file on disk ends up exactly as the in-memory conversion says, with
//    no temporary file left beside it (one input in eight; the rest stay in
//    memory to keep the runs fast).
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

Bytes convert(std::span<const std::byte> file, Direction direction, ConversionStatus& status) {
    Bytes out(file.size(), untouched_fill);
    status = convert_texture_image(file, out, direction);
    return out;
}

bool same(std::span<const std::byte> a, std::span<const std::byte> b) { return std::ranges::equal(a, b); }

// How often each byte value occurs: equal counts mean only moves.
std::array<std::size_t, 256> count_bytes(std::span<const std::byte> bytes) {
    std::array<std::size_t, 256> counts{};
    for (const std::byte b : bytes) ++counts.at(static_cast<std::size_t>(b));
    return counts;
}

// Bytes no walk counts (past the counted levels of each face, and after the
// last face) keep their place; the 16-bit class swaps every pair of the
// payload afterwards, so there each comes from its partner.
void check_uncounted_bytes(std::span<const std::byte> payload, std::span<const std::byte> converted,
                           const TexturePlan& plan) {
    const std::uint64_t counted = counted_levels_size(plan.format, plan.chain);
    require(counted <= plan.face_bytes && plan.face_bytes * plan.faces <= payload.size(), "the faces fit");
    const bool swapped = plan.format == FormatClass::pixel16;
    for (std::uint64_t face = 0; face <= plan.faces; ++face) {  // the last round is what follows the faces
        const std::uint64_t end = face < plan.faces ? (face + 1) * plan.face_bytes : payload.size();
        for (std::size_t i = face * plan.face_bytes + (face < plan.faces ? counted : 0); i < end; ++i) {
            const std::size_t from = swapped && (i ^ 1U) < payload.size() ? (i ^ 1U) : i;
            require(converted[i] == payload[from], "bytes the walks do not count keep their value");
        }
    }
}

void check_in_memory(std::span<const std::byte> file, const TexturePlan& plan, Bytes& swizzled) {
    ConversionStatus swiz_status{};
    ConversionStatus unswiz_status{};
    swizzled = convert(file, Direction::swizzle, swiz_status);
    const Bytes unswizzled = convert(file, Direction::unswizzle, unswiz_status);
    require(swiz_status == plan.status && unswiz_status == plan.status, "both directions follow the plan");
    if (plan.status != ConversionStatus::converted) {
        require(plan.status != ConversionStatus::cannot_open && plan.status != ConversionStatus::cannot_write &&
                    plan.status != ConversionStatus::out_of_memory,
                "an image in memory is refused only for what its header says");
        const Bytes untouched(file.size(), untouched_fill);
        require(same(swizzled, untouched) && same(unswizzled, untouched), "a refusal writes nothing");
        return;
    }
    require(plan.chain.width > 0 && plan.chain.height > 0, "accepted sides are positive");
    require(plan.chain.level_count >= 1 && plan.chain.level_count <= 127, "level count 1 to 127");
    require(plan.faces == 1 || plan.faces == 6, "a 2D texture or a cube map");
    const std::span<const std::byte> payload = file.subspan(plan.header_bytes);
    for (const Bytes* out : {&std::as_const(swizzled), &unswizzled}) {
        const std::span<const std::byte> converted(*out);
        require(same(converted.first(plan.header_bytes), file.first(plan.header_bytes)), "the header never changes");
        require(count_bytes(converted.subspan(plan.header_bytes)) == count_bytes(payload), "the payload is a permutation");
        check_uncounted_bytes(payload, converted.subspan(plan.header_bytes), plan);
    }
    // Levels that keep linear order: block levels below the tiling
    // threshold, pixel levels one pixel wide or high.
    const bool identity = is_block_class(plan.format)
                              ? top_level_size(plan.format, plan.chain) < block_tiling_threshold(element_bytes(plan.format))
                              : plan.chain.width == 1 || plan.chain.height == 1;
    if (identity && plan.format != FormatClass::pixel16) require(same(swizzled, file), "linear levels are copied");
    ConversionStatus back{};
    require(same(convert(swizzled, Direction::unswizzle, back), file) && back == plan.status, "swiz then unswiz restores");
    require(same(convert(unswizzled, Direction::swizzle, back), file) && back == plan.status, "unswiz then swiz restores");
}

void write_whole(const fs::path& path, std::span<const std::byte> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    require(static_cast<bool>(out), "the scratch file can be written");
}

Bytes read_whole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> chars{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    require(!in.bad(), "the scratch file can be read");
    Bytes bytes(chars.size());
    std::ranges::transform(chars, bytes.begin(), [](char c) { return static_cast<std::byte>(c); });
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
void check_on_disk(std::span<const std::byte> file, const TexturePlan& plan, const Bytes& swizzled) {
    static const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    if (folder.empty()) return;
    const fs::path path = fs::path(folder) / "texture.dds";
    write_whole(path, file);
    require(convert_texture_file(path, Direction::swizzle) == plan.status, "the file follows the plan");
    const bool converted = plan.status == ConversionStatus::converted;
    require(same(read_whole(path), converted ? std::span<const std::byte>(swizzled) : file),
            "the file is converted as in memory, or untouched");
    if (converted) {
        require(convert_texture_file(path, Direction::unswizzle) == ConversionStatus::converted, "it converts back");
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
    const TexturePlan plan = plan_texture_conversion(file, size);
    Bytes swizzled;
    check_in_memory(file, plan, swizzled);
    // The same inputs go to disk on every run: those whose length and first
    // bytes sum to a multiple of eight.
    std::size_t pick = size;
    for (const std::byte b : file.first(std::min<std::size_t>(size, 256))) pick += static_cast<std::size_t>(b);
    if (pick % 8 == 0) check_on_disk(file, plan, swizzled);
    return 0;
}
