#!/usr/bin/env bash
# Side-by-side speed comparison of two tarvix++ binaries on the benchmark workload
# (2 cohorts x 2000 individuals x 20 SNPs, fixed seed, default settings, -nrs). Runs the two
# alternately REPS times, prints the median user seconds per SNP of each, and checks that both
# write byte-identical result files. Not a test.
#
# Usage: bench/compare.sh OLD_BINARY NEW_BINARY [SIMULATE_BINARY [REPS [EXTRA_OPTIONS...]]]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
old=${1:?usage: compare.sh OLD NEW [SIMULATE [REPS [OPTIONS...]]]}
new=${2:?usage: compare.sh OLD NEW [SIMULATE [REPS [OPTIONS...]]]}
sim=${3:-$root/build/tarvix_simulate}
reps=${4:-3}
shift $(( $# < 4 ? $# : 4 ))
extra=("$@")
snps=20

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$sim" --cohorts 2 --individuals 2000 --snps $snps --seed 4242 --out "$work/sim" > /dev/null
gzip -n "$work/sim_cohort0.txt" "$work/sim_cohort1.txt"

run() {   # run BINARY LABEL -> user seconds on stdout; results in $work/LABEL_*
    /usr/bin/time -f "%U" -o "$work/$2.time" "$1" -nrs -gz -i "$work/sim_cohort0.txt.gz" "$work/sim_cohort1.txt.gz" \
        -f "$work/sim_snpinfo.txt" -o "$work/$2" "${extra[@]}" > /dev/null
    cat "$work/$2.time"
}

old_times=() new_times=()
for ((r = 1; r <= reps; ++r)); do
    old_times+=("$(run "$old" old)")
    new_times+=("$(run "$new" new)")
    echo "repetition $r: old ${old_times[-1]} s, new ${new_times[-1]} s (user)"
done

identical=yes
for f in "$work"/old_*; do
    [[ $f == *.time ]] && continue
    cmp -s "$f" "$work/new_${f##*/old_}" || { identical=no; echo "differs: ${f##*/}"; }
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
mo=$(median "${old_times[@]}") mn=$(median "${new_times[@]}")
printf 'median user seconds per SNP: old %.3f, new %.3f (speed-up %.2fx)\n' \
    "$(awk -v t="$mo" -v n=$snps 'BEGIN {print t / n}')" "$(awk -v t="$mn" -v n=$snps 'BEGIN {print t / n}')" \
    "$(awk -v a="$mo" -v b="$mn" 'BEGIN {print a / b}')"
echo "result files identical: $identical"
