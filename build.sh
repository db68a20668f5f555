#!/bin/bash
# Installs what Valdora needs on Debian 12, builds it, and either runs it beside the
# stand-in simulator ("./build.sh run") or runs every test ("./build.sh test").
set -euo pipefail
cd "$(dirname "$0")"

# What building and running needs (the tablet panel's qrcodegen, the simulator link's
# WebSocket client civetweb, the aircraft profiles' TOML reader among it); the tests need the
# rest as well (headless Chromium and npm for the tablet panel's journey, the Mega's stock
# bootloader that valdora-flash is tried against: a test peer, never shipped).
RUN_PACKAGES="build-essential cmake pkg-config liballegro4-dev libx11-dev libcivetweb-dev
              libqrcodegencpp-dev libtomlplusplus-dev nlohmann-json3-dev"
TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev xvfb xdotool x11-utils imagemagick clang
               libclang-rt-14-dev clang-format valgrind procps strace gcc-avr avr-libc simavr
               libsimavr-dev libelf-dev chromium curl arduino-core-avr"

install_packages() { # install_packages <package...>
    local missing=""
    for p in "$@"; do
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
    install_packages $RUN_PACKAGES
    build build -DVALDORA_TESTS=OFF -DVALDORA_BENCH=OFF
    cd build/run
    ./valdora-sim --quiet &
    sim=$!
    trap 'kill $sim 2>/dev/null || true' EXIT
    ./valdora
    ;;
test)
    tests/size.sh
    install_packages $RUN_PACKAGES $TEST_PACKAGES
    # Node.js with npm, from Debian only where none is there: a Node.js installed another way
    # carries its own npm, which Debian's npm package would conflict with.
    command -v npm >/dev/null 2>&1 || install_packages nodejs npm
    build build -DVALDORA_TESTS=ON -DVALDORA_BENCH=ON
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
