#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet (apt-get update first).
# "--build" stands for everything tarvix++ and its tests need to build.
# Usage: scripts/install_packages.sh [--build] PACKAGE...
set -euo pipefail
build=(cmake make g++ pkg-config libboost-iostreams-dev libnewmat10-dev zlib1g-dev libbz2-dev libhts-dev
    libgtest-dev gzip bzip2)
wanted=()
for p in "$@"; do
    if [[ $p == --build ]]; then wanted+=("${build[@]}"); else wanted+=("$p"); fi
done
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
