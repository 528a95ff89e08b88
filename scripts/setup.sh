#!/usr/bin/env bash
# Installs the Debian packages tarvix++ needs (when missing), configures and builds it.
# Usage: scripts/setup.sh [BUILD_DIR [CMAKE_OPTION...]]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

scripts/install_packages.sh --build

# Release unless the caller's options say otherwise (a later -D wins).
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "${@:2}"
cmake --build "$build_dir" -j"$(nproc)"
