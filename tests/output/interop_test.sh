#!/usr/bin/env bash
# plink2 and bcftools read the results of small example runs (autosomal with a few missing
# intensities, X-chromosome mode, and the default chromosome name "."), and what they report
# agrees with the call files: plink2's genotype counts of each call file imported with its
# sample file, and the VCF's samples, GT, GP, INFO and +fill-tags allele counts. The QC tables
# agree with plink2's --missing, --freq, --hardy and --het on the VCF's calls, and the sex check
# of a simulated X set whose sex file swaps a male and a female finds both (plink 1.9's
# --check-sex, which sees a declared male's calls haploid, only the male).
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SOURCE_DIR:?}" "${TARVIX_WORK_DIR:?}"
python=/usr/bin/python3
check="$TARVIX_SOURCE_DIR/tests/output/interop_check.py"
examples="$TARVIX_SOURCE_DIR/examples"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$TARVIX_WORK_DIR"
mkdir -p "$TARVIX_WORK_DIR"
cd "$TARVIX_WORK_DIR"

short=(-nrs -gz -ns 1 -nmax 20 -b 20 -n 60 -vcf)
run() {
    local name=$1
    shift
    "$TARVIX_BINARY" "${short[@]}" "$@" -o "$name" > "$name.console" 2> "$name.err" ||
        fail "the run $name failed: $(tail -n 3 "$name.err")"
}

# A tool must succeed and say nothing on standard error (no warning about the file).
quiet_tool() {
    local what=$1
    shift
    "$@" 2> tool.err || fail "$what failed: $(head -n 3 tool.err)"
    [ ! -s tool.err ] || fail "$what warns: $(head -n 3 tool.err)"
}

# Cohort 1 with the intensities of individuals 3 and 10 missing on SNP 2 and individual 0 on SNP 4.
zcat "$examples/cohort1.txt.gz" | awk 'NR == 3 { $12 = $13 = $26 = $27 = "NA" } NR == 5 { $6 = $7 = "NaN" } { print }' |
    gzip > cohort1_missing.txt.gz
run auto -i "$examples/cohort0.txt.gz" cohort1_missing.txt.gz -f "$examples/snpinfo.txt" -snps 1 4 -chr 1
# X: 300 simulated SNPs of 2 x 100 individuals, the first male and female of cohort 0 declared
# the other sex.
"$TARVIX_SIMULATE" --cohorts 2 --individuals 100 --snps 300 --seed 7 --chrX --hard 0 --lowfreq 0 --out simx > /dev/null
for j in 0 1; do gzip -n simx_cohort$j.txt; done
awk '!m && $1 == 1 { m = 1; $1 = 2; print; next } !f && $1 == 2 { f = 1; $1 = 1; print; next } { print }' \
    simx_sex0.txt > swapped_sex0.txt
sexes=(swapped_sex0.txt simx_sex1.txt)
run xmode -i simx_cohort0.txt.gz simx_cohort1.txt.gz -f simx_snpinfo.txt -chrX "${sexes[@]}" -chr X \
    -vcf_threshold 0.95 -nmax 10 -b 10 -n 30
run dot -i "$examples/cohort0.txt.gz" "$examples/cohort1.txt.gz" -snps 1 2

for name in auto xmode dot; do
    for f in "$name.vcf.gz" "$name.vcf.gz.csi" "${name}_0.sample" "${name}_1.sample"; do
        [ -s "$f" ] || fail "$name: $f was not written"
    done
    ! ls ./*.partial > /dev/null 2>&1 || fail "$name: temporary files left: $(ls ./*.partial)"
done

# plink2: each call file with its sample file, alleles in the order given (first = REF).
check_plink() {
    local prefix=$1 chr=$2
    for j in 0 1; do
        local out="plink_${prefix}_$j"
        plink2 --gen "${prefix}_${j}_mcmc" ref-first --sample "${prefix}_$j.sample" --oxford-single-chr "$chr" \
            --make-pgen --out "$out" > /dev/null || fail "plink2 cannot import ${prefix}_${j}_mcmc: $(tail -n 3 "$out.log")"
        plink2 --pfile "$out" --geno-counts --out "$out" > /dev/null || fail "plink2 --geno-counts on $out failed"
        ! grep -i '^warning' "$out.log" || fail "plink2 warns on ${prefix}_${j}_mcmc"
        "$python" "$check" plink "$prefix" "$j" "$out.gcount" "$out.psam" || fail "plink2 disagrees with ${prefix}_${j}_mcmc"
    done
}
check_plink auto 1
check_plink xmode X

# bcftools: the VCF reads and converts to BCF without a word on standard error, its index answers
# a region query, and its contents agree with the call files.
check_vcf() {
    local prefix=$1 chr=$2 threshold=$3
    shift 3
    local vcf="$prefix.vcf.gz"
    [ "$(htsfile "$vcf")" = "$vcf:	VCF version 4.2 BGZF-compressed variant calling data" ] ||
        fail "$vcf: $(htsfile "$vcf")"
    quiet_tool "bgzip -t $vcf" bgzip -t "$vcf"
    quiet_tool "bcftools view $vcf" bcftools view -o view.vcf "$vcf"
    quiet_tool "bcftools view -Ob $vcf" bcftools view -Ob -o "$prefix.bcf" "$vcf"
    quiet_tool "bcftools index -n $vcf" bcftools index -n "$vcf" > index_count
    local n_snps
    n_snps=$(wc -l < "${prefix}_0_mcmc")
    [ "$(cat index_count)" = "$n_snps" ] || fail "$vcf: the index counts $(cat index_count) records, not $n_snps"

    # Region from the second to the third SNP's position: exactly their two records.
    local from to want got
    from=$(awk 'NR == 2 { print $3 }' "${prefix}_0_mcmc")
    to=$(awk 'NR == 3 { print $3 }' "${prefix}_0_mcmc")
    want=$(awk 'NR == 2 || NR == 3 { print $2 }' "${prefix}_0_mcmc")
    quiet_tool "bcftools region query on $vcf" bcftools query -r "$chr:$from-$to" -f '%ID\n' "$vcf" > region
    got=$(cat region)
    [ "$got" = "$want" ] || fail "$vcf: region $chr:$from-$to gives '$got', expected '$want'"

    quiet_tool "bcftools query -l $vcf" bcftools query -l "$vcf" > vcf_samples
    tail -n +3 -q "${prefix}_0.sample" "${prefix}_1.sample" | cut -d' ' -f1 | cmp -s - vcf_samples ||
        fail "$vcf: the samples differ from those of the sample files"

    quiet_tool "bcftools query $vcf" bcftools query \
        -f '%CHROM\t%POS\t%ID\t%REF\t%ALT\t%INFO/AF\t%INFO/INFO1\t%INFO/INFO2\t%INFO/LOGPOST[\t%GT|%GP]\n' \
        -o query.tsv "$vcf"
    awk -v chr="$chr" '$1 != chr { exit 1 }' query.tsv || fail "$vcf: CHROM is not $chr"
    bcftools +fill-tags "$vcf" -- -t AC,AN 2> tool.err | bcftools query -f '%ID\t%AC\t%AN\n' > filltags.tsv
    [ ! -s tool.err ] || fail "bcftools +fill-tags warns: $(head -n 3 tool.err)"
    "$python" "$check" vcf "$prefix" "$threshold" query.tsv filltags.tsv "$@" || fail "$vcf disagrees with the call files"
}
check_vcf auto 1 0.9 --inputs "$examples/cohort0.txt.gz" cohort1_missing.txt.gz
check_vcf xmode X 0.95 --inputs simx_cohort0.txt.gz simx_cohort1.txt.gz --sex "${sexes[@]}"
check_vcf dot . 0.9 --inputs "$examples/cohort0.txt.gz" "$examples/cohort1.txt.gz"

# The missing intensities really reached the VCF, and X-mode males are haploid (so the checks
# above saw both kinds).
for snp in rs10002:2 rs10004:1; do
    n=$(bcftools query -i "ID=\"${snp%:*}\"" -f '[%GP\n]' auto.vcf.gz | grep -cx '\.' || true)
    [ "$n" = "${snp#*:}" ] || fail "auto.vcf.gz: $n individuals missing on ${snp%:*}, expected ${snp#*:}"
done
males=$(cat "${sexes[@]}" | grep -c '^1$')
haploid=$(bcftools query -i 'ID="rs10001"' -f '[%GT\n]' xmode.vcf.gz | grep -c '^[01.]$' || true)
[ "$haploid" = "$males" ] || fail "xmode.vcf.gz: $haploid haploid genotypes for $males males"
# The QC tables against plink2's reports on the VCF's calls (plink2 2.00a3.5 has no --check-sex:
# plink 1.9's, on plink2's conversion with the declared sexes).
plink_quiet() {
    local out=$1
    shift
    "$@" --out "$out" > /dev/null || fail "$* failed: $(tail -n 3 "$out.log")"
}
plink_quiet qc_auto plink2 --vcf auto.vcf.gz --missing --freq --hardy --het
"$python" "$check" qc auto qc_auto || fail "the QC tables of auto disagree with plink2"
{ printf '#IID\tSEX\n'; paste <(bcftools query -l xmode.vcf.gz) <(cat "${sexes[@]}"); } > xmode.sexes
plink_quiet qc_xmode plink2 --vcf xmode.vcf.gz --update-sex xmode.sexes --missing --freq --make-bed
plink_quiet qc_xmode plink2 --bfile qc_xmode --keep-females --hardy
plink_quiet qc_xmode plink1.9 --bfile qc_xmode --check-sex
swapped=($(paste simx_sex0.txt swapped_sex0.txt | awk '$1 != $2 { print NR }' | while read -r n; do
    sed -n "$((n + 2))p" xmode_0.sample | cut -d' ' -f1; done))
((${#swapped[@]} == 2)) || fail "expected two swapped individuals, found ${swapped[*]}"
"$python" "$check" qc xmode qc_xmode qc_xmode.sexcheck "${swapped[@]}" || fail "the QC tables of xmode disagree with plink"
echo "plink2 and bcftools agree with the call files and the QC tables"
