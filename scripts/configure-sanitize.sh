#!/bin/sh
# Configures the sanitizer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer, with
# the libFuzzer targets) in build-sanitize/ (or $QUORVEL_BUILD_DIR) once. Headers are checked
# by the normal build, not again here.
set -eu
cd "$(dirname "$0")/.."
build=${QUORVEL_BUILD_DIR:-build-sanitize}
[ -f "$build/CMakeCache.txt" ] && exit 0
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
# Optimised with debug information: the fuzzers need the speed, the reports need the lines.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVEL_FUZZ=ON -DQUORVEL_HEADER_CHECK=OFF $launcher
