# SNP by SNP, on several threads: with -snp_seeds the result files are the same bytes for any
# number of threads and for SNP ranges run apart and joined; -threads N alone implies it, N = 1
# too. A bad SNP line met after the first SNPs were written stops the run naming file and line,
# and the earlier results of the prefix stay whole, as they do when the threads asked for cannot
# be started. Without a terminal or -verbose, the console shows one line per finished SNP.
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SIMULATE:?}" "${TARVIX_WORK_DIR:?}"
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$TARVIX_WORK_DIR" && mkdir -p "$TARVIX_WORK_DIR" && cd "$TARVIX_WORK_DIR"

"$TARVIX_SIMULATE" --out sim --cohorts 2 --individuals 60 --snps 60 --seed 4 > /dev/null
small=(-i sim_cohort0.txt sim_cohort1.txt -f sim_snpinfo.txt -ns 1 -nmax 4 -b 4 -n 10 -seed 0.3 -test 1 -vcf -chr 1)
run() {  # run NAME OPTIONS...: the result files in folder NAME
    local name=$1
    shift
    mkdir -p "$name"
    "$TARVIX_BINARY" "${small[@]}" "$@" -o "$name/r" > "$name.log" 2>&1 || fail "$name: $(tail -n 1 "$name.log")"
}
run one -snp_seeds
run two -threads 2
run one_thread -threads 1
run three -threads 3 -snp_seeds
run first -snp_seeds -snps 1 23
run rest -snp_seeds -snps 24 1000
# The VCF's header records each run's own command line, and its index the offsets that follow.
same() {
    case $1 in
        *.vcf.gz) cmp -s <(zcat "$1" | grep -v '^##tarvix++Command=') <(zcat "$2" | grep -v '^##tarvix++Command=') ;;
        *.csi) [ "$(bcftools index -n "${1%.csi}")" = "$(bcftools index -n "${2%.csi}")" ] ;;
        *) cmp -s "$1" "$2" ;;
    esac
}
for name in $(cd one && ls); do
    for other in two three one_thread; do same "one/$name" "$other/$name" || fail "$name: -threads 1 and the run in $other differ"; done
done
for name in r_0_mcmc r_1_mcmc; do
    cat "first/$name" "rest/$name" | cmp -s - "one/$name" || fail "$name: the joined ranges differ from one run"
done
for name in r_params r_information r_tests r_snps.tsv; do
    { cat "first/$name"; tail -n +2 "rest/$name"; } | cmp -s - "one/$name" || fail "$name: the joined ranges differ from one run"
done
[ "$(grep -c '^SNP [0-9]* done: ' three.log)" = 60 ] || fail "expected 60 progress lines: $(head -n 20 three.log)"
grep -q '^ Final Log Posterior' three.log && fail "detailed output without -verbose"
# A range whose end is below its start runs to the end of the files, and the time left is told.
run backwards -snps 55 2
grep -q '^SNP 55 done: 1 SNP, .* SNPs/s, about [0-9:]* left$' backwards.log || fail "-snps 55 2: no time left: $(grep done backwards.log)"
run verbose -threads 2 -verbose -snps 1 3
[ "$(grep -c '^snp [0-9]* \[' verbose.log)" = 3 ] || fail "-verbose: expected every SNP's detailed output"

# SNP line 55 cut short: SNPs before it were analysed and written to the temporaries.
awk 'NR == 56 { $NF = ""; $(NF - 1) = "" } { print }' sim_cohort1.txt > broken1.txt
for threads in 1 2; do
    mkdir -p "broken$threads"
    echo earlier > "broken$threads/r_0_mcmc"
    if "$TARVIX_BINARY" "${small[@]/sim_cohort1.txt/broken1.txt}" -threads "$threads" -o "broken$threads/r" \
        > "broken$threads.log" 2> "broken$threads.err"; then fail "a broken SNP line was accepted"; fi
    grep -qx "tarvix++: broken1.txt:56: expected 120 intensities, found 118" "broken$threads.err" ||
        fail "-threads $threads: unexpected error: $(cat "broken$threads.err")"
    [ "$(ls "broken$threads")" = r_0_mcmc ] && [ "$(cat "broken$threads/r_0_mcmc")" = earlier ] ||
        fail "-threads $threads: the earlier result was not left alone: $(ls "broken$threads")"
done

# More threads than the address space allows (a cluster job's memory limit): one line naming how
# many could be started, and nothing of the earlier result changed, no temporary or lock left.
# Sanitizer builds cannot run under an address-space limit at all; they leave this row out.
limited() { (ulimit -s 8192 -v 2000000 && exec "$@"); }
if limited "$TARVIX_BINARY" -h > /dev/null 2>&1; then
    mkdir -p limited && echo earlier > limited/r_0_mcmc
    if limited "$TARVIX_BINARY" "${small[@]}" -threads 1000 -o limited/r > limited.log 2> limited.err; then
        fail "1000 threads under a 2 GB address-space limit: no error"
    fi
    grep -qE '^tarvix\+\+: -threads 1000: only [0-9]+ threads could be started \(.*\); run with fewer' limited.err ||
        fail "threads that cannot start: unexpected error: $(cat limited.err)"
    [ "$(ls limited)" = r_0_mcmc ] && [ "$(cat limited/r_0_mcmc)" = earlier ] ||
        fail "threads that cannot start: the earlier result was not left alone: $(ls limited)"
else
    echo "threads: the address-space limit row is left out (this build cannot run under ulimit -v)"
fi
echo "threads: same files for 1, 2 and 3 threads and for joined ranges; late bad lines stop cleanly"
