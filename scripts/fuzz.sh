#!/usr/bin/env bash
# Builds the in-process fuzz targets with clang's libFuzzer (in build-fuzz/)
# and runs each for SECONDS (default 20) from its seed corpus in tests/fuzz/.
# New inputs go to build-fuzz/corpus/, a crash to build-fuzz/crashes/ and
# ends the script with a failure. Without clang it only says so.
#
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
cxx=$(command -v clang++ || command -v clang++-14 || true)
cc=$(command -v clang || command -v clang-14 || true)
if [ -z "$cxx" ] || [ -z "$cc" ]; then
  echo "fuzz: clang not installed, fuzz targets skipped"
  exit 0
fi
targets=(tic_reader netmail records config_text node_options)
CC=$cc CXX=$cxx cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELIX_FUZZ=ON -DPELIX_BUILD_SETUP=OFF -DPELIX_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/%/_fuzz}"
mkdir -p build-fuzz/crashes
status=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  log="build-fuzz/$t.log"
  # Every bound explicit: the whole run, one input, memory, input length.
  if timeout $((seconds + 120)) "build-fuzz/tests/fuzz/${t}_fuzz" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/crashes/$t-" \
      "build-fuzz/corpus/$t" "tests/fuzz/${t}_corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "fuzz: $t: $runs runs, $rate per second, no crash"
  else
    echo "fuzz: $t FAILED (input in build-fuzz/crashes/):"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
