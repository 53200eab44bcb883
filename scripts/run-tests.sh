#!/usr/bin/env bash
# Sets up, builds and runs every test: unit, real-time soak and, with the private sound
# server started for them, the tests that play and capture through ALSA.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ -x scripts/audio-rig-start.sh ]; then
  trap 'scripts/audio-rig-stop.sh >/dev/null || true' EXIT
  scripts/audio-rig-start.sh
fi
ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"
