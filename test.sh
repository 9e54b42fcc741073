#!/usr/bin/env bash
# Builds ddsswizzle and runs every test suite. Each stage has its own build
# folder under build*/, so the stages never disturb each other.
set -euo pipefail
cd "$(dirname "$0")"

echo "== native build and tests (build/)"
cmake --workflow --preset default
