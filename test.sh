#!/usr/bin/env bash
# Runs the whole test suite: the normal build, the unit tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer, the thread stress tests
# under ThreadSanitizer, the fuzz targets briefly, and the Windows build's
# suite under Wine.
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
  Xvfb :97 -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  export DISPLAY=:97
  for _ in $(seq 200); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

run_suite "tests" build "-DCMAKE_BUILD_TYPE=RelWithDebInfo" ""
run_suite "unit tests under ASan + UBSan" build-asan \
  "-DCMAKE_BUILD_TYPE=Debug -DRIMBREL_SANITIZE=address -DRIMBREL_BENCH=OFF" "-LE e2e"
run_suite "thread stress tests under TSan" build-tsan \
  "-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIMBREL_SANITIZE=thread -DRIMBREL_BENCH=OFF" "-L tsan"

# The fuzz targets, briefly: each libFuzzer program of tests/fuzz runs about
# 30 s on its seeds, the committed corpus and the kept crash inputs, copied
# into a scratch folder so that the repository is never written. A crash, a
# broken invariant, a leak, a hang or a runaway allocation fails the suite;
# the input is left in build-fuzz/fuzz-artifacts/.
run_fuzz_suite() {
  echo "==== fuzz targets, briefly ===="
  if ! command -v clang++ >/dev/null; then
    echo "clang++ is missing"
    failed=1
    return
  fi
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRIMBREL_FUZZ=ON -DRIMBREL_BENCH=OFF >/dev/null || { failed=1; return; }
  cmake --build build-fuzz -j"$jobs" --target fuzz_all || { failed=1; return; }
  local scratch t options
  scratch=$(mktemp -d)
  for t in loader urilist kitreader midi ownaudio ownflac kitstate; do
    case $t in
      loader) options="-max_len=16384 -malloc_limit_mb=128" ;;
      ownaudio) options="-max_len=16384 -malloc_limit_mb=128" ;;
      ownflac) options="-max_len=16384 -malloc_limit_mb=128" ;;
      urilist) options="-max_len=65536" ;;
      kitreader) options="-max_len=16384" ;;
      kitstate) options="-max_len=16384" ;;
      midi) options="-max_len=4096" ;;
    esac
    mkdir -p "$scratch/$t" "build-fuzz/fuzz-artifacts/$t"
    build-fuzz/tests/fuzz/fuzz_seeds "$t" "$scratch/$t" >/dev/null 2>&1 || true
    cp tests/fuzz/corpus/"$t"/* tests/fuzz/regressions/"$t"/* "$scratch/$t/" 2>/dev/null || true
    if build-fuzz/tests/fuzz/fuzz_$t -max_total_time=30 -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 \
        $options -artifact_prefix="build-fuzz/fuzz-artifacts/$t/" "$scratch/$t" >"$scratch/$t.log" 2>&1; then
      echo "fuzz_$t: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$scratch/$t.log" | tail -1)"
    else
      echo "fuzz_$t FAILED:"
      tail -n 60 "$scratch/$t.log"
      failed=1
    fi
  done
  rm -rf "$scratch"
}
run_fuzz_suite

# The Windows build, cross-built with mingw-w64, and its suite under Wine
# (compared against the Linux build in build/).
echo "==== Windows build, tests under Wine ===="
scripts/build-windows.sh --test || failed=1

if [ $failed -ne 0 ]; then
  echo "Some tests failed."
  exit 1
fi
echo "All test suites passed."
