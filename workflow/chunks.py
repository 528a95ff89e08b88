"""Splitting a SNP range into chunks and giving every chunk its own reproducible seed."""

import bz2
import gzip

# tarvix++ seeds its generator with the 32-bit word floor(seed * 2^32), so seeds are derived
# as words: two chunks then never share a generator state by rounding.
WORD = 2 ** 32
# An odd step makes c -> c * STEP (mod 2^32) one-to-one, so the first 2^32 chunks get distinct
# words; floor(2^32 / golden ratio) spreads any number of consecutive chunks evenly around the
# circle (a Weyl sequence), so even among a million chunks two words lie more than 200 apart.
STEP = 0x9E3779B9


def chunk_seed(base_seed, chunk):
    """The seed of chunk `chunk` (0-based) for the base seed `base_seed` in (0, 1).

    Its seed word is (floor(base_seed * 2^32) + chunk * STEP) mod 2^32, and the seed is that
    word plus one half, divided by 2^32: strictly inside (0, 1), exactly representable, and
    mapped back to its word by tarvix++. Chunk 0 gets the word of the base seed itself, so a
    workflow of one chunk repeats `tarvix++ -seed BASE` exactly.
    """
    if not 0.0 < base_seed < 1.0:
        raise ValueError(f"seed must be a real strictly between 0 and 1, got {base_seed!r}")
    if chunk < 0:
        raise ValueError(f"chunk number must not be negative, got {chunk}")
    word = (int(base_seed * WORD) + chunk * STEP) % WORD
    return (word + 0.5) / WORD


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
