#!/usr/bin/env bash
# Mutation testing on demand (slow, so not in CI): applies each small fault listed in
# tests/mutants.txt to the source, one at a time, rebuilds what it needs, runs the tests that should
# catch it, restores the file, and prints each mutant as caught or survived, then "N caught,
# N survived". A survivor is a test to write (or, when the fault cannot change what anyone sees, an
# equivalent mutant to mark as such in the list).
#   bash scripts/mutate.sh [AREA…]     # every mutant, or those of the given areas
# Builds in build-mutate/ (Release), apart from build/, so a run never leaves build/ mutated.
set -euo pipefail
cd "$(dirname "$0")/.."
list=tests/mutants.txt
dir=build-mutate
bash scripts/setup.sh
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null

backup=""
original=""
restore() { if [ -n "$backup" ] && [ -f "$backup" ]; then cp "$backup" "$original"; rm -f "$backup"; backup=""; fi; }
trap restore EXIT INT TERM

caught=0; survived=0; stale=0; equivalent=0; invalid=0
declare -A wanted=()
for a in "$@"; do wanted[$a]=1; done
n=0
while IFS=$'\t' read -r area file find replace targets tests || [ -n "${area:-}" ]; do
  case "$area" in ''|'#'*) continue ;; esac
  [ ${#wanted[@]} -eq 0 ] || [ -n "${wanted[$area]:-}" ] || continue
  n=$((n + 1))
  if [[ "$targets" == EQUIVALENT* ]]; then
    equivalent=$((equivalent + 1)); echo "[$n] $area $file: equivalent (${targets#EQUIVALENT})"; continue
  fi
  count=$(python3 -c 'import sys; print(open(sys.argv[1]).read().count(sys.argv[2].replace("{NL}", "\n")))' "$file" "$find" 2>/dev/null || echo 0)
  if [ "$count" != 1 ]; then
    stale=$((stale + 1)); echo "[$n] $area $file: STALE (the pattern occurs $count times): $find"; continue
  fi
  original=$file; backup=$(mktemp); cp "$file" "$backup"
  python3 - "$file" "$find" "$replace" <<'PY'
import sys
p, f, r = sys.argv[1], sys.argv[2].replace("{NL}", "\n"), sys.argv[3].replace("{NL}", "\n").replace("{NONE}", "")
s = open(p).read()
open(p, "w").write(s.replace(f, r, 1))
PY
  verdict=survived
  # shellcheck disable=SC2086
  if ! cmake --build "$dir" -j"$(nproc)" --target $targets >/tmp/qel_mutate_build.log 2>&1; then
    verdict="INVALID (does not build; see /tmp/qel_mutate_build.log)"
  else
    # Each test is "binary[:gtest filter]"; the mutant is caught when any of them fails.
    for t in $tests; do
      bin=${t%%:*}; filter=${t#*:}; [ "$filter" = "$t" ] && filter='*'
      if ! (cd "$dir" && QT_QPA_PLATFORM=offscreen timeout 900 "bin/$bin" --gtest_filter="$filter" >/tmp/qel_mutate_test.log 2>&1); then
        verdict=caught; break
      fi
    done
  fi
  restore
  case "$verdict" in
    survived) survived=$((survived + 1)) ;;
    INVALID*) invalid=$((invalid + 1)) ;;
    *) caught=$((caught + 1)) ;;
  esac
  echo "[$n] $area $file: $verdict — $find → $replace"
done < "$list"
# Put the binaries back as the source is.
cmake --build "$dir" -j"$(nproc)" >/dev/null 2>&1 || true
echo "stale patterns: $stale; mutants that do not build: $invalid; equivalent mutants: $equivalent"
echo "$caught caught, $survived survived"
