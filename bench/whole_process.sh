#!/usr/bin/env bash
# Times the whole process: `ddsswizzle swiz` of a 4096 x 4096 texture with
# its full mip chain (32-bit: about 85 MiB; DXT5: about 21 MiB) against the
# bare durable rewrite of the same file (one read, write to a temporary file
# beside it, fsync, rename over it, fsync the folder), alternately, from the
# page cache. Prints the medians, their ratio, and the peak memory of
# ddsswizzle as /usr/bin/time -v reports it.
#
# The bare rewrite is also timed with the tool's kind of buffer (huge pages
# on Linux), which separates the cost of the conversion from that gain.
#
#   bench/whole_process.sh [BUILD_DIR] [PAIRS]     (defaults: build-bench, 7)
#
# TOOL=path/to/ddsswizzle times another build of the tool against the same
# floor (for instance an older one). CLASS=dxt5 times a DXT5 texture instead
# of a 32-bit one (any class ddsswizzle_make_sample makes); CONSOLE=x360 the
# Xbox 360 layout instead of the PS3's (the file then changes length with
# each run, and the bare rewrite copies it as it stands).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
pairs=${2:-7}
tool=${TOOL:-$build/ddsswizzle}
class=${CLASS:-argb32}
console=${CONSOLE:-ps3}
bare="$build/bench/ddsswizzle_bare_rewrite"
for program in "$tool" "$bare" "$build/ddsswizzle_make_sample"; do
  [[ -x "$program" ]] || { echo "missing $program: run bench/run.sh first" >&2; exit 1; }
done

# The texture lives in the build folder, on the same file system as the
# project (a rename over an existing file behaves differently on tmpfs).
work="$build/whole-process"
rm -rf "$work" && mkdir -p "$work"
texture="$work/texture.dds"
"$build/ddsswizzle_make_sample" "$texture" 4096 "$class"
size=$(stat -c %s "$texture")
cat "$texture" > /dev/null

now() { date +%s%N; }
run_timed() {  # prints elapsed nanoseconds of the command
  local start end
  start=$(now)
  "$@" > /dev/null || { echo "$* failed" >&2; return 1; }
  end=$(now)
  echo $((end - start))
}

tool_times=()
bare_times=()
like_times=()
ratios=()  # tool / bare rewrite, pair by pair
for ((i = 0; i < pairs; i++)); do
  # Alternate which one goes first, so neither always follows the other.
  if ((i % 2 == 0)); then
    bare_times+=("$(run_timed "$bare" "$texture")")
    tool_times+=("$(run_timed "$tool" swiz "$texture" "$console")")
    like_times+=("$(run_timed "$bare" "$texture" --payload-buffer)")
  else
    like_times+=("$(run_timed "$bare" "$texture" --payload-buffer)")
    tool_times+=("$(run_timed "$tool" unswiz "$texture" "$console")")
    bare_times+=("$(run_timed "$bare" "$texture")")
  fi
  ratios+=("$(awk -v t="${tool_times[i]}" -v b="${bare_times[i]}" 'BEGIN {printf "%.4f", t / b}')")
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
tool_median=$(median "${tool_times[@]}")
bare_median=$(median "${bare_times[@]}")
like_median=$(median "${like_times[@]}")
ratio_median=$(median "${ratios[@]}")
ratio_range=$(printf '%s\n' "${ratios[@]}" | sort -g | awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.2f-%.2f", lo, hi}')

# The peak run undoes the last timed one, so it converts a file in the layout
# it expects; memory is compared with the larger of the file before and after.
mode=$( ((pairs % 2)) && echo unswiz || echo swiz)
peak_kib=$(/usr/bin/time -v "$tool" "$mode" "$texture" "$console" 2>&1 >/dev/null | awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}')
after=$(stat -c %s "$texture")
larger=$((after > size ? after : size))

awk -v t="$tool_median" -v b="$bare_median" -v l="$like_median" -v p="$peak_kib" -v s="$size" -v g="$larger" -v n="$pairs" \
  -v r="$ratio_median" -v rr="$ratio_range" -v c="$class" -v k="$console" 'BEGIN {
  printf "texture: 4096 x 4096 %s, full mip chain, %.1f MiB, %s layout\n", c, s / 1048576, k
  printf "pairs: %d (medians)\n", n
  printf "ddsswizzle swiz/unswiz : %8.1f ms\n", t / 1e6
  printf "bare durable rewrite   : %8.1f ms\n", b / 1e6
  printf "bare rewrite, same kind of buffer as the tool: %8.1f ms\n", l / 1e6
  printf "ratio of the medians   : %8.2f x the bare rewrite\n", t / b
  printf "ratio, pair by pair    : %8.2f x the bare rewrite (median; pairs: %s)\n", r, rr
  printf "ratio, same buffers    : %8.2f x the bare rewrite with the tool'"'"'s buffer\n", t / l
  printf "peak memory            : %8.1f MiB = %.2f x the larger file\n", p / 1024, p * 1024 / g
}'
rm -rf "$work"
