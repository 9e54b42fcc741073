#!/usr/bin/env bash
# Runs the texture fuzzer for a bounded time and fails on any finding: a
# broken guarantee, a sanitizer report, a leak, an input slower than 10 s or
# a run above 2 GiB of memory.
#
#   fuzz/run_fuzzer.sh [SECONDS [TARGET [LIBFUZZER_OPTION...]]]
#
# SECONDS defaults to 60. TARGET is texture (the default: whole texture
# files, seeds in fuzz/corpus), walks (the level walks on their own, seeds
# in fuzz/corpus-walks) or containers (GTF and XPR2 files, seeds in
# fuzz/corpus-containers). The fuzzers must have been built by the fuzz preset
# (cmake --workflow --preset fuzz). The committed seeds are read but never
# changed; inputs the run finds interesting go to a scratch folder that is
# removed afterwards. A failing input is kept in build-fuzz/fuzz-findings/
# and printed as a path to rerun it with.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
target=${2:-texture}
shift $(($# < 2 ? $# : 2))
case $target in
  texture) seeds=fuzz/corpus dictionary=(-dict=fuzz/texture.dict) max_len=1048576 ;;
  walks) seeds=fuzz/corpus-walks dictionary=() max_len=1048576 ;;
  # Every call checks the whole table, so tables are kept to a few thousand entries.
  containers) seeds=fuzz/corpus-containers dictionary=() max_len=131072 ;;
  *) echo "unknown fuzz target '$target': texture, walks or containers" >&2; exit 2 ;;
esac
fuzzer=build-fuzz/fuzz/ddsswizzle_fuzz_$target
findings=build-fuzz/fuzz-findings
if [[ ! -x $fuzzer ]]; then
  echo "no fuzzer at $fuzzer: run 'cmake --workflow --preset fuzz' first" >&2
  exit 2
fi

# The scratch folder holds the files the texture fuzzer converts on disk. In
# memory (/dev/shm) where there is one: on a disk every conversion's two
# flushes (the file, then its folder) would take most of the run's time.
base=${TMPDIR:-/tmp}
[[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
scratch=$(mktemp -d "$base/ddsswizzle-fuzz-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/corpus" "$scratch/artifacts" "$scratch/tmp"
log=$scratch/fuzzer.log

status=0
TMPDIR=$scratch/tmp ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
  "${dictionary[@]}" -print_final_stats=1 -artifact_prefix="$scratch/artifacts/" "$@" \
  "$scratch/corpus" "$seeds" >"$log" 2>&1 || status=$?

# libFuzzer's last status line, e.g. "#123456 DONE cov: 600 ft: 1500 corp: 80/3Mb ... exec/s: 2000".
last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
echo "fuzzer $target: ${last:-no status line}"
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb):' "$log" |
  sed "s/^stat::/fuzzer $target: /" || true

artifacts=("$scratch"/artifacts/*)
if ((status != 0)) || [[ -e ${artifacts[0]} ]]; then
  echo "fuzzer $target FAILED (exit status $status); the end of its log:"
  tail -n 80 "$log"
  mkdir -p "$findings"
  for artifact in "${artifacts[@]}"; do
    [[ -e $artifact ]] || continue
    cp "$artifact" "$findings/"
    echo "kept $findings/$(basename "$artifact"); rerun with: $fuzzer $findings/$(basename "$artifact")"
  done
  exit 1
fi
if [[ -n "$(ls -A "$scratch/tmp")" ]]; then
  echo "fuzzer $target FAILED: it left files in its temporary folder"
  exit 1
fi
echo "fuzzer $target: no findings in ${seconds} s"
