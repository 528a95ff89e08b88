#!/usr/bin/env bash
# How often each kind of SNP that misleads the random starts ends with the right labelling, over
# 10 seeds, without and with -label_starts. Per kind the simulator makes one set of SNPS SNPs of
# that kind only (one cohort of INDIVIDUALS); every SNP is run with seeds 0.05, 0.15, ..., 0.95.
#
# Right labelling (tarvix_simulate concord --per-snp): every genotype with at least 5 true members
# has more of them called as itself (most probable value >= 0.9) than as any other genotype and
# than not called. "wrong" SNPs have some such genotype called as another one at least as often;
# "missed" ones leave one uncalled. Also printed: the mean final log posterior of the runs that
# end right and of those that end wrong (both options pooled; a sampled value, so a mean), which
# tells whether the right labelling is the better one, and the user seconds of all runs.
# Not a test.
#
# Usage: bench/labelling.sh [TARVIX [SIMULATE]]  (defaults: build/tarvix++ build/tarvix_simulate)
# Environment: KINDS (default "twocluster lowfreq offdiag dim hard"), SNPS (20), INDIVIDUALS
# (560), COHORTS (1), SEEDS (10), INFO (1: give the reference frequencies with -f; 0: none),
# OPTIONS (further tarvix++ options).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tarvix=${1:-$root/build/tarvix++}
sim=${2:-$root/build/tarvix_simulate}
kinds=${KINDS:-twocluster lowfreq offdiag dim hard}
snps=${SNPS:-20} individuals=${INDIVIDUALS:-560} cohorts=${COHORTS:-1} seeds=${SEEDS:-10}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_labelling.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

for kind in $kinds; do
    shares=(--hard 0 --lowfreq 0)
    [[ $kind == easy ]] || shares+=("--$kind" 1)
    # A set of dim SNPs only has a median x + y of 0.39, just below what the scale check lets
    # through (0.4); 10% brighter it passes, its SNPs still the dimmest kind.
    [[ $kind == dim ]] && shares+=(--scale 1.1)
    "$sim" --cohorts "$cohorts" --individuals "$individuals" --snps "$snps" --seed 16 --unknown-freq 0 \
        "${shares[@]}" --out "$kind" > /dev/null
    inputs=()
    for ((j = 0; j < cohorts; ++j)); do inputs+=("${kind}_cohort$j.txt"); done
    for option in without with; do
        extra=()
        [[ $option == with ]] && extra=(-label_starts)
        [[ ${INFO:-1} == 1 ]] && extra+=(-f "${kind}_snpinfo.txt")
        for ((s = 0; s < seeds; ++s)); do
            seed=$(awk -v s=$s 'BEGIN { printf "%.2f", (s + 0.5) / 10 }')
            out=${kind}_${option}_$s
            # shellcheck disable=SC2086
            /usr/bin/time -f %U -o "$out.time" "$tarvix" -seed "$seed" -i "${inputs[@]}" "${extra[@]}" ${OPTIONS:-} \
                -o "$out" > /dev/null
            "$sim" concord --truth "${kind}_truth.txt" --calls "$out" --cohorts "$cohorts" --per-snp |
                awk -v o=$option 'NF >= 8 && $1 != "SNP_ID" { print $1, o, $8 }' > "$out.verdict"
            awk -v o=$option 'NR > 1 { print $1, o, $6 }' "${out}_information" > "$out.lp"
        done
    done
    echo "== $kind: $snps SNPs, $cohorts cohort(s) x $individuals individuals, $seeds seeds"
    # Per SNP: the frequency of allele 1 (orientation), right/wrong/missed out of the seeds
    # without and with the option, and the mean final log posterior of right and of wrong runs.
    awk 'FILENAME ~ /snpinfo/ { p[$2] = $5; next }
         FILENAME ~ /verdict$/ { key = $1 " " $2; n[key]++; v[key, $3]++; verdict[FILENAME, $1] = $3; next }
         { split(FILENAME, parts, "."); vd = verdict[parts[1] ".verdict", $1]; sum[$1, vd] += $3; cnt[$1, vd]++ }
         END {
             printf "%-10s %6s %16s %16s %12s %12s\n", "SNP", "freq", "without r/w/m", "with r/w/m", "lp right", "lp wrong"
             for (id in p) ids[++m] = id
             for (i = 1; i <= m; ++i) for (k = i + 1; k <= m; ++k) if (ids[k] < ids[i]) { t = ids[i]; ids[i] = ids[k]; ids[k] = t }
             for (i = 1; i <= m; ++i) {
                 id = ids[i]
                 a = id " without"; b = id " with"
                 printf "%-10s %6.3f %16s %16s %12s %12s\n", id, p[id],
                     (v[a, "right"] + 0) "/" (v[a, "wrong"] + 0) "/" (v[a, "missed"] + 0),
                     (v[b, "right"] + 0) "/" (v[b, "wrong"] + 0) "/" (v[b, "missed"] + 0),
                     cnt[id, "right"] ? sprintf("%.1f", sum[id, "right"] / cnt[id, "right"]) : "-",
                     cnt[id, "wrong"] ? sprintf("%.1f", sum[id, "wrong"] / cnt[id, "wrong"]) : "-"
                 ok_a += v[a, "right"] >= 0.9 * n[a]; ok_b += v[b, "right"] >= 0.9 * n[b]
                 ra += v[a, "right"]; rb += v[b, "right"]; na += n[a]; nb += n[b]
             }
             printf "right runs: without %d/%d, with %d/%d; SNPs right in >= 90%% of the seeds: without %d/%d, with %d/%d\n",
                 ra, na, rb, nb, ok_a, m, ok_b, m
         }' "${kind}_snpinfo.txt" ${kind}_*.verdict ${kind}_*.lp
    for option in without with; do
        cat ${kind}_${option}_*.time | awk -v o=$option -v n=$((snps * seeds)) \
            '{ t += $1 } END { printf "user seconds %s: %.1f (%.3f per SNP)\n", o, t, t / n }'
    done
    echo
done
