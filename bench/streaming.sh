#!/usr/bin/env bash
# Memory and threads of whole-chip runs on simulated data, 2 cohorts x 2000 individuals:
#  - peak resident memory for the first 400 and the first 4000 SNPs of one file, with a schedule
#    cut to a few iterations (memory follows what is held, not how long each SNP runs);
#  - SNPs per second with 1 and with 2 threads (-snp_seeds both), on 24 SNPs of the default
#    schedule, REPS times each, alternating.
# Not a test: it prints figures and never fails on them.
#
# Usage: bench/streaming.sh [TARVIX_BINARY [SIMULATE_BINARY [REPS]]]
#   defaults: build/tarvix++ build/tarvix_simulate 3
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tarvix=${1:-$root/build/tarvix++}
sim=${2:-$root/build/tarvix_simulate}
reps=${3:-3}
for exe in "$tarvix" "$sim" /usr/bin/time; do
    [[ -x $exe ]] || { echo "streaming.sh: not an executable: $exe" >&2; exit 2; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_streaming.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "simulating 2 cohorts x 2000 individuals x 4000 SNPs"
"$sim" --cohorts 2 --individuals 2000 --snps 4000 --seed 18 --out "$work/sim" > /dev/null
inputs=(-i "$work/sim_cohort0.txt" "$work/sim_cohort1.txt" -f "$work/sim_snpinfo.txt")

peak() {  # peak resident MB of one run with the given options
    /usr/bin/time -f %M -o "$work/peak" "$tarvix" -nrs "${inputs[@]}" "$@" -o "$work/out" > /dev/null 2>&1
    awk '{printf "%.1f", $1 / 1024}' "$work/peak"
}
short=(-ns 1 -nmax 1 -b 1 -n 1)
echo
echo "peak resident memory, MB (schedule -ns 1 -nmax 1 -b 1 -n 1)"
for n in 400 4000; do
    printf '  %4d SNPs, 1 thread : %s\n' $n "$(peak "${short[@]}" -snps 1 $n)"
    printf '  %4d SNPs, 2 threads: %s\n' $n "$(peak "${short[@]}" -snps 1 $n -threads 2)"
done

echo
echo "SNPs per second, 24 SNPs, default schedule, -snp_seeds"
for ((r = 1; r <= reps; ++r)); do
    line="  run $r:"
    for threads in 1 2; do
        start=$(date +%s.%N)
        "$tarvix" -nrs "${inputs[@]}" -snps 1 24 -threads $threads -snp_seeds -o "$work/out" > /dev/null 2>&1
        rate=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.3f", 24 / (b - a)}')
        line+=" $threads thread(s) $rate"
        [[ $threads == 1 ]] && one=$rate
    done
    echo "$line  (ratio $(awk -v a="$one" -v b="$rate" 'BEGIN {printf "%.2f", b / a}'))"
done
