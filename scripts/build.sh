#!/bin/sh
# Configures and builds Quorvel into build/ (or $QUORVEL_BUILD_DIR).
set -eu
cd "$(dirname "$0")/.."
build=${QUORVEL_BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc)"
