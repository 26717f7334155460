#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz and runs each for the given number of seconds (default
# 60), two at a time, starting from its seed corpus in tools/fuzz/corpus/<target>. Fails when a
# target finds a crash, a sanitizer report, a leak or a broken invariant (its output is printed then);
# the input that did it is left in build-fuzz/findings/.
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
# Two targets run at a time (each fuzzer is one process on one core); each one's output goes to its own
# log, printed when it ends, so the two do not interleave.
fuzz_one() {
  local t=$1 log=$build/findings/$1.log
  # Inputs found along the way go to a scratch corpus; the seeds in the repository stay as they are.
  local work=$build/corpus/$t
  mkdir -p "$work"
  local rc=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/tools/fuzz/${t}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$t-" "$work" "tools/fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
  echo "=== fuzzed $t for ${seconds}s: $([ $rc -eq 0 ] && echo ok || echo "FAILED ($rc)") ==="
  if [ $rc -ne 0 ]; then cat "$log"; else grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true; fi
  return $rc
}
lanes=${ASTRELVO_FUZZ_LANES:-2}
failed=0
running=()
for t in "${targets[@]}"; do
  fuzz_one "$t" &
  running+=($!)
  if [ ${#running[@]} -ge "$lanes" ]; then
    wait "${running[0]}" || failed=1
    running=("${running[@]:1}")
  fi
done
for pid in "${running[@]}"; do wait "$pid" || failed=1; done
exit $failed
