#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need.
# Idempotent: installs only what is missing.
set -euo pipefail

packages=(
  cmake make g++ git ccache pkg-config
  libcoin-dev libsoqt520-dev
  qtbase5-dev libqt5opengl5-dev
  tcl-dev libedit-dev zlib1g-dev libpng-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libqt5charts5-dev libqt5svg5-dev libassimp-dev
  libglew-dev libgl1-mesa-dri libegl-mesa0 libegl-dev libopengl-dev
  libxcb1-dev xvfb xauth
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  locales
  # the fuzz step: clang with libFuzzer's runtime, and the symbolizer for its reports
  clang libclang-rt-14-dev llvm-14
  # the layout check
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A locale whose decimal separator is a comma, for the tests that check numbers
# never follow the locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "install-deps: generating the locale de_DE.UTF-8"
  $SUDO localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
