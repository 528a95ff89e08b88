#!/usr/bin/env bash
# Benchmark of tarvix++ on simulated data: 2 cohorts x 2000 individuals x 20 SNPs, fixed seed.
# Prints seconds per SNP, total seconds, peak resident memory and the concordance with the
# true genotypes. Not a test: it never fails on slow or inaccurate results.
#
# Usage: bench/bench.sh [TARVIX_BINARY [SIMULATE_BINARY [EXTRA_TARVIX_OPTIONS...]]]
#   defaults: build/tarvix++ build/tarvix_simulate (relative to the repository root)
#   example:  bench/bench.sh build/tarvix++ build/tarvix_simulate -approx 1 20
# Set KEEP=1 to keep the work folder (data, console log, results); it is always kept on failure.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tarvix=${1:-$root/build/tarvix++}
sim=${2:-$root/build/tarvix_simulate}
shift $(( $# < 2 ? $# : 2 ))
extra=("$@")

cohorts=2 individuals=2000 snps=20 seed=4242
for exe in "$tarvix" "$sim"; do
    [[ -x $exe ]] || { echo "bench.sh: not an executable: $exe" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_bench.XXXXXX")
# The work folder (data, console.log, results) is removed after a good run unless KEEP=1.
cleanup() {
    if [[ $? == 0 && ${KEEP:-0} != 1 ]]; then rm -rf "$work"; else echo "work folder kept: $work"; fi
}
trap cleanup EXIT

echo "simulating $cohorts cohorts x $individuals individuals x $snps SNPs (seed $seed)"
"$sim" --cohorts $cohorts --individuals $individuals --snps $snps --seed $seed --out "$work/sim"
inputs=()
for ((j = 0; j < cohorts; ++j)); do
    gzip -n "$work/sim_cohort$j.txt"
    inputs+=("$work/sim_cohort$j.txt.gz")
done

cmd=("$tarvix" -nrs -gz -i "${inputs[@]}" -f "$work/sim_snpinfo.txt" -o "$work/out" "${extra[@]}")
echo "running: ${cmd[*]}"
status=0
if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -v -o "$work/time.txt" "${cmd[@]}" > "$work/console.log" 2>&1 || status=$?
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt" |
        awk -F: '{s = 0; for (i = 1; i <= NF; ++i) s = s * 60 + $i; print s}')
    peak=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f MB", $2 / 1024}' "$work/time.txt")
else
    start=$(date +%s.%N)
    "${cmd[@]}" > "$work/console.log" 2>&1 || status=$?
    wall=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')
    peak="unavailable (/usr/bin/time is missing)"
fi
if [[ $status != 0 ]]; then
    echo "tarvix++ ended with status $status; last lines of its console output:" >&2
    tail -n 20 "$work/console.log" >&2
    exit "$status"
fi

echo
printf 'total seconds        : %.2f\n' "$wall"
printf 'seconds per SNP      : %.3f\n' "$(awk -v w="$wall" -v n=$snps 'BEGIN {print w / n}')"
echo "peak resident memory : $peak"
echo
"$sim" concord --truth "$work/sim_truth.txt" --calls "$work/out" --cohorts $cohorts --threshold 0.9
