#!/usr/bin/env bash
# Sets up, builds and runs every test: unit, real-time soak and, with the private sound
# server started for them, the tests that play and capture through ALSA. Without
# arguments (as CI runs it) the sanitizer builds and the short fuzz runs follow; with
# arguments, these are passed to ctest and only the main build is tested.
set -euo pipefail
cd "$(dirname "$0")/.."
# ccache keys on paths relative to the checkout, so a fresh clone elsewhere (as CI makes)
# reuses what an earlier build compiled.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
scripts/build.sh
if [ -x scripts/audio-rig-start.sh ]; then
  trap 'scripts/audio-rig-stop.sh >/dev/null || true' EXIT
  scripts/audio-rig-start.sh
fi
ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"
if [ $# -eq 0 ]; then
  scripts/run-sanitizers.sh
  scripts/run-fuzz.sh
fi
