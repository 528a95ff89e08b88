#!/usr/bin/env bash
# Intensities on another scale than the priors': a simulated set (2 cohorts x 300 individuals x
# 12 SNPs, the example's layout) multiplied by F, run as it is and with -scale F. Prints per F
# the median x + y of cohort 0's first SNPs, then the call rate and concordance, or the error
# that stops the run. With a third argument, a build without the scale check (e.g. of an older
# version) shows what happens silently at every F. Not a test.
#
# Usage: bench/scale.sh [TARVIX [SIMULATE [UNCHECKED_TARVIX]]]
# Environment: FACTORS (default "0.1 0.2 0.3 0.5 1 2 4 5 7 10 2000").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tarvix=${1:-$root/build/tarvix++}
sim=${2:-$root/build/tarvix_simulate}
unchecked=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_scale.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# run NAME PROGRAM OPTIONS...: "call rate R%, concordance C%" or the run's error.
run() {
    local name=$1 program=$2
    shift 2
    if "$program" -nrs -i "$data"_cohort0.txt "$data"_cohort1.txt -f "$data"_snpinfo.txt "$@" -o "$name" \
        > "$name.log" 2> "$name.err"; then
        "$sim" concord --truth "$data"_truth.txt --calls "$name" --cohorts 2 |
            awk '$1 == "all" { printf "call rate %s%%, concordance %s%%", $5, $7 }'
    else
        printf 'stopped: %s' "$(cat "$name.err")"
    fi
}

for f in ${FACTORS:-0.1 0.2 0.3 0.5 1 2 4 5 7 10 2000}; do
    data=x$f
    "$sim" --cohorts 2 --individuals 300 --snps 12 --seed 102 --scale "$f" --out "$data" > /dev/null
    median=$(awk 'NR > 1 { for (i = 6; i < NF; i += 2) print $i + $(i + 1) }' "$data"_cohort0.txt | sort -g |
        awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    echo "== intensities x $f: median x + y $median"
    echo "   as they are:  $(run plain "$tarvix")"
    echo "   -scale $f:  $(run scaled "$tarvix" -scale "$f")"
    [[ -n $unchecked ]] && echo "   unchecked:    $(run unchecked "$unchecked")"
done
