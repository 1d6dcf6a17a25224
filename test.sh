#!/usr/bin/env bash
# Runs the whole test suite: the normal build, the unit tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the thread stress tests
# under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
jobs=$(nproc)
failed=0

run_suite() {  # name, build dir, cmake args, ctest args
  local name=$1 dir=$2 cmake_args=$3 ctest_args=$4
  echo "==== $name ===="
  cmake -S . -B "$dir" $cmake_args >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" $ctest_args) || failed=1
}

# The end-to-end tests need an X server; start one unless a display is given.
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :97 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  export DISPLAY=:97
  sleep 1
fi

run_suite "tests" build "-DCMAKE_BUILD_TYPE=RelWithDebInfo" ""
run_suite "unit tests under ASan + UBSan" build-asan \
  "-DCMAKE_BUILD_TYPE=Debug -DRIMBREL_SANITIZE=address -DRIMBREL_BENCH=OFF" "-LE e2e"
run_suite "thread stress tests under TSan" build-tsan \
  "-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIMBREL_SANITIZE=thread -DRIMBREL_BENCH=OFF" "-L tsan"

if [ $failed -ne 0 ]; then
  echo "Some tests failed."
  exit 1
fi
echo "All test suites passed."
