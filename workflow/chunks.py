"""Splitting a SNP range into chunks."""

import bz2
import gzip

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
