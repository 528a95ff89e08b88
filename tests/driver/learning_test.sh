# Priors learnt from the chip (-learn): the same priors and calls for any number of threads;
# -learn_only writes the priors alone; the written priors read back with -priors give the calls
# of the run that learnt them, and chunks run with one priors file give the files of one run.
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SIMULATE:?}" "${TARVIX_WORK_DIR:?}"
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$TARVIX_WORK_DIR" && mkdir -p "$TARVIX_WORK_DIR" && cd "$TARVIX_WORK_DIR"

"$TARVIX_SIMULATE" --out sim --cohorts 2 --individuals 60 --snps 64 --seed 9 --twocluster 0.3 > /dev/null
small=(-i sim_cohort0.txt sim_cohort1.txt -f sim_snpinfo.txt -ns 1 -nmax 4 -b 4 -n 10 -seed 0.3)
run() {  # run NAME OPTIONS...: the result files in folder NAME
    local name=$1
    shift
    mkdir -p "$name"
    "$TARVIX_BINARY" "${small[@]}" "$@" -o "$name/r" > "$name.log" 2>&1 || fail "$name: $(tail -n 1 "$name.log")"
}
same() {  # same A B FILE...: the files of runs A and B are equal
    local a=$1 b=$2
    shift 2
    for name in "$@"; do cmp -s "$a/$name" "$b/$name" || fail "$name: runs $a and $b differ"; done
}
run learnt -learn -snp_seeds
run learnt2 -learn -threads 2
run only -learn_only -threads 2
run read -label_starts -priors learnt/r_priors -snp_seeds
run first -label_starts -priors learnt/r_priors -snp_seeds -snps 1 20
run rest -label_starts -priors learnt/r_priors -snp_seeds -snps 21 64

grep -q '^share_2 ' learnt/r_priors || fail "no cluster geometry learnt: $(cat learnt/r_priors)"
same learnt learnt2 r_priors r_0_mcmc r_1_mcmc r_params
[ "$(ls only)" = r_priors ] || fail "-learn_only wrote $(ls only)"
same learnt only r_priors
same learnt read r_0_mcmc r_1_mcmc r_params r_information
for name in r_0_mcmc r_1_mcmc; do
    cat "first/$name" "rest/$name" | cmp -s - "read/$name" || fail "$name: the chunks differ from one run"
done
{ cat first/r_params; tail -n +2 rest/r_params; } | cmp -s - read/r_params || fail "r_params: the chunks differ from one run"
cmp -s learnt/r_0_mcmc "$(mkdir -p plain && "$TARVIX_BINARY" "${small[@]}" -label_starts -snp_seeds -o plain/r > plain.log && echo plain/r_0_mcmc)" &&
    fail "the learnt priors changed no call"
echo "learning: same priors and calls for 1 and 2 threads; read back and chunked runs give the learning run's files"
