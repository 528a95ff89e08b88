#!/usr/bin/env bash
# Writing the results fails part-way, as on a full disk: a file-size limit (ulimit -f, with
# SIGXFSZ ignored so that write() returns EFBIG instead of killing the program) stops the
# first file that grows past it. The run must end with one clear line on standard error that
# names the file, a non-zero exit status, no temporary left, and the user's earlier result set
# whole: no file of it replaced.
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SIMULATE:?}" "${TARVIX_WORK_DIR:?}"
fail() { echo "full_disk_test: $*" >&2; exit 1; }

rm -rf "$TARVIX_WORK_DIR"
mkdir -p "$TARVIX_WORK_DIR"
cd "$TARVIX_WORK_DIR"
# 12 individuals and 80 SNPs: call files of about 6 KB, a parameter file of about 17 KB.
"$TARVIX_SIMULATE" --cohorts 2 --individuals 12 --snps 80 --seed 7 --out sim >/dev/null
run=(-nrs -i sim_cohort0.txt sim_cohort1.txt -f sim_snpinfo.txt -ns 1 -nmax 2 -b 2 -n 5 -o out)
results=(out_0_mcmc out_1_mcmc out_params out_information)

# A complete run without a limit gives the reference sizes of every result file.
mkdir reference
(cd reference && "$TARVIX_BINARY" "${run[@]/#sim_/../sim_}" >/dev/null) || fail "the run without a limit failed"
declare -A size
for f in "${results[@]}"; do size[$f]=$(stat -c %s "reference/$f"); done
largest_calls=$((size[out_0_mcmc] > size[out_1_mcmc] ? size[out_0_mcmc] : size[out_1_mcmc]))
((size[out_0_mcmc] >= 4096 && size[out_params] >= largest_calls + 4096)) ||
    fail "unexpected reference sizes: calls ${size[out_0_mcmc]} bytes, parameters ${size[out_params]} bytes"

# Runs with a limit of $1 KiB after filling the result names with known earlier content.
run_limited() {
    for f in "${results[@]}"; do echo "earlier $f" >"$f"; done
    echo "unrelated file of the user" >notes.txt
    status=0
    (ulimit -f "$1"; trap '' XFSZ; exec "$TARVIX_BINARY" "${run[@]}") >console.log 2>stderr.log || status=$?
}

# Every final name holds its earlier content; no temporary is left.
check_files() {
    for f in "${results[@]}"; do
        [[ $(cat "$f") == "earlier $f" ]] || fail "$f was replaced ($(stat -c %s "$f") of ${size[$f]} bytes)"
    done
    [[ $(cat notes.txt) == "unrelated file of the user" ]] || fail "an unrelated file of the user changed"
    local left
    left=$(ls ./*.partial ./out.lock 2>/dev/null || true)
    [[ -z $left ]] || fail "left behind: $left"
}

# The limit stops the first call file, then one that lets the call files through and stops the
# parameter file: either way no file of the earlier set is replaced.
for case in "first_call_file out_0_mcmc $((size[out_0_mcmc] / 2048))" \
            "parameter_file out_params $(((largest_calls + size[out_params]) / 2048))"; do
    read -r label stopped kib <<<"$case"
    echo "limit $kib KiB ($label):"
    run_limited "$kib"
    ((status != 0)) || fail "$label: the run succeeded despite the limit of $kib KiB"
    lines=$(wc -l <stderr.log)
    ((lines == 1)) || fail "$label: expected one line on standard error, found $lines: $(cat stderr.log)"
    grep -qx "tarvix++: $stopped: cannot write: File too large" stderr.log ||
        fail "$label: the error does not name $stopped: $(cat stderr.log)"
    echo "  exit status $status: $(cat stderr.log)"
    check_files
done
echo "full_disk_test: passed"
