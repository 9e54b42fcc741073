// Writes the sample texture shipped in samples/: a 64 x 64 32-bit RGBA
// gradient with its full chain of 7 mip levels, in linear (desktop) layout.
// Given a side (a power of two), writes the same gradient at that size with
// its full mip chain; the benchmarks use it for large textures.
//
//   ddsswizzle_make_sample OUTPUT.dds [SIDE]
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint32_t sample_side = 64;
constexpr std::uint32_t max_side = 16384;

void put_u32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> sample_texture(std::uint32_t side) {
    std::uint32_t levels = 1;
    while ((side >> (levels - 1)) > 1) ++levels;
    std::vector<std::uint8_t> file(128, 0);
    put_u32(file, 0, 0x20534444);   // "DDS "
    put_u32(file, 4, 124);          // header size
    put_u32(file, 8, 0x0002100F);   // caps, height, width, pitch, pixel format, mip count
    put_u32(file, 12, side);        // height
    put_u32(file, 16, side);        // width
    put_u32(file, 20, side * 4);    // pitch of the top level
    put_u32(file, 28, levels);      // mip-map count
    put_u32(file, 76, 32);          // pixel-format size
    put_u32(file, 80, 0x41);        // RGB with alpha
    put_u32(file, 88, 32);          // bits per pixel
    put_u32(file, 92, 0x00FF0000);  // red mask
    put_u32(file, 96, 0x0000FF00);  // green mask
    put_u32(file, 100, 0x000000FF); // blue mask
    put_u32(file, 104, 0xFF000000); // alpha mask
    put_u32(file, 108, 0x00401008); // complex, texture, mip-map
    for (std::uint32_t level = 0, n = side; level < levels; ++level, n /= 2) {
        for (std::uint32_t y = 0; y < n; ++y) {
            for (std::uint32_t x = 0; x < n; ++x) {
                // Red across, green down, blue by level: every pixel differs
                // from its neighbours, so any misplaced pixel shows.
                const std::array<std::uint8_t, 4> bgra = {
                    static_cast<std::uint8_t>(level * 36), static_cast<std::uint8_t>(y * 255 / side),
                    static_cast<std::uint8_t>(x * 255 / side), 0xFF};
                file.insert(file.end(), bgra.begin(), bgra.end());
            }
        }
    }
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t side = argc == 3 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : sample_side;
    if (argc < 2 || argc > 3 || side == 0 || side > max_side || (side & (side - 1)) != 0) {
        std::fputs("usage: ddsswizzle_make_sample OUTPUT.dds [SIDE, a power of two up to 16384]\n", stderr);
        return 2;
    }
    const std::vector<std::uint8_t> file = sample_texture(side);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
