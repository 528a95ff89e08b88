#!/usr/bin/env python3
"""Validation of the two thresholds of the labelled starts (src/schedule/label_starts.hpp) over
many simulated data sets: cohort sizes 100 to 5000, several data seeds, every SNP kind.

- The radius cut: which share of the failed samples and of the genotyped points lies nearer the
  origin than SHARE x the SNP's median distance, for several shares.
- The minimum separation: tarvix++ -label_starts prints, per SNP, the separations of its angle
  groups into 3 and 2; the script sets them against the number of true genotype classes with at
  least 5 members, for several thresholds. Ideal: 3 groups taken exactly when 3 classes exist,
  2 groups whenever at least 2 exist. A class of 1 to 4 members may go either way.

Runs are short (-nmax 0 -n 0 -max2): only the grouping is of interest. Not a test.
Usage: bench/label_thresholds.py [TARVIX [SIMULATE]]  (defaults: build/tarvix++ build/tarvix_simulate)
Environment: SIZES (default "100 300 1000 5000"), SEEDS (default 3), SNPS per set (default 60).
"""
import math
import os
import re
import subprocess
import sys
import tempfile
from collections import defaultdict

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
tarvix = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build/tarvix++")
simulate = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "build/tarvix_simulate")
sizes = [int(s) for s in os.environ.get("SIZES", "100 300 1000 5000").split()]
seeds = range(1, int(os.environ.get("SEEDS", "3")) + 1)
snps = os.environ.get("SNPS", "60")
shares = [0.15, 0.2, 0.25, 0.3, 0.4, 0.5]
separations = [1.0, 1.5, 2.0, 2.5, 3.0, 4.0]

cut = defaultdict(lambda: [0, 0, 0, 0])        # (share, kind) -> failed cut, failed, genotyped cut, genotyped
seps = []                                       # (size, kind, layout, [k3 separations], k2 separation)
with tempfile.TemporaryDirectory() as work:
    for size in sizes:
        for seed in seeds:
            out = os.path.join(work, f"s{size}_{seed}")
            subprocess.run([simulate, "--cohorts", "1", "--individuals", str(size), "--snps", snps, "--seed",
                            str(seed), "--hard", "0.15", "--lowfreq", "0.15", "--twocluster", "0.2",
                            "--offdiag", "0.15", "--dim", "0.15", "--out", out], check=True, stdout=subprocess.DEVNULL)
            truth = [line.split() for line in open(out + "_truth.txt") if not line.startswith("#")]
            rows = [line.split() for line in open(out + "_cohort0.txt")][1:]
            for t, row in zip(truth, rows):
                kind, genotypes = t[2], [int(g) for g in t[4:]]
                values = [float(v) for v in row[5:]]
                radii = [math.hypot(values[2 * i], values[2 * i + 1]) for i in range(len(genotypes))]
                median = sorted(radii)[len(radii) // 2]
                for share in shares:
                    c = cut[(share, kind)]
                    for g, r in zip(genotypes, radii):
                        failed = g < 0
                        c[0 if failed else 2] += r < share * median
                        c[1 if failed else 3] += 1
            log = subprocess.run([tarvix, "-seed", "0.5", "-i", out + "_cohort0.txt", "-label_starts", "-ns", "1",
                                  "-nmax", "0", "-b", "0", "-n", "0", "-max2", "-o", out], check=True,
                                 capture_output=True, text=True).stdout
            found = {}
            snp = 0
            for line in log.splitlines():
                m = re.match(r"snp (\d+) ", line)
                if m:
                    snp = int(m.group(1))
                m = re.match(r"angle groups ([23]):.*separation ([^,]*)", line)
                if m:
                    found[(snp, int(m.group(1)))] = [float(v) for v in m.group(2).split()]
            for s, t in enumerate(truth, start=1):
                counts = [sum(1 for g in t[4:] if g == str(k)) for k in range(3)]
                clear, rare = sum(1 for n in counts if n >= 5), sum(1 for n in counts if 0 < n < 5)
                layout = "%d clear" % clear + (", %d rare" % rare if rare else "")
                seps.append((size, t[2], layout, found.get((s, 3), [0.0]), found.get((s, 2), [0.0])[0]))

print("Radius cut: % of failed samples / % of genotyped points nearer the origin than SHARE x median distance")
kinds = sorted({k for (_, k) in cut})
print("%-6s" % "share" + "".join("%20s" % k for k in kinds))
for share in shares:
    cells = []
    for k in kinds:
        c = cut[(share, k)]
        cells.append("%9.1f / %6.2f" % (100.0 * c[0] / max(c[1], 1), 100.0 * c[2] / max(c[3], 1)))
    print("%-6s" % share + "".join("%20s" % c for c in cells))

print("\nMinimum separation: SNPs (all sizes and seeds) by true classes with >= 5 members (clear) and")
print("1-4 members (rare); % with 3 groups taken (both neighbour separations >= threshold), per")
print("number of individuals n, and with 2 groups taken")
print("%-10s %-16s %6s" % ("threshold", "classes", "SNPs") + "".join("%15s" % ("3 taken n=%d" % n) for n in sizes) +
      "%10s" % "2 taken")
for threshold in separations:
    for classes in sorted({s[2] for s in seps}, reverse=True):
        chosen = [s for s in seps if s[2] == classes]
        if not chosen:
            continue
        cells = []
        for n in sizes:
            sel = [s for s in chosen if s[0] == n]
            took = sum(1 for s in sel if min(s[3]) >= threshold)
            cells.append("%14s" % ("%.0f%%" % (100.0 * took / len(sel)) if sel else "-"))
        two = sum(1 for s in chosen if s[4] >= threshold)
        print("%-10s %-16s %6d" % (threshold, classes, len(chosen)) + "".join(cells) +
              "%9.0f%%" % (100.0 * two / len(chosen)))
