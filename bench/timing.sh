#!/usr/bin/env bash
# Wall-time figures of the built program, each a ratio of medians of paired
# runs taken in turn (A, B, A, B, ...), so that a change in the machine's load
# touches both sides alike. Run it on a quiet machine.
#
#   threads: population 2000, depth 8, 20 generations (mutation 0.05,
#            crossover 0.7) on 50 negative three-decimal triples, --threads 2
#            against --threads 1, with the full transcript and with --brief;
#            with the time per generation of each (the run with 0
#            generations subtracted), and the symbol evaluations per second
#            of the same run with both rates 0, whose trees stay complete.
#   deep:    the plain run of population 4 at depth 14 on 50 such triples,
#            on 1 and on 2 threads, against the replay of its own transcript.
#   shallow: population 200 at depth 6 on 20 such triples, likewise.
#   before:  with BASELINE, an earlier build of the program: each case on
#            one thread against the same case run by BASELINE.
#
# Usage: bench/timing.sh [BUILD_DIR [PAIRS [BASELINE]]]
#        (default: build, 11 pairs, no baseline)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
pairs=${2:-11}
baseline=${3:+$(realpath "$3")}
program=$build/function-approximator
replay=$build/transcript-replay
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Milliseconds one run takes: the command line in "$@", output to a file.
millis() {
  local start end
  start=$(date +%s%N)
  "$@" > out.txt 2> /dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Medians of PAIRS alternated runs of two shell functions.
paired() {
  local i
  : > a.ms
  : > b.ms
  for ((i = 0; i < pairs; i++)); do
    millis "$1" >> a.ms
    millis "$2" >> b.ms
  done
  echo "$(median < a.ms) $(median < b.ms)"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }

# Negative three-decimal values, as -80.261.
negative() {
  for i in $(seq "$1"); do
    printf -- '-%d.%03d,-%d.%03d,-%d.%03d\n' $((i * 37 % 97)) $((i * 131 % 1000)) \
      $((i * 53 % 89)) $((i * 271 % 1000)) $((i * 19 % 83)) $((i * 613 % 1000))
  done
}

negative 50 > testVals.csv
printf '2000 0 0.05 0.7 8\n' > zero.txt
printf '2000 20 0.05 0.7 8\n' > twenty.txt
zeroOn1() { "$program" --evolve --threads 1 < zero.txt; }
zeroOn2() { "$program" --evolve --threads 2 < zero.txt; }
twentyOn1() { "$program" --evolve --threads 1 < twenty.txt; }
twentyOn2() { "$program" --evolve --threads 2 < twenty.txt; }
read -r zero1 zero2 < <(paired zeroOn1 zeroOn2)
read -r one two < <(paired twentyOn1 twentyOn2)
briefOn1() { "$program" --evolve --brief --threads 1 < twenty.txt; }
briefOn2() { "$program" --evolve --brief --threads 2 < twenty.txt; }
read -r brief1 brief2 < <(paired briefOn1 briefOn2)
# Varied trees shrink and grow, so the symbols are counted on a run whose
# rates are 0: its trees stay complete, 2000 expressions of 511 symbols on
# 50 triples in 21 quiet evaluations (the first population's and 20
# generations').
printf '2000 20 0 0 8\n' > still.txt
stillOn1() { "$program" --evolve --threads 1 < still.txt; }
stillOn2() { "$program" --evolve --threads 2 < still.txt; }
read -r still1 still2 < <(paired stillOn1 stillOn2)
evaluations=$((21 * 2000 * 511 * 50))
for side in "1 $one $zero1 $still1" "2 $two $zero2 $still2"; do
  read -r threads total zero still <<< "$side"
  awk -v t="$threads" -v total="$total" -v zero="$zero" -v still="$still" \
    -v n="$evaluations" 'BEGIN {printf "threads %d: %d ms (0 generations: %d ms), %.1f ms per generation; complete trees: %.3g symbol evaluations per second\n", t, total, zero, (total - zero) / 20, n / ((still - zero) / 1000)}'
done
echo "threads 2 against 1: $(ratio "$two" "$one")"
echo "threads 2 against 1, --brief: $brief2 ms, $brief1 ms: $(ratio "$brief2" "$brief1")"
if [ -n "$baseline" ]; then
  before() { "$baseline" --evolve --threads 1 < twenty.txt; }
  read -r now then < <(paired twentyOn1 before)
  echo "threads 1 against the baseline: $now ms, $then ms: $(ratio "$now" "$then")"
fi

for case in "deep 4 14 50" "shallow 200 6 20"; do
  read -r name size depth triples <<< "$case"
  negative "$triples" > testVals.csv
  printf '%s 0 0 0 %s\n' "$size" "$depth" > answers.txt
  "$program" --threads 1 < answers.txt > run.txt
  replayed() { "$replay" run.txt; }
  for threads in 1 2; do
    plain() { "$program" --threads "$threads" < answers.txt; }
    read -r run floor < <(paired plain replayed)
    echo "$name, $threads thread(s): run $run ms, replay of its $(wc -c < run.txt)-byte transcript $floor ms: $(ratio "$run" "$floor")"
  done
  if [ -n "$baseline" ]; then
    plain() { "$program" --threads 1 < answers.txt; }
    before() { "$baseline" < answers.txt; }
    read -r now then < <(paired plain before)
    echo "$name, 1 thread against the baseline: $now ms, $then ms: $(ratio "$now" "$then")"
  fi
done
