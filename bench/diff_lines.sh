#!/usr/bin/env bash
# The line diff benchmark: a 100,000-line file against a copy with 1% of its
# lines changed in scattered places. Runs diff_bench five times, each in a
# fresh process, and prints every run and the medians.
#
#   bench/diff_lines.sh [BUILD_DIR]   (default: build; needs ORRERY_BUILD_BENCH=ON)
set -euo pipefail

cd "$(dirname "$0")/.."
build_dir=${1:-build}
bench=$build_dir/bench/diff_bench
if [[ ! -x $bench ]]; then
  echo "diff_lines.sh: $bench is missing; build it with: cmake --build $build_dir --target diff_bench" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/gen_lines.py "$work" --lines 100000 --percent 1 --seed 1

for run in 1 2 3 4 5; do
  "$bench" "$work/old.txt" "$work/new.txt" | tee -a "$work/runs"
done
median() { sort -n | sed -n 3p; }
echo "median of 5: $(awk '{ print $7 }' "$work/runs" | median) ms wall," \
  "$(awk '{ print $9 }' "$work/runs" | median) ms processor," \
  "peak RSS $(awk '{ print $13 }' "$work/runs" | median) MB"
