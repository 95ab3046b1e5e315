#!/usr/bin/env bash
# Sets up, builds and runs every test; then builds the tree again with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/) and runs the whole suite on that build. SANITIZE=0 skips
# the second run. TSAN=1 adds a third: the server and its tests built with ThreadSanitizer
# (build-tsan/), the server's load and hardening tests run on it; any race stops the server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)")
if [ "${SANITIZE:-1}" != 0 ]; then
  cmake -S . -B build-asan -DQEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
  cmake --build build-asan -j"$(nproc)"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
     LSAN_OPTIONS=suppressions="$PWD/../tests/lsan.supp" \
     ctest --output-on-failure -j"$(nproc)")
fi
if [ "${TSAN:-0}" = 1 ]; then
  cmake -S . -B build-tsan -DQEL_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
  cmake --build build-tsan -j"$(nproc)" --target qelserver server_test
  (cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
     ctest --output-on-failure -j"$(nproc)" -R '^(Hardened|Resilient|Server|Auth)')
fi
