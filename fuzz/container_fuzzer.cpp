// libFuzzer target: arbitrary bytes as a GTF or XPR2 container, through the
// library's container calls, with these guarantees checked on every input
// (each call gets a buffer of exactly the input's bytes, so the sanitizers
// see any read past them):
//  - the count and every entry agree on the container's verdict;
//  - a texture that converts has its areas inside the file, and its linear
//    levels, converted to the console layout and back, come back the same;
//  - replacing a texture by its own DDS file (extract) gives a file whose
//    bytes outside the texture's areas are the old ones, and from which the
//    same DDS file comes out;
//  - a refused call writes nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ddsswizzle/ddsswizzle.h"

namespace {

using Bytes = std::vector<unsigned char>;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken guarantee: %s\n", what);
        std::abort();
    }
}

bool untouched(const Bytes& b) {
    return std::all_of(b.begin(), b.end(), [](unsigned char c) { return c == 0xA5; });
}

void check_texture(const Bytes& file, const ddsswizzle_texture_entry& e) {
    for (int i = 0; i < 2; ++i) require(e.area_offset[i] + e.area_length[i] <= file.size(), "areas inside the file");
    const unsigned char* descriptor = file.data() + e.descriptor_offset;
    const Bytes data(file.begin() + static_cast<std::ptrdiff_t>(e.data_offset),
                     file.begin() + static_cast<std::ptrdiff_t>(e.data_offset + e.data_size));
    Bytes linear(data.size()), console = data, again(data.size());
    require(ddsswizzle_convert_descriptor(descriptor, 24, e.console, DDSSWIZZLE_UNSWIZZLE, data.data(), data.size(),
                                          linear.data(), linear.size(), nullptr) == DDSSWIZZLE_OK &&
                ddsswizzle_convert_descriptor(descriptor, 24, e.console, DDSSWIZZLE_SWIZZLE, linear.data(),
                                              linear.size(), console.data(), console.size(), nullptr) == DDSSWIZZLE_OK &&
                ddsswizzle_convert_descriptor(descriptor, 24, e.console, DDSSWIZZLE_UNSWIZZLE, console.data(),
                                              console.size(), again.data(), again.size(), nullptr) == DDSSWIZZLE_OK,
            "a texture that converts converts both ways");
    require(linear == again, "linear levels come back through the console layout");
    // Its DDS file put back, and taken out again.
    std::size_t length = 0;
    require(ddsswizzle_extract(file.data(), file.size(), e.index, nullptr, 0, &length, nullptr) == DDSSWIZZLE_OK, "sized");
    Bytes dds(length), replaced(file.size()), again_dds(length);
    require(ddsswizzle_extract(file.data(), file.size(), e.index, dds.data(), dds.size(), &length, nullptr) == DDSSWIZZLE_OK &&
                ddsswizzle_replace(file.data(), file.size(), e.index, dds.data(), dds.size(), replaced.data(),
                                   replaced.size(), &length, nullptr) == DDSSWIZZLE_OK &&
                ddsswizzle_extract(replaced.data(), replaced.size(), e.index, again_dds.data(), again_dds.size(), &length,
                                   nullptr) == DDSSWIZZLE_OK,
            "a texture that converts is extracted and replaced");
    require(dds == again_dds, "the replaced texture comes out as it went in");
    for (std::size_t i = 0; i < file.size(); ++i) {
        const bool inside = (i >= e.area_offset[0] && i - e.area_offset[0] < e.area_length[0]) ||
                            (i >= e.area_offset[1] && i - e.area_offset[1] < e.area_length[1]);
        require(inside || file[i] == replaced[i], "bytes outside the texture kept");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes file(data, data + size);
    ddsswizzle_console console = DDSSWIZZLE_PS3;
    std::uint32_t count = 0;
    const ddsswizzle_status status = ddsswizzle_container_count(file.data(), file.size(), &console, &count, nullptr);
    ddsswizzle_texture_entry entry{};
    if (status != DDSSWIZZLE_OK) {
        require(ddsswizzle_container_texture(file.data(), file.size(), 0, &entry, nullptr) == status, "one verdict");
        return 0;
    }
    for (std::uint32_t index = 0; index < count && index < 8; ++index) {
        require(ddsswizzle_container_texture(file.data(), file.size(), index, &entry, nullptr) == DDSSWIZZLE_OK,
                "every entry of a container reads");
        Bytes out(file.size(), 0xA5);
        std::size_t written = 0;
        const unsigned char not_dds[4] = {'D', 'D', 'S', '!'};
        require(ddsswizzle_replace(file.data(), file.size(), index, not_dds, 4, out.data(), out.size(), &written,
                                   nullptr) != DDSSWIZZLE_OK && untouched(out),
                "a refused replacement writes nothing");
        if (entry.is_texture != 0 && entry.status == DDSSWIZZLE_OK) check_texture(file, entry);
    }
    return 0;
}
