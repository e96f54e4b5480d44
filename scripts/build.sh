#!/bin/sh
# Configures and builds Quorvel into build/ (or $QUORVEL_BUILD_DIR).
set -eu
cd "$(dirname "$0")/.."
build=${QUORVEL_BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  # ccache, when installed, makes rebuilds in other checkouts cheap; it is optional.
  launcher=""
  command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher
fi
cmake --build "$build" -j "$(nproc)"
