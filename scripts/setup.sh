#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the fuzzers and the benches need.
set -euo pipefail
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config git \
  clang libclang-rt-dev \
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-image-formats-plugins qt6-qpa-plugins \
  libgl-dev \
  libpugixml-dev zlib1g-dev libssl-dev libcurl4-openssl-dev \
  libgtest-dev libgmock-dev googletest \
  python3
