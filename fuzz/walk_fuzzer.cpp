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
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "layout/block_tiling.h"
#include "layout/morton.h"

namespace {

using ddsswizzle::Direction;

void require(bool holds, const char* what) {
    if (!holds) {
        static_cast<void>(std::fprintf(stderr, "\nbroken guarantee: %s\n", what));
        std::abort();
    }
}

std::int32_t load_int32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8U) |
                                     (std::uint32_t{bytes[2]} << 16U) | (std::uint32_t{bytes[3]} << 24U));
}

bool is_power_of_two(std::int32_t v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 11) return 0;
    const bool blocks = data[0] >= 128;
    const std::uint32_t sizes[3] = {8, 16, data[0] % 32U};
    const std::uint32_t element = blocks ? sizes[data[0] % 3] : data[0] % 9U;
    const ddsswizzle::LevelChain chain{load_int32(data + 1), load_int32(data + 5), static_cast<std::int8_t>(data[9])};
    const std::span source(reinterpret_cast<const std::byte*>(data + 11), size - 11);
    const std::size_t result_size = source.size() - std::min<std::size_t>(data[10] % 4U, source.size());
    // Where the layout is one-to-one (only whole block groups are permuted),
    // so that the other direction undoes it.
    const bool one_to_one = blocks || chain.width <= 0 || chain.height <= 0 ||
                            (is_power_of_two(chain.width) && is_power_of_two(chain.height));
    const auto walk = [&](std::span<const std::byte> from, Direction direction, std::byte fill) {
        std::vector<std::byte> result(result_size, fill);
        if (blocks) {
            ddsswizzle::convert_block_levels(element, chain, from, result, direction);
        } else {
            ddsswizzle::convert_pixel_levels(element, chain, from, result, direction);
        }
        return result;
    };
    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        // Two different fills: a byte the walk did not write would differ.
        const std::vector<std::byte> once = walk(source, direction, std::byte{0x00});
        require(once == walk(source, direction, std::byte{0xFF}), "every byte of the result is written");
        if (result_size == source.size() && one_to_one) {
            const Direction back = direction == Direction::swizzle ? Direction::unswizzle : Direction::swizzle;
            const std::vector<std::byte> restored = walk(once, back, std::byte{0x00});
            require(std::equal(restored.begin(), restored.end(), source.begin(), source.end()),
                    "the other direction undoes the walk");
        }
    }
    return 0;
}
