#!/usr/bin/env bash
# How soon a chunk at the end of a big indexed BCF starts analysing: 2 cohorts x INDIVIDUALS
# individuals x 100,000 SNPs (tarvix_simulate, scripts/intensities_to_vcf.sh, then bcftools
# view -Ob and bcftools index), and the last 10 records analysed with a schedule cut to one
# iteration, so that the time is that of reaching them: as a -snps range, which reads and skips
# the 99,990 records before it, and as a -r region, which the index finds. REPS runs of each,
# alternating; both write the same files (checked). Not a test: it prints figures and never
# fails on them. Making the files takes minutes (about 3 per cohort at 250 individuals).
#
# Usage: bench/regions.sh [TARVIX_BINARY [SIMULATE_BINARY [REPS [INDIVIDUALS]]]]
#   defaults: build/tarvix++ build/tarvix_simulate 3 250
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tarvix=${1:-$root/build/tarvix++}
sim=${2:-$root/build/tarvix_simulate}
reps=${3:-3}
individuals=${4:-250}
snps=100000
source "$root/bench/common.sh"
bench_setup regions.sh "$tarvix" "$sim"

echo "simulating 2 cohorts x $individuals individuals x $snps SNPs, written as indexed BCF"
"$sim" --cohorts 2 --individuals "$individuals" --snps "$snps" --seed 21 --out "$work/sim" > /dev/null
first=$((snps - 9))
position=$(awk -v line=$((first + 1)) 'NR == line { print $3; exit }' "$work/sim_cohort0.txt")
for j in 0 1; do
    "$root/scripts/intensities_to_vcf.sh" "$work/sim_cohort$j.txt" 1 | bcftools view --no-version -Ob -o "$work/c$j.bcf"
    bcftools index "$work/c$j.bcf"
    rm "$work/sim_cohort$j.txt"
done
ls -l "$work"/c?.bcf | awk '{ printf "  %-8s %7.1f MB, ", $NF, $5 / 1e6 }' | sed "s#$work/##g"
echo "$(bcftools index -n "$work/c0.bcf" 2> /dev/null) records each"

short=(-seed 0.5 -snp_seeds -ns 1 -nmax 1 -b 1 -n 1 -i "$work/c0.bcf" "$work/c1.bcf")
seconds() {  # seconds NAME OPTIONS...: wall seconds of one run writing to NAME
    local name=$1
    shift
    wall_seconds "$tarvix" "${short[@]}" "$@" -o "$work/$name"
}
echo
echo "wall seconds for the last 10 records (schedule -ns 1 -nmax 1 -b 1 -n 1)"
for ((r = 1; r <= reps; ++r)); do
    skip=$(seconds skip -snps "$first" "$snps")
    region=$(seconds region -r "1:$position-")
    echo "  run $r: -snps $first $snps (skipping) $skip, -r 1:$position- (index) $region"
done
for f in _0_mcmc _1_mcmc _params _information; do
    cmp -s "$work/skip$f" "$work/region$f" || { echo "  the two runs' $f files differ"; exit 1; }
done
echo "  both wrote the same files"
