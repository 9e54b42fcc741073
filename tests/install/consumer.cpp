// Built against an installed ddsswizzle with find_package: the C++ wrappers
// of ddsswizzle.hpp swizzle the worked 4 x 4 surface of 32-bit pixels for
// the Xbox 360, where pixel (0, 2) lands at byte 256, its bytes reversed.
#include <ddsswizzle/ddsswizzle.hpp>

#include <array>
#include <cstdio>
#include <vector>

int main() {
    const ddsswizzle::Surface surface{.format = 87, .width = 4, .height = 4};
    std::uint64_t linear_size = 0, console_size = 0;
    if (ddsswizzle::sizes(surface, ddsswizzle::Console::x360, linear_size, console_size) != ddsswizzle::Status::ok ||
        linear_size != 64 || console_size != 4096) {
        return 1;
    }
    std::array<std::byte, 64> linear{};
    linear[32] = std::byte{0x11};
    linear[35] = std::byte{0x44};
    std::vector<std::byte> console(console_size);
    const ddsswizzle::Status status =
        ddsswizzle::convert(surface, ddsswizzle::Console::x360, ddsswizzle::Direction::swizzle, linear, console);
    if (status != ddsswizzle::Status::ok || console[256] != std::byte{0x44} || console[259] != std::byte{0x11}) {
        std::fprintf(stderr, "consumer.cpp: %s\n", ddsswizzle::message(status).data());
        return 1;
    }
    std::printf("consumer.cpp: ddsswizzle %s converts\n", ddsswizzle::version().data());
    return 0;
}
