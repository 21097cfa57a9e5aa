#!/usr/bin/env bash
# Reruns the report's examples of the README in a scratch directory, prints
# the report that the README shows, and puts the three pictures in docs/:
# report-example.svg, evolution-example.svg and runs-example.svg.
# Usage: docs/examples.sh [BUILD_DIR]      (default: build, in this checkout)
# The commands are the README's own; when one changes there, change it here.
set -euo pipefail
checkout=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$checkout/build}" && pwd)
export PATH="$build:$PATH"
cd "$(mktemp -d)"

# One population of 200 at depth 4 on 20 triples, and its report.
seq 1 20 | awk '{printf "%g,%g,%g\n", 0.2*$1, 4-0.15*$1, 0.5+0.1*$1}' > testVals.csv
printf '200 0 0 0 4\n' | function-approximator > run.txt
function-approximator-report --top 5 --svg report-example.svg run.txt

# The same population evolved over 30 generations.
printf '200 30 0.1 0.7 4\n' | function-approximator --evolve > evolution.txt
function-approximator-report --top 5 --svg evolution-example.svg evolution.txt > /dev/null

# Eight runs side by side, one per seed, reported together.
seq 1 8 | xargs -P "$(nproc)" -I{} sh -c \
  'printf "200 30 0.1 0.7 4\n" | function-approximator --evolve --seed {} > run-{}.txt'
function-approximator-report --top 0 --svg runs-example.svg run-?.txt > /dev/null

cp report-example.svg evolution-example.svg runs-example.svg "$checkout/docs/"
echo "docs/examples.sh: pictures written to $checkout/docs, runs left in $PWD" >&2
