#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need.
# Idempotent: installs only what is missing.
set -euo pipefail

packages=(
  cmake make g++ git ccache pkg-config
  libcoin-dev libsoqt520-dev
  qtbase5-dev libqt5opengl5-dev
  tcl-dev libedit-dev zlib1g-dev
  libglew-dev libgl1-mesa-dri libegl-mesa0 libegl-dev libopengl-dev
  libxcb1-dev xvfb xauth
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the fuzz step: clang with libFuzzer's runtime, and the symbolizer for its reports
  clang libclang-rt-14-dev llvm-14
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
