#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR). Extra arguments go to cmake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
GEN=()
command -v ninja >/dev/null && GEN=(-G Ninja)
cmake -S . -B "$BUILD_DIR" "${GEN[@]}" "$@"
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
