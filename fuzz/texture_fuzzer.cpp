// libFuzzer target: arbitrary bytes as a texture file, through the path the
// command line takes (header checks, classification, size validation, the
// level walks in both directions, the 16-bit swap), with the guarantees the
// tool makes checked on every input:
//
//  - both directions reach the same verdict;
//  - a refused input leaves the output buffer (or the file) untouched;
//  - an accepted input keeps its 128 header bytes, its payload comes back as
//    a permutation of the same bytes with every byte past the converted
//    levels in place, and swiz then unswiz, or unswiz then swiz, restores it
//    byte for byte;
//  - the file on disk ends up exactly as the in-memory conversion says, with
//    no temporary file left beside it (checked for one input in eight, the
//    rest stay in memory to keep the runs fast).
//
// A broken guarantee prints what broke and aborts, which libFuzzer reports
// as a crash with the input saved.
#include <stdlib.h>  // mkdtemp
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "layout/block_tiling.h"
#include "texture/texture_file.h"

namespace {

using ddsswizzle::ConversionStatus;
using ddsswizzle::Direction;
using ddsswizzle::FormatClass;
using ddsswizzle::texture_header_size;

void require(bool holds, const char* what) {
    if (!holds) {
        static_cast<void>(std::fprintf(stderr, "\nbroken guarantee: %s\n", what));
        std::abort();
    }
}

// Fill byte of output buffers, to see whether a refusal wrote anything.
constexpr std::byte untouched_fill{0xA5};

std::vector<std::byte> convert(std::span<const std::byte> file, Direction direction, ConversionStatus& status) {
    std::vector<std::byte> out(file.size(), untouched_fill);
    status = ddsswizzle::convert_texture_image(file, out, direction);
    return out;
}

bool same_bytes(std::span<const std::byte> a, std::span<const std::byte> b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

using ByteCounts = std::array<std::size_t, 256>;

// How often each byte value occurs: equal counts for a payload and its
// conversion mean the conversion only moved bytes around.
ByteCounts count_bytes(std::span<const std::byte> bytes) {
    ByteCounts counts{};
    std::size_t* const count = counts.data();
    for (const std::byte b : bytes) ++count[static_cast<std::size_t>(b)];
    return counts;
}

// Bytes past the levels the walk counts are not moved by any layout; the
// 16-bit class swaps every pair of the payload afterwards, so there each
// byte comes from its partner (an unpaired last byte stays).
void check_untouched_tail(std::span<const std::byte> payload, std::span<const std::byte> converted,
                          const ddsswizzle::TexturePlan& plan) {
    const std::uint64_t counted = ddsswizzle::counted_levels_size(plan.format, plan.chain);
    require(counted <= payload.size(), "accepted levels fit in the payload");
    const bool swapped = plan.format == FormatClass::pixel16;
    for (std::size_t i = static_cast<std::size_t>(counted); i < payload.size(); ++i) {
        const std::size_t from = swapped && (i ^ 1U) < payload.size() ? (i ^ 1U) : i;
        require(converted[i] == payload[from], "bytes past the converted levels keep their value");
    }
}

// Layouts that keep linear order: block levels below the tiling threshold,
// and pixel levels one pixel wide or high.
bool layout_is_identity(const ddsswizzle::TexturePlan& plan) {
    if (ddsswizzle::is_block_class(plan.format)) {
        return ddsswizzle::top_level_size(plan.format, plan.chain) <
               ddsswizzle::block_tiling_threshold(ddsswizzle::element_bytes(plan.format));
    }
    return plan.chain.width == 1 || plan.chain.height == 1;
}

void check_in_memory(std::span<const std::byte> file, const ddsswizzle::TexturePlan& plan,
                     std::vector<std::byte>& swizzled) {
    ConversionStatus swiz_status{};
    ConversionStatus unswiz_status{};
    swizzled = convert(file, Direction::swizzle, swiz_status);
    const std::vector<std::byte> unswizzled = convert(file, Direction::unswizzle, unswiz_status);
    require(swiz_status == plan.status && unswiz_status == plan.status, "both directions follow the plan");

    if (plan.status != ConversionStatus::converted) {
        require(plan.status == ConversionStatus::not_a_texture || plan.status == ConversionStatus::unknown_format ||
                    plan.status == ConversionStatus::unsupported_size || plan.status == ConversionStatus::truncated,
                "an image in memory is refused only for what its header says");
        const std::vector<std::byte> untouched(file.size(), untouched_fill);
        require(same_bytes(swizzled, untouched), "a refused swiz writes nothing");
        require(same_bytes(unswizzled, untouched), "a refused unswiz writes nothing");
        return;
    }

    require(file.size() >= texture_header_size, "an accepted file holds a header");
    require(plan.chain.width > 0 && plan.chain.height > 0, "accepted sides are positive");
    require(plan.chain.level_count >= 1 && plan.chain.level_count <= 127, "level count 1 to 127");
    const std::span<const std::byte> header = file.first(texture_header_size);
    const std::span<const std::byte> payload = file.subspan(texture_header_size);
    const std::vector<std::byte>* const outputs[] = {&swizzled, &unswizzled};
    const ByteCounts payload_counts = count_bytes(payload);
    for (const std::vector<std::byte>* out : outputs) {
        const std::span<const std::byte> converted(*out);
        require(same_bytes(converted.first(texture_header_size), header), "the header never changes");
        require(count_bytes(converted.subspan(texture_header_size)) == payload_counts, "the payload is a permutation");
        check_untouched_tail(payload, converted.subspan(texture_header_size), plan);
    }
    if (layout_is_identity(plan) && plan.format != FormatClass::pixel16) {
        require(same_bytes(swizzled, file), "levels in linear order are copied unchanged");
    }

    ConversionStatus back_status{};
    require(same_bytes(convert(swizzled, Direction::unswizzle, back_status), file) &&
                back_status == ConversionStatus::converted,
            "swiz then unswiz restores the file");
    require(same_bytes(convert(unswizzled, Direction::swizzle, back_status), file) &&
                back_status == ConversionStatus::converted,
            "unswiz then swiz restores the file");
}

// A folder of our own for the on-disk round, removed at exit.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        if (error) return;
        std::string pattern = (base / "ddsswizzle-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void write_whole(const std::filesystem::path& path, std::span<const std::byte> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    require(static_cast<bool>(out), "the scratch file can be written");
}

std::vector<std::byte> read_whole(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t length = std::filesystem::file_size(path, error);
    require(!error, "the scratch file can be measured");
    std::vector<std::byte> bytes(static_cast<std::size_t>(length));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    require(in.gcount() == static_cast<std::streamsize>(bytes.size()), "the scratch file can be read");
    return bytes;
}

bool folder_holds_only(const std::filesystem::path& folder, const std::filesystem::path& file) {
    std::size_t count = 0;
    bool found = false;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        ++count;
        found = found || entry->path() == file;
    }
    return !error && count == 1 && found;
}

// The same input through convert_texture_file, on a real file.
void check_on_disk(std::span<const std::byte> file, const ddsswizzle::TexturePlan& plan,
                   const std::vector<std::byte>& swizzled) {
    static const ScratchFolder folder;  // one per process, removed at exit
    if (folder.path().empty()) return;
    const std::filesystem::path path = folder.path() / "texture.dds";
    write_whole(path, file);

    require(ddsswizzle::convert_texture_file(path, Direction::swizzle) == plan.status, "the file follows the plan");
    const std::vector<std::byte> after = read_whole(path);
    if (plan.status == ConversionStatus::converted) {
        require(same_bytes(after, swizzled), "the file is converted as in memory");
        require(ddsswizzle::convert_texture_file(path, Direction::unswizzle) == ConversionStatus::converted,
                "a converted file converts back");
        require(same_bytes(read_whole(path), file), "the file comes back byte for byte");
    } else {
        require(same_bytes(after, file), "a refused file is untouched");
    }
    require(folder_holds_only(folder.path(), path), "no temporary file is left behind");
    std::error_code removed;
    std::filesystem::remove(path, removed);
    require(!removed, "the scratch file can be removed");
}

// FNV-1a of the length and the first bytes, to pick the inputs that also go
// through a file, the same ones on every run.
std::uint32_t input_hash(std::span<const std::byte> bytes) {
    std::uint32_t hash = 2166136261U;
    const std::size_t length = bytes.size();
    for (std::size_t i = 0; i < sizeof length; ++i) hash = (hash ^ ((length >> (8 * i)) & 0xFFU)) * 16777619U;
    for (const std::byte b : bytes.first(std::min<std::size_t>(bytes.size(), 256))) {
        hash = (hash ^ static_cast<std::uint32_t>(b)) * 16777619U;
    }
    return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> file(reinterpret_cast<const std::byte*>(data), size);
    const ddsswizzle::TexturePlan plan = ddsswizzle::plan_texture_conversion(file, size);

    std::vector<std::byte> swizzled;
    check_in_memory(file, plan, swizzled);
    if (input_hash(file) % 8 == 0) check_on_disk(file, plan, swizzled);

    // The 16-bit swap on its own, over the first bytes: twice is the identity.
    const std::span<const std::byte> start = file.first(std::min<std::size_t>(file.size(), 4096));
    std::vector<std::byte> words(start.begin(), start.end());
    ddsswizzle::swap_16bit_words(words);
    if (words.size() >= 2) require(words[0] == file[1] && words[1] == file[0], "the first pair is swapped");
    ddsswizzle::swap_16bit_words(words);
    require(same_bytes(words, start), "swapping twice restores the bytes");
    return 0;
}
