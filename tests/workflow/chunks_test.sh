# The workflow's chunk ranges and regions (workflow/chunks.py), and the merging of result
# kinds that the example run does not write (workflow/merge_chunks.py): sample files, a VCF
# with its index, X mode's QC sample table with an individual without a mean x + y, and an
# unknown file, which must stop the merge.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

work=${TARVIX_WORK_DIR:?}
rm -rf "$work" && mkdir -p "$work"
flow=$TARVIX_SOURCE_DIR/workflow

# Sites-only BCFs for the region chunks: contig a of 5000 bp (in the header) with 7 records,
# contig b of unknown length with 7 records, two of them at position 40, and contig c with 2.
{ printf '##fileformat=VCFv4.2\n##contig=<ID=a,length=5000>\n##contig=<ID=b>\n##contig=<ID=c>\n'
  printf '#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\n'
  for p in 10 20 30 1000 2000 3000 4000; do printf 'a\t%s\t.\tA\tG\t.\t.\t.\n' $p; done
  for p in 10 20 40 40 50 60 70; do printf 'b\t%s\t.\tA\tG\t.\t.\t.\n' $p; done
  for p in 5 6; do printf 'c\t%s\t.\tA\tG\t.\t.\t.\n' $p; done; } | bcftools view --no-version -Ob -o "$work/sites.bcf"
cp "$work/sites.bcf" "$work/unindexed.bcf" && bcftools index "$work/sites.bcf"

/usr/bin/python3 - "$flow" "$work" <<'EOF' || fail "chunk ranges"
import sys
sys.path.insert(0, sys.argv[1])
from chunks import chunk_count, chunk_range, count_snps, indexed, pieces, region_chunks, variant_file
work = sys.argv[2]

assert [chunk_range(c, 5) for c in range(chunk_count(12, 5))] == [(1, 5), (6, 10), (11, 15)]
assert chunk_count(12, 12) == 1 and chunk_range(0, 12) == (1, 12)
assert chunk_count(3, 10) == 1
assert chunk_count(10, 1) == 10 and chunk_range(9, 1) == (10, 10)
for bad in ((0, 5), (12, 0)):
    try:
        chunk_count(*bad)
        raise SystemExit(f"chunk_count{bad} accepted")
    except ValueError:
        pass

# Regions: a contig of known length in equal stretches, one of unknown length after every third
# record (a cut inside records at one position moves past them), a short contig whole.
assert pieces([]) == ["1-"] and pieces([5, 1, 5, 9]) == ["1-4", "5-8", "9-"]
assert region_chunks(f"{work}/sites.bcf", 3) == [
    "a:1-1667", "a:1668-3334", "a:3335-", "b:1-49", "b:50-69", "b:70-", "c"], region_chunks(f"{work}/sites.bcf", 3)
assert region_chunks(f"{work}/sites.bcf", 7) == ["a", "b", "c"]
assert count_snps(f"{work}/unindexed.bcf", "") == 16
assert variant_file(f"{work}/unindexed.bcf") and not variant_file(f"{sys.argv[1]}/config.yaml")
assert indexed(f"{work}/sites.bcf") and not indexed(f"{work}/unindexed.bcf")

EOF

# Two chunks with sample files and an indexed VCF of two and one records.
vcf_header='##fileformat=VCFv4.2
##tarvix++Command=tarvix++ -snps CHUNK
##contig=<ID=1>
##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">
#CHROM	POS	ID	REF	ALT	QUAL	FILTER	INFO	FORMAT	ind1'
for c in 0 1; do
  mkdir -p "$work/chunks/$c"
  printf 'ID_1 ID_2 missing\n0 0 0\nind1 ind1 0\n' >"$work/chunks/$c/part_0.sample"
done
{ echo "$vcf_header"; printf '1\t100\tsnp1\tA\tG\t.\t.\t.\tGT\t0/1\n1\t200\tsnp2\tC\tT\t.\t.\t.\tGT\t1/1\n'; } |
  sed 's/CHUNK/1 2/' | bcftools view -Oz -o "$work/chunks/0/part.vcf.gz" -
{ echo "$vcf_header"; printf '1\t300\tsnp3\tG\tA\t.\t.\t.\tGT\t0/0\n'; } |
  sed 's/CHUNK/3 3/' | bcftools view -Oz -o "$work/chunks/1/part.vcf.gz" -
for c in 0 1; do bcftools index -t "$work/chunks/$c/part.vcf.gz"; done
# Sample tables of X mode: counts and millionths add up, the rest derives from them (the chunks'
# own derived columns, "x" here, are not read); an NA sum stays NA.
qc_header=$'#IID\tCOHORT\tMISSING_CT\tOBS_CT\tF_MISS\tO(HOM)\tHET_CT\tE(HOM)\tF\tHET_RATE\tXY_CT\tXY_SUM\tMEAN_XY\tPEDSEX\tSNPSEX\tSTATUS'
printf '%s\n' "$qc_header" $'a\t0\t1\t3\tx\t2\t0\t1.500000\tx\tx\t3\t3.000000\tx\t1\tx\tx' \
  $'b\t0\t0\t3\tx\t1\t2\t1.600000\tx\tx\t3\tNA\tx\t2\tx\tx' >"$work/chunks/0/part_samples.tsv"
printf '%s\n' "$qc_header" $'a\t0\t0\t2\tx\t2\t0\t1.000000\tx\tx\t2\t2.400000\tx\t1\tx\tx' \
  $'b\t0\t1\t2\tx\t0\t1\t0.500000\tx\tx\t2\t2.000000\tx\t2\tx\tx' >"$work/chunks/1/part_samples.tsv"

/usr/bin/python3 "$flow/merge_chunks.py" "$work/out/run" "$work/merged.txt" "tarvix++ -o 'all SNPs'" \
  "$work/chunks/0/part" "$work/chunks/1/part" || fail "merging sample files and VCFs failed"
[ "$(cd "$work/out" && ls | xargs)" = "run.vcf.gz run.vcf.gz.tbi run_0.sample run_samples.tsv" ] ||
  fail "merged files: $(cd "$work/out" && ls | xargs)"
[ "$(wc -l <"$work/merged.txt")" = 4 ] || fail "the manifest does not list 4 files"
printf '%s\n' "$qc_header" $'a\t0\t1\t5\t0.2\t4\t0\t2.500000\t1\t0\t5\t5.400000\t1.08\t1\t1\tOK' \
  $'b\t0\t1\t5\t0.2\t1\t3\t2.100000\t-0.578947\t0.75\t5\tNA\tNA\t2\t2\tOK' | cmp -s - "$work/out/run_samples.tsv" ||
  fail "merged sample table: $(cat "$work/out/run_samples.tsv")"
cmp -s "$work/out/run_0.sample" "$work/chunks/0/part_0.sample" || fail "the sample file is not the chunks' one"
[ "$(bcftools query -f '%ID ' "$work/out/run.vcf.gz")" = "snp1 snp2 snp3 " ] ||
  fail "merged VCF records: $(bcftools query -f '%ID ' "$work/out/run.vcf.gz")"
[ "$(bcftools query -r 1:250-350 -f '%ID' "$work/out/run.vcf.gz")" = snp3 ] || fail "the merged VCF's index does not find snp3"
[ "$(bcftools view -h "$work/out/run.vcf.gz" | grep -c '^##tarvix++Command=tarvix++ -o '"'all SNPs'"'$')" = 1 ] ||
  fail "the merged VCF does not name the command given: $(bcftools view -h "$work/out/run.vcf.gz" | grep Command)"

# Sample files that differ between chunks, and an unknown kind of file, stop the merge.
printf 'ID_1 ID_2 missing\n0 0 0\nind2 ind2 0\n' >"$work/chunks/1/part_0.sample"
if /usr/bin/python3 "$flow/merge_chunks.py" "$work/bad" "$work/bad.txt" tarvix++ "$work/chunks/0/part" \
    "$work/chunks/1/part" 2>"$work/err"; then fail "differing sample files were merged"; fi
grep -q "part_0.sample: differs from" "$work/err" || fail "unclear message: $(cat "$work/err")"
cp "$work/chunks/0/part_0.sample" "$work/chunks/1/part_0.sample"
for c in 0 1; do touch "$work/chunks/$c/part_unknown"; done
if /usr/bin/python3 "$flow/merge_chunks.py" "$work/bad" "$work/bad.txt" tarvix++ "$work/chunks/0/part" \
    "$work/chunks/1/part" 2>"$work/err"; then fail "an unknown result file was merged"; fi
grep -q "part_unknown: unknown kind of result file" "$work/err" || fail "unclear message: $(cat "$work/err")"
[ ! -e "$work/bad.txt" ] || fail "a failed merge wrote its manifest"

echo "chunks: ranges and merging of sample files and VCFs"
