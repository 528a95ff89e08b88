#!/usr/bin/env bash
# The program is stopped while it writes its results: by SIGKILL, which it cannot catch, and by
# SIGTERM and SIGINT, which it answers by removing its temporaries. The user's earlier result set
# must stay whole: every final name keeps its earlier content (or, had the stop come after the
# renames, every one holds complete new content), never a mixture. A second run on the same
# prefix, started while the first writes, is refused and changes nothing. The stop must land
# while a temporary holds data; when it lands too late the input is doubled and the run repeated,
# and the test fails saying so if it never lands.
set -euo pipefail
: "${TARVIX_BINARY:?}" "${TARVIX_SIMULATE:?}" "${TARVIX_WORK_DIR:?}"
fail() { echo "interrupt_test: $*" >&2; exit 1; }

rm -rf "$TARVIX_WORK_DIR"
mkdir -p "$TARVIX_WORK_DIR"
cd "$TARVIX_WORK_DIR"
snps=40
results=(out_0_mcmc out_params out_information out_0.sample)

for signal in KILL TERM INT; do
    hit=
    for individuals in 20000 40000 80000; do
        rm -f ./out*
        [[ $(head -n 1 sim_cohort0.txt 2>/dev/null | wc -w) == $((5 + 2 * individuals)) ]] ||
            "$TARVIX_SIMULATE" --cohorts 1 --individuals "$individuals" --snps "$snps" --seed 3 --out sim >/dev/null
        for f in "${results[@]}"; do echo "earlier $f" >"$f"; done
        "$TARVIX_BINARY" -nrs -i sim_cohort0.txt -ns 1 -nmax 1 -b 1 -n 1 -o out >console.log 2>&1 &
        pid=$!
        # Stop as soon as the call file's temporary has received data.
        while kill -0 "$pid" 2>/dev/null && ! [[ -s $(ls out_0_mcmc.*.partial 2>/dev/null | head -n 1) ]]; do sleep 0.005; done
        second=0
        "$TARVIX_BINARY" -nrs -i sim_cohort0.txt -ns 1 -nmax 1 -b 1 -n 1 -o out >second.log 2>&1 || second=$?
        kill -"$signal" "$pid" 2>/dev/null || true
        status=0
        { wait "$pid"; } 2>/dev/null || status=$?

        earlier=0
        for f in "${results[@]}"; do [[ $(cat "$f") == "earlier $f" ]] && earlier=$((earlier + 1)); done
        if ((earlier == ${#results[@]})); then
            echo "  SIG$signal: the earlier set is whole"
        elif ((earlier == 0)) && [[ $(wc -l <out_0_mcmc) == "$snps" && $(wc -l <out_params) == $((snps + 1)) ]]; then
            echo "  SIG$signal: the set is complete and new"
        else
            fail "SIG$signal: $earlier of ${#results[@]} result files hold earlier content, the others new: a mixed set"
        fi
        left=$(ls ./*.partial ./out.lock 2>/dev/null || true)
        if [[ $signal != KILL && -n $left ]]; then fail "SIG$signal left behind: $left"; fi
        if ((status == 128 + $(kill -l "$signal") && earlier == ${#results[@]})); then
            [[ $second != 0 && $(cat second.log) == *"another tarvix++ run is writing the results of the prefix out"* ]] ||
                fail "a second run on the prefix, started while the first wrote, was not refused: $(tail -n 1 second.log)"
            hit="$individuals individuals"
            break
        fi
        echo "  $individuals individuals: the stop came too late (exit status $status), trying a larger input"
    done
    [[ -n $hit ]] || fail "could not stop the program with SIG$signal while it wrote its results"
    echo "interrupt_test: SIG$signal while writing the results of $hit: the earlier set kept"
done
