# The calls of short runs on the bundled simulated data agree with the true genotypes, in every
# way of running: the simulator's concordance check over the well separated SNPs (6 of 12; X
# set: 4 of 6) must show a call rate of at least 95% and a concordance of at least 99.5%. In X
# mode no male has any heterozygous share, unless -allow_male_hets. Without the null class an
# individual's three values sum to 1 (multiples of 1/50, exact in four decimals); a run without
# -nrs or -seed seeds itself.
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SIMULATE:?}" "${TARVIX_SOURCE_DIR:?}" "${TARVIX_WORK_DIR:?}"
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$TARVIX_WORK_DIR" && mkdir -p "$TARVIX_WORK_DIR" && cd "$TARVIX_WORK_DIR"
ex=$TARVIX_SOURCE_DIR/examples
auto=(-gz -i "$ex/cohort0.txt.gz" "$ex/cohort1.txt.gz" -f "$ex/snpinfo.txt")
xmode=(-gz -i "$ex/chrX_cohort0.txt.gz" "$ex/chrX_cohort1.txt.gz" -f "$ex/chrX_snpinfo.txt" -chrX "$ex/chrX_sex0.txt" "$ex/chrX_sex1.txt")

check() {  # check NAME TRUTH OPTIONS...
    local name=$1 truth=$2
    shift 2
    "$TARVIX_BINARY" -ns 1 -nmax 10 -b 20 -n 50 "$@" -o "$name" > "$name.log" 2>&1 || fail "$name: $(tail -n 1 "$name.log")"
    "$TARVIX_SIMULATE" concord --truth "$ex/$truth" --calls "$name" --cohorts 2 --kind easy > "$name.concord"
    awk -v name="$name" '$1 == "all" { seen = 1; if ($5 < 95 || $7 < 99.5) { print name ": call rate " $5 "%, concordance " $7 "%"; exit 1 } }
        END { if (!seen) { print name ": no summary"; exit 1 } }' "$name.concord" >&2 || exit 1
}

# Male heterozygous values that are not 0, over both cohorts of run $1.
male_hets() {
    for j in 0 1; do
        awk 'NR == FNR { for (i = 1; i <= NF; ++i) sex[++n] = $i; next }
             { for (i = 1; i <= n; ++i) if (sex[i] == 1 && $(5 + 3 * i - 1) != "0") ++hets } END { print hets + 0 }' \
            "$ex/chrX_sex$j.txt" "${1}_${j}_mcmc"
    done | awk '{ s += $1 } END { print s }'
}

check sampling truth.txt -nrs "${auto[@]}"
check split truth.txt -nrs "${auto[@]}" -single 1
check clumped_first truth.txt -nrs "${auto[@]}" -approx 1 20
check clumped truth.txt -nrs "${auto[@]}" -approx 2 20
check maximising truth.txt -nrs "${auto[@]}" -max1 -max2
check nonull truth.txt -nrs "${auto[@]}" -nonull
check learnt truth.txt -nrs "${auto[@]}" -learn -priors "$ex/priors.txt"
check xmode chrX_truth.txt -nrs "${xmode[@]}"
check xmode_hets chrX_truth.txt -nrs "${xmode[@]}" -allow_male_hets
[ "$(male_hets xmode)" = 0 ] || fail "xmode: $(male_hets xmode) heterozygous values of males"
[ "$(male_hets xmode_hets)" -gt 0 ] || fail "xmode_hets: -allow_male_hets let no male into the heterozygous class"
awk '{ for (i = 6; i < NF; i += 3) { s = $i + $(i + 1) + $(i + 2); if (s < 0.9999 || s > 1.0001) {
        print FILENAME ": line " FNR " individual " (i - 3) / 3 " sums to " s; exit 1 } } }' nonull_0_mcmc nonull_1_mcmc >&2
"$TARVIX_BINARY" "${auto[@]}" -snps 1 1 -ns 1 -nmax 2 -b 1 -n 2 -o clock > clock.log 2>&1 || fail "a run seeded from the clock failed"
echo "calls agree with the true genotypes in every way of running"
