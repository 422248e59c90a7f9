#!/usr/bin/env bash
# Keeps the host's layers from eroding: every #include <module/...> in host/
# must point to the module's own layer or one below it, the package must not
# reach the session layer or the program, and the host must not include the
# package. Lists every offending include and fails; run by ctest ("layering").
#
#   scripts/check-layers.sh [source-root]
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root"

# The layers, lowest first. A module may include its own layer and those
# below; within a layer only the pairs listed in same_layer_ok.
declare -A layer=(
    [mc]=1 [vornamesh]=1 [widgets]=1
    [hxcore]=2 [ports]=2
    [viewer]=3 [scene]=3
    [paths]=4
    [session]=5
)
# "from>to": within layer 1 the leaf modules use mc's containers and safe
# files; hxcore and ports are the one two-way pair (an object lists its ports,
# a port knows its owner).
same_layer_ok=" vornamesh>mc widgets>mc hxcore>ports ports>hxcore "

failures=()
checked=0
two_way=0

# Every "#include <module/...>" of a project module: file, line, target module.
includes_of() {
    grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([a-z]+)/' "$@" || true
}

# The host, module by module.
for dir in host/*/; do
    from=$(basename "$dir")
    if [ -z "${layer[$from]:-}" ]; then
        failures+=("host/$from/: a module with no layer (add it to the table in scripts/check-layers.sh)")
        continue
    fi
    while IFS= read -r hit; do
        [ -n "$hit" ] || continue
        to=$(sed -E 's/^[^:]*:[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([a-z]+)\/.*/\1/' <<<"$hit")
        [ -n "${layer[$to]:-}" ] || continue # a third-party folder (Inventor/, ...)
        checked=$((checked + 1))
        [ "$to" = "$from" ] && continue
        if [ "${layer[$to]}" -lt "${layer[$from]}" ]; then continue; fi
        if [ "${layer[$to]}" -eq "${layer[$from]}" ] && [[ $same_layer_ok == *" $from>$to "* ]]; then
            [ "${layer[$from]}" -eq 2 ] && two_way=$((two_way + 1))
            continue
        fi
        failures+=("${hit%%:*}:$(cut -d: -f2 <<<"$hit"): $from (layer ${layer[$from]}) includes $to (layer ${layer[$to]})")
    done < <(includes_of "$dir")
done

# The package: never the session layer, never the program.
while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    failures+=("${hit%%:*}:$(cut -d: -f2 <<<"$hit"): the package includes the session layer or the program")
done < <(grep -rnE --include='*.h' --include='*.cpp' \
    '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](session/|app/|Vorna(Application|MainWindow|Console|MovieDialog)\.h)' \
    vevazaru || true)

# The host: never a header of the package (it finds the package at run time),
# nor one of the program.
package_headers=$(find vevazaru -name '*.h' -printf '%f\n' | sort -u)
for header in $package_headers VornaApplication.h VornaMainWindow.h VornaConsole.h VornaMovieDialog.h; do
    while IFS= read -r hit; do
        [ -n "$hit" ] || continue
        failures+=("${hit%%:*}:$(cut -d: -f2 <<<"$hit"): the host includes $header, which is not the host's")
    done < <(grep -rnE --include='*.h' --include='*.cpp' \
        "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]([a-z]+/)*${header//./\\.}[>\"]" host || true)
done

if [ ${#failures[@]} -gt 0 ]; then
    echo "layering: ${#failures[@]} include(s) against the layers:"
    printf '  %s\n' "${failures[@]}"
    echo "layers, lowest first: mc vornamesh widgets | hxcore ports | viewer scene | paths | session | app"
    exit 1
fi
echo "layering: $checked project includes in host/ checked, none upward" \
    "(hxcore<->ports, the two-way pair: $two_way); the package reaches neither session/ nor app/;" \
    "the host includes no package header"
