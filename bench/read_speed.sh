#!/usr/bin/env bash
# Reading speed of the two input formats: 2 cohorts x 2000 individuals x 2000 SNPs as gzip text
# and as BCF (scripts/intensities_to_vcf.sh, then bcftools), each run with a schedule cut to a
# few iterations so that reading is a large share of the time, REPS times each, alternating.
# Not a test: it prints figures and never fails on them.
#
# Usage: bench/read_speed.sh [TARVIX_BINARY [SIMULATE_BINARY [REPS]]]
#   defaults: build/tarvix++ build/tarvix_simulate 3
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tarvix=${1:-$root/build/tarvix++}
sim=${2:-$root/build/tarvix_simulate}
reps=${3:-3}
source "$root/bench/common.sh"
bench_setup read_speed.sh "$tarvix" "$sim"

echo "simulating 2 cohorts x 2000 individuals x 2000 SNPs"
"$sim" --cohorts 2 --individuals 2000 --snps 2000 --seed 21 --out "$work/sim" > /dev/null
for j in 0 1; do
    gzip -n -c "$work/sim_cohort$j.txt" > "$work/c$j.txt.gz"
    "$root/scripts/intensities_to_vcf.sh" "$work/sim_cohort$j.txt" 1 | bcftools view --no-version -Ob -o "$work/c$j.bcf"
done
ls -l "$work"/c?.txt.gz "$work"/c?.bcf | awk '{ printf "  %-12s %6.1f MB\n", $NF, $5 / 1e6 }' | sed "s#$work/##"

short=(-nrs -ns 1 -nmax 1 -b 1 -n 1)
seconds() { wall_seconds "$tarvix" "${short[@]}" "$@" -o "$work/out"; }
echo
echo "wall seconds for 2000 SNPs (schedule -ns 1 -nmax 1 -b 1 -n 1)"
for ((r = 1; r <= reps; ++r)); do
    text=$(seconds -gz -i "$work/c0.txt.gz" "$work/c1.txt.gz")
    bcf=$(seconds -i "$work/c0.bcf" "$work/c1.bcf")
    echo "  run $r: gzip text $text, BCF $bcf"
done
