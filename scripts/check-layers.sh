#!/usr/bin/env bash
# Fails when a header includes one of a layer above its own. From the bottom up:
# platform, timing, state, analysis, capture, engine, control; the command and the
# Python module stand on top of all of them.
set -euo pipefail
cd "$(dirname "$0")/../src/aurelix"
layers=(platform timing state analysis capture engine control)
status=0
for i in "${!layers[@]}"; do
  for j in "${!layers[@]}"; do
    [ "$j" -gt "$i" ] || continue
    if hits=$(grep -rnE "#include [<\"]aurelix/${layers[$j]}/" "${layers[$i]}"); then
      echo "${layers[$i]} includes ${layers[$j]}, a layer above it:" >&2
      echo "$hits" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "layers point down: ${layers[*]}"
exit "$status"
