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

stage "native build and tests, warnings as errors (build-ci/)" cmake --workflow --preset ci

# --- Robustness checks (README, "Robustness checks") ---------------------
clang_tidy_src() {
  find src -name '*.cpp' -print0 | sort -z |
    xargs -0 -n 1 -P 2 clang-tidy-14 -p build-ci --quiet --warnings-as-errors='*' 2>&1 |
    { grep -v -E '^[0-9]+ warnings? generated\.$' || true; }
  echo "clang-tidy: no findings in $(find src -name '*.cpp' | wc -l) source files and the headers they include"
}

stage "sanitizer tests, ASan + UBSan (build-sanitize/)" cmake --workflow --preset sanitize
stage "fuzzer build and seed corpus (build-fuzz/)" cmake --workflow --preset fuzz
stage "texture fuzzer, bounded run of 60 s" fuzz/run_fuzzer.sh 60 texture
stage "walk fuzzer, bounded run of 20 s" fuzz/run_fuzzer.sh 20 walks
stage "clang-tidy over src/ (build-ci/ compile commands)" clang_tidy_src
# --- end of robustness checks ---------------------------------------------

# The benchmarks are never run as tests, but they are built, so that they
# keep compiling (bench/run.sh runs them).
stage "benchmarks, built only (build-bench/)" bash -c 'cmake --preset bench > /dev/null && cmake --build --preset bench'

# Windows executable: Wine's server stays up a few seconds after the last
# test; waiting for it leaves nothing running when the script ends.
windows_tests() {
  cmake --workflow --preset mingw
  WINEPREFIX="$PWD/build-mingw/wineprefix" /usr/lib/wine/wineserver -w
}
stage "Windows executable: MinGW-w64 cross-build, tests under Wine (build-mingw/)" windows_tests

echo
echo "== stage times"
printf '%s\n' "${timings[@]}"
