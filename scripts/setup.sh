#!/usr/bin/env bash
# Installs the Debian packages tarvix++ needs (when missing), configures and builds it.
# Usage: scripts/setup.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

scripts/install_packages.sh cmake make g++ pkg-config libboost-iostreams-dev libnewmat10-dev zlib1g-dev libbz2-dev \
    libhts-dev libgtest-dev gzip bzip2

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build_dir" -j"$(nproc)"
