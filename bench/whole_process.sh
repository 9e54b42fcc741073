#!/usr/bin/env bash
# Times the whole process against the floor of a durable in-place rewrite,
# bench/bare_rewrite.cpp (one read into memory whose pages are in place
# before it, a write to a temporary file beside it, fsync, rename over it,
# fsync the folder), and reports the peak memory of both: `ddsswizzle swiz`
# and `unswiz` of a 4096 x 4096 texture with its full mip chain, from the
# page cache, for each of the cases.
#
#   bench/whole_process.sh [BUILD_DIR] [PAIRS]     (defaults: build-bench, 7)
#
# CASES lists the textures as CONSOLE:CLASS words (default "ps3:argb32
# x360:argb32 x360:dxt5": 85.3 MiB of 32-bit pixels on each console, 21.3 MiB
# of DXT5 on the Xbox 360; any class ddsswizzle_make_sample makes). TOOL=
# path/to/ddsswizzle times another build of the tool against the same floor.
#
# A pair is two rounds: the floor and `swiz`, then the floor and `unswiz`,
# the floor first in even pairs and second in odd ones, so that neither
# always follows the other. Each run of the tool is compared with the floor's
# run beside it (on the same file, or on the same file converted, which on
# the Xbox 360 is a little longer); the median of these ratios is printed
# with the medians of the times. Peak memory is the maximum resident set as
# /usr/bin/time reports it, the median over the runs, against the size of
# the file the run reads.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
pairs=${2:-7}
tool=${TOOL:-$build/ddsswizzle}
cases=${CASES:-ps3:argb32 x360:argb32 x360:dxt5}
bare="$build/bench/ddsswizzle_bare_rewrite"
for program in "$tool" "$bare" "$build/ddsswizzle_make_sample" /usr/bin/time; do
  [[ -x "$program" ]] || { echo "missing $program: run bench/run.sh first" >&2; exit 1; }
done

# The texture lives in the build folder, on the same file system as the
# project (a rename over an existing file behaves differently on tmpfs).
work="$build/whole-process"
texture="$work/texture.dds"
now() { date +%s%N; }
run_measured() {  # prints elapsed nanoseconds and peak KiB of the command
  local start end
  start=$(now)
  /usr/bin/time -f %M -o "$work/peak" "$@" > /dev/null || { echo "$* failed" >&2; return 1; }
  end=$(now)
  echo "$((end - start)) $(cat "$work/peak")"
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
range() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.2f-%.2f", lo, hi}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.4f", a / b}'; }

for case in $cases; do
  console=${case%%:*} class=${case#*:}
  rm -rf "$work" && mkdir -p "$work"
  "$build/ddsswizzle_make_sample" "$texture" 4096 "$class" > /dev/null
  linear_size=$(stat -c %s "$texture")
  "$tool" swiz "$texture" "$console" > /dev/null && console_size=$(stat -c %s "$texture") && "$tool" unswiz "$texture" "$console" > /dev/null
  cat "$texture" > /dev/null
  floor_times=() floor_kib=() floor_against=()
  declare -A times=() peaks=() ratios=()
  for ((i = 0; i < pairs; i++)); do
    for mode in swiz unswiz; do
      size=$(stat -c %s "$texture")
      if ((i % 2 == 0)); then
        read -r floor_time floor_peak < <(run_measured "$bare" "$texture")
        read -r tool_time tool_peak < <(run_measured "$tool" "$mode" "$texture" "$console")
      else
        read -r tool_time tool_peak < <(run_measured "$tool" "$mode" "$texture" "$console")
        read -r floor_time floor_peak < <(run_measured "$bare" "$texture")
      fi
      floor_times+=("$floor_time") floor_kib+=("$floor_peak") floor_against+=("$(ratio "$floor_peak" "$((size / 1024))")")
      times[$mode]+=" $tool_time" peaks[$mode]+=" $tool_peak $(ratio "$tool_peak" "$((size / 1024))")"
      ratios[$mode]+=" $(ratio "$tool_time" "$floor_time")"
    done
  done
  awk -v c="$console" -v k="$class" -v l="$linear_size" -v s="$console_size" -v n="$pairs" 'BEGIN {
    printf "\n%s, 4096 x 4096 %s with its full mip chain: %.1f MiB linear, %.1f MiB in console layout; %d pairs, medians\n", c, k, l / 1048576, s / 1048576, n
    printf "%-8s %10s  %-24s %12s  %s\n", "", "time", "x floor (range)", "peak memory", "x file read"
  }'
  awk -v t="$(median "${floor_times[@]}")" -v p="$(median "${floor_kib[@]}")" -v a="$(median "${floor_against[@]}")" 'BEGIN {
    printf "%-8s %7.1f ms  %-24s %8.1f MiB  %.2f\n", "floor", t / 1e6, "", p / 1024, a
  }'
  for mode in swiz unswiz; do
    read -ra t <<< "${times[$mode]}"
    read -ra r <<< "${ratios[$mode]}"
    read -ra both <<< "${peaks[$mode]}"
    kib=() against=()
    for ((j = 0; j < ${#both[@]}; j += 2)); do kib+=("${both[j]}") against+=("${both[j + 1]}"); done
    awk -v m="$mode" -v t="$(median "${t[@]}")" -v r="$(median "${r[@]}")" -v rr="$(range "${r[@]}")" \
      -v p="$(median "${kib[@]}")" -v a="$(median "${against[@]}")" 'BEGIN {
      printf "%-8s %7.1f ms  %5.2f (%s)%*s %8.1f MiB  %.2f\n", m, t / 1e6, r, rr, 15 - length(rr), "", p / 1024, a
    }'
  done
  unset times peaks ratios
done
rm -rf "$work"
