#!/usr/bin/env bash
# Writes an intensity file (plain or gzip) as VCF on standard output, in the layout the array
# converters use: per record INFO/ALLELE_A=0 and ALLELE_B=1 (allele1 is REF and the x channel,
# allele2 ALT and the y channel), per sample FORMAT/X and Y (the intensity times FACTOR,
# rounded: raw integers) and NORMX and NORMY (the intensity as written). NaN/NA become ".".
# Sample names are the intensity file's identifiers (the stem of a column pair such as
# "NA06985A NA06985B"). Pipe the output through "bcftools view -Ob" for BCF.
#
# Usage: scripts/intensities_to_vcf.sh INTENSITY_FILE CHROM [FACTOR]   (FACTOR: default 1000)
set -euo pipefail
[[ $# -ge 2 ]] || { echo "usage: $0 INTENSITY_FILE CHROM [FACTOR]" >&2; exit 2; }
gzip -cdf -- "$1" | awk -v chrom="$2" -v factor="${3:-1000}" '
function id_of(a, b,    n, stem) {
    n = length(a)
    if (n < 2 || length(b) != n || substr(a, 1, n - 1) != substr(b, 1, n - 1) ||
        index("AB ab XY xy", substr(a, n, 1) substr(b, n, 1)) == 0 || substr(a, n, 1) == substr(b, n, 1)) return a
    stem = substr(a, 1, n - 1)
    if (length(stem) > 1 && substr(stem, length(stem), 1) ~ /[-_.]/) stem = substr(stem, 1, length(stem) - 1)
    return stem
}
function missing(v) { return tolower(v) == "nan" || tolower(v) == "na" }
NR == 1 {
    print "##fileformat=VCFv4.2"
    print "##contig=<ID=" chrom ">"
    print "##INFO=<ID=ALLELE_A,Number=1,Type=Integer,Description=\"A allele\">"
    print "##INFO=<ID=ALLELE_B,Number=1,Type=Integer,Description=\"B allele\">"
    print "##FORMAT=<ID=X,Number=1,Type=Integer,Description=\"Raw X intensity\">"
    print "##FORMAT=<ID=Y,Number=1,Type=Integer,Description=\"Raw Y intensity\">"
    print "##FORMAT=<ID=NORMX,Number=1,Type=Float,Description=\"Normalized X intensity\">"
    print "##FORMAT=<ID=NORMY,Number=1,Type=Float,Description=\"Normalized Y intensity\">"
    line = "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT"
    for (i = 6; i < NF; i += 2) line = line "\t" id_of($i, $(i + 1))
    print line
    next
}
NF > 0 {
    line = chrom "\t" $3 "\t" $2 "\t" $4 "\t" $5 "\t.\t.\tALLELE_A=0;ALLELE_B=1\tX:Y:NORMX:NORMY"
    for (i = 6; i < NF; i += 2) {
        if (missing($i) || missing($(i + 1))) line = line "\t.:.:.:."
        else line = line "\t" sprintf("%.0f:%.0f", $i * factor, $(i + 1) * factor) ":" $i ":" $(i + 1)
    }
    print line
}'
