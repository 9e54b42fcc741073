#!/usr/bin/env bash
# Builds ddsswizzle and runs every test suite. Each stage has its own build
# folder under build*/, so the stages never disturb each other.
set -euo pipefail
cd "$(dirname "$0")"

echo "== native build and tests (build/)"
cmake --workflow --preset default

echo "== Windows executable: MinGW-w64 cross-build, tests under Wine (build-mingw/)"
cmake --workflow --preset mingw
# Wine's server stays up a few seconds after the last test; wait for it, so
# that the script leaves nothing running.
WINEPREFIX="$PWD/build-mingw/wineprefix" /usr/lib/wine/wineserver -w
