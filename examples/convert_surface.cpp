// Example of the C++ interface: a texture cut out of a game container and
// turned from the console's layout into the linear layout of a DDS file.
//
//   convert_surface ps3|x360 CONTAINER OFFSET FORMAT WIDTH HEIGHT LEVELS OUTPUT
//   convert_surface x360 textures.bin 8192 BC3_UNORM 256 256 9 linear.bin
//
// A real tool reads where the texture starts and what it is from the
// container's own header; here they are arguments. OUTPUT receives the linear
// bytes: the payload of a DDS file, levels from the largest.
#include <ddsswizzle/ddsswizzle.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

namespace {

int fail(std::string_view what) {
    std::fprintf(stderr, "convert_surface: %.*s\n", static_cast<int>(what.size()), what.data());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 9) return fail("usage: convert_surface ps3|x360 CONTAINER OFFSET FORMAT WIDTH HEIGHT LEVELS OUTPUT");
    const auto console = std::string_view(argv[1]) == "ps3" ? ddsswizzle::Console::ps3 : ddsswizzle::Console::x360;
    const std::uint64_t offset = std::strtoull(argv[3], nullptr, 10);
    ddsswizzle::Surface surface;
    if (!ddsswizzle::format_number(argv[4], surface.format)) return fail("no DXGI format has that name");
    surface.width = std::atoi(argv[5]);
    surface.height = std::atoi(argv[6]);
    surface.levels = std::atoi(argv[7]);

    // The sizes first: how many bytes the texture takes in the container
    // (console_size) and how many its linear form needs. A surface the
    // console cannot hold is refused here, with the tool's message.
    std::uint64_t linear_size = 0;
    std::uint64_t console_size = 0;
    ddsswizzle::Status status = ddsswizzle::sizes(surface, console, linear_size, console_size);
    if (status != ddsswizzle::Status::ok) return fail(ddsswizzle::message(status));

    // The payload: console_size bytes at the offset, or as many as the
    // container still has there. The buffers are ours; the library only
    // reads the one and writes the other.
    std::vector<std::byte> payload(console_size);
    std::ifstream container(argv[2], std::ios::binary);
    if (!container) return fail("cannot open the container");
    container.seekg(static_cast<std::streamoff>(offset));
    container.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(payload.size()));
    payload.resize(static_cast<std::size_t>(container.gcount()));

    // A payload cut short is refused ("Texture data is truncated"), and
    // nothing is written to linear.
    std::vector<std::byte> linear(linear_size);
    status = ddsswizzle::convert(surface, console, ddsswizzle::Direction::unswizzle, payload, linear);
    if (status != ddsswizzle::Status::ok) return fail(ddsswizzle::message(status));

    std::ofstream output(argv[8], std::ios::binary);
    output.write(reinterpret_cast<const char*>(linear.data()), static_cast<std::streamsize>(linear.size()));
    if (!output.flush()) return fail("cannot write the output");
    std::printf("%llu bytes of the container at %llu -> %llu linear bytes\n",
                static_cast<unsigned long long>(console_size), static_cast<unsigned long long>(offset),
                static_cast<unsigned long long>(linear_size));
    return 0;
}
