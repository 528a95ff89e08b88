# The chunked Snakemake workflow on 2 cores: the bundled example, 12 SNPs of text in chunks of 5
# (the last one short), and the same SNPs as indexed BCF on two contigs of 7 and 5 records in
# regions of about 3 records, each read through the index. The merged files must be those of one
# run over all SNPs with the same seed, byte for byte (with -learn: the priors learnt once before
# the chunks, as the single run learns them), and an unchanged re-run must do nothing.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

work=${TARVIX_WORK_DIR:?}
rm -rf "$work" && mkdir -p "$work"
src=$TARVIX_SOURCE_DIR
small=(-learn -ns 1 -nmax 20 -b 20 -n 60 -test 1 -vcf -chr 1)

# The example as BCF: SNPs 1-7 on contig 1, 8-12 on contig 2, each file with its CSI index.
for j in 0 1; do
  gzip -cd "$src/examples/cohort$j.txt.gz" >"$work/text$j.txt"
  { "$src/scripts/intensities_to_vcf.sh" <(head -n 8 "$work/text$j.txt") 1 | sed 's/^##contig=<ID=1>/&\n##contig=<ID=2>/'
    "$src/scripts/intensities_to_vcf.sh" <(sed 2,8d "$work/text$j.txt") 2 | grep -v '^#'; } |
    bcftools view --no-version -Ob -o "$work/c$j.bcf" && bcftools index "$work/c$j.bcf"
done

check() {  # check NAME INPUTS COMPRESSION SNP_INFO CHUNK_SIZE CHUNKS INPUT_OPTIONS...: the workflow in NAME/
  local name=$1 dir=$work/$1 chunks=$6
  mkdir -p "$dir/single"
  cat >"$dir/config.yaml" <<EOF
tarvix: $TARVIX_BINARY
inputs: [$2]
compression: "$3"
snp_info: "$4"
sex_files: []
n_snps: 0
chunk_size: $5
seed: 0.3
options: "${small[*]}"
prefix: merged/run
work: chunked
EOF
  shift 6
  flow() { snakemake -s "$src/workflow/Snakefile" --configfile "$dir/config.yaml" -d "$dir" --cores 2 "$@"; }
  flow >"$dir/snakemake.log" 2>&1 || { cat "$dir/snakemake.log" >&2; fail "$name: the workflow failed"; }
  # The single run over all SNPs that the merged VCF names as its command, from a folder of its
  # own (INPUT_OPTIONS in the workflow's order).
  mkdir -p "$dir/single/merged"
  (cd "$dir/single" && "$TARVIX_BINARY" "$@" -seed 0.3 -snp_seeds "${small[@]}" -o merged/run >/dev/null)
  [ "$(bcftools view -h "$dir/merged/run.vcf.gz" | grep '^##tarvix++Command=')" = \
    "##tarvix++Command=tarvix++ $* -seed 0.3 -snp_seeds ${small[*]} -o merged/run" ] ||
    fail "$name: the merged VCF names another command: $(bcftools view -h "$dir/merged/run.vcf.gz" | grep Command)"

  # The files of one run over all SNPs, byte for byte, listed in the manifest.
  expected=$(cd "$dir/single/merged" && ls)
  [ "$(cd "$dir/merged" && ls)" = "$expected" ] ||
    fail "$name: merged files $(cd "$dir/merged" && ls | xargs) differ from a single run's: $(echo $expected)"
  [ "$(xargs -n1 basename <"$dir/chunked/merged.txt" | sort)" = "$(echo "$expected" | sort)" ] ||
    fail "$name: the manifest does not list the merged files: $(cat "$dir/chunked/merged.txt")"
  [ "$(ls "$dir/chunked/chunks" | sort -n | xargs)" = "$chunks" ] ||
    fail "$name: expected chunks $chunks, found $(ls "$dir/chunked/chunks" | xargs)"
  for file in $expected; do
    cmp -s "$dir/merged/$file" "$dir/single/merged/$file" || fail "$name: $file differs from a single run's"
  done
  [ "$(bcftools index -n "$dir/merged/run.vcf.gz")" = 12 ] || fail "$name: the merged VCF's index does not count 12 records"

  # An unchanged workflow has nothing to do, and a re-run rewrites nothing.
  before=$(cd "$dir" && stat -c '%n %y' merged/* chunked/merged.txt chunked/chunks/*/*)
  flow -n >"$dir/dry.log" 2>&1 || fail "$name: the dry run failed"
  grep -q "Nothing to be done" "$dir/dry.log" || { cat "$dir/dry.log" >&2; fail "$name: an unchanged workflow has work to do"; }
  flow >"$dir/again.log" 2>&1 || fail "$name: the re-run failed"
  grep -q "Nothing to be done" "$dir/again.log" || { cat "$dir/again.log" >&2; fail "$name: the re-run did work"; }
  [ "$(cd "$dir" && stat -c '%n %y' merged/* chunked/merged.txt chunked/chunks/*/*)" = "$before" ] ||
    fail "$name: the re-run rewrote files"
}

check text "$src/examples/cohort0.txt.gz, $src/examples/cohort1.txt.gz" -gz "$src/examples/snpinfo.txt" 5 "0 1 2" \
  -i "$src/examples/cohort0.txt.gz" "$src/examples/cohort1.txt.gz" -gz -f "$src/examples/snpinfo.txt"
check bcf "$work/c0.bcf, $work/c1.bcf" "" "" 3 "0 1 2 3 4" -i "$work/c0.bcf" "$work/c1.bcf"

# The regions cut after every third record of a contig; the chunks analysed every SNP once.
cuts=($(bcftools query -f '%CHROM %POS\n' "$work/c0.bcf" | awk '$1 == 1 && (NR == 4 || NR == 7) { print $2 } $1 == 2 && NR == 11 { print $2 }'))
expected="-r 1:1-$((cuts[0] - 1)) -r 1:${cuts[0]}-$((cuts[1] - 1)) -r 1:${cuts[1]}- -r 2:1-$((cuts[2] - 1)) -r 2:${cuts[2]}-"
[ "$(xargs <"$work/bcf/chunked/chunks.txt")" = "$expected" ] || fail "bcf: regions $(xargs <"$work/bcf/chunked/chunks.txt"), expected $expected"
[ "$(cat "$work"/bcf/chunked/logs/chunk_*.log | grep -c '^SNP [0-9]* done')" = 12 ] || fail "bcf: the chunks did not analyse 12 SNPs"
echo "workflow: 3 text chunks and 5 BCF region chunks merged like a single run; re-runs did nothing"
