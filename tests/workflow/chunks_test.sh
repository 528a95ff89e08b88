# The workflow's chunk ranges (workflow/chunks.py), and the merging of result
# kinds that the example run does not write (workflow/merge_chunks.py): sample files, a VCF
# with its index, and an unknown file, which must stop the merge.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

work=${TARVIX_WORK_DIR:?}
rm -rf "$work" && mkdir -p "$work"
flow=$TARVIX_SOURCE_DIR/workflow

/usr/bin/python3 - "$flow" <<'EOF' || fail "chunk ranges"
import sys
sys.path.insert(0, sys.argv[1])
from chunks import chunk_count, chunk_range

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

/usr/bin/python3 "$flow/merge_chunks.py" "$work/out/run" "$work/merged.txt" "tarvix++ -o 'all SNPs'" \
  "$work/chunks/0/part" "$work/chunks/1/part" || fail "merging sample files and VCFs failed"
[ "$(cd "$work/out" && ls | xargs)" = "run.vcf.gz run.vcf.gz.tbi run_0.sample" ] ||
  fail "merged files: $(cd "$work/out" && ls | xargs)"
[ "$(wc -l <"$work/merged.txt")" = 3 ] || fail "the manifest does not list 3 files"
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
