#!/usr/bin/env bash
# Mutation check: puts each fault of a fixed list (scripts/mutations.txt) into
# the code in turn, rebuilds, runs the tests and reports which faults no test
# caught. Run it before and after a change to the tests: the number caught must
# not drop. A tool, not a test: CI does not run it.
#
# It works in this checkout: each fault is written into its file, built in
# build-mutation/ and tested, and the file is then written back from a saved
# copy (also when the run is interrupted). It refuses to start while a file
# named in the list has uncommitted changes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
    cat <<'EOF'
usage: scripts/mutation-check.sh [options]
  --list          list the faults, and whether each one's original text is found
  --only ID[,ID]  run only these faults (may be given more than once)
  --gui           also run the tests labelled gui (left out by default)
  --timeout S     seconds one fault's test run may take (default: ten times the
                  unchanged tree's test run, at least 120)
  --faults FILE   another fault list (default: scripts/mutations.txt)
Exit code: 0 when every fault was applied, built and tested, caught or not;
1 when a fault's original text is not found or a fault does not build (the list
needs mending); 2 when the check cannot run.
EOF
}

die() {
    echo "mutation-check: $*" >&2
    exit 2
}

list_file="$root/scripts/mutations.txt"
mode=run
with_gui=0
limit=""
only=()
while [ $# -gt 0 ]; do
    case "$1" in
        --list) mode=list ;;
        --gui) with_gui=1 ;;
        --only | --timeout | --faults)
            [ $# -ge 2 ] || die "$1 needs a value (see --help)"
            case "$1" in
                --only) IFS=', ' read -r -a words <<<"$2" && only+=("${words[@]}") ;;
                --timeout)
                    [[ $2 =~ ^[1-9][0-9]*$ ]] || die "--timeout takes a whole number of seconds, not \"$2\""
                    limit=$2
                    ;;
                --faults) list_file=$2 ;;
            esac
            shift
            ;;
        -h | --help)
            usage
            exit 0
            ;;
        *) die "unknown option \"$1\" (see --help)" ;;
    esac
    shift
done
[ -f "$list_file" ] || die "no fault list at $list_file"

# ---------------------------------------------------------------- the fault list

ids=() whats=() files=() froms=() tos=()
f_line=0 f_id="" f_what="" f_file="" f_from="" f_to="" f_has_from=0 f_has_to=0

list_error() {
    echo "mutation-check: $list_file:$1: $2" >&2
    exit 2
}

# Adds the fault read so far to the arrays, after checking it is complete.
end_fault() {
    [ "$f_line" -ne 0 ] || return 0
    local where=$f_line name="fault ${f_id:-without id}"
    [ -n "$f_id" ] || list_error "$where" "a fault without an id: line"
    [ -n "$f_what" ] || list_error "$where" "$name has no what: line"
    [ -n "$f_file" ] || list_error "$where" "$name has no file: line"
    [ -n "$f_from" ] || list_error "$where" "$name has no from: text"
    [ "$f_has_to" = 1 ] || list_error "$where" "$name has no to: line (leave it empty to delete the text)"
    [ "$f_from" != "$f_to" ] || list_error "$where" "$name replaces its text by the same text"
    local known
    for known in "${ids[@]}"; do
        [ "$known" != "$f_id" ] || list_error "$where" "the id $f_id is used twice"
    done
    ids+=("$f_id") whats+=("$f_what") files+=("$f_file") froms+=("$f_from") tos+=("$f_to")
    f_line=0 f_id="" f_what="" f_file="" f_from="" f_to="" f_has_from=0 f_has_to=0
}

read_list() {
    local n=0 line key value
    while IFS= read -r line || [ -n "$line" ]; do
        n=$((n + 1))
        if [[ $line =~ ^[[:space:]]*$ ]]; then
            end_fault
            continue
        fi
        [[ $line != '#'* ]] || continue
        [[ $line =~ ^([a-z]+):(.*)$ ]] || list_error "$n" "expected \"key: value\" (id, what, file, from, to)"
        key=${BASH_REMATCH[1]}
        value=${BASH_REMATCH[2]}
        value=${value# }
        value=${value%"${value##*[![:space:]]}"}
        [ "$key" != id ] || end_fault
        [ "$f_line" -ne 0 ] || f_line=$n
        case "$key" in
            id)
                [[ $value =~ ^[A-Za-z0-9._-]+$ ]] || list_error "$n" "an id is letters, digits, '.', '_' and '-'"
                f_id=$value
                ;;
            what | file)
                [ -n "$value" ] || list_error "$n" "$key: is empty"
                if [ "$key" = what ]; then
                    [ -z "$f_what" ] || list_error "$n" "a second what: line"
                    f_what=$value
                else
                    [ -z "$f_file" ] || list_error "$n" "a second file: line"
                    f_file=$value
                fi
                ;;
            # Several from: (or to:) lines in a row are the lines of one text.
            from)
                if [ "$f_has_from" = 1 ]; then f_from+=$'\n'$value; else f_from=$value; fi
                f_has_from=1
                ;;
            to)
                if [ "$f_has_to" = 1 ]; then f_to+=$'\n'$value; else f_to=$value; fi
                f_has_to=1
                ;;
            *) list_error "$n" "unknown key \"$key\" (id, what, file, from, to)" ;;
        esac
    done <"$list_file"
    end_fault
    [ ${#ids[@]} -gt 0 ] || die "$list_file holds no faults"
}

read_list

# The faults to run, by index.
chosen=()
if [ ${#only[@]} -eq 0 ]; then
    chosen=("${!ids[@]}")
else
    for wanted in "${only[@]}"; do
        [ -n "$wanted" ] || continue
        found=""
        for i in "${!ids[@]}"; do
            if [ "${ids[$i]}" = "$wanted" ]; then found=$i; fi
        done
        [ -n "$found" ] || die "no fault with the id \"$wanted\" (see --list)"
        chosen+=("$found")
    done
    [ ${#chosen[@]} -gt 0 ] || die "--only names no fault"
fi

# ---------------------------------------------------------------- finding and replacing text

# How often a fault's original text occurs in its file (overlaps counted); -1
# when the file does not exist.
occurrences() {
    local i=$1 path="$root/${files[$1]}"
    [ -f "$path" ] || {
        echo -1
        return 0
    }
    MUTATION_FROM=${froms[$i]} perl -e '
        my $from = $ENV{MUTATION_FROM};
        open(my $in, "<:raw", $ARGV[0]) or die "cannot read $ARGV[0]: $!\n";
        local $/;
        my $text = <$in>;
        my ($count, $at) = (0, -1);
        $count++ while ($at = index($text, $from, $at + 1)) >= 0;
        print "$count\n";' "$path"
}

# Replaces the one occurrence of a fault's original text, literally.
apply_fault() {
    local i=$1
    MUTATION_FROM=${froms[$i]} MUTATION_TO=${tos[$i]} perl -e '
        my ($from, $to) = ($ENV{MUTATION_FROM}, $ENV{MUTATION_TO});
        open(my $in, "<:raw", $ARGV[0]) or die "cannot read $ARGV[0]: $!\n";
        my $text = do { local $/; <$in> };
        close $in;
        my $at = index($text, $from);
        die "the original text is not found exactly once\n" if $at < 0 || index($text, $from, $at + 1) >= 0;
        substr($text, $at, length $from) = $to;
        open(my $out, ">:raw", $ARGV[0]) or die "cannot write $ARGV[0]: $!\n";
        print $out $text or die "cannot write $ARGV[0]: $!\n";
        close $out or die "cannot write $ARGV[0]: $!\n";' "$root/${files[$i]}"
}

text_status() {
    case "$1" in
        1) echo "ok" ;;
        -1) echo "file not found" ;;
        0) echo "original text not found" ;;
        *) echo "original text found $1 times" ;;
    esac
}

if [ "$mode" = list ]; then
    bad=0
    for i in "${chosen[@]}"; do
        count=$(occurrences "$i")
        [ "$count" = 1 ] || bad=1
        printf '%-36s %-44s %s\n    %s\n' "${ids[$i]}" "${files[$i]}" "$(text_status "$count")" "${whats[$i]}"
    done
    echo "${#chosen[@]} faults in $list_file"
    exit "$bad"
fi

# ---------------------------------------------------------------- a clean start

build_dir="$root/build-mutation"
logs="$build_dir/mutation-logs"
state="$build_dir/mutation-state"
mkdir -p "$logs" "$state"
exec 5>"$state/lock"
flock -n 5 || die "another mutation check is running in this checkout"

if ! git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    die "needs a git checkout, to tell that the files it changes hold committed code"
fi
if [ -f "$state/applied" ]; then
    echo "mutation-check: an earlier run was killed while $(cat "$state/applied") held a fault;" \
        "its original is in $state/original (git checkout -- FILE restores it too)" >&2
fi
mapfile -t listed < <(printf '%s\n' "${files[@]}" | sort -u)
dirty=$(git -C "$root" status --porcelain -- "${listed[@]}")
[ -z "$dirty" ] || die "these files of the fault list have uncommitted changes; commit or stash them first:
$dirty"
rm -f "$state/applied" "$state/original" "$logs"/*.log

# The file that holds a fault right now, relative to $root; restored from
# $state/original on every way out.
applied=""
restore() {
    [ -n "$applied" ] || return 0
    # Written back, not copied with its old time: make must see the file as
    # changed, or build-mutation/ would keep the faulty object.
    cat "$state/original" >"$root/$applied"
    if cmp -s "$state/original" "$root/$applied"; then
        applied=""
        rm -f "$state/applied"
    else
        echo "mutation-check: could not restore $applied; its original is in $state/original" >&4
        return 1
    fi
}
# Traps may run while a step's output goes to its log: their words go to the
# terminal through copies of the script's own output and error.
exec 3>&1 4>&2
on_exit() {
    [ -n "$applied" ] || return 0
    local file=$applied
    restore && echo "mutation-check: $file restored" >&4
}
interrupted() {
    echo >&3
    echo "mutation-check: interrupted" >&4
    exit "$1"
}
trap on_exit EXIT
trap 'interrupted 130' INT
trap 'interrupted 143' TERM
trap 'interrupted 129' HUP

# ccache's base_dir would turn the compiler's source paths relative, and some
# tests find the examples through __FILE__.
unset CCACHE_BASEDIR
build() {
    "$root/scripts/build.sh" "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNA_BUILD_BENCH=OFF \
        -DCMAKE_LINK_DEPENDS_NO_SHARED=ON 3>&- 4>&- 5>&-
}

# Runs the tests, stopping at the first failure. The project's tests carry their
# own per-test TIMEOUT, which ctest prefers to --timeout: the stop time bounds
# the whole run. $1: log file, $2: seconds allowed.
run_tests() {
    local args=(-j"$(nproc)" --stop-on-failure --timeout "$2" --stop-time "$(date -d "+$2 seconds" +%H:%M:%S)")
    [ "$with_gui" = 1 ] || args+=(-LE gui)
    (cd "$build_dir" && QT_QPA_PLATFORM=offscreen ctest "${args[@]}") >"$1" 2>&1 3>&- 4>&- 5>&-
}

# The tests a ctest log names as failed, with how they failed.
failed_tests() {
    sed -n '/The following tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \(.*\)$/\1/p' "$1" | paste -sd, - | sed 's/,/, /g'
}

labels="tests without the gui label"
[ "$with_gui" = 0 ] || labels="all tests"
echo "== the unchanged tree: build and $labels (logs in ${logs#"$root"/})"
build >"$logs/baseline.build.log" 2>&1 || die "the unchanged tree does not build: see $logs/baseline.build.log"
started=$SECONDS
run_tests "$logs/baseline.test.log" "${limit:-3600}" ||
    die "the unchanged tree fails its tests ($(failed_tests "$logs/baseline.test.log")): see $logs/baseline.test.log"
grep -q "tests passed" "$logs/baseline.test.log" || die "no tests ran: see $logs/baseline.test.log"
baseline=$((SECONDS - started))
if [ -z "$limit" ]; then
    limit=$((10 * (baseline + 1)))
    [ "$limit" -ge 120 ] || limit=120
fi
echo "   passed in $baseline s; each fault's tests may take $limit s"

# ---------------------------------------------------------------- the faults

caught=() missed=() broken=() unbuilt=()
total=${#chosen[@]}
number=0
all_started=$SECONDS
for i in "${chosen[@]}"; do
    number=$((number + 1))
    id=${ids[$i]}
    started=$SECONDS
    printf '[%2d/%d] %-36s ' "$number" "$total" "$id"
    count=$(occurrences "$i")
    if [ "$count" != 1 ]; then
        echo "$(text_status "$count") in ${files[$i]}"
        broken+=("$id")
        continue
    fi
    cp "$root/${files[$i]}" "$state/original"
    applied=${files[$i]}
    echo "$applied ($id)" >"$state/applied"
    apply_fault "$i"
    if ! build >"$logs/$id.build.log" 2>&1; then
        restore
        echo "build failed ($((SECONDS - started)) s; see ${logs#"$root"/}/$id.build.log)"
        unbuilt+=("$id")
        continue
    fi
    if run_tests "$logs/$id.test.log" "$limit"; then
        result="NOT CAUGHT"
        missed+=("$id")
    else
        names=$(failed_tests "$logs/$id.test.log")
        result="caught by ${names:-ctest (see ${logs#"$root"/}/$id.test.log)}"
        caught+=("$id")
    fi
    restore
    echo "$result ($((SECONDS - started)) s)"
done

# ---------------------------------------------------------------- summary

ran=$((${#caught[@]} + ${#missed[@]}))
echo
echo "caught ${#caught[@]} of $ran"
[ ${#missed[@]} -eq 0 ] || echo "not caught: ${missed[*]}"
[ ${#broken[@]} -eq 0 ] || echo "original text not found exactly once (mend the list): ${broken[*]}"
[ ${#unbuilt[@]} -eq 0 ] || echo "build failed (mend the list): ${unbuilt[*]}"
elapsed=$((SECONDS - all_started))
echo "time: $elapsed s, $((elapsed / total)) s per fault"
[ ${#broken[@]} -eq 0 ] && [ ${#unbuilt[@]} -eq 0 ]
