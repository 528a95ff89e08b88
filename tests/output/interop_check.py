"""Checks what plink2 and bcftools report about a run's results against the call files.

Every expected value is computed here from the call, sample, parameter and information files and
the run's inputs (intensity files for the missing individuals, sex files for the males), never
from the VCF itself. Exits non-zero with one message line per disagreement.

    interop_check.py plink PREFIX J GCOUNT PSAM
    interop_check.py vcf PREFIX THRESHOLD QUERY FILLTAGS --inputs FILE... [--sex FILE...]
    interop_check.py qc PREFIX PLINK_PREFIX [SEXCHECK SWAPPED_IID...]

The qc mode compares the QC tables with plink2's reports on the VCF's calls (PLINK_PREFIX.vmiss,
.afreq, .smiss, and .hardy with .het, or in X mode .hardy.x of the females) and, in X mode, with
plink's --check-sex report SEXCHECK; the SWAPPED individuals are the only ones of known sex the
tables must flag.
"""
import gzip
import sys

problems = []


def problem(text):
    problems.append(text)


def call_lines(prefix, j):
    """Per SNP: (SNP_ID, rs, position, allele1, allele2, [(v0, v1, v2) per individual, as printed])."""
    lines = []
    with open(f"{prefix}_{j}_mcmc") as f:
        for line in f:
            t = line.split()
            values = [float(v) for v in t[5:]]
            triplets = [tuple(values[i:i + 3]) for i in range(0, len(values), 3)]
            lines.append((t[0], t[1], t[2], t[3], t[4], triplets))
    return lines


def sample_ids(prefix, j):
    with open(f"{prefix}_{j}.sample") as f:
        rows = [line.split() for line in f]
    if rows[:2] != [["ID_1", "ID_2", "missing"], ["0", "0", "0"]]:
        problem(f"{prefix}_{j}.sample: header lines are {rows[:2]}")
    ids = []
    for r in rows[2:]:
        if len(r) != 3 or r[0] != r[1] or r[2] != "0":
            problem(f"{prefix}_{j}.sample: line {r} is not 'ID ID 0'")
        ids.append(r[0])
    return ids


# plink2 (2.00a3.5) imports a GEN triplet as the dosage (p1 + 2 p2) / (p0 + p1 + p2), missing when
# the three are 0, and keeps a hard call k only when the dosage is within --hard-call-threshold
# (default 0.1, inclusive) of k. Dosages are stored in steps of 1/16384, so a distance within
# 1e-3 of the threshold may go either way: such individuals are counted as uncertain.
def plink_hard_call(p):
    s = sum(p)
    if s == 0:
        return None, False
    d = (p[1] + 2 * p[2]) / s
    k = round(d)
    distance = abs(d - k)
    return (k if distance <= 0.1 else None), abs(distance - 0.1) < 1e-3


def check_plink(prefix, j, gcount, psam):
    lines = call_lines(prefix, j)
    ids = sample_ids(prefix, j)
    with open(psam) as f:
        rows = [line.rstrip("\n").split("\t") for line in f]
    iid = rows[0].index("IID")
    imported = [r[iid] for r in rows[1:]]
    if imported != ids:
        problem(f"plink2 imported {len(imported)} samples that differ from the {len(ids)} of the sample file")
    with open(gcount) as f:
        header = f.readline().lstrip("#").split()
        counts = [dict(zip(header, line.split())) for line in f]
    if len(counts) != len(lines):
        problem(f"plink2 counted {len(counts)} variants, the call file has {len(lines)}")
    columns = ["HOM_REF_CT", "HET_REF_ALT_CTS", "TWO_ALT_GENO_CTS", "MISSING_CT"]
    for (snp_id, rs, pos, a1, a2, triplets), c in zip(lines, counts):
        if len(triplets) != len(ids):
            problem(f"{snp_id}: {len(triplets)} individuals in the call file, {len(ids)} in the sample file")
        if (c["ID"], c["REF"], c["ALT"]) != (rs, a1, a2):
            problem(f"{snp_id}: plink2 reads {c['ID']} {c['REF']} {c['ALT']}, expected {rs} {a1} {a2}")
        expected = [0, 0, 0, 0]
        uncertain = 0
        for p in triplets:
            k, unsure = plink_hard_call(p)
            expected[3 if k is None else k] += 1
            uncertain += unsure
        got = [int(c[name]) for name in columns]
        if any(abs(g - e) > uncertain for g, e in zip(got, expected)):
            problem(f"{snp_id}: plink2 genotype counts {got}, from the call file {expected}")
        print(f"{prefix}_{j} {rs}: plink2 counts {got} (hom ref, het, hom alt, missing) = call file {expected}")


def missing_individuals(inputs, n_snps):
    """[cohort][snp] -> set of individuals whose intensities are marked missing."""
    result = []
    for name in inputs:
        opener = gzip.open if name.endswith(".gz") else open
        per_snp = []
        with opener(name, "rt") as f:
            f.readline()
            for _ in range(n_snps):
                t = f.readline().split()[5:]
                per_snp.append({i // 2 for i, v in enumerate(t) if v.lower() in ("na", "nan")})
        result.append(per_snp)
    return result


def read_table(name):
    with open(name) as f:
        header = f.readline().split()
        return [dict(zip(header, line.split())) for line in f]


def close(a, b, relative=2e-6, absolute=1e-6):
    return abs(a - b) <= max(absolute, relative * abs(b))


def expected_genotype(p, haploid, threshold):
    """(ploidy, class or None) by the VCF rule on the printed values."""
    classes = [0, 2] if haploid else [0, 1, 2]
    best = None
    for k in classes:
        if p[k] > 0 and (best is None or p[k] > p[best]):
            best = k
    return (1 if haploid else 2), (best if best is not None and p[best] >= threshold else None)


def gt_text(ploidy, k):
    if k is None:
        return "." if ploidy == 1 else "./."
    if ploidy == 1:
        return "0" if k == 0 else "1"
    return ["0/0", "0/1", "1/1"][k]


def check_vcf(prefix, threshold, query, filltags, inputs, sex_files):
    n_cohorts = len(inputs)
    calls = [call_lines(prefix, j) for j in range(n_cohorts)]
    ids = [sample_ids(prefix, j) for j in range(n_cohorts)]
    n_snps = len(calls[0])
    missing = missing_individuals(inputs, n_snps)
    sex = []
    for name in sex_files:
        with open(name) as f:
            sex.append([int(v) for v in f.read().split()])
    params = read_table(f"{prefix}_params")
    information = read_table(f"{prefix}_information")
    with open(query) as f:
        records = [line.rstrip("\n").split("\t") for line in f]
    with open(filltags) as f:
        tags = [line.split() for line in f]
    if len(records) != n_snps or len(tags) != n_snps:
        problem(f"VCF holds {len(records)} records ({len(tags)} after fill-tags) for {n_snps} SNPs")
        return
    gp_values = gp_differences = 0
    for s in range(n_snps):
        snp_id, rs, pos, a1, a2, _ = calls[0][s]
        r = records[s]
        if r[:5] != [r[0], pos, rs, a1, a2]:
            problem(f"{snp_id}: VCF record starts {r[:5]}")
        samples = r[9:]
        if len(samples) != sum(len(x) for x in ids):
            problem(f"{snp_id}: {len(samples)} samples in the VCF")
            continue
        ac = an = 0
        copies = [0] * n_cohorts
        n = 0
        for j in range(n_cohorts):
            for i, p in enumerate(calls[j][s][5]):
                gt, gp = samples[n].split("|")
                n += 1
                haploid = bool(sex) and sex[j][i] == 1
                if i in missing[j][s]:
                    want_gt = "." if haploid else "./."
                    if (gt, gp) != (want_gt, "."):
                        problem(f"{snp_id}: missing individual {ids[j][i]} written {gt}:{gp}")
                    continue
                ploidy, k = expected_genotype(p, haploid, threshold)
                copies[j] += ploidy
                if gt != gt_text(ploidy, k):
                    problem(f"{snp_id}: {ids[j][i]} GT {gt}, from the call file {gt_text(ploidy, k)} ({p})")
                if k is not None:
                    an += ploidy
                    ac += (k // 2) if ploidy == 1 else k
                want = [p[0], p[2]] if haploid else list(p)
                got = [float(v) for v in gp.split(",")]
                gp_values += len(want)
                if len(got) != len(want) or any(not close(a, b) for a, b in zip(got, want)):
                    gp_differences += 1
                    problem(f"{snp_id}: {ids[j][i]} GP {gp}, call file {p}")
        if tags[s] != [rs, str(ac), str(an)]:
            problem(f"{snp_id}: bcftools +fill-tags AC, AN {tags[s][1:]}, from the call file {ac} {an}")
        print(f"{prefix} {rs}: bcftools +fill-tags AC={tags[s][1]} AN={tags[s][2]}, call file AC={ac} AN={an}")

        alpha = [float(params[s][f"alpha_{j}"]) for j in range(n_cohorts)]
        af = sum(c * (1 - a) for c, a in zip(copies, alpha)) / sum(copies)
        info = information[s]
        expected_info = [
            ("AF", [af]),
            ("INFO1", [float(info[f"info1_{j}"]) for j in range(n_cohorts)]),
            ("INFO2", [float(info[f"info2_{j}"]) for j in range(n_cohorts)]),
            ("LOGPOST", [float(info["final_log_posterior"])]),
        ]
        # The parameter and information files print 4 decimals; the VCF holds 32-bit floats.
        for (key, want), text in zip(expected_info, r[5:9]):
            got = [float(v) for v in text.split(",")]
            if len(got) != len(want) or any(not close(a, b, 1e-5, 6e-5) for a, b in zip(got, want)):
                problem(f"{snp_id}: INFO {key}={text}, expected {want}")
    print(f"{prefix}: {gp_values} GP values agree with the call files, {gp_differences} individuals differ")


def read_report(name):
    """A plink report or QC table: {first column: row as a dict}, the header's "#" dropped."""
    with open(name) as f:
        header = f.readline().lstrip("#").split()
        rows = [dict(zip(header, line.split())) for line in f]
    return {r[header[0]] if header[0] != "CHROM" else r["ID"]: r for r in rows}


def number(text):
    return float("nan") if text in ("NA", "nan") else float(text)


def agree(what, ours, theirs, relative=0.0, absolute=0.0):
    """Whether two reported values agree (both not a number, or within the tolerance); a
    disagreement is a problem."""
    a, b = number(ours), number(theirs)
    if (a != a and b != b) or abs(a - b) <= max(absolute, relative * abs(b)):
        return True
    problem(f"{what}: {ours} here, {theirs} from plink")
    return False


def check_qc(prefix, plink, sexcheck, swapped):
    """The QC tables against plink2 (and plink 1.9's --check-sex) on the VCF's calls.
    Tolerances: counts exact; rates, frequencies and O(HET), E(HET) to plink2's 6 printed digits;
    the HWE P within 1e-4 relative; E(HOM) and F of --het within 1e-4 (the table sums 1 - 2pq in
    millionths); the F of --check-sex within 2e-4 (plink prints 4 digits)."""
    x_mode = sexcheck is not None
    snps, samples = read_report(f"{prefix}_snps.tsv"), read_report(f"{prefix}_samples.tsv")
    vmiss, afreq, smiss = read_report(plink + ".vmiss"), read_report(plink + ".afreq"), read_report(plink + ".smiss")
    hardy = read_report(plink + (".hardy.x" if x_mode else ".hardy"))
    f = "FEMALE_" if x_mode else ""
    if set(snps) != set(vmiss) or set(samples) != set(smiss):
        problem(f"{prefix}: the tables hold {len(snps)} SNPs and {len(samples)} samples, plink {len(vmiss)} and {len(smiss)}")
        return
    largest_p = 0.0
    for rs, s in snps.items():
        for ours, theirs in (("MISSING_CT", "MISSING_CT"), ("OBS_CT", "OBS_CT"), (f + "HOM_A1_CT", f + "HOM_A1_CT"),
                             (f + "HET_A1_CT", f + "HET_A1_CT"), (f + "TWO_AX_CT", f + "TWO_AX_CT")):
            plink_row = vmiss[rs] if ours in ("MISSING_CT", "OBS_CT") else hardy[rs]
            if s[ours] != plink_row[theirs]:
                problem(f"{rs}: {ours} {s[ours]} here, {plink_row[theirs]} from plink2")
        agree(f"{rs} F_MISS", s["F_MISS"], vmiss[rs]["F_MISS"], 1e-5)
        agree(f"{rs} A1_FREQ", s["A1_FREQ"], str(1 - float(afreq[rs]["ALT_FREQS"])), 1e-5, 1e-6)
        agree(f"{rs} O(HET)", s[f"O({f}HET_A1)"], hardy[rs][f"O({f}HET_A1)"], 1e-5)
        agree(f"{rs} E(HET)", s[f"E({f}HET_A1)"], hardy[rs][f"E({f}HET_A1)"], 1e-5)
        if agree(f"{rs} HWE P", s["P"], hardy[rs]["P"], 1e-4):
            largest_p = max(largest_p, abs(number(s["P"]) - number(hardy[rs]["P"])) / max(number(hardy[rs]["P"]), 1e-300))
    for iid, s in samples.items():
        for column in ("MISSING_CT", "OBS_CT"):
            if s[column] != smiss[iid][column]:
                problem(f"{iid}: {column} {s[column]} here, {smiss[iid][column]} from plink2")
        agree(f"{iid} F_MISS", s["F_MISS"], smiss[iid]["F_MISS"], 1e-5)
    print(f"{prefix}: {len(snps)} SNPs and {len(samples)} samples agree with plink2 (counts exact, "
          f"largest relative difference of the HWE P {largest_p:.2g})")
    if not x_mode:
        het = read_report(plink + ".het")
        for iid, s in samples.items():
            if s["O(HOM)"] != het[iid]["O(HOM)"] or int(s["O(HOM)"]) + int(s["HET_CT"]) != int(het[iid]["OBS_CT"]):
                problem(f"{iid}: O(HOM) {s['O(HOM)']} of {s['HET_CT']} hets here, plink2 {het[iid]}")
            agree(f"{iid} E(HOM)", s["E(HOM)"], het[iid]["E(HOM)"], 0, 1e-4)
            agree(f"{iid} F", s["F"], het[iid]["F"], 0, 1e-4)
        print(f"{prefix}: homozygosity and F of {len(samples)} samples agree with plink2 --het")
        return
    # The sex check: plink sees a declared male's calls haploid, so it can find a female declared
    # male only by her missing calls; the tables count her diploid calls. Everyone else alike.
    with open(sexcheck) as report:
        rows = [line.split() for line in report][1:]
    plink_flags, flags = set(), {iid for iid, s in samples.items() if s["STATUS"] != "OK" and s["PEDSEX"] != "0"}
    for fid, iid, pedsex, snpsex, status, f_value in rows:
        s = samples[iid]
        if pedsex != "0" and status != "OK":
            plink_flags.add(iid)
        if s["PEDSEX"] != pedsex:
            problem(f"{iid}: PEDSEX {s['PEDSEX']} here, {pedsex} from plink")
        if pedsex != "1" and (s["SNPSEX"], s["STATUS"]) != (snpsex, status):
            problem(f"{iid}: SNPSEX {s['SNPSEX']} {s['STATUS']} here, {snpsex} {status} from plink")
        if pedsex != "1":
            agree(f"{iid} check-sex F", s["F"], f_value, 0, 2e-4)
    if flags != set(swapped):
        problem(f"the tables flag {sorted(flags)} of known sex, the swapped individuals are {sorted(swapped)}")
    print(f"{prefix}: the sex check flags {sorted(flags)} (swapped: {sorted(swapped)}); plink --check-sex "
          f"flags {sorted(plink_flags)}; F, SNPSEX and STATUS agree for everyone not declared male")


def main(argv):
    if argv[1] == "plink":
        check_plink(argv[2], int(argv[3]), argv[4], argv[5])
    elif argv[1] == "qc":
        check_qc(argv[2], argv[3], argv[4] if len(argv) > 4 else None, argv[5:])
    else:
        rest = argv[6:]
        inputs, sex_files, target = [], [], None
        for a in rest:
            if a in ("--inputs", "--sex"):
                target = inputs if a == "--inputs" else sex_files
            else:
                target.append(a)
        check_vcf(argv[2], float(argv[3]), argv[4], argv[5], inputs, sex_files)
    for p in problems[:20]:
        print("FAIL: " + p, file=sys.stderr)
    if problems:
        print(f"FAIL: {len(problems)} disagreements", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
