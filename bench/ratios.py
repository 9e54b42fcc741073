#!/usr/bin/env python3
"""Prints the walk benchmark's medians as ratios to memcpy of the same bytes.

Reads the JSON that ddsswizzle_walk_bench writes with
--benchmark_format=json --benchmark_repetitions=N and prints a Markdown table.
"""
import json
import sys

SIDE = 4096
VOLUME_SIDE = 256

LABELS = {
    "pixel_swizzle": "swizzle, Morton order",
    "pixel_unswizzle": "unswizzle, Morton order",
    "float_swizzle": "swizzle, Morton order of 32-bit words",
    "float_unswizzle": "unswizzle, Morton order of 32-bit words",
    "volume_swizzle": f"{VOLUME_SIDE} x {VOLUME_SIDE} x {VOLUME_SIDE} volume, swizzle, 3D Morton order",
    "volume_unswizzle": f"{VOLUME_SIDE} x {VOLUME_SIDE} x {VOLUME_SIDE} volume, unswizzle, 3D Morton order",
    "block_swizzle": "swizzle, block tiling",
    "block_unswizzle": "unswizzle, block tiling",
    "x360_swizzle": "swizzle, Xbox 360 tiling",
    "x360_unswizzle": "unswizzle, Xbox 360 tiling",
    "plain_swizzle": "swizzle, plain column-major walk",
    "plain_unswizzle": "unswizzle, plain column-major walk",
}


# Each walk also a piece at a time ("<kind>_pieces"), listed after it.
LABELS = {name: text for kind, label in LABELS.items()
          for name, text in ((kind, label), (f"{kind}_pieces", f"{label}, in 4 MiB pieces"))}


def compressed(kind, arg):
    """Block tiling levels are always DXT; Xbox 360 levels are DXT from 8-byte blocks on."""
    return kind.startswith("block") or (kind.startswith("x360") and arg >= 8)


def level_bytes(kind, arg):
    if kind.startswith("float"):
        texels = SIDE * 4 // arg  # a level 4096 words wide
        return texels * texels * arg
    if compressed(kind, arg):
        return SIDE * SIDE * arg // 16
    if kind.startswith("volume"):
        return VOLUME_SIDE ** 3 * arg
    return SIDE * SIDE * arg


def describe(kind, arg):
    if kind.startswith("float"):
        texels = SIDE * 4 // arg
        name = "R16G16B16A16_FLOAT" if arg == 8 else "R32G32B32A32_FLOAT"
        return f"{texels} x {texels} {name} ({arg}-byte texels)"
    if compressed(kind, arg):
        return "DXT5 (16-byte blocks)" if arg == 16 else "DXT1 (8-byte blocks)"
    return f"{arg}-byte pixels"


def main(path):
    with open(path, encoding="utf-8") as handle:
        runs = json.load(handle)["benchmarks"]
    medians = {}
    for run in runs:
        if run.get("aggregate_name") != "median":
            continue
        kind, _, arg = run["run_name"].split("/")[:3]
        medians[(kind, int(arg))] = run["bytes_per_second"]
    memcpy = {arg: rate for (kind, arg), rate in medians.items() if kind == "memcpy"}
    print(f"| level ({SIDE} x {SIDE} unless named) | bytes | GB/s | x memcpy |")
    print("|---|---|---|---|")
    order = list(LABELS)
    rows = sorted((key for key in medians if key[0] != "memcpy"),
                  key=lambda key: (order.index(key[0]) if key[0] in order else len(order), -key[1]))
    for kind, arg in rows:
        rate = medians[(kind, arg)]
        size = level_bytes(kind, arg)
        base = memcpy.get(size)
        ratio = f"{rate / base:.2f}" if base else "n/a"
        print(f"| {LABELS.get(kind, kind)}, {describe(kind, arg)} | {size >> 20} MiB | {rate / 1e9:.2f} | {ratio} |")
    for size, rate in sorted(memcpy.items(), reverse=True):
        print(f"| memcpy | {size >> 20} MiB | {rate / 1e9:.2f} | 1.00 |")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build-bench/walk_bench.json")
