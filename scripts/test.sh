#!/bin/sh
# Installs what is missing (including the real mail servers the tests start), builds
# and runs the whole test suite. Extra arguments go to ctest (e.g. -R tst_inifile).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/build.sh
build=${QUORVEL_BUILD_DIR:-build}
cd "$build"
# The real mail servers were installed above: a test that cannot start one must fail, not skip.
export QUORVEL_REQUIRE_PEERS=1
ctest --output-on-failure -j 2 "$@"
