#!/usr/bin/env bash
# Whole-set effect of -label_starts on a simulated chip of every SNP kind: concordance, call rate,
# SNPs with the right labelling, wrong calls at probability >= 0.99 and written as 1, the
# agreement of the calls binned by probability, and user seconds per SNP; without and with the
# option, same seed. Not a test.
#
# Usage: bench/labelling_set.sh [TARVIX [SIMULATE]]  (defaults: build/tarvix++ build/tarvix_simulate)
# Environment: COHORTS (2), INDIVIDUALS (1000), SNPS (100), SEED (data seed, 31), INFO (1: -f with
# the reference frequencies; 0: none), OPTIONS (further tarvix++ options).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tarvix=${1:-$root/build/tarvix++}
sim=${2:-$root/build/tarvix_simulate}
cohorts=${COHORTS:-2} individuals=${INDIVIDUALS:-1000} snps=${SNPS:-100}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_labelling_set.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

"$sim" --cohorts "$cohorts" --individuals "$individuals" --snps "$snps" --seed "${SEED:-31}" --hard 0.15 \
    --lowfreq 0.15 --twocluster 0.2 --offdiag 0.15 --dim 0.15 --unknown-freq 0.1 --out set > /dev/null
inputs=()
for ((j = 0; j < cohorts; ++j)); do inputs+=("set_cohort$j.txt"); done
info=()
[[ ${INFO:-1} == 1 ]] && info=(-f set_snpinfo.txt)
echo "$cohorts cohorts x $individuals individuals x $snps SNPs (20% easy, 15% hard, 15% lowfreq, 20% twocluster,"
echo "15% offdiag, 15% dim), -nrs${info:+ -f}"
for option in without with; do
    extra=()
    [[ $option == with ]] && extra=(-label_starts)
    # shellcheck disable=SC2086
    /usr/bin/time -f %U -o $option.time "$tarvix" -nrs -i "${inputs[@]}" "${info[@]}" "${extra[@]}" ${OPTIONS:-} \
        -o $option > $option.log
    echo
    echo "== $option -label_starts: $(awk -v n="$snps" '{ printf "%.3f user seconds per SNP", $1 / n }' $option.time)"
    "$sim" concord --truth set_truth.txt --calls $option --cohorts "$cohorts" | sed -n '/^kind/,$p'
    "$sim" concord --truth set_truth.txt --calls $option --cohorts "$cohorts" |
        awk '/^\[0.99, 1\)/ { w += $5 } /^1 \(> 0.999\)/ { w += $6; one = $6 }
             END { printf "wrong calls at p >= 0.99: %d, of them written as 1: %d\n", w, one }'
done
