#!/usr/bin/env bash
# Speed and calls of two tarvix++ binaries on the benchmark workload (2 cohorts x 2000
# individuals x 20 SNPs, simulation seed 4242, default settings), in one run:
# - instructions per SNP: callgrind (Debian's valgrind) on SNP 1 alone, less a run of SNP 1
#   without iterations (start-up, reading, writing), so that the figure is the analysis's own;
# - wall seconds per SNP over all 20 SNPs, old and new alternately, for each run seed given
#   (the median over the seeds is printed last; the machine may be shared: compare the two);
# - call rate and concordance with the simulated genotypes (calls at 0.9) for each seed.
# Not a test: it never fails on slow or inaccurate results.
#
# Usage: bench/speed.sh OLD_BINARY NEW_BINARY [SIMULATE_BINARY [SEED...]]
#   defaults: build/tarvix_simulate, seeds 0.12345 (-nrs) 0.25 0.5 0.75 0.9
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
old=${1:?usage: speed.sh OLD NEW [SIMULATE [SEED...]]}
new=${2:?usage: speed.sh OLD NEW [SIMULATE [SEED...]]}
sim=${3:-$root/build/tarvix_simulate}
shift $(( $# < 3 ? $# : 3 ))
seeds=("$@")
((${#seeds[@]})) || seeds=(0.12345 0.25 0.5 0.75 0.9)
snps=20
command -v valgrind > /dev/null || "$root/scripts/install_packages.sh" valgrind

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$sim" --cohorts 2 --individuals 2000 --snps $snps --seed 4242 --out "$work/sim" > /dev/null
gzip -n "$work/sim_cohort0.txt" "$work/sim_cohort1.txt"
inputs=(-gz -i "$work/sim_cohort0.txt.gz" "$work/sim_cohort1.txt.gz" -f "$work/sim_snpinfo.txt")

instructions() {   # instructions BINARY OPTIONS... -> instructions executed, on stdout
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" "${inputs[@]}" -o "$work/cg" "${@:2}" \
        2>&1 > /dev/null | awk '/Collected :/ {print $NF}'
}
echo "callgrind on SNP 1 (about two minutes)"
for label in old new; do
    exe=$old
    [[ $label == new ]] && exe=$new
    full=$(instructions "$exe" -nrs -snps 1 1)
    empty=$(instructions "$exe" -nrs -snps 1 1 -ns 1 -nmax 0 -b 0 -n 1)
    printf -v "ins_$label" '%s' "$(awk -v f="$full" -v e="$empty" 'BEGIN {printf "%.3f", (f - e) / 1e9}')"
done
echo "instructions per SNP: old ${ins_old} G, new ${ins_new} G"

echo
printf '%-8s %12s %12s   %-22s %-22s\n' seed "old s/SNP" "new s/SNP" "old call% / conc%" "new call% / conc%"
old_times=() new_times=()
for seed in "${seeds[@]}"; do
    row=()
    for label in old new; do
        exe=$old
        [[ $label == new ]] && exe=$new
        /usr/bin/time -f %e -o "$work/time" "$exe" "${inputs[@]}" -seed "$seed" -o "$work/$label" > /dev/null
        t=$(awk -v t="$(cat "$work/time")" -v n=$snps 'BEGIN {printf "%.3f", t / n}')
        [[ $label == old ]] && old_times+=("$t") || new_times+=("$t")
        row+=("$t")
        row+=("$("$sim" concord --truth "$work/sim_truth.txt" --calls "$work/$label" --cohorts 2 --threshold 0.9 |
            awk '$1 == "all" {print $5 " / " $7}')")
    done
    printf '%-8s %12s %12s   %-22s %-22s\n' "$seed" "${row[0]}" "${row[2]}" "${row[1]}" "${row[3]}"
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
echo "median wall seconds per SNP: old $(median "${old_times[@]}"), new $(median "${new_times[@]}")"
