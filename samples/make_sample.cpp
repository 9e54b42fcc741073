// Writes the sample texture shipped in samples/: a 64 x 64 32-bit RGBA
// gradient with its full chain of 7 mip levels, in linear (desktop) layout.
// Given a side (a power of two), writes the same gradient at that size with
// its full mip chain; given a class as well, in that surface class (16-bit
// A4R4G4B4 pixels, DXT1 / DXT5 blocks, or 64-bit half-float RGBA texels,
// which only the PS3 stores). The benchmarks use it for large textures and
// for folders of small ones of mixed classes.
//
//   ddsswizzle_make_sample OUTPUT.dds [SIDE [argb32|argb16|dxt1|dxt5|fp16]]
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint32_t sample_side = 64;
constexpr std::uint32_t max_side = 16384;

enum class SampleClass { argb32, argb16, dxt1, dxt5, fp16 };

struct ClassInfo {
    std::string_view name;
    SampleClass kind;
    std::uint32_t unit_side;   // 1 for pixels, 4 for the 4 x 4 pixel blocks of DXT
    std::uint32_t unit_bytes;  // bytes of one pixel or block
};

constexpr std::array<ClassInfo, 5> classes = {{
    {"argb32", SampleClass::argb32, 1, 4},
    {"argb16", SampleClass::argb16, 1, 2},
    {"dxt1", SampleClass::dxt1, 4, 8},
    {"dxt5", SampleClass::dxt5, 4, 16},
    {"fp16", SampleClass::fp16, 1, 8},
}};

void put_u32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void append_u16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

// Pixels or blocks across one side of a level (a block covers 4 x 4 pixels,
// and levels smaller than that still take one).
std::uint32_t units_across(const ClassInfo& info, std::uint32_t level_side) {
    return (level_side + info.unit_side - 1) / info.unit_side;
}

std::vector<std::uint8_t> sample_header(const ClassInfo& info, std::uint32_t side, std::uint32_t levels) {
    const bool blocks = info.unit_side > 1;
    std::vector<std::uint8_t> file(128, 0);
    put_u32(file, 0, 0x20534444);   // "DDS "
    put_u32(file, 4, 124);          // header size
    // caps, height, width, pixel format, mip count, and pitch or linear size
    put_u32(file, 8, blocks ? 0x000A1007 : 0x0002100F);
    put_u32(file, 12, side);        // height
    put_u32(file, 16, side);        // width
    const std::uint32_t across = units_across(info, side);
    put_u32(file, 20, blocks ? across * across * info.unit_bytes : side * info.unit_bytes);
    put_u32(file, 28, levels);      // mip-map count
    put_u32(file, 76, 32);          // pixel-format size
    put_u32(file, 108, 0x00401008); // complex, texture, mip-map
    if (info.kind == SampleClass::fp16) {
        put_u32(file, 80, 0x4);     // FourCC: Direct3D's format number 113, A16B16G16R16F
        put_u32(file, 84, 113);
        return file;
    }
    if (blocks) {
        put_u32(file, 80, 0x4);     // FourCC
        put_u32(file, 84, info.kind == SampleClass::dxt1 ? 0x31545844 : 0x35545844);  // "DXT1", "DXT5"
        return file;
    }
    put_u32(file, 80, 0x41);        // RGB with alpha
    put_u32(file, 88, info.unit_bytes * 8);  // bits per pixel
    const bool wide = info.kind == SampleClass::argb32;
    put_u32(file, 92, wide ? 0x00FF0000 : 0x0F00);   // red mask
    put_u32(file, 96, wide ? 0x0000FF00 : 0x00F0);   // green mask
    put_u32(file, 100, wide ? 0x000000FF : 0x000F);  // blue mask
    put_u32(file, 104, wide ? 0xFF000000 : 0xF000);  // alpha mask
    return file;
}

// A value from 0 to 1 as a half float: sign 0, 5 exponent bits biased by
// 15, 10 mantissa bits (values below 2^-14 are written as 0).
std::uint32_t half_bits(float value) {
    if (value < 0x1p-14F) return 0;
    int exponent = 0;
    const float mantissa = std::frexp(value, &exponent);  // value = mantissa x 2^exponent, mantissa in [0.5, 1)
    const auto fraction = static_cast<std::uint32_t>((mantissa * 2.0F - 1.0F) * 1024.0F);
    return (static_cast<std::uint32_t>(exponent - 1 + 15) << 10U) | (fraction & 0x3FFU);
}

// One pixel or block at (x, y) of a level: red across, green down, blue by
// level, so that every pixel differs from its neighbours and any misplaced
// pixel shows.
void append_unit(std::vector<std::uint8_t>& file, SampleClass kind, std::uint32_t level, std::uint32_t x,
                 std::uint32_t y, std::uint32_t side) {
    const auto red = static_cast<std::uint8_t>(x * 255 / side);
    const auto green = static_cast<std::uint8_t>(y * 255 / side);
    const auto blue = static_cast<std::uint8_t>(level * 36);
    switch (kind) {
    case SampleClass::argb32: {
        const std::array<std::uint8_t, 4> bgra = {blue, green, red, 0xFF};
        file.insert(file.end(), bgra.begin(), bgra.end());
        return;
    }
    case SampleClass::fp16:
        for (const std::uint8_t channel : {red, green, blue, std::uint8_t{0xFF}}) append_u16(file, half_bits(channel / 255.0F));
        return;
    case SampleClass::argb16:
        append_u16(file, 0xF000U | ((red >> 4U) << 8U) | ((green >> 4U) << 4U) | (blue >> 4U));
        return;
    case SampleClass::dxt5: {
        // Alpha block: both ends opaque, every index 0.
        const std::array<std::uint8_t, 8> alpha = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
        file.insert(file.end(), alpha.begin(), alpha.end());
        [[fallthrough]];
    }
    case SampleClass::dxt1: {
        // Colour block: two RGB 5:6:5 ends, then a 2-bit index a pixel.
        append_u16(file, ((red >> 3U) << 11U) | ((green >> 2U) << 5U) | (blue >> 3U));
        append_u16(file, ((green >> 3U) << 11U) | ((blue >> 2U) << 5U) | (red >> 3U));
        const std::array<std::uint8_t, 4> indices = {0x00, 0x55, 0xAA, 0xFF};
        file.insert(file.end(), indices.begin(), indices.end());
        return;
    }
    }
}

std::vector<std::uint8_t> sample_texture(const ClassInfo& info, std::uint32_t side) {
    std::uint32_t levels = 1;
    while ((side >> (levels - 1)) > 1) ++levels;
    std::vector<std::uint8_t> file = sample_header(info, side, levels);
    for (std::uint32_t level = 0, n = side; level < levels; ++level, n /= 2) {
        const std::uint32_t across = units_across(info, n);
        for (std::uint32_t y = 0; y < across; ++y) {
            for (std::uint32_t x = 0; x < across; ++x) {
                append_unit(file, info.kind, level, x * info.unit_side, y * info.unit_side, side);
            }
        }
    }
    return file;
}

const ClassInfo* find_class(std::string_view name) {
    for (const ClassInfo& info : classes) {
        if (info.name == name) return &info;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t side = argc >= 3 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : sample_side;
    const ClassInfo* info = argc == 4 ? find_class(argv[3]) : &classes[0];
    if (argc < 2 || argc > 4 || info == nullptr || side == 0 || side > max_side || (side & (side - 1)) != 0) {
        std::fputs("usage: ddsswizzle_make_sample OUTPUT.dds [SIDE [argb32|argb16|dxt1|dxt5|fp16]]\n"
                   "       (SIDE: a power of two up to 16384)\n",
                   stderr);
        return 2;
    }
    const std::vector<std::uint8_t> file = sample_texture(*info, side);
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
