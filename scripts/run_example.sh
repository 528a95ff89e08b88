#!/usr/bin/env bash
# Sets up, builds and runs the bundled example: two simulated cohorts of 300 individuals and
# 12 SNPs (autosomal), from text and from BCF, then 6 X-chromosome SNPs, and compares the calls
# with the simulated truth.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
mkdir -p results
ex=examples

echo "== autosomal example: console log in results/example.log"
# The recommended mode; 12 SNPs are too few to learn from, so the priors are those learnt from a
# larger simulated chip of the same kind (examples/make_examples.sh).
build/tarvix++ -nrs -gz -i $ex/cohort0.txt.gz $ex/cohort1.txt.gz -f $ex/snpinfo.txt -learn -priors $ex/priors.txt \
    -o results/example > results/example.log
build/tarvix_simulate concord --truth $ex/truth.txt --calls results/example --cohorts 2

echo "== the same cohorts from BCF, as an array converter writes them: console log in results/example_bcf.log"
build/tarvix++ -nrs -i $ex/cohort0.bcf $ex/cohort1.bcf -label_starts -vcf -o results/example_bcf \
    > results/example_bcf.log
build/tarvix_simulate concord --truth $ex/truth.txt --calls results/example_bcf --cohorts 2

echo "== X-chromosome example: console log in results/example_chrX.log"
build/tarvix++ -nrs -gz -i $ex/chrX_cohort0.txt.gz $ex/chrX_cohort1.txt.gz -f $ex/chrX_snpinfo.txt \
    -chrX $ex/chrX_sex0.txt $ex/chrX_sex1.txt -label_starts -o results/example_chrX > results/example_chrX.log
build/tarvix_simulate concord --truth $ex/chrX_truth.txt --calls results/example_chrX --cohorts 2 \
    --sex $ex/chrX_sex0.txt $ex/chrX_sex1.txt

echo "== cluster plots and the QC summary page of the autosomal example: results/plots/"
scripts/install_packages.sh python3-matplotlib
scripts/tarvix-plot --prefix results/example -i $ex/cohort0.txt.gz $ex/cohort1.txt.gz --worst 6 --summary \
    --out results/plots

echo
echo "results are in results/: example_0_mcmc and example_1_mcmc hold the genotype probabilities"
echo "(three per individual: genotypes 0, 1, 2), example_params the fitted parameters and"
echo "example_information the final log posterior and cluster-separation measures, example_samples.tsv"
echo "and example_snps.tsv the QC tables; see README.md."
