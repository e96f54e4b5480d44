#!/bin/sh
# Installs what is missing (including the real mail servers the tests start), builds
# and runs the whole test suite. Extra arguments go to ctest (e.g. -R tst_inifile).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/build.sh
build=${QUORVEL_BUILD_DIR:-build}
cd "$build"
ctest --output-on-failure -j 2 "$@"
