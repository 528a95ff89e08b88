#!/usr/bin/env bash
# Builds tarvix++ and its tests for arm64 with Debian's cross compiler and runs them under
# qemu-user: the expected-output runs (the files committed from x86-64, byte for byte) and the
# accuracy and lane tests of the program's own elementary functions. Passing shows that the
# results do not depend on the processor. Installs what is missing (arm64 added as a foreign
# architecture; root or sudo then). Not part of CI: building and emulating take minutes.
# Usage: scripts/cross_arm64.sh [BUILD_DIR]   (default: build-arm64)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-arm64}

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
dpkg --print-foreign-architectures | grep -qx arm64 || "${sudo_cmd[@]}" dpkg --add-architecture arm64
scripts/install_packages.sh --build g++-aarch64-linux-gnu qemu-user libstdc++6:arm64 libboost-iostreams-dev:arm64 \
    zlib1g-dev:arm64 libbz2-dev:arm64 libhts-dev:arm64 libgtest-dev:arm64
# The arm64 newmat package would replace the native one: its static library is unpacked instead.
mkdir -p "$build_dir/newmat"
if [[ ! -f $build_dir/newmat/usr/lib/aarch64-linux-gnu/libnewmat.a ]]; then
    (cd "$build_dir" && apt-get download libnewmat10-dev:arm64)
    dpkg-deb -x "$build_dir"/libnewmat10-dev_*_arm64.deb "$build_dir/newmat"
fi
cat > "$build_dir/arm64.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
EOF
export PKG_CONFIG_LIBDIR=/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$PWD/$build_dir/arm64.cmake" \
    -DNEWMAT_INCLUDE_DIR="$PWD/$build_dir/newmat/usr/include/newmat" \
    -DNEWMAT_LIBRARY="$PWD/$build_dir/newmat/usr/lib/aarch64-linux-gnu/libnewmat.a"
cmake --build "$build_dir" -j"$(nproc)"
readelf -h "$build_dir/tarvix++" | grep Machine
qemu-aarch64 "$build_dir/tests/tarvix_tests" --gtest_filter='Runs/Golden*:Elementary*'
