#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a
# normal build and once under AddressSanitizer and UndefinedBehaviorSanitizer;
# then each fuzz target for 20 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
bash scripts/install-peers.sh && timeout 180 python3 tests/integration/peers_test.py build/processor/pelix build/tools/pelixcfg
timeout 120 python3 tests/crash/kill_test.py --tics 150 --kills 6 build/processor/pelix build/tools/pelixcfg

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELIX_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")

bash scripts/package-test.sh build
bash scripts/fuzz.sh 20
