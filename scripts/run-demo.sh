#!/usr/bin/env bash
# Sets up, builds, and runs the example host on the default capture device for a few
# seconds: every analysed block with its peak and dominant frequency.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
exec build/examples/aurelix_example_host "${1:-3}" "${2:-0}"
