#!/usr/bin/env bash
# The project's test command: installs what is missing, builds with warnings as
# errors and runs every test; then builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs them again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
# Every run takes the tests in a new order, so a test that depends on another
# shows; the seed repeats an order: GTEST_RANDOM_SEED=n scripts/test.sh
export GTEST_SHUFFLE=1
export GTEST_RANDOM_SEED="${GTEST_RANDOM_SEED:-$((RANDOM % 99999 + 1))}"
echo "== tests are shuffled with seed $GTEST_RANDOM_SEED"

echo "== layout of the sources"
scripts/format-check.sh

echo "== build (warnings as errors)"
scripts/build.sh "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== tests"
(cd build && ctest --output-on-failure -j"$(nproc)")
echo "== the installed host as an SDK: the example package built against it"
scripts/sdk-check.sh "$root/build"

echo "== build (address and undefined-behaviour sanitizers)"
scripts/build.sh "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DVORNA_SANITIZE=ON -DVORNA_BUILD_BENCH=OFF
echo "== tests under the sanitizers"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_odr_violation=2"
export LSAN_OPTIONS="suppressions=$root/cmake/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && ctest --output-on-failure -j"$(nproc)")

echo "== build with clang (warnings as errors)"
CC=clang CXX=clang++ scripts/build.sh "$root/build-clang" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== tests (clang build)"
(cd build-clang && ctest --output-on-failure -j"$(nproc)")
echo "== fuzz targets (clang, libFuzzer): corpus replay, then a bounded run each"
scripts/fuzz.sh
