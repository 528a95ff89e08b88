#!/usr/bin/env bash
# Regenerates the bundled example data in this folder from the simulator.
# Usage: examples/make_examples.sh PATH/TO/tarvix_simulate [PATH/TO/tarvix++]
# With tarvix++, also priors.txt: the priors learnt (-learn_only) from a larger simulated chip of
# the same kind (2 x 300 individuals, 160 SNPs), with which the example's 12 SNPs are called as
# a small batch of a large run's array.
# Same simulator source and seeds give the same bytes; gzip -n leaves out the name and time stamp.
set -euo pipefail

sim=${1:?usage: make_examples.sh PATH/TO/tarvix_simulate [PATH/TO/tarvix++]}
tarvix=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Autosomal set: 12 SNPs, 3 hard, 3 low-frequency, one without a reference frequency.
"$sim" --cohorts 2 --individuals 300 --snps 12 --seed 102 \
    --hard 0.25 --lowfreq 0.25 --unknown-freq 0.1 --out "$tmp/auto"
# X-chromosome set: 6 SNPs, 1 hard, 1 low-frequency; males are haploid.
"$sim" --cohorts 2 --individuals 300 --snps 6 --seed 202 --chrX \
    --hard 0.17 --lowfreq 0.17 --unknown-freq 0 --out "$tmp/x"

for j in 0 1; do
    gzip -n -9 -c "$tmp/auto_cohort$j.txt" > "$here/cohort$j.txt.gz"
    gzip -n -9 -c "$tmp/x_cohort$j.txt" > "$here/chrX_cohort$j.txt.gz"
    cp "$tmp/x_sex$j.txt" "$here/chrX_sex$j.txt"
done
cp "$tmp/auto_snpinfo.txt" "$here/snpinfo.txt"
cp "$tmp/auto_truth.txt" "$here/truth.txt"
cp "$tmp/x_snpinfo.txt" "$here/chrX_snpinfo.txt"
cp "$tmp/x_truth.txt" "$here/chrX_truth.txt"
# The autosomal set as BCF, as an array converter would write it (chromosome 1).
for j in 0 1; do
    "$here/../scripts/intensities_to_vcf.sh" "$here/cohort$j.txt.gz" 1 |
        bcftools view --no-version -Ob -o "$here/cohort$j.bcf"
done
if [[ -n $tarvix ]]; then
    "$sim" --cohorts 2 --individuals 300 --snps 160 --seed 103 \
        --hard 0.25 --lowfreq 0.25 --unknown-freq 0.1 --out "$tmp/chip"
    "$tarvix" -nrs -i "$tmp/chip_cohort0.txt" "$tmp/chip_cohort1.txt" -f "$tmp/chip_snpinfo.txt" -threads 2 \
        -learn_only -o "$tmp/chip" > /dev/null
    cp "$tmp/chip_priors" "$here/priors.txt"
fi
