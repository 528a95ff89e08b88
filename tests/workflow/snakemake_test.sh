# The chunked Snakemake workflow on the bundled example: 12 SNPs in chunks of 5 (the last one
# short) on 2 cores. The merged files must have the layout of one run over all SNPs (same files,
# headers once, every SNP once and in order, same fields per line), chunk 0 must be exactly the
# run of its range with the base seed, and an unchanged re-run must do nothing.
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

inputs=(-gz -i "$src/examples/cohort0.txt.gz" "$src/examples/cohort1.txt.gz" -f "$src/examples/snpinfo.txt")
mkdir -p "$work/single" "$work/first"
"$TARVIX_BINARY" "${inputs[@]}" -seed 0.3 "${small[@]}" -o "$work/single/run" >/dev/null
"$TARVIX_BINARY" "${inputs[@]}" -seed 0.3 "${small[@]}" -snps 1 5 -o "$work/first/part" >/dev/null

# Same result files as the single run, merged files listed in the manifest.
expected=$(cd "$work/single" && ls)
[ "$(cd "$work/merged" && ls)" = "$expected" ] ||
  fail "merged files $(cd "$work/merged" && ls | xargs) differ from a single run's: $(echo $expected)"
[ "$(xargs -n1 basename <"$work/chunked/merged.txt" | sort)" = "$(echo "$expected" | sort)" ] ||
  fail "the manifest does not list the merged files: $(cat "$work/chunked/merged.txt")"
[ "$(ls "$work/chunked/chunks" | xargs)" = "0 1 2" ] || fail "expected chunks 0 1 2, found $(ls "$work/chunked/chunks" | xargs)"

for name in $expected; do
  merged=$work/merged/$name single=$work/single/$name
  case $name in
    *.sample) cmp -s "$merged" "$single" || fail "$name differs from a single run's"; continue ;;
    *.csi) continue ;;
    *.vcf.gz)
      # Same header lines but for the command lines, every SNP once in order, index usable.
      diff <(bcftools view -h "$merged" | grep -v '^##bcftools') <(bcftools view -h "$single" | grep -v '^##bcftools') \
        >/dev/null || fail "$name: header differs from a single run's"
      diff <(bcftools query -f '%CHROM %POS %ID %REF %ALT\n' "$merged") \
        <(bcftools query -f '%CHROM %POS %ID %REF %ALT\n' "$single") >/dev/null ||
        fail "$name: records differ in SNP order or identity from a single run's"
      [ "$(bcftools index -n "$merged")" = 12 ] || fail "$name: the index does not count 12 records"
      continue ;;
  esac
  [ "$(wc -l <"$merged")" = "$(wc -l <"$single")" ] ||
    fail "$name: $(wc -l <"$merged") lines, a single run writes $(wc -l <"$single")"
  case $name in
    *_mcmc) header=0 ;;
    *) header=1
       [ "$(head -n1 "$merged")" = "$(head -n1 "$single")" ] || fail "$name: header differs from a single run's"
       [ "$(grep -c '^SNP_ID ' "$merged")" = 1 ] || fail "$name: header not exactly once" ;;
  esac
  # The SNP fields of every line, in order, and the number of fields per line.
  diff <(awk '{print $1, $2, $3, NF}' "$merged") <(awk '{print $1, $2, $3, NF}' "$single") >/dev/null ||
    fail "$name: SNP order or line layout differs from a single run's"
  [ "$(awk 'NR > '$header' {print $1}' "$merged" | sort | uniq -d)" = "" ] || fail "$name: a SNP appears twice"
  [ "$(awk 'NR > '$header' {print $1}' "$merged" | wc -l)" = 12 ] || fail "$name: expected 12 SNP lines"
done

# Chunk 0 runs SNPs 1 to 5 with the base seed itself.
for name in $(cd "$work/first" && ls); do
  cmp -s "$work/first/$name" "$work/chunked/chunks/0/$name" ||
    fail "chunk 0: $name differs from the run of SNPs 1 to 5 with -seed 0.3"
done
# The other chunks run with seeds of their own: a chunk's calls cannot be those of a run of its
# range with the base seed.
"$TARVIX_BINARY" "${inputs[@]}" -seed 0.3 "${small[@]}" -snps 6 10 -o "$work/first/second" >/dev/null
! cmp -s "$work/first/second_0_mcmc" "$work/chunked/chunks/1/part_0_mcmc" ||
  fail "chunk 1 ran with the base seed"

# An unchanged workflow has nothing to do, and a re-run rewrites nothing.
before=$(cd "$work" && stat -c '%n %y' merged/* chunked/merged.txt chunked/chunks/*/*)
flow -n >"$work/dry.log" 2>&1 || fail "the dry run failed"
grep -q "Nothing to be done" "$work/dry.log" || { cat "$work/dry.log" >&2; fail "an unchanged workflow has work to do"; }
flow >"$work/again.log" 2>&1 || fail "the re-run failed"
grep -q "Nothing to be done" "$work/again.log" || { cat "$work/again.log" >&2; fail "the re-run did work"; }
[ "$(cd "$work" && stat -c '%n %y' merged/* chunked/merged.txt chunked/chunks/*/*)" = "$before" ] ||
  fail "the re-run rewrote files"

echo "workflow: 3 chunks merged like a single run; re-run did nothing"
