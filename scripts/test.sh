#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a
# normal build (build-test/) and once under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/); then each fuzz target for 20
# seconds. Each build directory is the tests' own, with every option that
# matters given, so a build/ configured otherwise (the packages of the
# README's Install step) changes nothing here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELIX_BUILD_TESTS=ON \
  -DPELIX_BUILD_SETUP=ON -DPELIX_SANITIZE=OFF >/dev/null
cmake --build build-test -j "$jobs"
(cd build-test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
bash scripts/install-peers.sh && timeout 180 python3 tests/integration/peers_test.py build-test/processor/pelix build-test/tools/pelixcfg
timeout 120 python3 tests/crash/kill_test.py --tics 150 --kills 6 build-test/processor/pelix build-test/tools/pelixcfg

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELIX_SANITIZE=ON -DPELIX_BUILD_TESTS=ON \
  -DPELIX_BUILD_SETUP=ON >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")

bash scripts/package-test.sh build-test
bash scripts/fuzz.sh 20
