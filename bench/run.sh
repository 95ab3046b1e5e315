#!/usr/bin/env bash
# The benchmarks in one command: sets up, builds in release mode, generates the data and prints one
# table (medians with minima and maxima, each ratio measured side by side in the same run, and the
# machine it ran on). Needs curl and the sqlite3 shell, which the setup installs.
#   bench/run.sh [--scale S] [--runs N] [--rows R] [--only grid|refresh|view-memory]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_TYPE=Release bash scripts/build.sh >/dev/null
build/bin/qel_bench "$@"
