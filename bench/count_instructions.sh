#!/usr/bin/env bash
# Instructions per command, under callgrind: the total for 2 repetitions minus
# the total for 1, so set-up, warm-up and process start cancel out.
# Usage: bench/count_instructions.sh [BUILD_DIR [CASE...]]   (default build/native, every case)
set -euo pipefail
cd "$(dirname "$0")/.."
driver="${1:-build/native}/bin/count_driver"
shift $(($# > 0 ? 1 : 0))
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(short example random decimals nested flat vars10 vars1000 vars10000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

count() {  # ENGINE CASE REPETITIONS
  valgrind --tool=callgrind --callgrind-out-file="$work/out" "$driver" "$@" >/dev/null 2>&1
  sed -n 's/^summary: //p' "$work/out"
}

per_command() {  # ENGINE CASE
  local one two
  one=$(count "$1" "$2" 1)
  two=$(count "$1" "$2" 2)
  echo $((two - one))
}

printf '%-10s %12s %12s %12s %10s %12s\n' case calc floor muparser calc/floor muparser/calc
for name in "${cases[@]}"; do
  calc=$(per_command calc "$name")
  floor=$(per_command floor "$name")
  muparser=$(per_command muparser "$name")
  printf '%-10s %12d %12d %12d %10.2f %12.1f\n' "$name" "$calc" "$floor" "$muparser" \
    "$(echo "$calc / $floor" | bc -l)" "$(echo "$muparser / $calc" | bc -l)"
done
