#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --parallel "$(nproc)"
# The parsers' fuzz targets, built with clang's libFuzzer and run briefly over their corpus.
if command -v clang++ >/dev/null; then
  bash scripts/fuzz.sh
fi
