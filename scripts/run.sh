#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and starts tarnix (extra arguments are passed on).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
exec "${BUILD_DIR:-build}/bin/tarnix" "$@"
