"""Splitting a SNP range into chunks, and the command lines of the chunks and of the one run
they stand for."""

import bz2
import gzip
import shlex

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
    """The number of SNP lines of an intensity file: its non-blank lines after the header.

    `compression` is "", "-gz" or "-bz2", as for tarvix++.
    """
    openers = {"": open, "-gz": gzip.open, "-bz2": bz2.open}
    if compression not in openers:
        raise ValueError(f'compression must be "", "-gz" or "-bz2", got {compression!r}')
    with openers[compression](path, "rb") as lines:
        n = sum(1 for line in lines if line.strip())
    return max(n - 1, 0)


def tarvix_arguments(inputs, compression, snp_info, sex_files, seed, options, prefix, snps=None):
    """The arguments of a tarvix++ run over the SNP range `snps` (first, last), or over all SNPs
    when it is None: the settings of the workflow in one order, so that the merged VCF can
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
    if snps is not None:
        args += ["-snps", str(snps[0]), str(snps[1])]
    return args + ["-seed", repr(seed), "-snp_seeds", *shlex.split(options), "-o", prefix]


def recorded_command(args):
    """The command line as tarvix++ records it in the VCF header ("##tarvix++Command"): the
    program's name and every argument quoted as the shell needs it."""
    return shlex.join(["tarvix++", *args])
