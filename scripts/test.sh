#!/bin/sh
# Installs what is missing (including the real mail servers the tests start), builds
# and runs the whole test suite. Extra arguments go to ctest (e.g. -R tst_inifile).
# QUORVEL_SANITIZE=1 builds and runs it with AddressSanitizer (leak detection on) and
# UndefinedBehaviorSanitizer instead, in build-sanitize/ (clang).
set -eu
cd "$(dirname "$0")/.."
if [ "${QUORVEL_SANITIZE:-0}" = 1 ]; then
  scripts/install-deps.sh fuzz
  build=${QUORVEL_BUILD_DIR:-build-sanitize}
  QUORVEL_BUILD_DIR=$build scripts/configure-sanitize.sh
  cmake --build "$build" -j "$(nproc)"
else
  scripts/install-deps.sh test
  scripts/build.sh
  build=${QUORVEL_BUILD_DIR:-build}
fi
cd "$build"
# The real mail servers were installed above: a test that cannot start one must fail, not skip.
export QUORVEL_REQUIRE_PEERS=1
ctest --output-on-failure -j 2 "$@"
