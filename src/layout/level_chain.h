// The records every layout transform works from: which way a conversion
// runs, and the shape of the mip chain (of a 2D texture or of a volume) being
// converted.
#pragma once

#include <cstdint>

namespace ddsswizzle {

// swizzle reads linear data and writes console layout; unswizzle reads console
// layout and writes linear data. Each layout uses one index rule f for both
// ways: swizzle sends the element at linear position i to position f(i),
// unswizzle reads the element at f(i) and puts it at linear position i.
enum class Direction { swizzle, unswizzle };

// Top level size in pixels and the number of mip levels. Each following level
// is half as wide and half as high as the one before (integer division, no
// lower bound of 1), and the levels are stored one after another from the
// largest with no gaps between them.
struct LevelChain {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t level_count = 1;
};

// Top level size of a volume texture in pixels and the number of mip levels.
// Level l is max(1, width >> l) x max(1, height >> l) x max(1, depth >> l)
// pixels: unlike a 2D chain, no side drops below 1. A level is stored slice
// after slice (z outermost), rows inside a slice, and the levels one after
// another from the largest with no gaps between them.
struct VolumeChain {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 1;
    std::int32_t level_count = 1;
};

}  // namespace ddsswizzle
