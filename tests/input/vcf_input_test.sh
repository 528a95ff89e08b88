# Intensities from VCF and BCF as the array converters write them. The same data as text, VCF
# and BCF give the same result files byte for byte (SNP_ID the rs, as a VCF's ID gives both;
# values on a 1/1024 grid, exact in a Float; X and Y read raw with -scale 1024 too), and failed
# beads are missing both ways; A and B swapped (A = ALT) give the same calls with the alleles
# swapped and a VCF whose GT and GP are mirrored in REF/ALT terms; bad records, truncated files
# and lying headers stop the run naming file and record and the cause, the converters' records
# without two alleles with a filter that drops them; files without ##contig lines are read;
# PLINK .fam and .psam sexes give the sex-file run; bcftools reads, annotates and merges with
# the result.
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SIMULATE:?}" "${TARVIX_SOURCE_DIR:?}" "${TARVIX_WORK_DIR:?}"
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$TARVIX_WORK_DIR" && mkdir -p "$TARVIX_WORK_DIR" && cd "$TARVIX_WORK_DIR"
to_vcf=$TARVIX_SOURCE_DIR/scripts/intensities_to_vcf.sh

"$TARVIX_SIMULATE" --out sim --cohorts 2 --individuals 40 --snps 6 --chrX --missing 0.05 --seed 7 > /dev/null
for j in 0 1; do
    awk 'NR == 1 { print; next } { $1 = $2; for (i = 6; i <= NF; ++i) if ($i + 0 == $i) $i = sprintf("%.10f", int($i * 1024 + 0.5) / 1024); print }' \
        "sim_cohort$j.txt" > "text$j.txt"
    "$to_vcf" "text$j.txt" X 1024 > "plain$j.vcf"
    bgzip -c "plain$j.vcf" > "c$j.vcf.gz" && bcftools view -Ob -o "c$j.bcf" "plain$j.vcf"
    sed 's/ALLELE_A=0;ALLELE_B=1/ALLELE_A=1;ALLELE_B=0/' "plain$j.vcf" > "swapped$j.vcf"
done
small=(-nrs -ns 1 -nmax 5 -b 5 -n 20 -vcf -chr X -chrX sim_sex0.txt sim_sex1.txt)
run() {  # run NAME INPUT0 INPUT1 OPTIONS...
    local name=$1 a=$2 b=$3
    shift 3
    mkdir -p "$name"
    "$TARVIX_BINARY" -i "$a" "$b" "${small[@]}" "$@" -o "$name/r" > "$name.log" 2> "$name.err" || fail "$name: $(cat "$name.err")"
}
same() {  # same A B: the call, parameter, information and sample files agree
    for f in r_0_mcmc r_1_mcmc r_params r_information r_0.sample r_1.sample; do
        cmp -s "$1/$f" "$2/$f" || fail "$2/$f differs from $1/$f"
    done
}
run text text0.txt text1.txt
run vcf c0.vcf.gz c1.vcf.gz
run bcf c0.bcf c1.bcf
run raw c0.bcf c1.bcf -intensities RAW -scale 1024
run plain plain0.vcf plain1.vcf
for name in vcf bcf raw plain; do same text "$name"; done
# Failed beads as the converters write them (X = Y = 0, NORMX = NORMY = -nan) are missing read raw
# as they are read normalised.
for j in 0 1; do
    awk 'BEGIN { OFS = "\t" } !/^#/ && NR % 3 == 0 { $12 = $17 = "0:0:-nan:-nan" } { print }' "plain$j.vcf" |
        bcftools view -Ob -o "bead$j.bcf"
done
run bead bead0.bcf bead1.bcf
run bead_raw bead0.bcf bead1.bcf -intensities RAW -scale 1024
same bead bead_raw

# A = ALT: the calls stand, the allele columns swap, the VCF mirrors.
run swapped swapped0.vcf swapped1.vcf
for j in 0 1; do
    diff <(sed -E 's/^(\S+ \S+ \S+) (\S+) (\S+) /\1 \3 \2 /' "text/r_${j}_mcmc") "swapped/r_${j}_mcmc" > /dev/null ||
        fail "swapped alleles: cohort $j's calls are not the text run's with allele columns swapped"
done
diff <(bcftools query -f '[%GT:%GP ]\n' vcf/r.vcf.gz | awk '{ for (i = 1; i <= NF; ++i) { split($i, a, ":"); n = split(a[2], p, ",");
        g = a[1] == "0/0" ? "1/1" : a[1] == "1/1" ? "0/0" : a[1] == "0" ? "1" : a[1] == "1" ? "0" : a[1];
        r = p[n]; for (k = n - 1; k >= 1; --k) r = r "," p[k]; printf "%s:%s ", g, r } print "" }') \
    <(bcftools query -f '[%GT:%GP ]\n' swapped/r.vcf.gz) > /dev/null || fail "swapped alleles: GT/GP not mirrored in REF/ALT terms"
[ "$(bcftools query -f '%REF%ALT ' swapped/r.vcf.gz)" = "$(bcftools query -f '%REF%ALT ' vcf/r.vcf.gz)" ] ||
    fail "swapped alleles: REF/ALT not kept from the input"

# Bad records name file and record.
refused() {  # refused EXPECTED ARGUMENTS...: the run stops with EXPECTED in its message
    local expected=$1
    shift
    if "$TARVIX_BINARY" "$@" -o bad > /dev/null 2> bad.err; then fail "accepted: $*"; fi
    grep -qF "$expected" bad.err || fail "$*: unexpected message: $(cat bad.err)"
}
bad() {  # bad SED_SCRIPT EXPECTED [OPTIONS...]: the second cohort's file edited (both with BOTH=1)
    local script=$1 expected=$2 inputs=(plain0.vcf bad1.vcf)
    shift 2
    sed "$script" plain1.vcf > bad1.vcf
    [ -z "${BOTH:-}" ] || inputs=(bad1.vcf bad1.vcf)
    refused "$expected" -i "${inputs[@]}" "${small[@]}" "$@"
}
bad '12s/ALLELE_A=0;//' "bad1.vcf: record 3 (X:" ; grep -qF "no INFO/ALLELE_A" bad.err || fail "$(cat bad.err)"
bad '13s/ALLELE_A=0/ALLELE_A=1/' "record 4" ; grep -qF "name the same allele" bad.err || fail "$(cat bad.err)"
# Records the converters write without two alleles of their own for A and B (ALLELE_A '.', a
# REF-only probe, a record split by bcftools norm -m-): the cause, and a filter that drops them
# all, which the run then takes.
converter_kinds='11s/\tC\tG\t/\tC\t.\t/; 11s/ALLELE_B=1/ALLELE_B=0/; 12s/ALLELE_A=0/ALLELE_A=./; 13s/\tG\tT\t/\tG\tT,A\t/; 13s/ALLELE_B=1/ALLELE_B=2/'
bad "$converter_kinds" "bad1.vcf: record 2 (X:2736531): the record has no ALT allele (an intensity-only probe)"
bad '12s/ALLELE_A=0/ALLELE_A=./' "bad1.vcf: record 3 (X:2752005): INFO/ALLELE_A is '.': the converter could not place"
sed '13s/\tG\tT\t/\tG\tT,A\t/; 13s/ALLELE_B=1/ALLELE_B=2/' plain1.vcf | bcftools norm -m- -Ov -o split1.vcf
refused "split1.vcf: record 4 (X:2765621): INFO/ALLELE_B=2 is not an allele of the record (REF and 1 ALT; a record split by bcftools norm -m" \
    -i plain0.vcf split1.vcf "${small[@]}"
filter=$(sed -n "s/.*drop such records first: bcftools view -e '\(.*\)'$/\1/p" bad.err)
for j in 0 1; do sed "$converter_kinds" "plain$j.vcf" | bcftools norm -m- | bcftools view -e "$filter" -Ob -o "kept$j.bcf"; done
run kept kept0.bcf kept1.bcf
[ "$(wc -l < kept/r_0_mcmc)" = 3 ] || fail "the filter of the message did not keep the 3 good records: $(cut -d ' ' -f 1-5 kept/r_0_mcmc)"
bad '14s/^X\t\([0-9]*\)/X\t1\1/' "is not the SNP of record 5 of plain0.vcf"
for other in '11s/^X/Y/; 2a ##contig=<ID=Y>' '11s/\tC\tG\t/\tC\tA\t/' '11s/\tC\tG\t/\tC\tG,A\t/' \
    '11s/ALLELE_A=0;ALLELE_B=1/ALLELE_A=1;ALLELE_B=0/'; do
    bad "$other" "record 2 ("; grep -qF "is not the SNP of record 2 of plain0.vcf" bad.err || fail "$other: $(cat bad.err)"
done
bad '14,$d' "bad1.vcf: the file ends after 4 records, but plain0.vcf holds more"
bad 's/NORMX/NX/g; s/NORMY/NY/g' "no FORMAT/NORMX (Float, one per sample)"
bad '$p' "bad1.vcf: record 7 (X:2780021): holds more than 6 records, but plain0.vcf holds exactly that many"
bad '' "plain0.vcf: the selected range starts at SNP 9 but the file holds 6 records" -snps 9 9
BOTH=1 bad '13s/^X\t[0-9]*/X\t7/' "record 4 (X:7): position 7 is below the position 2752005 of the record before it; -vcf needs ascending positions; sort the files first (bcftools sort, then bcftools index)"
BOTH=1 bad '12s/^X/Y/; 2a ##contig=<ID=Y>' "record 4 (X:2765621): contig X comes back after other contigs; -vcf needs each contig's records together; sort the files first"
BOTH=1 bad '11s/^X\t[0-9]*/X\t0/' "bad1.vcf: record 2 (X:0): position '0' is not a positive integer, which -vcf needs"
bad '11s/^X\t[0-9]*/X\t99999999999999999999/' "bad1.vcf: record 2: cannot be read"
BOTH=1 bad '11s/\tC\tG\t/\tI\tD\t/' "bad1.vcf: record 2 (X:2736531): REF 'I' is not a single VCF allele (bases A, C, G, T, N), which -vcf needs"
bad '11s/rs10002/rsQ/; 12s/2752005/1/' "is not the SNP of record 3 of plain0.vcf"
grep -qF "bad1.vcf: record 2: ID rsQ differs from rs10002 in that record of plain0.vcf" bad.err || fail "no ID warning: $(cat bad.err)"
bad '12s/\t[^\t]*$//' "record 3 (X:2752005): cannot be read: its number of columns is not that of the header's samples"
# Read by htslib, but a blank in a field of the results would shift every column after it.
bad '11s/rs10002/rs 10002/' "bad1.vcf: record 2 (X:2736531): ID 'rs 10002' holds a blank, which the whitespace-separated result tables cannot hold"
bad '11s/\tC\tG\t/\tC\tG T\t/' "bad1.vcf: record 2 (X:2736531): allele 'G T' holds a blank"
bad '9s/\tc1_ind0004\t/\tc1 ind0004\t/' "bad1.vcf: sample 4 of the header, 'c1 ind0004', holds a blank"
bad '9s/\tc1_ind0004\t/\tc1_ind0003\t/' "bad1.vcf: cannot read the VCF/BCF header: samples 3 and 4 are both named 'c1_ind0003'"
# Read as complete by htslib: a BGZF file cut at a block boundary (whole records, its end-of-file
# block missing), and a BCF whose header names one sample fewer than its records hold.
head -n 12 plain1.vcf | bgzip -c | head -c -28 > cut1.vcf.gz
refused "cut1.vcf.gz: no BGZF end-of-file marker: the file is truncated" -i cut1.vcf.gz cut1.vcf.gz "${small[@]}"
bgzip -dc c1.bcf | python3 -c '
import struct, sys
d = sys.stdin.buffer.read(); n = struct.unpack("<I", d[5:9])[0]
h = [l.rsplit(b"\t", 1)[0] if l.startswith(b"#CHROM") else l for l in d[9:9 + n].rstrip(b"\0").split(b"\n")]
t = b"\n".join(h) + b"\0"
sys.stdout.buffer.write(d[:5] + struct.pack("<I", len(t)) + t + d[9 + n:])' | bgzip -c > fewer1.bcf
refused "fewer1.bcf: record 1 (X:2720146): holds the values of 40 samples, but the header names 39" -i fewer1.bcf -nrs
# Contigs without ##contig lines are read as htslib reads them (the same files); -vcf, which
# writes the header's contigs, refuses a contig the header does not declare.
for j in 0 1; do sed '/^##contig/d' "plain$j.vcf" > "nocontig$j.vcf"; done
mkdir -p nocontig
"$TARVIX_BINARY" -i nocontig0.vcf nocontig1.vcf -nrs -ns 1 -nmax 5 -b 5 -n 20 -chrX sim_sex0.txt sim_sex1.txt \
    -o nocontig/r > nocontig.log 2>&1 || fail "no ##contig lines: $(tail -n 1 nocontig.log)"
same text nocontig
BOTH=1 bad '/^##contig/d' "bad1.vcf: record 1 (X:2720146): contig X is not declared in the header (a ##contig line), which -vcf needs"
BOTH=1 bad '13s/^X/Y/' "bad1.vcf: record 4 (Y:2765621): contig Y is not declared in the header"

# Sexes from PLINK files, matched by IID in any order, give the sex-file run.
for j in 0 1; do
    head -n 1 "text$j.txt" | tr ' ' '\n' | awk 'NR > 5 && NR % 2 == 0 { sub(/_A$/, ""); print }' > "ids$j"
    paste "ids$j" "sim_sex$j.txt" | sort -r | awk '{ print "F" NR, $1, 0, 0, $2, -9 } END { print "F0 other 0 0 1 -9" }' > "c$j.fam"
    paste "ids$j" "sim_sex$j.txt" | awk 'BEGIN { print "#IID\tSEX" } { print $1 "\t" ($2 == 0 ? "NA" : $2) }' > "c$j.psam"
done
run fam c0.bcf c1.bcf -chrX c0.fam c1.fam
run psam c0.bcf c1.bcf -chrX c0.psam c1.psam
same text fam && same text psam
sed 2d c1.fam > short.fam
if "$TARVIX_BINARY" -i c0.bcf c1.bcf "${small[@]}" -chrX c0.fam short.fam -o bad > /dev/null 2> bad.err; then fail "a .fam without an individual was accepted"; fi
grep -qF "short.fam: no line for individual" bad.err || fail "unexpected message: $(cat bad.err)"

# bcftools: the result reads, annotates the input and merges with it.
bcftools index -f c0.bcf
bcftools annotate -a vcf/r.vcf.gz -c INFO/AF c0.bcf -Ov -o annotated.vcf || fail "bcftools annotate failed"
[ "$(bcftools query -f '%AF\n' annotated.vcf)" = "$(bcftools query -f '%AF\n' vcf/r.vcf.gz)" ] || fail "annotate: AF not carried"
bcftools merge --force-samples c0.bcf vcf/r.vcf.gz -Ov -o merged.vcf 2> merge.err || fail "bcftools merge failed: $(cat merge.err)"
[ "$(bcftools view -H merged.vcf | wc -l)" = 6 ] || fail "merge: expected 6 records"
echo "vcf input: text, VCF, BCF and raw X/Y agree; swapped alleles mirror; bad records, .fam and .psam checked"
