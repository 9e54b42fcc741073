#!/usr/bin/env bash
# Builds ddsswizzle and runs every test suite. Each stage has its own build
# folder under build*/, so the stages never disturb each other. The script
# stops at the first failure; the time each stage took is printed at the end.
set -euo pipefail
cd "$(dirname "$0")"

timings=()
stage() {
  local name=$1
  shift
  echo
  echo "== $name"
  local start=$SECONDS
  "$@"
  timings+=("$(printf '%-52s %4d s' "$name" $((SECONDS - start)))")
}

# Every test of the last CTest run in a build folder that was skipped, with
# the reason it gave: the message of GoogleTest's GTEST_SKIP (the line after
# "FILE:LINE: Skipped"), or the rest of a "SKIPPED: reason" line.
print_skips() {
  local log=$1/Testing/Temporary/LastTest.log
  [[ -f $log ]] || return 0
  awk -v build="$1" '
    /^[0-9]+\/[0-9]+ Test: / { name = $3; reason = "" }
    /: Skipped$/ { getline; reason = $0 }
    /^SKIPPED: / { reason = substr($0, 10) }
    /^Skip regular expression found in output/ { printf "skipped in %s: %s: %s\n", build, name, reason }
  ' "$log"
}

# A CMake workflow preset, then the tests it skipped.
workflow() {
  cmake --workflow --preset "$1"
  print_skips "build-$1"
}

stage "native build and tests, warnings as errors (build-ci/)" workflow ci
# The walks as hosts without SSE2 (big-endian or other processors) run them:
# the vector kernels compiled out, every test again.
stage "portable kernels only, build and tests (build-portable/)" workflow portable

# --- Robustness checks (README, "Robustness checks") ---------------------
# The Windows rewrite (src/file/file_io_windows.cpp) needs Windows' headers,
# which only the MinGW build has; its compiler checks it there, with every
# warning an error.
clang_tidy_src() {
  find src -name '*.cpp' ! -name '*_windows.cpp' -print0 | sort -z |
    xargs -0 -n 1 -P 2 clang-tidy-14 -p build-ci --quiet --warnings-as-errors='*' 2>&1 |
    { grep -v -E '^[0-9]+ warnings? generated\.$' || true; }
  echo "clang-tidy: no findings in $(find src -name '*.cpp' ! -name '*_windows.cpp' | wc -l) source files and the headers they include"
}

# The two fuzzers run side by side, one core each; both must pass. Each
# prints its summary when it ends.
fuzzers() {
  local texture=0 walks=0
  fuzz/run_fuzzer.sh 60 texture &
  local texture_job=$!
  fuzz/run_fuzzer.sh 20 walks || walks=$?
  wait "$texture_job" || texture=$?
  ((texture == 0 && walks == 0))
}

stage "sanitizer tests, ASan + UBSan (build-sanitize/)" workflow sanitize
stage "fuzzer build and seed corpus (build-fuzz/)" cmake --workflow --preset fuzz
stage "texture fuzzer 60 s, walk fuzzer 20 s, side by side" fuzzers
stage "clang-tidy over src/ (build-ci/ compile commands)" clang_tidy_src
# --- end of robustness checks ---------------------------------------------

# The benchmarks are never run as tests, but they are built, so that they
# keep compiling (bench/run.sh runs them).
stage "benchmarks, built only (build-bench/)" bash -c 'cmake --preset bench > /dev/null && cmake --build --preset bench'

# Windows executable: Wine's server stays up a few seconds after the last
# test; waiting for it leaves nothing running when the script ends.
windows_tests() {
  workflow mingw
  WINEPREFIX="$PWD/build-mingw/wineprefix" /usr/lib/wine/wineserver -w
}
stage "Windows executable: MinGW-w64 cross-build, tests under Wine (build-mingw/)" windows_tests

echo
echo "== stage times"
printf '%s\n' "${timings[@]}"
