#!/usr/bin/env bash
# Cluster plots of a short run on part of the bundled example: valid PNG files are written, and
# every plotted point carries its call's colour, in the plotted data (against calls derived
# here from the call files) and in the image (pixels read back at the points' positions); the
# summary page of the QC tables names what it counted.
set -euo pipefail
fail() { echo "plot_test: $*" >&2; exit 1; }
: "${TARVIX_BINARY:?}" "${TARVIX_SOURCE_DIR:?}" "${TARVIX_WORK_DIR:?}"
python=/usr/bin/python3
plot=$TARVIX_SOURCE_DIR/scripts/tarvix-plot
ex=$TARVIX_SOURCE_DIR/examples
rm -rf "$TARVIX_WORK_DIR"
mkdir -p "$TARVIX_WORK_DIR"
cd "$TARVIX_WORK_DIR"

# The colours users are told about: genotypes 0, 1, 2, and grey for no-call and missing.
declare -A colour=([0]='#0072B2' [1]='#009E73' [2]='#D55E00' [nocall]='#999999' [missing]='#999999')

# Individual 7 of cohort 0 fails on SNP 3 (line 4): the run leaves it out and writes "0 0 0".
zcat "$ex/cohort0.txt.gz" | awk 'NR == 4 { $18 = "NA"; $19 = "NaN" } { print }' > cohort0.txt
gzip -nc cohort0.txt > cohort0.txt.gz
bzip2 -c cohort0.txt > cohort0.txt.bz2
cp "$ex/cohort1.txt.gz" cohort1.txt.gz
zcat cohort1.txt.gz > cohort1.txt
"$TARVIX_BINARY" -nrs -gz -i cohort0.txt.gz cohort1.txt.gz -snps 2 5 -ns 1 -nmax 20 -b 20 -n 60 \
    -o run > run.log || fail "tarvix++ failed (see run.log)"

# gzip and plain input; the two worst SNPs and SNP000003 (with the missing individual), and the
# summary page above the two worst.
"$plot" --prefix run -i cohort0.txt.gz cohort1.txt --snps-range 2 5 --worst 2 --snp SNP000003 --summary \
    --out plots --data data.tsv > plot.log || fail "tarvix-plot failed"
grep -qx "wrote plots/summary.png: run: 600 individuals, 4 SNPs" plot.log || fail "summary: $(tail -n 1 plot.log)"
# bzip2 and gzip input, chosen by rs: the same points at the same places.
"$plot" --prefix run -i cohort0.txt.bz2 cohort1.txt.gz --snps-range 2 5 --snp rs10003 \
    --out plots2 --data data2.tsv > /dev/null || fail "tarvix-plot failed on bzip2 input"
cmp -s <(awk -F'\t' '$1 == "SNP000003"' data.tsv) <(tail -n +2 data2.tsv) ||
    fail "the data of SNP000003 differ between gzip/plain and bzip2/gzip input"

# PNG files: one per plotted SNP plus the overview, each a PNG of a sensible size.
pngs=$(tail -n +2 data.tsv | cut -f8 | sort -u)
(($(wc -w <<< "$pngs") >= 2)) || fail "expected at least 2 SNP plots, found: $pngs"
grep -qx SNP000003.png <<< "$pngs" || fail "SNP000003 was not plotted"
for f in $pngs overview.png summary.png; do
    [[ -f plots/$f ]] || fail "plots/$f missing"
    [[ $(head -c 8 "plots/$f" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] ||
        fail "plots/$f is not a PNG file"
    size=$(stat -c %s "plots/$f")
    ((size > 20000 && size < 1000000)) || fail "plots/$f has an implausible size of $size bytes"
done

# Calls derived from the call files: the most probable genotype when it is at least 0.9, else
# no call; "0 0 0" (missing, or all weight on the null class) is marked "zero".
for j in 0 1; do
    awk -v j=$j '{
        for (i = 1; 3 * i + 5 <= NF; i++) {
            a = $(3 * i + 3) + 0; b = $(3 * i + 4) + 0; c = $(3 * i + 5) + 0
            best = a; k = 0
            if (b > best) { best = b; k = 1 }
            if (c > best) { best = c; k = 2 }
            call = best >= 0.9 ? k : "nocall"
            if (a == 0 && b == 0 && c == 0) call = "zero"
            print $1, j, i, call
        }
    }' "run_${j}_mcmc"
done > expected_calls
awk -v c0="${colour[0]}" -v c1="${colour[1]}" -v c2="${colour[2]}" -v grey="${colour[nocall]}" '
    BEGIN { FS = "\t"; col["0"] = c0; col["1"] = c1; col["2"] = c2; col["nocall"] = grey; col["missing"] = grey }
    FNR == NR { split($0, f, " "); want[f[1] " " f[2] " " f[3]] = f[4]; next }
    FNR == 1 { next }
    {
        key = $1 " " $2 " " $3
        if (!(key in want)) { print "no call-file value for " key; bad = 1; next }
        w = want[key]
        if (w == "zero" ? ($6 != "nocall" && $6 != "missing") : $6 != w) {
            print key ": plotted as " $6 ", call file says " w; bad = 1
        }
        if ($7 != col[$6]) { print key ": colour " $7 " for call " $6; bad = 1 }
        if ($6 == "missing") { missing[key] = $4 $5 $9 $10 }
        n[$1 " " $2]++; seen[$6]++
    }
    END {
        for (k in n) if (n[k] != 300) { print k ": " n[k] " individuals plotted"; bad = 1 }
        for (k in missing) m++
        if (m != 1 || missing["SNP000003 0 7"] != "NANANANA") { print "missing individuals wrong"; bad = 1 }
        if (!seen["0"] || !seen["1"] || !seen["2"]) { print "not every genotype plotted"; bad = 1 }
        exit bad
    }' expected_calls data.tsv > calls_check.txt || fail "plotted calls disagree: $(head -3 calls_check.txt)"

# The plotted intensities are those of the input (plain cohort 1: individual i at columns
# 4 + 2i and 5 + 2i of the SNP line).
awk 'BEGIN { FS = "\t" }
    FNR == NR {
        n = split($0, f, " ")
        if (FNR > 1) for (i = 1; 2 * i + 5 <= n; i++) xy[f[1] " " i] = f[2 * i + 4] " " f[2 * i + 5]
        next
    }
    FNR > 1 && $2 == 1 && xy[$1 " " $3] != $4 " " $5 { print $1, $3, $4, $5, "vs", xy[$1 " " $3]; bad = 1 }
    END { exit bad }' cohort1.txt data.tsv > xy_check.txt || fail "plotted intensities differ: $(head -3 xy_check.txt)"

# Pixels: the points map linearly onto each panel; isolated points (no point of another colour
# and no class mean nearby) show their colour at their centre; the class means are drawn dark
# at their fitted positions, in the middle of the points of the large classes.
"$python" - data.tsv run_params plots <<'EOF' || fail "pixel check failed"
import csv, math, sys
import matplotlib.image as image

rows = [r for r in csv.DictReader(open(sys.argv[1]), delimiter="\t")]
header, *lines = [l.split() for l in open(sys.argv[2])]
params = {l[0]: dict(zip(header, l)) for l in lines}
folder = sys.argv[3]

def rgb(hex_colour):
    return [int(hex_colour[i:i + 2], 16) / 255 for i in (1, 3, 5)]

checked, problems = {}, []
for png in sorted({r["png"] for r in rows}):
    img = image.imread(f"{folder}/{png}")
    if img.shape[1] != 840 or not 400 < img.shape[0] < 700:
        problems.append(f"{png}: {img.shape[1]}x{img.shape[0]} pixels")
    for cohort in ("0", "1"):
        panel = [r for r in rows if r["png"] == png and r["cohort"] == cohort and r["px"] != "NA"]
        snp = panel[0]["snp"]
        # The affine map from data to pixels, from the two extreme points of each axis.
        maps = []
        for d, p in (("x", "px"), ("y", "py")):
            lo = min(panel, key=lambda r: float(r[d]))
            hi = max(panel, key=lambda r: float(r[d]))
            a = (float(hi[p]) - float(lo[p])) / (float(hi[d]) - float(lo[d]))
            b = float(lo[p]) - a * float(lo[d])
            maps.append((a, b))
            worst = max(abs(a * float(r[d]) + b - float(r[p])) for r in panel)
            if worst > 0.05:
                problems.append(f"{png} cohort {cohort}: {d} is not mapped linearly ({worst:.3f} px off)")
        to_pixel = lambda x, y: (maps[0][0] * x + maps[0][1], maps[1][0] * y + maps[1][1])
        p = params[snp]
        sigma = float(p[f"sigma_{cohort}"])
        means = []
        for k in range(3):
            mx, my = float(p[f"mu_{cohort}_{k}_0"]), float(p[f"mu_{cohort}_{k}_1"])
            px, py = to_pixel(mx, my)
            means.append((px, py))
            colour = img[int(py), int(px)][:3]
            if max(colour) > 0.35:
                problems.append(f"{png} cohort {cohort}: no dark mean marker of class {k} at ({px:.1f}, {py:.1f})")
            called = [r for r in panel if r["call"] == str(k)]
            if len(called) >= 50:
                cx = sum(float(r["x"]) for r in called) / len(called)
                cy = sum(float(r["y"]) for r in called) / len(called)
                if math.hypot(cx - mx, cy - my) > sigma:
                    problems.append(f"{snp} cohort {cohort}: class {k} mean ({mx}, {my}) is off its points ({cx:.3f}, {cy:.3f})")
        for r in panel:
            x, y = float(r["px"]), float(r["py"])
            if any(math.hypot(x - mx, y - my) < 10 for mx, my in means):
                continue
            if any(math.hypot(x - float(q["px"]), y - float(q["py"])) < 6
                   for q in panel if q["colour"] != r["colour"]):
                continue
            colour = img[int(y), int(x)][:3]
            if max(abs(c - e) for c, e in zip(colour, rgb(r["colour"]))) > 2.5 / 255:
                problems.append(f"{png} cohort {cohort} individual {r['individual']} (call {r['call']}): "
                                f"pixel ({x:.1f}, {y:.1f}) has colour {[round(255 * c) for c in colour]}, "
                                f"expected {r['colour']}")
            checked[r["call"]] = checked.get(r["call"], 0) + 1
if any(checked.get(k, 0) < 20 for k in "012"):
    problems.append(f"too few isolated points checked: {checked}")
for p in problems[:10]:
    print(p, file=sys.stderr)
sys.exit(1 if problems else 0)
EOF

# Bad input: one line on standard error naming the file (and line), non-zero exit.
expect_error() {
    local what=$1 pattern=$2
    shift 2
    if "$plot" "$@" --out bad_plots > /dev/null 2> err.txt; then fail "$what: no error"; fi
    [[ $(wc -l < err.txt) -eq 1 ]] || fail "$what: expected one error line, got: $(cat err.txt)"
    grep -qF -- "$pattern" err.txt || fail "$what: expected \"$pattern\" in: $(cat err.txt)"
}
for f in run_*; do cp "$f" "bad${f#run}"; done
awk 'FNR == 2 { NF -= 1 } { print }' run_1_mcmc > bad_1_mcmc
expect_error "missing file" "nosuch.txt.gz: cannot open" \
    --prefix run -i nosuch.txt.gz cohort1.txt --snps-range 2 5 --snp SNP000003
expect_error "short call line" "bad_1_mcmc:2: expected 5 text fields and 3 values for each of 300" \
    --prefix bad -i cohort0.txt cohort1.txt --snps-range 2 5 --snp SNP000003
expect_error "unknown SNP" "run_params: SNP rs99999 not found" \
    --prefix run -i cohort0.txt cohort1.txt --snps-range 2 5 --snp rs99999
expect_error "range not given" "cohort1.txt:3: SNP SNP000002 here but SNP000003 in the results" \
    --prefix run -i cohort0.txt cohort1.txt --snp SNP000003
expect_error "too few files" "run_params: the results hold 2 cohorts but 3 intensity files" \
    --prefix run -i cohort0.txt cohort1.txt cohort1.txt --snps-range 2 5 --snp SNP000003
rm bad_samples.tsv
head -n 3 run_snps.tsv > bad_snps.tsv
expect_error "no sample table" "bad_samples.tsv: cannot open" --prefix bad -i cohort0.txt cohort1.txt --snps-range 2 5 --summary
cp run_samples.tsv bad_samples.tsv
expect_error "short SNP table" "bad_snps.tsv: holds 2 SNPs but bad_params holds 4" \
    --prefix bad -i cohort0.txt cohort1.txt --snps-range 2 5 --summary
echo "plot_test: ok"
