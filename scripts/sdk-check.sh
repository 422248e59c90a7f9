#!/usr/bin/env bash
# Checks the host as an SDK: builds the project, installs it into a temporary
# prefix, builds the example package (examples/package) against the installed
# host with find_package(Vorna), installs it where the installed vorna looks for
# packages, and runs the installed vorna on a script that uses the package.
#   scripts/sdk-check.sh [build-dir [cmake options ...]]   (default: build)
# Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift || true

echo "== sdk: build the host into $build"
"$root/scripts/build.sh" "$build" "$@" -- vorna vevazaru

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
echo "== sdk: install into a temporary prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

echo "== sdk: build the example package against the installed host"
cmake -S "$root/examples/package" -B "$work/ruler" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >"$work/configure.log" ||
    { cat "$work/configure.log"; exit 1; }
cmake --build "$work/ruler" -j2
cmake --install "$work/ruler" --prefix "$prefix" >>"$work/install.log"

echo "== sdk: run the installed vorna with the example package"
cat >"$work/check.tcl" <<'TCL'
set ruler [create HxRuler]
puts "distance [$ruler distance 1 2 3 4 6 3]"
puts "path [create HxKeyframeCameraPath]"
# Where each of the project's libraries was loaded from.
set maps [open /proc/[pid]/maps]
foreach line [split [read $maps] \n] {
    set file [lindex $line end]
    if {[regexp {/lib(vornahost|vevazaru|ruler)\.so$} $file]} { set loaded($file) 1 }
}
close $maps
foreach file [lsort [array names loaded]] { puts "loaded $file" }
TCL
# Nothing from the environment may point the program at the build tree.
if ! (cd "$work" && env -u LD_LIBRARY_PATH VORNA_PACKAGE_PATH= QT_QPA_PLATFORM=offscreen \
    "$prefix/bin/vorna" check.tcl) >"$work/out.txt" 2>&1; then
    echo "sdk-check: the installed vorna failed on the check script:" >&2
    cat "$work/out.txt" >&2
    exit 1
fi

expected="distance 5
path HxKeyframeCameraPath
loaded $prefix/bin/libruler.so
loaded $prefix/bin/libvevazaru.so
loaded $prefix/lib/libvornahost.so"
actual="$(grep -E '^(distance|path|loaded) ' "$work/out.txt" || true)"
if [ "$actual" != "$expected" ]; then
    echo "sdk-check: the installed vorna answered" >&2
    cat "$work/out.txt" >&2
    echo "sdk-check: expected" >&2
    echo "$expected" >&2
    exit 1
fi
echo "$actual"
echo "sdk-check: the example package builds against the installed host and runs in the installed vorna"
