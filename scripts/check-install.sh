#!/usr/bin/env bash
# Installs the build in $1 into a private prefix, then builds the example host against it
# twice, as a separate CMake project and with pkg-config, and runs both for a second.
set -euo pipefail
build=$(realpath "$1")
top=$(realpath "$(dirname "$0")/..")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/aurelix/control/aurel.h"
test -f "$prefix/include/aurelix/platform/runtime/build_info.h"
"$prefix/bin/aurelix" --version >/dev/null

cmake -S "$top/tests/install" -B "$prefix/cmake-host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DHOST_SOURCE="$top/examples/minimal_host.cpp" >/dev/null
cmake --build "$prefix/cmake-host" >/dev/null

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
# shellcheck disable=SC2046 # the flags are meant to split
c++ -O1 -o "$prefix/pkg-config-host" "$top/examples/minimal_host.cpp" $(pkg-config --cflags --libs aurelix)

for host in "$prefix/cmake-host/minimal_host" "$prefix/pkg-config-host"; do
  output=$(XDG_CONFIG_HOME="$prefix/config" "$host" 1 0)
  grep -q '^block ' <<<"$output" || { echo "$host analysed no block:" >&2; echo "$output" >&2; exit 1; }
done
echo "the example host builds and runs against the installed package (CMake and pkg-config)"
