#!/usr/bin/env bash
# Speed of two tarvix++ binaries at the batch sizes labs run, in one run: for a small batch (the
# first SNPs of a real intensity file, or a simulated cohort of 77), a simulated cohort of 500
# and the simulated benchmark set (2 cohorts x 2000), default settings:
# - instructions per SNP: callgrind (Debian's valgrind) on SNP 1 alone, less a run of SNP 1
#   without iterations (start-up, reading, writing), so that the figure is the analysis's own;
# - processor seconds per SNP (user + system of the whole process), the median of RUNS runs of
#   old and new in turn (the machine may be shared: compare the two columns);
# - whether the two write byte-identical result files.
# Not a test: it never fails on slow results.
#
# Usage: bench/speed.sh OLD_BINARY NEW_BINARY [SIMULATE_BINARY]
# Environment: REAL (a gzip text intensity file of one cohort, e.g. a lab's chip export; default:
# a simulated cohort of 77), RUNS (3), SNPS_SMALL (20), SNPS_500 (10), SNPS_LARGE (4): the SNPs
# timed at each size.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
old=${1:?usage: speed.sh OLD NEW [SIMULATE]}
new=${2:?usage: speed.sh OLD NEW [SIMULATE]}
sim=${3:-$root/build/tarvix_simulate}
runs=${RUNS:-3}
command -v valgrind > /dev/null || "$root/scripts/install_packages.sh" valgrind

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_speed.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The inputs of each size: options that name them and the SNPs timed.
"$sim" --cohorts 1 --individuals 77 --snps 20 --seed 77 --out "$work/s77" > /dev/null
"$sim" --cohorts 1 --individuals 500 --snps 10 --seed 500 --out "$work/s500" > /dev/null
"$sim" --cohorts 2 --individuals 2000 --snps 4 --seed 4242 --out "$work/s4000" > /dev/null
gzip -n "$work"/s*_cohort*.txt
if [[ -n ${REAL:-} ]]; then
    small=(-gz -i "$REAL")
    small_label="77 (real)"
else
    small=(-gz -i "$work/s77_cohort0.txt.gz" -f "$work/s77_snpinfo.txt")
    small_label="77 (simulated)"
fi
mid=(-gz -i "$work/s500_cohort0.txt.gz" -f "$work/s500_snpinfo.txt")
large=(-gz -i "$work/s4000_cohort0.txt.gz" "$work/s4000_cohort1.txt.gz" -f "$work/s4000_snpinfo.txt")

instructions() {   # instructions BINARY OPTIONS... -> instructions executed, on stdout
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" -o "$work/cg" "${@:2}" 2>&1 > /dev/null |
        awk '/Collected :/ {print $NF}'
}
analysis_instructions() {   # BINARY INPUT_OPTIONS... -> G instructions of the analysis of SNP 1
    local full empty
    full=$(instructions "$@" -nrs -snps 1 1)
    empty=$(instructions "$@" -nrs -snps 1 1 -ns 1 -nmax 0 -b 0 -n 1)
    awk -v f="$full" -v e="$empty" 'BEGIN {printf "%.3f", (f - e) / 1e9}'
}
cpu_seconds() {   # LABEL BINARY SNPS INPUT_OPTIONS... -> processor seconds per SNP of one run
    /usr/bin/time -f "%U %S" -o "$work/time" "$2" -nrs -snps 1 "$3" "${@:4}" -o "$work/$1" > /dev/null
    awk -v n="$3" '{printf "%.3f", ($1 + $2) / n}' "$work/time"
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

printf '%-16s %22s %22s   %s\n' individuals "G instructions/SNP" "CPU seconds/SNP" "result files"
printf '%-16s %11s %10s %11s %10s\n' "" old new old new
size() {   # LABEL SNPS INPUT_OPTIONS...
    local label=$1 snps=$2
    shift 2
    local io in olds=() news=()
    io=$(analysis_instructions "$old" "$@")
    in=$(analysis_instructions "$new" "$@")
    for ((r = 1; r <= runs; ++r)); do
        olds+=("$(cpu_seconds old "$old" "$snps" "$@")")
        news+=("$(cpu_seconds new "$new" "$snps" "$@")")
    done
    local same=identical
    for f in "$work"/old_*; do
        cmp -s "$f" "$work/new_${f##*/old_}" || same="DIFFER (${f##*/})"
    done
    printf '%-16s %11s %10s %11s %10s   %s\n' "$label" "$io" "$in" "$(median "${olds[@]}")" "$(median "${news[@]}")" "$same"
    rm -f "$work"/old_* "$work"/new_*
}
size "$small_label" "${SNPS_SMALL:-20}" "${small[@]}"
size 500 "${SNPS_500:-10}" "${mid[@]}"
size "2 x 2000" "${SNPS_LARGE:-4}" "${large[@]}"
