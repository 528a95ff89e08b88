#!/usr/bin/env bash
# The program is killed (SIGKILL, which it cannot catch) while it writes its results. No
# result file may be left truncated under its final name: every final name holds either the
# user's earlier file, unchanged, or complete new content (every line present, every line with
# all its fields). The kill must land in the middle of writing a result file, seen by its
# .partial file having received data but not yet been renamed; when it lands too late the
# input is doubled and the run repeated, and the test fails saying so if it never lands.
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SIMULATE:?}" "${TARVIX_WORK_DIR:?}"
fail() { echo "interrupt_test: $*" >&2; exit 1; }

rm -rf "$TARVIX_WORK_DIR"
mkdir -p "$TARVIX_WORK_DIR"
cd "$TARVIX_WORK_DIR"
snps=40
results=(out_0_mcmc out_params out_information)
declare -A fields=([out_params]=18 [out_information]=8)

# Whether $1 holds every line of a finished result with all its fields (the header included).
complete() {
    local lines=$((snps + 1))
    [[ $1 == out_0_mcmc ]] && lines=$snps
    awk -v nf="${fields[$1]}" -v lines="$lines" 'NF != nf { bad = 1 } END { exit bad || NR != lines }' "$1"
}

hit=
for individuals in 20000 40000 80000; do
    # 5 text fields and three call values per individual on each line of the call file.
    fields[out_0_mcmc]=$((5 + 3 * individuals))
    rm -f ./out_* sim_*
    "$TARVIX_SIMULATE" --cohorts 1 --individuals "$individuals" --snps "$snps" --seed 3 --out sim >/dev/null
    for f in "${results[@]}"; do echo "earlier $f" >"$f"; done
    echo "unrelated file of the user" >notes.txt

    "$TARVIX_BINARY" -nrs -i sim_cohort0.txt -ns 1 -nmax 2 -b 2 -n 5 -o out >console.log 2>&1 &
    pid=$!
    # The check of the output names at the start also makes .partial files, empty and for an
    # instant: the writing of the results is announced on the console first.
    until grep -q "writing output" console.log; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.01
    done
    # Kill as soon as a result file has received data under its temporary name.
    victim=
    while [[ -z $victim ]] && kill -0 "$pid" 2>/dev/null; do
        for f in "${results[@]}"; do
            [[ -s $f.partial ]] && { victim=$f; break; }
        done
    done
    kill -KILL "$pid" 2>/dev/null || true
    status=0
    { wait "$pid"; } 2>/dev/null || status=$?

    for f in "${results[@]}"; do
        if [[ $(cat "$f") == "earlier $f" ]]; then
            echo "  $f: earlier content kept"
        elif complete "$f"; then
            echo "  $f: complete new content"
        else
            fail "$f is truncated or damaged under its final name: $(wc -l <"$f") lines"
        fi
    done
    [[ $(cat notes.txt) == "unrelated file of the user" ]] || fail "an unrelated file of the user changed"

    # Mid-write: the kill came while the victim's data sat in its .partial file, not yet renamed.
    if [[ -n $victim && $status == 137 && -s $victim.partial && $(cat "$victim") == "earlier $victim" ]]; then
        hit="$individuals individuals: killed while writing $victim ($(stat -c %s "$victim.partial") bytes written)"
        break
    fi
    echo "  $individuals individuals: the kill came too late (exit status $status), trying a larger input"
done
[[ -n $hit ]] || fail "could not kill the program in the middle of writing its results"
echo "interrupt_test: passed; $hit"
