#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang, libFuzzer and the address and
# undefined-behaviour sanitizers, replays each target's corpus, then fuzzes
# each for a bounded time. Any crash, leak, sanitizer report, slow input or
# memory blow-up fails the script; the input that caused it is left in
# build-fuzz/crashes/ (add it to the target's corpus once it is fixed).
#   scripts/fuzz.sh [seconds per target]   (default 60, or VORNA_FUZZ_SECONDS)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-${VORNA_FUZZ_SECONDS:-60}}"
# mesh_import: the import library reads in a child process of its own, so the
# target takes what the host does itself (the child's result, content formats).
targets=(vornamesh camera_path_inventor camera_path_mesh package_description mesh_import)

scripts/install-deps.sh

build="$root/build-fuzz"
echo "== build the fuzz targets (clang)"
CC=clang CXX=clang++ scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" \
  -DVORNA_FUZZ=ON -DVORNA_BUILD_TESTS=OFF -DVORNA_BUILD_BENCH=OFF -- "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen
# Full stacks for every allocation: the Inventor library has no frame pointers,
# so the fast unwinder stops at its first frame and the suppression of its
# reader's leak (fuzz/lsan.supp) would never match. Costs fuzzing speed only.
export ASAN_OPTIONS="detect_leaks=1:detect_odr_violation=0:fast_unwind_on_malloc=0"
export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
# The tests' suppressions, and the reader's leaks on damaged input (fuzz/lsan.supp).
cat "$root/cmake/lsan.supp" "$root/fuzz/lsan.supp" >"$build/lsan.supp"
export LSAN_OPTIONS="suppressions=$build/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Per input: 10 s and 2 GB at most.
limits=(-timeout=10 -rss_limit_mb=2048)

# The end of a log, with very long lines (readers' messages without line
# breaks) cut to their last 400 characters.
report() { tail -n 60 "$1" | sed -E 's/^.{200,}(.{400})$/... \1/'; }

rm -rf "$build/crashes" "$build/work"
mkdir -p "$build/crashes" "$build/logs"
failed=()
for target in "${targets[@]}"; do
  program="$build/bin/fuzz_$target"
  corpus="$root/fuzz/corpus/$target"
  log="$build/logs/$target.log"
  dict=()
  if [ -f "$root/fuzz/$target.dict" ]; then dict=(-dict="$root/fuzz/$target.dict"); fi

  echo "== fuzz $target: replay $(ls "$corpus" | wc -l) corpus inputs, then fuzz for $seconds s"
  if ! "$program" "${limits[@]}" -artifact_prefix="$build/crashes/$target-" "$corpus"/* >"$log" 2>&1; then
    report "$log"
    failed+=("$target (corpus replay)")
    continue
  fi
  # New inputs go to a scratch copy: the checked-in corpus changes only by hand.
  # The readers' own complaints on standard error are dropped while fuzzing
  # (libFuzzer and the sanitizers report on a copy of it).
  mkdir -p "$build/work/$target"
  if ! "$program" "${limits[@]}" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=2 \
      -artifact_prefix="$build/crashes/$target-" "$build/work/$target" "$corpus" >"$log" 2>&1; then
    report "$log"
    failed+=("$target")
    continue
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$log" | tr -s " " | tr "\n" " "
  echo
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]}; inputs in $build/crashes/, logs in $build/logs/" >&2
  exit 1
fi
echo "fuzz: every target replayed its corpus and ran $seconds s without a finding"
