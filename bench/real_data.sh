#!/usr/bin/env bash
# Accuracy on real array data with an independent truth: for each array, one table of the
# vendor's calls and of tarvix++ in several modes: concordance and call rate at p >= 0.9, the
# wrong calls at p >= 0.9 and at p >= 0.99, and a calibration line, the share of calls that
# agree with the truth per band of the call's probability. Not a test.
#
# The data (REALDATA) are HapMap scans of chromosome 21 on an Illumina and an Affymetrix array:
# ARRAY.int.txt.gz (intensities), ARRAY.truth.txt.gz (the genotype on which the other platform's
# calls agree; NN not scored), ARRAY.vendor_calls.txt.gz (the vendor's calls; NN no call).
#
# Usage: bench/real_data.sh [TARVIX]  (default build/tarvix++)
# Environment:
#   REALDATA  folder of the data (default /work/shared/realdata)
#   ARRAYS    arrays to run (default "illumina_chr21 affy_chr21")
#   MODES     modes to run, each NAME=OPTIONS with ',' for blanks (default: default=,
#             label_starts=-label_starts learnt=-learn)
#   SNPS      "A B": SNPs A to B of the file only (1-based; default all)
#   STRIDE    of those, every STRIDE-th only (default 1: all)
#   SCALE_affy_chr21 etc.: -scale of an array (default 1700 for Affymetrix, as the scale check
#             advises, 1 otherwise)
#   SEED (0.5), THREADS (1), KEEP (a folder to keep every run's files in, default: removed)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tarvix=$(cd "$(dirname "${1:-$root/build/tarvix++}")" && pwd)/$(basename "${1:-$root/build/tarvix++}")
realdata=${REALDATA:-/work/shared/realdata}
arrays=${ARRAYS:-illumina_chr21 affy_chr21}
modes=${MODES:-default= label_starts=-label_starts learnt=-learn}
stride=${STRIDE:-1}
seed=${SEED:-0.5}
threads=${THREADS:-1}
if [[ -n ${KEEP:-} ]]; then
    mkdir -p "$KEEP"
    work=$(cd "$KEEP" && pwd)
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/tarvix_real.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi
cd "$work"

# score TRUTH NAME FILE: one table row. FILE is a GEN-layout call file (probabilities) or a
# matrix of AA/AB/BB/NN calls. A call is the most probable genotype when its probability is at
# least 0.9; the bands are of that probability as written (values above 0.999 are written 1).
score() {
    python3 - "$@" <<'EOF'
import gzip, sys
truth_path, name, calls_path = sys.argv[1:4]
code = {'AA': 0, 'AB': 1, 'BB': 2}
opener = lambda p: gzip.open(p, 'rt') if p.endswith('.gz') else open(p)
truth = {}
with opener(truth_path) as f:
    f.readline()
    for line in f:
        t = line.split()
        truth[t[0]] = [code.get(g, -1) for g in t[5:]]
bands = [(0.9, 0.99), (0.99, 0.999), (0.999, 1.01)]
band_n = [0] * len(bands)
band_ok = [0] * len(bands)
scored = called = agree = wrong99 = 0
with opener(calls_path) as f:
    for line in f:
        t = line.split()
        if t[0] not in truth:
            continue
        vals = t[5:]
        matrix = vals and vals[0] in code or (vals and vals[0] == 'NN')
        for i, g in enumerate(truth[t[0]]):
            if g < 0:
                continue
            scored += 1
            if matrix:
                k, m = code.get(vals[i], -1), 1.0
                if k < 0:
                    continue
            else:
                p = [float(v) for v in vals[3 * i:3 * i + 3]]
                m = max(p)
                if m < 0.9:
                    continue
                k = p.index(m)
            called += 1
            agree += k == g
            if matrix:
                continue
            wrong99 += k != g and m >= 0.99
            for b, (lo, hi) in enumerate(bands):
                if lo <= m < hi:
                    band_n[b] += 1
                    band_ok[b] += k == g
if matrix:
    calib, w99 = '-', '-'
else:
    calib = '  '.join('%s:%.2f%%(%d)' % (('[%g,%g)' % (lo, hi)) if hi <= 1 else '1', 100.0 * ok / n if n else 0, n - ok)
                      for (lo, hi), n, ok in zip(bands, band_n, band_ok))
    w99 = str(wrong99)
print('%-14s %9.3f%% %9.3f%% %7d %7s   %s' % (name, 100.0 * agree / max(called, 1), 100.0 * called / max(scored, 1),
                                             called - agree, w99, calib))
EOF
}

for array in $arrays; do
    input=$realdata/$array.int.txt.gz
    truth=$realdata/$array.truth.txt.gz
    scale_var=SCALE_$array
    scale=${!scale_var:-}
    [[ -z $scale ]] && { [[ $array == affy* ]] && scale=1700 || scale=1; }
    # The SNPs analysed, the same for the input and the vendor's calls: every STRIDE-th of the range.
    read -r first last <<< "${SNPS:-1 1000000000}"
    subset() { zcat "$1" | awk -v a="$first" -v b="$last" -v k="$stride" 'NR == 1 || (NR - 1 >= a && NR - 1 <= b && (NR - 1 - a) % k == 0)'; }
    subset "$input" > "$array.input.txt"
    subset "$realdata/$array.vendor_calls.txt.gz" > "$array.vendor.txt"
    n=$(($(wc -l < "$array.input.txt") - 1))
    echo "== $array: $n SNPs (range ${SNPS:-all}, every ${stride}th), -scale $scale, -seed $seed -snp_seeds"
    printf '%-14s %10s %10s %7s %7s   %s\n' caller concord callrate 'wrong' 'w>=.99' 'agreement per band (wrong)'
    score "$truth" vendor "$array.vendor.txt"
    for mode in $modes; do
        name=${mode%%=*}
        options=${mode#*=}
        options=${options//,/ }
        # shellcheck disable=SC2086
        /usr/bin/time -f %U -o "$array.$name.time" "$tarvix" -i "$array.input.txt" -scale "$scale" \
            -seed "$seed" -snp_seeds -threads "$threads" $options -o "$array.$name" \
            > "$array.$name.log" 2>&1 || { echo "$name: failed, see $work/$array.$name.log"; continue; }
        score "$truth" "$name" "$array.${name}_0_mcmc"
        echo "               ($(cat "$array.$name.time") user seconds)"
    done
done
