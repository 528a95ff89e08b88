#!/usr/bin/python3
"""Merges the result files of chunked tarvix++ runs into the files of one run over all SNPs.

Usage: merge_chunks.py PREFIX MANIFEST COMMAND CHUNK_PREFIX...

Every CHUNK_PREFIX is the output prefix ("-o") of one chunk run, in SNP order; every chunk wrote
the same set of result files. Each merged file PREFIX + suffix is written under a temporary name
and renamed into place when complete; last, MANIFEST lists the merged files, one a line.
COMMAND is the command line of the single run over all SNPs that the chunks stand for, as
tarvix++ records it: the merged VCF's "##tarvix++Command" line names it instead of the first
chunk's command, so the merged VCF is that run's, byte for byte.

Kinds of result file, by suffix:
  _<j>_mcmc                      no header: the chunks' lines one after another
  _params, _information, _tests,
  _snps.tsv                      one header line: the first chunk's, then every chunk's SNP lines
  _samples.tsv                   one line per individual: the chunks' counts added up, the rates,
                                 F, mean and sex check derived from them as tarvix++ does
  _<j>.sample, _priors           the same in every chunk: the first chunk's copy
  .vcf.gz (+ .tbi or .csi)       bcftools concat (the first chunk's header with COMMAND), then
                                 indexed like the chunks' files
Any other file is an error, so that no result is dropped silently.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

PLAIN = re.compile(r"_\d+_mcmc")
HEADED = re.compile(r"_(params|information|tests|snps\.tsv)")
SAMPLES = "_samples.tsv"
SAME = re.compile(r"_\d+\.sample|_priors")
VCF = ".vcf.gz"
VCF_INDEXES = {".vcf.gz.tbi": "--tbi", ".vcf.gz.csi": "--csi"}
COMMAND_KEY = b"tarvix++Command"


class MergeError(Exception):
    pass


def suffixes_of(chunk_prefix):
    """The suffixes of the result files that the chunk with this prefix wrote."""
    folder, base = os.path.split(chunk_prefix)
    return sorted(name[len(base):] for name in os.listdir(folder or ".") if name.startswith(base))


def partial(name):
    return name + ".partial"


def concatenate(sources, target, with_header):
    with open(partial(target), "wb") as out:
        for i, source in enumerate(sources):
            with open(source, "rb") as lines:
                header = lines.readline() if with_header else b""
                if with_header and not header:
                    raise MergeError(f"{source}: empty, expected a header line")
                if i == 0:
                    out.write(header)
                shutil.copyfileobj(lines, out)
        out.flush()
        os.fsync(out.fileno())


def copy_first(sources, target):
    first = pathlib.Path(sources[0]).read_bytes()
    for source in sources[1:]:
        if pathlib.Path(source).read_bytes() != first:
            raise MergeError(f"{source}: differs from {sources[0]}, expected the same file")
    with open(partial(target), "wb") as out:
        out.write(first)
        out.flush()
        os.fsync(out.fileno())


# The sample table (src/output/qc_tables.cpp): counts, and sums in millionths written with six
# decimals, add up exactly over SNP ranges; the other columns derive from them.
COUNTS = ("MISSING_CT", "OBS_CT", "O(HOM)", "HET_CT", "XY_CT")
MILLIONTHS = ("E(HOM)", "XY_SUM")
MALE_F, FEMALE_F = 0.8, 0.2


def general(v):
    """As printf's %g, or NA for what is not a finite number."""
    return "%g" % v if v == v and abs(v) != float("inf") else "NA"


def ratio(a, b):
    return a / b if b > 0 else float("nan")


def sample_line(row, columns):
    """The derived columns of one individual's added-up counts, as tarvix++ writes them."""
    n = row["O(HOM)"] + row["HET_CT"]
    expected = row["E(HOM)"] / 10**6
    f = (row["O(HOM)"] - expected) / (n - expected) if n > 0 else float("nan")
    xy_sum = row["XY_SUM"]
    mean = xy_sum / (1e6 * row["XY_CT"]) if row["XY_CT"] > 0 and xy_sum is not None else float("nan")
    text = {**{c: str(row[c]) for c in ("IID", "COHORT") + COUNTS},
            "F_MISS": general(ratio(row["MISSING_CT"], row["OBS_CT"])),
            "E(HOM)": millionths(row["E(HOM)"]), "F": general(f), "HET_RATE": general(ratio(row["HET_CT"], n)),
            "XY_SUM": "NA" if xy_sum is None else millionths(xy_sum), "MEAN_XY": general(mean)}
    if "PEDSEX" in columns:
        suggested = 1 if f > MALE_F else 2 if f < FEMALE_F else 0
        text.update(PEDSEX=row["PEDSEX"], SNPSEX=str(suggested),
                    STATUS="OK" if suggested != 0 and str(suggested) == row["PEDSEX"] else "PROBLEM")
    return "\t".join(text[c] for c in columns) + "\n"


def millionths(v):
    return f"{'-' if v < 0 else ''}{abs(v) // 10**6}.{abs(v) % 10**6:06d}"


def add_samples(sources, target):
    """The sample table of all SNPs from the chunks' tables of the same individuals."""
    header, rows = None, None
    for source in sources:
        with open(source) as f:
            lines = f.read().split("\n")
        if header is not None and lines[0] != header:
            raise MergeError(f"{source}: header differs from {sources[0]}'s")
        header = lines[0]
        columns = header.lstrip("#").split("\t")
        table = [dict(zip(columns, line.split("\t"))) for line in lines[1:] if line]
        if rows is not None and [(r["IID"], r["COHORT"], r.get("PEDSEX")) for r in rows] != \
                [(t["IID"], t["COHORT"], t.get("PEDSEX")) for t in table]:
            raise MergeError(f"{source}: individuals differ from those of {sources[0]}")
        if rows is None:
            rows = [{c: t[c] for c in ("IID", "COHORT", "PEDSEX") if c in t} | {c: 0 for c in COUNTS + MILLIONTHS}
                    for t in table]
        for r, t in zip(rows, table):
            for c in COUNTS:
                r[c] += int(t[c])
            for c in MILLIONTHS:
                r[c] = None if r[c] is None or t[c] == "NA" else r[c] + int(t[c].replace(".", ""))
    with open(partial(target), "w") as out:
        out.write(header + "\n")
        out.writelines(sample_line(r, columns) for r in rows)
        out.flush()
        os.fsync(out.fileno())


def run(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        raise MergeError(f"{' '.join(command)}: {done.stderr.strip()}")


def header_with_command(source, command, header_file):
    """Writes the header of the VCF `source` with its "##tarvix++Command" line naming `command`."""
    done = subprocess.run(["bcftools", "view", "-h", "--no-version", source], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise MergeError(f"bcftools view -h {source}: {done.stderr.decode(errors='replace').strip()}")
    lines = done.stdout.split(b"\n")
    marker = b"##" + COMMAND_KEY + b"="
    found = [i for i, line in enumerate(lines) if line.startswith(marker)]
    if len(found) != 1:
        raise MergeError(f"{source}: expected one {marker.decode()} header line, found {len(found)}")
    lines[found[0]] = marker + os.fsencode(command)
    with open(header_file, "wb") as out:
        out.write(b"\n".join(lines))


def concat_vcf(sources, target, index_flag, command):
    """bcftools concat of the chunk VCFs, which keeps the first one's header: that chunk is first
    given the header recording `command`. The index, if any, is renamed into place before the
    VCF, so the final VCF name never comes with a missing index."""
    header, first = partial(target + ".header"), partial(target + ".first.vcf.gz")
    try:
        header_with_command(sources[0], command, header)
        run(["bcftools", "reheader", "-h", header, "-o", first, sources[0]])
        run(["bcftools", "concat", "--no-version", "-Oz", "-o", partial(target), first] + sources[1:])
    finally:
        for name in (header, first):
            if os.path.exists(name):
                os.remove(name)
    if index_flag:
        index = target + ("." + index_flag[2:])
        run(["bcftools", "index", index_flag, "-o", partial(index), partial(target)])
        os.replace(partial(index), index)


def merge(prefix, manifest, command, chunk_prefixes):
    suffixes = suffixes_of(chunk_prefixes[0])
    if not suffixes:
        raise MergeError(f"{chunk_prefixes[0]}: no result files")
    for chunk in chunk_prefixes[1:]:
        if suffixes_of(chunk) != suffixes:
            raise MergeError(f"{chunk}: result files {suffixes_of(chunk)} differ from "
                             f"those of {chunk_prefixes[0]}: {suffixes}")
    os.makedirs(os.path.dirname(prefix) or ".", exist_ok=True)
    merged = []
    for suffix in suffixes:
        sources = [chunk + suffix for chunk in chunk_prefixes]
        target = prefix + suffix
        if PLAIN.fullmatch(suffix):
            concatenate(sources, target, with_header=False)
        elif HEADED.fullmatch(suffix):
            concatenate(sources, target, with_header=True)
        elif SAME.fullmatch(suffix):
            copy_first(sources, target)
        elif suffix == SAMPLES:
            add_samples(sources, target)
        elif suffix == VCF:
            index_flag = next((flag for s, flag in VCF_INDEXES.items() if s in suffixes), None)
            concat_vcf(sources, target, index_flag, command)
        elif suffix in VCF_INDEXES:
            continue  # written with its VCF
        else:
            raise MergeError(f"{sources[0]}: unknown kind of result file")
        os.replace(partial(target), target)
        merged.append(target)
        merged.extend(target + s[len(VCF):] for s in VCF_INDEXES if suffix == VCF and s in suffixes)
    with open(partial(manifest), "w") as out:
        out.writelines(name + "\n" for name in merged)
    os.replace(partial(manifest), manifest)


def main(argv):
    if len(argv) < 5:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        merge(argv[1], argv[2], argv[3], argv[4:])
    except (MergeError, OSError) as e:
        print(f"merge_chunks.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
