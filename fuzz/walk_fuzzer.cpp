// libFuzzer target: the two level walks called directly with any chain, any
// element size and buffers of any length, as no validated texture would
// reach them. The walks promise to stay inside their buffers whatever the
// chain says (a level reaching past the buffers is copied, not converted),
// to write every byte of the result, and to be undone by the other
// direction where the layout is one-to-one.
//
// Input: byte 0 picks the walk and element size (below 128: the pixel walk
// with 0 to 8 bytes per pixel; from 128: the block walk with 8-byte,
// 16-byte or an unsupported block size), bytes 1-4 and 5-8 the width and
// height (signed, little-endian), byte 9 the level count (signed), byte 10
// how many bytes shorter than the source the result buffer is (0 to 3), and
// the rest is the source buffer.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "layout/block_tiling.h"
#include "layout/morton.h"

namespace {

using ddsswizzle::Direction;
using ddsswizzle::LevelChain;

void require(bool holds, const char* what) {
    if (!holds) {
        static_cast<void>(std::fprintf(stderr, "\nbroken guarantee: %s\n", what));
        std::abort();
    }
}

constexpr std::size_t control_bytes = 11;

struct WalkInput {
    bool blocks = false;
    std::uint32_t element_bytes = 0;
    LevelChain chain{};
    std::size_t result_shortfall = 0;
    std::span<const std::byte> source;
};

std::int32_t load_int32(const std::uint8_t* bytes) {
    const std::uint32_t value = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8U) |
                                (std::uint32_t{bytes[2]} << 16U) | (std::uint32_t{bytes[3]} << 24U);
    return static_cast<std::int32_t>(value);
}

WalkInput parse(const std::uint8_t* data, std::size_t size) {
    WalkInput input;
    const std::uint8_t kind = data[0];
    input.blocks = kind >= 128;
    if (input.blocks) {
        constexpr std::array<std::uint32_t, 3> sizes = {8, 16, 0};
        input.element_bytes = sizes[kind % 3] != 0 ? sizes[kind % 3] : kind % 32;
    } else {
        input.element_bytes = kind % 9;
    }
    input.chain.width = load_int32(data + 1);
    input.chain.height = load_int32(data + 5);
    input.chain.level_count = std::int32_t{static_cast<std::int8_t>(data[9])};  // signed on purpose: -128 to 127
    const std::size_t source_size = size - control_bytes;
    input.result_shortfall = std::min<std::size_t>(data[10] % 4, source_size);
    input.source = std::span(reinterpret_cast<const std::byte*>(data + control_bytes), source_size);
    return input;
}

std::vector<std::byte> walk(const WalkInput& input, std::span<const std::byte> source, std::size_t result_size,
                            Direction direction, std::byte fill) {
    std::vector<std::byte> result(result_size, fill);
    if (input.blocks) {
        ddsswizzle::convert_block_levels(input.element_bytes, input.chain, source, result, direction);
    } else {
        ddsswizzle::convert_pixel_levels(input.element_bytes, input.chain, source, result, direction);
    }
    return result;
}

constexpr bool is_power_of_two(std::int32_t v) { return v > 0 && (v & (v - 1)) == 0; }

// Where the layout is one-to-one, so that the other direction undoes it.
bool layout_is_one_to_one(const WalkInput& input) {
    if (input.blocks) return true;  // only whole groups are permuted
    const std::int32_t w = input.chain.width;
    const std::int32_t h = input.chain.height;
    return w <= 0 || h <= 0 || (is_power_of_two(w) && is_power_of_two(h));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < control_bytes) return 0;
    const WalkInput input = parse(data, size);
    const std::size_t result_size = input.source.size() - input.result_shortfall;

    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        // Two different fills: a byte the walk did not write would differ.
        const std::vector<std::byte> once = walk(input, input.source, result_size, direction, std::byte{0x00});
        const std::vector<std::byte> again = walk(input, input.source, result_size, direction, std::byte{0xFF});
        require(once == again, "every byte of the result is written");

        if (input.result_shortfall == 0 && layout_is_one_to_one(input)) {
            const Direction back = direction == Direction::swizzle ? Direction::unswizzle : Direction::swizzle;
            const std::vector<std::byte> restored = walk(input, once, result_size, back, std::byte{0x00});
            require(std::equal(restored.begin(), restored.end(), input.source.begin(), input.source.end()),
                    "the other direction undoes the walk");
        }
    }
    return 0;
}
