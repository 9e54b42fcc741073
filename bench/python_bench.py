#!/usr/bin/env python3
"""Times the Python module ddsswizzle against the library's C++ call.

    /usr/bin/python3 bench/python_bench.py [BUILD_DIR] [--repetitions N]

BUILD_DIR (default build-bench) must hold the module (python/) and
bench/ddsswizzle_api_bench, as `cmake --preset bench && cmake --build
--preset bench` leaves them. Never part of the test suite. Prints Markdown
tables of medians over N rounds (default 9); in each round every case runs
for a fifth of a second in C++ and right after in Python, the cases in
random order, so that a change in the machine's load hits both alike:

1. swizzle and unswizzle of a 4096 x 4096 level of 32-bit pixels and of DXT5
   blocks, on each console, from Python with out= preallocated and from C++
   (bench/api_bench.cpp) on buffers of the same kind (plain heap memory,
   bytearray on the Python side): the ratio Python / C++ (target: 1.15 at
   most);
2. the cost of a Python call on a 64 x 64 surface of 32-bit pixels, with out=
   and with a new bytes object, against the C++ call, in microseconds;
3. what the package's Python layer (argument checks, names) adds to the call
   of its native part on a 64 x 64 DXT1 surface, with out= (target: 3 us at
   most);
4. convert_dds over a batch of DDS files in a thread pool of 2 threads
   against 1 (three times the rounds): the module releases the GIL while it
   converts, which the process's CPU time over the wall time shows (near 2
   when both threads convert at once, 1 when they take turns). On a machine
   shared with other work this is the figure that suffers first: a second
   thread only helps while a second core is free.
"""
import argparse
import json
import os
import random
import statistics
import struct
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

FORMATS = {87: "32-bit pixels", 77: "DXT5"}
CONSOLES = ["ps3", "x360"]
DIRECTIONS = ["swizzle", "unswizzle"]


def cpp_cases(build):
    """The C++ program's cases, (format, side, console, direction) each."""
    done = subprocess.run([str(build / "bench" / "ddsswizzle_api_bench"), "--benchmark_list_tests=true"],
                          capture_output=True, text=True, check=True)
    cases = []
    for name in done.stdout.split():
        format, side, console, direction = map(int, name.split("/")[1:5])
        cases.append((format, side, CONSOLES[console], DIRECTIONS[direction]))
    return cases


def cpp_seconds(build, case, seconds):
    """Seconds per call of one case in C++, over about `seconds` of calls."""
    format, side, console, direction = case
    name = f"convert/{format}/{side}/{CONSOLES.index(console)}/{DIRECTIONS.index(direction)}/"
    done = subprocess.run([str(build / "bench" / "ddsswizzle_api_bench"), f"--benchmark_filter=^{name}",
                           f"--benchmark_min_time={seconds}", "--benchmark_format=json"],
                          capture_output=True, text=True, check=True)
    run = json.loads(done.stdout)["benchmarks"][0]
    return run["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]


def python_calls(ddsswizzle, case):
    """The module's call for a case on a bytearray: into a preallocated bytearray, and into a new bytes object."""
    format, side, console, direction = case
    surface = dict(console=console, format=format, width=side, height=side)
    linear, tiled = ddsswizzle.linear_size(**surface), ddsswizzle.console_size(**surface)
    source = bytearray(random.Random(side).randbytes(linear if direction == "swizzle" else tiled))
    out = bytearray(tiled if direction == "swizzle" else linear)
    function = getattr(ddsswizzle, direction)
    return {"out": lambda: function(source, out=out, **surface), "bytes": lambda: function(source, **surface)}


def python_seconds(call, seconds):
    """Seconds per call, over about `seconds` of calls (every page touched first)."""
    call()
    start = time.perf_counter()
    call()
    count = max(1, int(seconds / max(time.perf_counter() - start, 1e-9)))
    start = time.perf_counter()
    for _ in range(count):
        call()
    return (time.perf_counter() - start) / count


def compare(ddsswizzle, build, repetitions, seconds=0.2):
    """Median seconds per call of each case in C++ and in Python (out= and bytes): in each round every case
    runs once in C++ and right after in Python, the cases in random order, so that the load of the machine
    at any moment weighs on both alike."""
    cases = cpp_cases(build)
    samples = {(case, kind): [] for case in cases for kind in ("cpp", "out", "bytes")}
    shuffle = random.Random(0)
    for _ in range(repetitions):
        for case in shuffle.sample(cases, len(cases)):
            samples[(case, "cpp")].append(cpp_seconds(build, case, seconds))
            calls = python_calls(ddsswizzle, case)
            samples[(case, "out")].append(python_seconds(calls["out"], seconds))
            if case[1] == 64:
                samples[(case, "bytes")].append(python_seconds(calls["bytes"], seconds))
    return cases, {key: statistics.median(values) for key, values in samples.items() if values}


def layer_cost(ddsswizzle, repetitions, seconds=0.1):
    """Median seconds per call on a 64 x 64 DXT1 surface into out=, through the package and straight into its
    native part, for each console and direction."""
    native = ddsswizzle._native
    samples = {}
    for console in CONSOLES:
        for direction in DIRECTIONS:
            surface = dict(console=console, format="BC1_UNORM", width=64, height=64)
            sizes = ddsswizzle.linear_size(**surface), ddsswizzle.console_size(**surface)
            way = DIRECTIONS.index(direction)
            source, out = bytearray(sizes[way]), bytearray(sizes[1 - way])
            function = getattr(ddsswizzle, direction)
            calls = {"package": lambda: function(source, out=out, **surface),
                     "native": lambda: native.convert(way, source, CONSOLES.index(console), 71, 64, 64, 1, 1, False,
                                                      out)}
            for kind, call in calls.items():
                samples[(console, direction, kind)] = statistics.median(
                    python_seconds(call, seconds) for _ in range(repetitions))
    return samples


def dds_file(width, height, levels, seed):
    """A legacy DDS file of 32-bit pixels (A8R8G8B8) with a random payload."""
    head = bytearray(128)
    struct.pack_into("<4s4I", head, 0, b"DDS ", 124, 0x2100F, height, width)
    struct.pack_into("<I", head, 28, levels)
    struct.pack_into("<2I4sI", head, 76, 32, 0x41, b"\0\0\0\0", 32)
    length = sum(max(1, width >> level) * max(1, height >> level) * 4 for level in range(levels))
    return bytes(head) + random.Random(seed).randbytes(length)


def thread_scaling(ddsswizzle, repetitions, files=16):
    """Median seconds to convert the batch with 1 and with 2 threads, and its bytes."""
    batch = [dds_file(1024, 1024, 11, seed) for seed in range(files)]
    convert = lambda data: ddsswizzle.convert_dds(data, "swiz", "x360")  # noqa: E731
    pools = {threads: ThreadPoolExecutor(threads) for threads in (1, 2)}
    samples = {threads: [] for threads in pools}
    busy = {threads: [] for threads in pools}
    for threads, pool in pools.items():
        list(pool.map(convert, batch))  # threads started, memory touched
    order = [threads for threads in pools for _ in range(repetitions)]
    random.Random(1).shuffle(order)
    for threads in order:
        start, cpu = time.perf_counter(), time.process_time()
        list(pools[threads].map(convert, batch))
        samples[threads].append(time.perf_counter() - start)
        busy[threads].append((time.process_time() - cpu) / samples[threads][-1])
    for pool in pools.values():
        pool.shutdown()
    return ({threads: statistics.median(values) for threads, values in samples.items()},
            {threads: statistics.median(values) for threads, values in busy.items()}, sum(map(len, batch)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", nargs="?", default="build-bench", type=Path)
    parser.add_argument("--repetitions", type=int, default=9)
    args = parser.parse_args()
    build = args.build.resolve()
    sys.path.insert(0, str(build / "python"))
    import ddsswizzle  # noqa: E402 (from the build folder)

    cases, medians = compare(ddsswizzle, build, args.repetitions)
    load = ", ".join(f"{value:.1f}" for value in os.getloadavg())
    print(f"ddsswizzle {ddsswizzle.__version__}, {os.cpu_count()} cores (load average {load}), medians of "
          f"{args.repetitions} rounds\n")

    print("| 4096 x 4096 level | console | direction | C++ ms | Python (out=) ms | Python / C++ |")
    print("|---|---|---|---|---|---|")
    for case in sorted(cases, key=lambda case: (-case[0], case[2], case[3])):
        if case[1] == 4096:
            c, p = medians[(case, "cpp")], medians[(case, "out")]
            print(f"| {FORMATS[case[0]]} | {case[2]} | {case[3]} | {c * 1e3:.2f} | {p * 1e3:.2f} | {p / c:.3f} |")

    print("\n| 64 x 64, 32-bit pixels | console | direction | C++ us | Python out= us | Python bytes us |"
          " call cost (out=) us |")
    print("|---|---|---|---|---|---|---|")
    for case in sorted(cases):
        if case[1] == 64:
            c, out, new = (medians[(case, kind)] for kind in ("cpp", "out", "bytes"))
            print(f"| | {case[2]} | {case[3]} | {c * 1e6:.2f} | {out * 1e6:.2f} | {new * 1e6:.2f} |"
                  f" {(out - c) * 1e6:.2f} |")

    layer = layer_cost(ddsswizzle, args.repetitions)
    print("\n| 64 x 64 DXT1, out= | console | direction | native part us | package us | Python layer us |")
    print("|---|---|---|---|---|---|")
    for console in CONSOLES:
        for direction in DIRECTIONS:
            native, package = layer[(console, direction, "native")], layer[(console, direction, "package")]
            print(f"| | {console} | {direction} | {native * 1e6:.2f} | {package * 1e6:.2f} |"
                  f" {(package - native) * 1e6:.2f} |")

    # A batch takes only tens of milliseconds: three times the rounds.
    times, busy, total = thread_scaling(ddsswizzle, 3 * args.repetitions)
    print("\n| convert_dds, 16 files of 1024 x 1024 32-bit pixels, 11 levels, swiz x360 | seconds | MB/s |"
          " CPU time / wall time |")
    print("|---|---|---|---|")
    for threads, seconds in times.items():
        print(f"| {threads} thread{'s' if threads > 1 else ''} | {seconds:.3f} | {total / seconds / 1e6:.0f} |"
              f" {busy[threads]:.2f} |")
    print(f"\n2 threads against 1: {times[1] / times[2]:.2f} x the throughput (a CPU time above the wall time "
          "means both threads converted at once)")

if __name__ == "__main__":
    main()
