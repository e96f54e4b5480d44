#!/bin/sh
# Runs one libFuzzer target with AddressSanitizer and UndefinedBehaviorSanitizer.
# Usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   TARGET is a name from tests/fuzz/fuzz_<name>.cpp (rtf, listfile, smtpreply, ...).
# Builds in build-sanitize/ (clang; the same build the sanitizer test run uses). Inputs that
# add coverage collect in build-sanitize/fuzz-corpus/TARGET; a crash, hang (over 1 s), leak
# or out-of-memory (an allocation over 512 MB, or the process over 2 GB: the sanitizers and
# Qt alone take a few hundred) is saved as build-sanitize/fuzz-findings/TARGET/... and ends
# the run. Keep a fixed one as tests/fuzz/regressions/TARGET/<what-it-was>.
set -eu
[ $# -ge 2 ] || { echo "usage: $0 TARGET SECONDS [libFuzzer options...]" >&2; exit 2; }
target=$1
seconds=$2
shift 2
cd "$(dirname "$0")/.."
src=tests/fuzz
[ -f "$src/fuzz_$target.cpp" ] || { echo "no fuzz target '$target' (see $src/fuzz_*.cpp)" >&2; exit 2; }
scripts/install-deps.sh fuzz
build=${QUORVEL_SANITIZE_BUILD_DIR:-build-sanitize}
QUORVEL_BUILD_DIR=$build scripts/configure-sanitize.sh
cmake --build "$build" -j "$(nproc)" --target "fuzz_$target"

work="$build/fuzz-corpus/$target"
findings="$build/fuzz-findings/$target"
mkdir -p "$work" "$findings"
dict=""
[ -f "$src/dict/$target.dict" ] && dict="-dict=$src/dict/$target.dict"
seeds=""
for d in "$src/corpus/$target" "$src/regressions/$target"; do
  [ -d "$d" ] && seeds="$seeds $d"
done
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The first folder takes new inputs; the seed folders are only read.
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=1 -malloc_limit_mb=512 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$findings/" $dict "$@" "$work" $seeds
