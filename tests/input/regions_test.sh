# -r: regions of indexed VCF/BCF input. The records analysed are those bcftools view -r lists
# for the same regions (order of contigs as named, overlaps merged, each record once), from BCF
# with CSI and from VCF with TBI; regions that split the file, run apart and joined, give the
# files of one run with -snp_seeds byte for byte, on one thread or two; a region without records
# is a warning; and what -r cannot do stops the run with one line saying why.
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SIMULATE:?}" "${TARVIX_SOURCE_DIR:?}" "${TARVIX_WORK_DIR:?}"
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$TARVIX_WORK_DIR" && mkdir -p "$TARVIX_WORK_DIR" && cd "$TARVIX_WORK_DIR"
to_vcf=$TARVIX_SOURCE_DIR/scripts/intensities_to_vcf.sh

# 24 SNPs, the first 12 on contig 1 and the rest on contig 2.
"$TARVIX_SIMULATE" --out sim --cohorts 2 --individuals 40 --snps 24 --missing 0.05 --seed 9 > /dev/null
for j in 0 1; do
    head -n 13 "sim_cohort$j.txt" > "first$j.txt"
    { head -n 1 "sim_cohort$j.txt"; tail -n +14 "sim_cohort$j.txt"; } > "second$j.txt"
    { "$to_vcf" "first$j.txt" 1 | sed 's/^##contig=<ID=1>/&\n##contig=<ID=2>/'; "$to_vcf" "second$j.txt" 2 | grep -v '^#'; } > "c$j.vcf"
    bcftools view --no-version -Ob -o "c$j.bcf" "c$j.vcf" && bcftools index "c$j.bcf"
    bcftools view --no-version -Oz -o "c$j.vcf.gz" "c$j.vcf" && bcftools index -t "c$j.vcf.gz"
done
position() { bcftools query -f '%POS\n' -r "$1" c0.bcf | sed -n "$2p"; }   # position CONTIG N: of its Nth record
p3=$(position 1 3) p4=$(position 1 4) p5=$(position 1 5) p8=$(position 1 8) q2=$(position 2 2) q10=$(position 2 10)

small=(-ns 1 -nmax 4 -b 4 -n 10 -seed 0.3 -snp_seeds -test 1 -vcf)
run() {  # run NAME INPUT0 INPUT1 OPTIONS...: the result files in folder NAME
    local name=$1 a=$2 b=$3
    shift 3
    mkdir -p "$name"
    "$TARVIX_BINARY" -i "$a" "$b" "${small[@]}" "$@" -o "$name/r" > "$name.log" 2> "$name.err" || fail "$name: $(cat "$name.err")"
}

# The records of each region list are bcftools' for it, from either index.
lists=("1" "2,1" "1:$p5-$p8" "1:$p8,1:$p3-$p5" "1:$p3-$p8,1:$p5-$p5,2:1-$q2" "2:$q10-,1:$((p3 + 1))-$p5" "1:1-$p3,2:$q2,1:$p5-")
for k in "${!lists[@]}"; do
    expected=$(bcftools query -r "${lists[k]}" -f '%ID ' c0.bcf)
    for format in bcf vcf.gz; do
        run "list$k.$format" "c0.$format" "c1.$format" -r "${lists[k]}"
        [ "$(awk '{ printf "%s ", $2 }' "list$k.$format/r_0_mcmc")" = "$expected" ] ||
            fail "-r ${lists[k]} from $format: $(awk '{ printf "%s ", $2 }' "list$k.$format/r_0_mcmc"), bcftools: $expected"
    done
done

# Regions splitting the file, joined in order, are one run; so are two threads.
run one c0.bcf c1.bcf
run part1 c0.bcf c1.bcf -r "1:-$((p5 - 1))"
run part2 c0.bcf c1.bcf -r "1:$p5-"
run part3 c0.bcf c1.bcf -r 2 -threads 2
for name in r_0_mcmc r_1_mcmc; do
    cat "part1/$name" "part2/$name" "part3/$name" | cmp -s - "one/$name" || fail "$name: the joined regions differ from one run"
done
for name in r_params r_information r_tests r_snps.tsv; do
    { cat "part1/$name"; tail -n +2 "part2/$name"; tail -n +2 "part3/$name"; } | cmp -s - "one/$name" ||
        fail "$name: the joined regions differ from one run"
done
# Each VCF records its own command line.
bcftools concat --no-version part1/r.vcf.gz part2/r.vcf.gz part3/r.vcf.gz 2> /dev/null | grep -v '^##tarvix++Command=' |
    cmp -s - <(bcftools view --no-version one/r.vcf.gz | grep -v '^##tarvix++Command=') ||
    fail "the joined regions' VCFs differ from one run's"

# Progress lines say no time left: the bytes read through the index do not tell it.
[ "$(grep -c '^SNP [0-9]* done: ' part2.log)" = 8 ] && ! grep -q ' left$' part2.log || fail "-r progress: $(cat part2.log)"

# A region without records: a warning and result files without SNPs.
run empty c0.bcf c1.bcf -r "1:$((p3 + 1))-$((p3 + 2))"
grep -qx "warning: c0.bcf holds no records in the regions of -r" empty.err || fail "empty region: $(cat empty.err)"
[ ! -s empty/r_0_mcmc ] && [ "$(wc -l < empty/r_params)" = 1 ] || fail "empty region: SNPs written"

# What -r cannot do, named.
cp c1.bcf unindexed.bcf
sed "$(grep -vn '^#' c1.vcf | sed -n 4p | cut -d: -f1)d" c1.vcf | bcftools view --no-version -Ob -o short.bcf && bcftools index short.bcf
bad() {  # bad EXPECTED INPUT0 INPUT1 OPTIONS...
    local expected=$1 a=$2 b=$3
    shift 3
    if "$TARVIX_BINARY" -i "$a" "$b" "${small[@]}" "$@" -o bad > /dev/null 2> bad.err; then fail "accepted: $*"; fi
    [ "$(grep -c '^tarvix++: ' bad.err)" = 1 ] && grep -qF -- "$expected" bad.err || fail "$*: unexpected message: $(cat bad.err)"
}
bad "unindexed.bcf: no index (unindexed.bcf.csi or .tbi) to read the regions of -r through; make one with: bcftools index unindexed.bcf" \
    c0.bcf unindexed.bcf -r 1
bad "c0.vcf: -r reads regions through an index, and only a BGZF-compressed VCF or BCF can have one" c0.vcf c1.vcf -r 1
bad "first0.txt: -r reads regions of indexed VCF/BCF files, and this is a text file: choose its SNP lines with -snps" \
    first0.txt first1.txt -r 1
bad "c0.bcf: -r 3: no contig of that name in the file" c0.bcf c1.bcf -r 1,3
bad "-r 1:$p5-$p3: not a region (CHR, CHR:POS" c0.bcf c1.bcf -r "1:$p5-$p3"
bad 'option -r needs CHR[:FROM-TO], comma-separated, got "1,"' c0.bcf c1.bcf -r 1,
bad "-r and -snps both choose the SNPs to analyse" c0.bcf c1.bcf -r 1 -snps 1 2
bad "-f is read line by line in step with the whole intensity files, so it cannot be used with -r" c0.bcf c1.bcf -r 1 -f sim_snpinfo.txt
bad "short.bcf: record 4 of the regions (1:$p5): 1:$p5 " c0.bcf short.bcf -r 1
grep -qF "is not the SNP of record 4 of c0.bcf" bad.err || fail "$(cat bad.err)"
bad "short.bcf: the file ends after 3 records in the regions of -r, but c0.bcf holds more" c0.bcf short.bcf -r "1:-$p4"
bad "c0.bcf: record 4 of the regions (1:$p4): holds more than 3 records in the regions of -r, but short.bcf holds exactly that many" \
    short.bcf c0.bcf -r "1:-$p4"
echo "regions: bcftools' records for ${#lists[@]} region lists from BCF and VCF; split regions join into one run; failures named"
