#!/usr/bin/env bash
# Builds the benchmarks in build-bench/ and prints each level walk's
# throughput as a ratio to memcpy of the same bytes (medians of REPETITIONS
# runs, default 9, with the repetitions of all benchmarks interleaved in
# random order so that a change in the machine's load hits all of them alike).
# Never part of the test suite.
#
#   bench/run.sh [extra Google Benchmark flags]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench > /dev/null
cmake --build --preset bench
build-bench/bench/ddsswizzle_walk_bench \
  --benchmark_repetitions="${REPETITIONS:-9}" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out=build-bench/walk_bench.json --benchmark_out_format=json "$@"
echo
python3 bench/ratios.py build-bench/walk_bench.json
