// A 4096 x 4096 texture with all its 13 levels taken out of a container as
// a DDS file (extract) and put back (replace), in memory, next to the
// conversion of the same surface by ddsswizzle::convert: the Xbox 360 in
// an XPR2 file (DXT1 and 32-bit pixels, tiled with the packed tail), the
// PS3 in a GTF file (32-bit pixels in Morton order, DXT1 in plain blocks).
// bench/containers.sh prints the ratios of the medians.
//
// Benchmark names: NAME/CONSOLE/FORMAT, NAME convert_unswizzle, extract,
// convert_swizzle or replace; CONSOLE 0 PS3, 1 Xbox 360; FORMAT the DXGI
// number (71 BC1, 87 B8G8R8A8).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <utility>

#include "ddsswizzle/ddsswizzle.hpp"
#include "support/container_builder.h"

namespace {

using namespace ddsswizzle::testing;

constexpr std::uint32_t side = 4096, levels = 13;

struct Case {
    std::vector<std::byte> container, dds;
    ddsswizzle::Surface surface;
};

// Built once per console and format, from the containers' rules.
const Case& container_case(int console, std::uint32_t format) {
    static std::map<std::pair<int, std::uint32_t>, Case> cases;
    Case& c = cases[{console, format}];
    if (!c.container.empty()) return c;
    const Built* built = nullptr;
    std::vector<GtfTexture> gtf;
    std::vector<XprTexture> xpr;
    if (console == 0) {
        gtf = {{.format = std::uint8_t(format == 71 ? 0x86 : 0x85), .width = side, .height = side, .levels = levels}};
        c.container = build_gtf(gtf);
        built = &gtf[0].built;
    } else {
        xpr = {{.format = format == 71 ? 0x12U : 0x06U, .endian = format == 71 ? 1U : 2U, .width = side, .height = side, .levels = levels}};
        c.container = build_xpr2(xpr);
        built = &xpr[0].built;
    }
    c.dds = make_header(dx10_fields(format, side, side, levels));
    c.dds.insert(c.dds.end(), built->linear.begin(), built->linear.end());
    c.surface = {format, side, side, 1, levels};
    return c;
}

void run(benchmark::State& state) {
    const auto what = state.range(0);
    const int console = static_cast<int>(state.range(1));
    const auto format = static_cast<std::uint32_t>(state.range(2));
    const Case& c = container_case(console, format);
    const auto on = static_cast<ddsswizzle::Console>(console);
    std::uint64_t linear = 0, image = 0;
    if (ddsswizzle::sizes(c.surface, on, linear, image) != ddsswizzle::Status::ok) std::abort();
    std::vector<std::byte> source(std::max(linear, image), std::byte{1}), result(std::max<std::size_t>(c.container.size(), c.dds.size() + image));
    std::size_t written = 0;
    for (auto _ : state) {
        bool ok = false;
        switch (what) {
            case 0: ok = ddsswizzle::convert(c.surface, on, ddsswizzle::Direction::unswizzle, std::span(source).first(image), result) == ddsswizzle::Status::ok; break;
            case 1: ok = ddsswizzle_extract(c.container.data(), c.container.size(), 0, result.data(), result.size(), &written, nullptr) == DDSSWIZZLE_OK; break;
            case 2: ok = ddsswizzle::convert(c.surface, on, ddsswizzle::Direction::swizzle, std::span(source).first(linear), result) == ddsswizzle::Status::ok; break;
            default: ok = ddsswizzle::replace(c.container, 0, c.dds, std::span(result).first(c.container.size()), written) == ddsswizzle::Status::ok;
        }
        if (!ok) std::abort();
        benchmark::ClobberMemory();
    }
}

void arguments(benchmark::internal::Benchmark* b) {
    for (std::int64_t console : {0, 1}) {
        for (std::int64_t format : {71, 87}) {
            for (std::int64_t what : {0, 1, 2, 3}) b->Args({what, console, format});
        }
    }
}

}  // namespace

BENCHMARK(run)->Apply(arguments)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
