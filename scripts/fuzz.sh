#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (and ASan/UBSan) in build-fuzz/
# and runs each briefly over its corpus. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
GEN=()
command -v ninja >/dev/null && GEN=(-G Ninja)
cmake -S . -B "$BUILD_DIR" "${GEN[@]}" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIX_LIBFUZZER=ON -DTARNIX_BUILD_TESTS=OFF \
  -DTARNIX_BUILD_BENCH=OFF -DTARNIX_BUILD_UI=OFF
targets=$(cmake --build "$BUILD_DIR" --target help | sed -n 's/^\(fuzz_[a-z_]*\):.*/\1/p')
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target $targets
ctest --test-dir "$BUILD_DIR" --output-on-failure -R '^fuzz_' "$@"
