#!/bin/bash
# Installs what Valdora needs on Debian 12, builds it, and either runs it beside the
# stand-in simulator ("./build.sh run") or runs every test ("./build.sh test").
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES="build-essential cmake pkg-config liballegro4-dev libx11-dev libgtest-dev libgmock-dev
          libbenchmark-dev xvfb xdotool x11-utils imagemagick clang libclang-rt-14-dev valgrind procps
          strace gcc-avr avr-libc simavr libsimavr-dev libelf-dev libcivetweb-dev
          libqrcodegencpp-dev chromium nodejs npm curl"

install_packages() {
    local missing=""
    for p in $PACKAGES; do
        dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
}

build() { # build <folder> [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

case "${1:-}" in
run)
    install_packages
    build build
    cd build/run
    ./valdora-sim --quiet &
    sim=$!
    trap 'kill $sim 2>/dev/null || true' EXIT
    ./valdora
    ;;
test)
    tests/size.sh
    install_packages
    build build
    (cd build && ctest --output-on-failure -j"$(nproc)")
    build build-asan -DVALDORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    (cd build-asan && ctest --output-on-failure -j"$(nproc)")
    # The Windows build (mingw-w64, 32- and 64-bit) and its end-to-end tests under Wine.
    VALDORA_ARTWORK_DIR=build/run windows/build.sh
    windows/test.sh
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
