#!/usr/bin/env bash
# Configures and builds into a folder (default: build).
#   scripts/build.sh [build-dir] [extra cmake options ...] [-- targets ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
shift || true
cmake_args=()
targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
  cmake_args+=("$1"); shift
done

export CCACHE_DIR="${CCACHE_DIR:-$root/.cache/ccache}"
cmake -S "$root" -B "$dir" -DVORNA_WERROR=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${cmake_args[@]}" >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
else
  cmake --build "$dir" -j"$(nproc)"
fi
