#!/usr/bin/env bash
# Times what a modder's script does: converting a folder of small textures,
# one process per file, in a shell loop. The same files are rewritten by the
# bare durable rewrite (bench/bare_rewrite.cpp: read, write a temporary file,
# fsync, rename; no conversion) in the same loop, the two taking turns, and
# the per-file times and their ratio are printed as medians of the rounds.
# A usage run of the tool (no arguments) is timed the same way against a C
# program that prints one line: the start-up cost alone.
#
# The textures: FILES of them (default 300), in turn 32-bit, 16-bit, DXT1 and
# DXT5, each class at 64 x 64, 128 x 128, 256 x 256 and 512 x 512, all with
# their full mip chains. Never part of the test suite.
#
#   bench/many_files.sh [BUILD_DIR] [FILES] [ROUNDS]   (defaults: build-bench, 300, 7)
#
# TOOL=path/to/ddsswizzle times another build of the tool against the same
# floor (for instance an older one).
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C  # EPOCHREALTIME with a decimal point
build=${1:-build-bench}
count=${2:-300}
rounds=${3:-7}
tool=${TOOL:-$build/ddsswizzle}
bare="$build/bench/ddsswizzle_bare_rewrite"
print_line="$build/bench/ddsswizzle_print_line"
make_sample="$build/ddsswizzle_make_sample"
for program in "$tool" "$bare" "$print_line" "$make_sample"; do
  [[ -x "$program" ]] || { echo "missing $program: build the bench preset first (bench/run.sh)" >&2; exit 1; }
done

# The folder lives in the build folder, on the same file system as the
# project, as a modder's textures would (fsync and rename cost differently
# on tmpfs).
work="$build/many-files"
rm -rf "$work" && mkdir -p "$work"
classes=(argb32 argb16 dxt1 dxt5)
files=()
for ((i = 0; i < count; i++)); do
  class=${classes[i % 4]}
  side=$((64 << (i / 4 % 4)))
  file=$(printf '%s/texture-%04d-%s-%d.dds' "$work" "$i" "$class" "$side")
  "$make_sample" "$file" "$side" "$class"
  files+=("$file")
done
bytes=$(cat "${files[@]}" | wc -c)

# Each round goes through the files once. Every file is converted by the
# tool and rewritten by the bare rewrite one right after the other, which of
# the two goes first alternating from file to file and from round to round,
# so that a change in the machine's load hits both alike. The times of each
# are added up over the round: per-file time = round total / files. The
# usage runs and the C program take turns the same way.
clock() { now=${EPOCHREALTIME/./}; }  # microseconds
tool_total=0 bare_total=0 usage_total=0 line_total=0
one_round() {  # ROUND_NUMBER; the tool converts to console layout in even rounds, back in odd ones
  local round=$1 mode=swiz i status start mid now
  ((round % 2 == 0)) || mode=unswiz
  tool_total=0 bare_total=0 usage_total=0 line_total=0
  for ((i = 0; i < count; i++)); do
    clock; start=$now
    if (((i + round) % 2 == 0)); then
      "$tool" "$mode" "${files[i]}" > /dev/null || { echo "ddsswizzle $mode ${files[i]} failed" >&2; return 1; }
      clock; mid=$now
      "$bare" "${files[i]}" > /dev/null
      clock
      ((tool_total += mid - start, bare_total += now - mid))
    else
      "$bare" "${files[i]}" > /dev/null
      clock; mid=$now
      "$tool" "$mode" "${files[i]}" > /dev/null || { echo "ddsswizzle $mode ${files[i]} failed" >&2; return 1; }
      clock
      ((bare_total += mid - start, tool_total += now - mid))
    fi
  done
  for ((i = 0; i < count; i++)); do  # as many usage runs; each must exit with 255
    status=0
    clock; start=$now
    if (((i + round) % 2 == 0)); then
      "$tool" > /dev/null || status=$?
      clock; mid=$now
      "$print_line" > /dev/null
      clock
      ((usage_total += mid - start, line_total += now - mid))
    else
      "$print_line" > /dev/null
      clock; mid=$now
      "$tool" > /dev/null || status=$?
      clock
      ((line_total += mid - start, usage_total += now - mid))
    fi
    ((status == 255)) || { echo "usage run exited with $status" >&2; return 1; }
  done
}

one_round 0  # not counted: page cache, and the files' first conversion
tool_times=() bare_times=() usage_times=() line_times=() file_ratios=() start_ratios=()
for ((r = 0; r < rounds; r++)); do
  one_round "$((r + 1))"
  tool_times+=("$tool_total") bare_times+=("$bare_total") usage_times+=("$usage_total") line_times+=("$line_total")
  file_ratios+=("$(awk -v a="$tool_total" -v b="$bare_total" 'BEGIN {printf "%.4f", a / b}')")
  start_ratios+=("$(awk -v a="$usage_total" -v b="$line_total" 'BEGIN {printf "%.4f", a / b}')")
  awk -v r="$((r + 1))" -v n="$count" -v t="$tool_total" -v b="$bare_total" -v u="$usage_total" -v l="$line_total" 'BEGIN {
    printf "round %d: a file %.2f ms against %.2f ms; usage run %.2f ms against %.2f ms\n", r, t / n / 1000, b / n / 1000, u / n / 1000, l / n / 1000
  }'
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
range() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.2f-%.2f", lo, hi}'; }
awk -v n="$count" -v r="$rounds" -v s="$bytes" \
  -v t="$(median "${tool_times[@]}")" -v b="$(median "${bare_times[@]}")" \
  -v u="$(median "${usage_times[@]}")" -v l="$(median "${line_times[@]}")" \
  -v fr="$(median "${file_ratios[@]}")" -v frr="$(range "${file_ratios[@]}")" \
  -v sr="$(median "${start_ratios[@]}")" -v srr="$(range "${start_ratios[@]}")" 'BEGIN {
  printf "\n%d textures (32-bit, 16-bit, DXT1, DXT5; 64 to 512 pixels a side; %.1f MiB), %d rounds, medians:\n", n, s / 1048576, r
  printf "ddsswizzle, one process per file   : %6.2f ms a file\n", t / n / 1000
  printf "bare durable rewrite, the same way : %6.2f ms a file\n", b / n / 1000
  printf "ratio                              : %6.2f x the bare rewrite (rounds: %s)\n", fr, frr
  printf "ddsswizzle usage run (no file)     : %6.2f ms\n", u / n / 1000
  printf "C program printing one line        : %6.2f ms\n", l / n / 1000
  printf "ratio                              : %6.2f x the C program (rounds: %s)\n", sr, srr
}'
rm -rf "$work"
