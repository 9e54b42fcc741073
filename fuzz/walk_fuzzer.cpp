// libFuzzer target: the level walks called directly with any chain, any
// element size and buffers of any length, as no validated texture would
// reach them. The walks promise to stay inside their buffers whatever the
// chain says, to give exactly what the bit-by-bit oracle of the tests gives
// (a level reaching past the buffers, or one the layout does not move, is
// copied), writing every byte of the result, and to be undone by the other
// direction.
//
// Input: byte 0 picks the walk and element size (from 128: the block walk
// with 8-byte, 16-byte or an unsupported block size; below 128 the pixel
// walk, of a volume from 64, with (byte 0 % 64) % 9 bytes per pixel), bytes
// 1-4 and 5-8 the width and height (signed, little-endian), byte 9 the level
// count (signed), byte 10 how many bytes shorter than the source the result
// buffer is (0 to 3), bytes 11-14 the depth of a volume, and the rest is the
// source buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "support/oracles.h"

namespace {

using ddsswizzle::Direction;

std::int32_t load_int32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8U) |
                                     (std::uint32_t{bytes[2]} << 16U) | (std::uint32_t{bytes[3]} << 24U));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 15) return 0;
    const bool blocks = data[0] >= 128, volume = !blocks && data[0] >= 64;
    const std::uint32_t sizes[3] = {8, 16, data[0] % 32U};
    const std::uint32_t element = blocks ? sizes[data[0] % 3] : data[0] % 64U % 9U;
    const ddsswizzle::VolumeChain chain{load_int32(data + 1), load_int32(data + 5), load_int32(data + 11),
                                        static_cast<std::int8_t>(data[9])};
    const ddsswizzle::LevelChain chain2d{chain.width, chain.height, chain.level_count};
    const std::vector<std::byte> source(reinterpret_cast<const std::byte*>(data + 15),
                                        reinterpret_cast<const std::byte*>(data + size));
    const std::size_t result_size = source.size() - std::min<std::size_t>(data[10] % 4U, source.size());
    const auto walk = [&](std::span<const std::byte> from, Direction direction) {
        std::vector<std::byte> result(result_size, std::byte{0xA5});
        if (blocks) ddsswizzle::convert_block_levels(element, chain2d, from, result, direction);
        if (volume) ddsswizzle::convert_volume_levels(element, chain, from, result, direction);
        if (!blocks && !volume) ddsswizzle::convert_pixel_levels(element, chain2d, from, result, direction);
        return result;
    };
    const std::vector<std::byte> head(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(result_size));
    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        const std::vector<std::byte> once = walk(source, direction);
        const std::vector<std::byte> expected = blocks ? ddsswizzle::testing::oracle_block_levels(element, chain2d, head, direction)
                                                       : ddsswizzle::testing::oracle_morton_levels(element, chain, volume, head, direction);
        const Direction back = direction == Direction::swizzle ? Direction::unswizzle : Direction::swizzle;
        if (once != expected || (result_size == source.size() && walk(once, back) != source)) {
            static_cast<void>(std::fprintf(stderr, "\nbroken guarantee: the walk differs from the oracle or is not undone\n"));
            std::abort();
        }
    }
    return 0;
}
