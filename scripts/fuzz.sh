#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for SECONDS (default 300),
# printing the number of runs each made. Findings are written to build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
bash scripts/setup.sh
if ! command -v clang++ >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'install ok installed'; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
fi
cmake -S . -B build-fuzz -DQEL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_filter fuzz_packet fuzz_request
mkdir -p build-fuzz/findings
for target in fuzz_filter fuzz_packet fuzz_request; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  if [ "$target" = fuzz_request ]; then
    printf 'POST /QEL00100.rdmOpcoesDW/Login HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer abc\r\nContent-Length: 29\r\n\r\n{"args":["MARIA","senha"]}' \
      >"$corpus/seed-login"
  fi
  log=build-fuzz/$target.log
  build-fuzz/bin/$target "$corpus" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/$target- >"$log" 2>&1 || { echo "$target: a finding, see $log"; tail -30 "$log"; exit 1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$target: $runs runs in $seconds s, no finding"
done
