# The chunked Snakemake workflow on the bundled example: 12 SNPs in chunks of 5 (the last one
# short) on 2 cores. The merged files must be those of one run over all SNPs with the same seed,
# byte for byte, and an unchanged re-run must do nothing.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

work=${TARVIX_WORK_DIR:?}
rm -rf "$work" && mkdir -p "$work"
src=$TARVIX_SOURCE_DIR
small=(-ns 1 -nmax 20 -b 20 -n 60 -test 1 -vcf -chr 1)

cat >"$work/config.yaml" <<EOF
tarvix: $TARVIX_BINARY
inputs: [$src/examples/cohort0.txt.gz, $src/examples/cohort1.txt.gz]
compression: "-gz"
snp_info: $src/examples/snpinfo.txt
sex_files: []
n_snps: 0
chunk_size: 5
seed: 0.3
options: "${small[*]}"
prefix: merged/run
work: chunked
EOF

flow() { snakemake -s "$src/workflow/Snakefile" --configfile "$work/config.yaml" -d "$work" --cores 2 "$@"; }
flow >"$work/snakemake.log" 2>&1 || { cat "$work/snakemake.log" >&2; fail "the workflow failed"; }

# The single run over all SNPs that the merged VCF names as its command, from a folder of its own.
inputs=(-i "$src/examples/cohort0.txt.gz" "$src/examples/cohort1.txt.gz" -gz -f "$src/examples/snpinfo.txt")
mkdir -p "$work/single/merged"
(cd "$work/single" && "$TARVIX_BINARY" "${inputs[@]}" -seed 0.3 -snp_seeds "${small[@]}" -o merged/run >/dev/null)
[ "$(bcftools view -h "$work/merged/run.vcf.gz" | grep '^##tarvix++Command=')" = \
  "##tarvix++Command=tarvix++ ${inputs[*]} -seed 0.3 -snp_seeds ${small[*]} -o merged/run" ] ||
  fail "the merged VCF names another command: $(bcftools view -h "$work/merged/run.vcf.gz" | grep Command)"

# The files of one run over all SNPs, byte for byte, listed in the manifest.
expected=$(cd "$work/single/merged" && ls)
[ "$(cd "$work/merged" && ls)" = "$expected" ] ||
  fail "merged files $(cd "$work/merged" && ls | xargs) differ from a single run's: $(echo $expected)"
[ "$(xargs -n1 basename <"$work/chunked/merged.txt" | sort)" = "$(echo "$expected" | sort)" ] ||
  fail "the manifest does not list the merged files: $(cat "$work/chunked/merged.txt")"
[ "$(ls "$work/chunked/chunks" | xargs)" = "0 1 2" ] || fail "expected chunks 0 1 2, found $(ls "$work/chunked/chunks" | xargs)"
for name in $expected; do
  cmp -s "$work/merged/$name" "$work/single/merged/$name" || fail "$name differs from a single run's"
done
[ "$(bcftools index -n "$work/merged/run.vcf.gz")" = 12 ] || fail "the merged VCF's index does not count 12 records"

# An unchanged workflow has nothing to do, and a re-run rewrites nothing.
before=$(cd "$work" && stat -c '%n %y' merged/* chunked/merged.txt chunked/chunks/*/*)
flow -n >"$work/dry.log" 2>&1 || fail "the dry run failed"
grep -q "Nothing to be done" "$work/dry.log" || { cat "$work/dry.log" >&2; fail "an unchanged workflow has work to do"; }
flow >"$work/again.log" 2>&1 || fail "the re-run failed"
grep -q "Nothing to be done" "$work/again.log" || { cat "$work/again.log" >&2; fail "the re-run did work"; }
[ "$(cd "$work" && stat -c '%n %y' merged/* chunked/merged.txt chunked/chunks/*/*)" = "$before" ] ||
  fail "the re-run rewrote files"

echo "workflow: 3 chunks merged like a single run; re-run did nothing"
