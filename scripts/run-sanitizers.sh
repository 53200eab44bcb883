#!/usr/bin/env bash
# Builds the tests with the sanitizers and runs them; any report fails the run.
#   build-asan: address + undefined behaviour, the whole unit suite;
#   build-tsan: thread sanitizer (ALSA off), the suites that run driver and timer threads,
#               and the six engines on six threads.
# Only test targets are built, at -O1, without benchmarks, so a cold machine stays quick.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
suppressions=$PWD/scripts/sanitizer-suppressions

configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
    -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DAURELIX_BUILD_BENCHMARKS=OFF "$@" >/dev/null
}

# The fast test executables of a build folder (no rig, no soak), as ninja names them.
unit_test_targets() {
  ninja -C "$1" -t targets all | sed -n 's/^\([a-z_]*_tests\): phony$/\1/p' |
    grep -v -e '_rig_tests$' -e '_soak_tests$' | grep -v -x aurelix_test_support || true
}

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:exitcode=23"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$suppressions/ubsan.supp"
export LSAN_OPTIONS="suppressions=$suppressions/lsan.supp"
export TSAN_OPTIONS="halt_on_error=0:exitcode=66:second_deadlock_stack=1:suppressions=$suppressions/tsan.supp"

echo "sanitizers: address + undefined behaviour" >&2
configure build-asan -DAURELIX_SANITIZE=ON
mapfile -t targets < <(unit_test_targets build-asan)
ninja -C build-asan -j"$jobs" "${targets[@]}"
ctest --test-dir build-asan -L unit -j"$jobs" --output-on-failure

echo "sanitizers: thread" >&2
configure build-tsan -DAURELIX_TSAN=ON -DAURELIX_WITH_ALSA=OFF
threaded=(platform_windows_tests platform_wave_tests capture_tests engine_tests engine_soak_tests)
ninja -C build-tsan -j"$jobs" "${threaded[@]}"
# Every test of the executables built (suites not built show up as *_NOT_BUILT).
ctest --test-dir build-tsan -L 'unit|soak' -E '_NOT_BUILT$' -j"$jobs" --output-on-failure
