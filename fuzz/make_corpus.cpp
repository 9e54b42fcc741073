// Writes the seed corpora of the fuzzers.
//
// corpus/, for the texture fuzzer: one small file for every surface class,
// a cube map, the DX10 extension, and the shapes where the layouts change
// behaviour (the 8192-block tiling threshold, a partial block group, a 1 x N
// level, a non-square chain whose levels reach a side of 0, odd block sides,
// the mip count byte read as a signed number), plus a few files the tool
// refuses.
//
// corpus-walks/, for the walk fuzzer: a chain of each walk, a side that is
// not a power of two, and a chain that claims more than its buffer.
//
//   ddsswizzle_make_corpus FOLDER    (writes FOLDER/corpus, FOLDER/corpus-walks)
//
// The files in fuzz/corpus and fuzz/corpus-walks are what this program
// writes; a test checks it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/texture_builder.h"

namespace {

using namespace ddsswizzle::testing;

struct Seed {
    const char* name;
    std::vector<std::byte> bytes;
};

// Payload bytes of a chain of blocks or of pixels, as a file stores them.
std::size_t blocks(std::int32_t w, std::int32_t h, std::uint32_t levels, std::uint32_t block_bytes) {
    return stored_payload_size(w, h, levels, block_bytes, true);
}
std::size_t pixels(std::int32_t w, std::int32_t h, std::uint32_t levels, std::uint32_t pixel_bytes) {
    return stored_payload_size(w, h, levels, pixel_bytes, false);
}

std::vector<Seed> seeds() {
    std::vector<std::byte> wrong_size_field = make_texture(rgba_fields(32, 4, 4, 1), 64, 1);
    put_u32(wrong_size_field, 4, 128);
    std::vector<std::byte> header_only = make_header(rgba_fields(32, 4, 4, 1));
    TextureFields cube = dxt_fields("DXT1", 32, 32, 6);
    cube.caps2 = 0xFE00;
    TextureFields volume = rgba_fields(32, 16, 16, 1);
    volume.caps2 = 0x200000;
    return {
        // Block classes. 512 x 256 is exactly 8192 blocks, one tiled group;
        // 1024 x 256 is two; 512 x 384 is one and a half.
        {"dxt1-1024x256-11-levels.dds", make_texture(dxt_fields("DXT1", 1024, 256, 11), blocks(1024, 256, 11, 8), 101)},
        {"dxt1-512x384-partial-group.dds", make_texture(dxt_fields("DXT1", 512, 384, 1), blocks(512, 384, 1, 8), 102)},
        {"dxt1-6x10-odd-sides.dds", make_texture(dxt_fields("DXT1", 6, 10, 2), blocks(6, 10, 2, 8), 103)},
        {"dxt1-4x4.dds", make_texture(dxt_fields("DXT1", 4, 4, 1), 8, 104)},
        {"dxt3-512x256-10-levels.dds", make_texture(dxt_fields("DXT3", 512, 256, 10), blocks(512, 256, 10, 16), 105)},
        {"dxt5-512x256-tail.dds", make_texture(dxt_fields("DXT5", 512, 256, 1), blocks(512, 256, 1, 16) + 3, 106)},
        {"dxt5-64x32-7-levels.dds", make_texture(dxt_fields("DXT5", 64, 32, 7), blocks(64, 32, 7, 16), 107)},
        // 32-bit pixels.
        {"rgba32-64x64-7-levels.dds", make_texture(rgba_fields(32, 64, 64, 7), pixels(64, 64, 7, 4), 201)},
        {"rgba32-64x16-non-square.dds", make_texture(rgba_fields(32, 64, 16, 7), pixels(64, 16, 7, 4), 202)},
        {"rgba32-1x64-column.dds", make_texture(rgba_fields(32, 1, 64, 7), pixels(1, 64, 7, 4), 203)},
        {"rgba32-16x16-mip-count-0.dds", make_texture(rgba_fields(32, 16, 16, 0), pixels(16, 16, 1, 4), 204)},
        {"rgba32-8x8-mip-count-255.dds", make_texture(rgba_fields(32, 8, 8, 255), pixels(8, 8, 4, 4), 205)},
        {"rgba32-8x8-mip-count-127.dds", make_texture(rgba_fields(32, 8, 8, 127), pixels(8, 8, 4, 4), 206)},
        // 16-bit pixels, with an odd payload length.
        {"rgba16-32x32-6-levels-odd.dds", make_texture(rgba_fields(16, 32, 32, 6), pixels(32, 32, 6, 2) + 1, 301)},
        {"rgba16-2x8.dds", make_texture(rgba_fields(16, 2, 8, 1), pixels(2, 8, 1, 2), 302)},
        // A cube map, and the DX10 extension.
        {"cube-dxt1-32x32-6-levels.dds", make_texture(cube, 6 * blocks(32, 32, 6, 8) + 3, 108)},
        {"dx10-bc3-64x32-7-levels.dds", make_texture(dx10_fields(77, 64, 32, 7), blocks(64, 32, 7, 16), 109)},
        {"dx10-cube-r8g8b8a8-8x8.dds", make_texture(dx10_fields(28, 8, 8, 4, 0x4), 6 * pixels(8, 8, 4, 4), 207)},
        // 8-bit luminance.
        {"luminance-64x32-7-levels.dds", make_texture(luminance_fields(64, 32, 7), pixels(64, 32, 7, 1), 401)},
        // Refused.
        {"refused-truncated.dds", make_texture(rgba_fields(32, 16, 16, 5), 1023, 501)},
        {"refused-rgb24.dds", make_texture({16, 16, 1, {}, 0x40, 24}, 768, 502)},
        {"refused-volume.dds", make_texture(volume, 4096, 507)},
        {"refused-side-not-power-of-two.dds", make_texture(rgba_fields(32, 12, 16, 1), 768, 503)},
        {"refused-negative-width.dds", make_texture(dxt_fields("DXT1", -512, 256, 1), 1024, 504)},
        {"refused-header-size-field.dds", wrong_size_field},
        {"refused-header-only.dds", header_only},
    };
}

// Control bytes of the walk fuzzer's input (see walk_fuzzer.cpp), then the
// source buffer.
std::vector<std::byte> walk_input(std::uint8_t kind, std::int32_t width, std::int32_t height, std::int8_t levels,
                                  std::uint8_t shortfall, std::size_t source_size, std::uint32_t seed) {
    std::vector<std::byte> bytes(11);
    bytes[0] = static_cast<std::byte>(kind);
    put_u32(bytes, 1, static_cast<std::uint32_t>(width));
    put_u32(bytes, 5, static_cast<std::uint32_t>(height));
    bytes[9] = static_cast<std::byte>(levels);
    bytes[10] = static_cast<std::byte>(shortfall);
    const std::vector<std::byte> source = random_bytes(source_size, seed);
    bytes.insert(bytes.end(), source.begin(), source.end());
    return bytes;
}

std::vector<Seed> walk_seeds() {
    return {
        // kind 4: pixel walk, 4 bytes per pixel; kind 129 (129 % 3 == 0): 8-byte blocks; 130: 16-byte blocks.
        {"pixels4-64x32-7-levels", walk_input(4, 64, 32, 7, 0, pixels(64, 32, 7, 4), 601)},
        {"pixels3-12x20-not-power-of-two", walk_input(3, 12, 20, 3, 0, pixels(12, 20, 3, 3), 602)},
        {"pixels2-1x128-column", walk_input(2, 1, 128, 8, 0, pixels(1, 128, 8, 2), 603)},
        {"pixels1-256x256-short-buffer", walk_input(1, 256, 256, 9, 2, 4096, 604)},
        {"blocks8-512x256-one-group", walk_input(129, 512, 256, 2, 0, 65536 + 16384, 605)},
        {"blocks16-6x10-odd-sides", walk_input(130, 6, 10, 2, 1, 96, 606)},
        {"blocks8-negative-width", walk_input(129, -512, 256, 1, 0, 256, 607)},
    };
}

}  // namespace

bool write_seeds(const std::filesystem::path& folder, const std::vector<Seed>& seeds) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const Seed& seed : seeds) {
        std::ofstream out(folder / seed.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seed.bytes.data()), static_cast<std::streamsize>(seed.bytes.size()));
        out.close();
        if (!out) {
            static_cast<void>(std::fprintf(stderr, "cannot write %s\n", (folder / seed.name).string().c_str()));
            return false;
        }
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        static_cast<void>(std::fputs("usage: ddsswizzle_make_corpus FOLDER (writes FOLDER/corpus and FOLDER/corpus-walks)\n", stderr));
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    return write_seeds(folder / "corpus", seeds()) && write_seeds(folder / "corpus-walks", walk_seeds()) ? 0 : 1;
}
