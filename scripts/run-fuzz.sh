#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) in
# build-fuzz and runs each for FUZZ_SECONDS (default 30) from its seeds (ctest label
# "fuzz"). A crash fails the run and leaves its input as build-fuzz/fuzz/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
seconds=${FUZZ_SECONDS:-30}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" \
  -DAURELIX_FUZZ=ON -DAURELIX_FUZZ_SECONDS="$seconds" -DAURELIX_BUILD_TESTS=OFF \
  -DAURELIX_BUILD_BENCHMARKS=OFF -DAURELIX_WITH_ALSA=OFF >/dev/null
mapfile -t targets < <(sed -n 's/^aurelix_fuzz_target(\([a-z_]*\).*$/\1/p' fuzz/CMakeLists.txt)
ninja -C build-fuzz -j"$jobs" "${targets[@]}"
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Each target is one process running against the clock: one per core.
ctest --test-dir build-fuzz -L fuzz -j"$jobs" --output-on-failure
