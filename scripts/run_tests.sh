#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite, including the checks against the tools that
# read the results (plink2, bcftools), the cluster plots and the chunked workflow.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_packages.sh plink2 plink1.9 bcftools tabix snakemake python3-matplotlib man-db
scripts/setup.sh build
cd build
ctest --output-on-failure -j"$(nproc)"
