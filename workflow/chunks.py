"""Splitting the SNPs into chunks: ranges of SNP lines ("-snps FIRST LAST") for text input,
regions ("-r CHR:FROM-TO") for indexed VCF/BCF input, read by each job through the index; and
the command lines of the chunks and of the one run they stand for."""

import bisect
import bz2
import gzip
import os
import shlex
import subprocess

def chunk_count(n_snps, chunk_size):
    """The number of chunks of `chunk_size` SNPs that cover `n_snps` SNPs."""
    if n_snps < 1:
        raise ValueError(f"no SNPs to analyse (SNP count {n_snps})")
    if chunk_size < 1:
        raise ValueError(f"chunk size must be at least 1, got {chunk_size}")
    return -(-n_snps // chunk_size)


def chunk_range(chunk, chunk_size):
    """The 1-based inclusive SNP range (first, last) of chunk `chunk` (0-based), for "-snps".

    The range of the last chunk may reach beyond the last SNP: tarvix++ then ends it at the
    last SNP, so a chunk job does not depend on the SNP count.
    """
    return chunk * chunk_size + 1, (chunk + 1) * chunk_size


def count_snps(path, compression):
    """The number of SNPs of an intensity file: the records of a VCF/BCF, else the non-blank
    lines of text after the header.

    `compression` is "", "-gz" or "-bz2", as for tarvix++ (text only).
    """
    if variant_file(path):
        return len(bcftools("query", "--format", ".\n", path))
    openers = {"": open, "-gz": gzip.open, "-bz2": bz2.open}
    if compression not in openers:
        raise ValueError(f'compression must be "", "-gz" or "-bz2", got {compression!r}')
    with openers[compression](path, "rb") as lines:
        n = sum(1 for line in lines if line.strip())
    return max(n - 1, 0)


def variant_file(path):
    """Whether the file is VCF or BCF, told by content."""
    with open(path, "rb") as raw:
        compressed = raw.read(2) == b"\x1f\x8b"
    with (gzip.open if compressed else open)(path, "rb") as data:
        start = data.read(16)
    return start.startswith(b"BCF\x02") or start.startswith(b"##fileformat=VCF")


def indexed(path):
    """Whether an index (.csi or .tbi) lies beside the file."""
    return any(os.path.exists(path + suffix) for suffix in (".csi", ".tbi"))


def bcftools(*arguments):
    done = subprocess.run(["bcftools", *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        raise ValueError(f"bcftools {' '.join(arguments)}: {done.stderr.strip()}")
    return done.stdout.split("\n")[:-1]


def pieces(first_positions):
    """Regions "FROM-TO" (the last "FROM-") of a contig cut before each of `first_positions`,
    ascending, the first piece starting at 1; cuts that would leave a piece empty are dropped."""
    cuts = sorted(set(p for p in first_positions if p > 1))
    starts = [1] + cuts
    return [f"{a}-{b - 1}" for a, b in zip(starts, cuts)] + [f"{starts[-1]}-"]


def region_chunks(path, chunk_size):
    """Regions of about `chunk_size` records each that cover every record of an indexed VCF/BCF,
    in the order of the index's contigs. A contig of at most `chunk_size` records is one region;
    a longer one is cut into equal stretches of its length when the header gives it (nothing is
    read), else after every `chunk_size` records by their positions, read once."""
    if chunk_size < 1:
        raise ValueError(f"chunk size must be at least 1, got {chunk_size}")
    regions = []
    for line in bcftools("index", "--stats", path):
        contig, length, count = line.split("\t")
        n = int(count)
        if n <= chunk_size:
            regions.append(contig)
            continue
        k = -(-n // chunk_size)
        if length != ".":
            width = -(-int(length) // k)
            firsts = [i * width + 1 for i in range(1, k)]
        else:
            positions = [int(p) for p in bcftools("query", "--regions", contig, "--format", "%POS\n", path)]
            # Records at one position stay together: a cut moves past them.
            firsts = []
            for i in range(chunk_size, len(positions), chunk_size):
                j = bisect.bisect_right(positions, positions[i - 1])
                if j < len(positions):
                    firsts.append(positions[j])
        regions.extend(f"{contig}:{piece}" for piece in pieces(firsts))
    if not regions:
        raise ValueError(f"{path}: its index counts no records")
    return regions


def tarvix_arguments(inputs, compression, snp_info, sex_files, seed, options, prefix, select=(), priors=None):
    """The arguments of a tarvix++ run over the SNPs that `select` chooses (["-snps", FIRST,
    LAST] or ["-r", REGION]), or over all SNPs when it is empty, reading its priors from the file
    `priors` when given: the settings of the workflow in one order, so that the merged VCF can
    record the command of the single run that writes the same files.

    `options` is the config's string of further options; `seed` a float.
    """
    args = ["-i", *inputs]
    if compression:
        args.append(compression)
    if snp_info:
        args += ["-f", snp_info]
    if sex_files:
        args += ["-chrX", *sex_files]
    args += list(select)
    args += ["-seed", repr(seed), "-snp_seeds", *shlex.split(options)]
    if priors:
        args += ["-priors", priors]
    return args + ["-o", prefix]


def recorded_command(args):
    """The command line as tarvix++ records it in the VCF header ("##tarvix++Command"): the
    program's name and every argument quoted as the shell needs it."""
    return shlex.join(["tarvix++", *args])
