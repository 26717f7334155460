#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz and runs each for the given number of seconds (default
# 60), one after the other, starting from its seed corpus in tools/fuzz/corpus/<target>. Fails as soon
# as a target finds a crash, a sanitizer report, a leak or a broken invariant; the input that did it is
# left in build-fuzz/findings/.
#   tools/fuzz/run-all.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(event_assembler session channel store dat_log csv_log phd2_log)
fi

build=build-fuzz
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DASTRELVO_UI=OFF -DASTRELVO_FUZZ=ON \
      -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build $build -j2 --target $(printf '%s_fuzzer ' "${targets[@]}")

mkdir -p $build/findings
for t in "${targets[@]}"; do
  echo "=== fuzzing $t for ${seconds}s ==="
  # Inputs found along the way go to a scratch corpus; the seeds in the repository stay as they are.
  work=$build/corpus/$t
  mkdir -p "$work"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/tools/fuzz/${t}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$t-" "$work" "tools/fuzz/corpus/$t"
done
