#!/usr/bin/env bash
# Builds the benchmarks in build-bench/ and prints, for a 4096 x 4096
# texture with its 13 levels in a GTF and an XPR2 container, what extract
# and replace cost next to the conversion of the same surface by
# ddsswizzle_convert (unswizzle and swizzle): ratios of the medians of
# REPETITIONS runs (default 9), interleaved in random order. Never part of
# the test suite.
#
#   bench/containers.sh [extra Google Benchmark flags]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench > /dev/null
cmake --build --preset bench --target ddsswizzle_container_bench
build-bench/bench/ddsswizzle_container_bench \
  --benchmark_repetitions="${REPETITIONS:-9}" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out=build-bench/container_bench.json --benchmark_out_format=json "$@"
echo
python3 - build-bench/container_bench.json <<'PY'
import json, sys
medians = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        what, console, fmt = b["run_name"].split("/")[1:4]
        medians[(what, console, fmt)] = b["real_time"]
names = {"0": "PS3 GTF", "1": "Xbox 360 XPR2"}
formats = {"71": "BC1", "87": "B8G8R8A8"}
for (what, console, fmt), time in sorted(medians.items()):
    if what in ("1", "3"):
        base = medians[(str(int(what) - 1), console, fmt)]
        word = "extract" if what == "1" else "replace"
        print(f"{names[console]:14} {formats[fmt]:9} {word}: {time:8.2f} ms, convert {base:8.2f} ms, ratio {time / base:.2f}")
PY
