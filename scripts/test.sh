#!/usr/bin/env bash
# Runs everything from a fresh Debian 12 machine as root: installs the packages, builds, runs
# all tests (unit, UI, end to end), then the core unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer and the control core's lock-order test under ThreadSanitizer, and
# ends with the runner's summary.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/setup.sh" || { echo "setup failed"; exit 1; }

status=0
echo "== sanitizer build of the core and its unit tests =="
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DIPS_SANITIZE=ON \
  -DIPS_WITH_GUI=OFF -DIPS_WITH_TOOLS=OFF -DIPS_WITH_BENCH=OFF >/dev/null || status=1
if [ $status -eq 0 ]; then
  cmake --build "$root/build-asan" || status=1
fi
if [ $status -eq 0 ]; then
  (cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$root/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
     ctest -L unit -j "$jobs" --output-on-failure) || status=1
fi

# The lock order of the control core (notify lock, then device lock) with threads taking them at
# the same time: only the core and its unit tests, built with ThreadSanitizer, which reports an
# inversion even when the timing lets the threads through.
echo "== lock order under ThreadSanitizer =="
tsan_ok=1
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DIPS_TSAN=ON \
  -DIPS_WITH_GUI=OFF -DIPS_WITH_TOOLS=OFF -DIPS_WITH_BENCH=OFF >/dev/null &&
  cmake --build "$root/build-tsan" --target unit_core >/dev/null || tsan_ok=0
if [ $tsan_ok -eq 1 ]; then
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    "$root/build-tsan/bin/unit_core" --gtest_filter='NotifyList.*' || status=1
else
  echo "ThreadSanitizer build failed"
  status=1
fi

# The sources as .clang-format lays them out (Debian 12's clang-format): a file that differs is
# named with the first place it differs.
echo "== format =="
if command -v clang-format >/dev/null; then
  (cd "$root" && git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror) || {
    echo "format: run clang-format -i on the files above"
    status=1
  }
else
  echo "format: clang-format is missing (scripts/setup.sh installs it)"
  status=1
fi

echo "== all tests =="
(cd "$root/build" && ctest -j "$jobs" --output-on-failure --timeout 900) || status=1
exit $status
