#!/usr/bin/env bash
# Installs what building, testing and the real sound path need (Debian packages).
# Idempotent: installs only what is missing, so a second run costs a second.
set -euo pipefail

packages=(
  cmake ninja-build g++ ccache pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libasound2-dev libfftw3-dev
  alsa-utils libasound2-plugins pulseaudio pulseaudio-utils
  libcli11-dev nlohmann-json3-dev libsndfile1-dev libcairo2-dev
  sox libsox-fmt-base sndfile-programs flac python3
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest
  python3-setuptools python3-wheel python3-pip python3-distributed
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=300 update -qq
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
