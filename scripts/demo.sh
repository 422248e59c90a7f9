#!/usr/bin/env bash
# The main job: builds vorna and runs it on the built-in demo script.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
scripts/build.sh "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -- vorna vevazaru
exec "$root/build/bin/vorna" "$root/examples/demo.tcl" "$@"
