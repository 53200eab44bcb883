#!/usr/bin/env bash
# Sets up, builds the aurelix command and shows its live view for five seconds on the
# default capture device: the simulated 1 kHz sine on a machine without sound hardware.
# Arguments replace the default command line: scripts/run-demo.sh devices
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target aurelix_command -j"$(nproc)" >/dev/null
if [ $# -eq 0 ]; then
  set -- monitor --seconds 5
fi
exec build/cli/aurelix "$@"
