#!/bin/bash
# Builds Valdora for Windows on Debian 12 with mingw-w64: first Allegro 4.4 as a static library
# from Debian's own source package (with our pointer-size patches, kept in windows/patches),
# then the program, the probe, the firmware flasher, the stand-in simulator, the board tool and
# the stand-in K8055D.dll.
#
#   windows/build.sh [--no-install] [i686] [x86_64]      (no architecture: both)
#
# Everything goes into $VALDORA_WIN_BUILD_DIR (default: build-win in the source tree):
#   allegro/<arch>/   Allegro's headers and library, rebuilt only when its inputs change
#   <arch>/run/       valdora.exe, valdora-probe.exe, valdora-flash.exe with valdora-mega.hex,
#                     valdora-sim.exe, valdora-boards.exe, K8055D.dll
set -euo pipefail
# shellcheck source=windows/common.sh
source "$(dirname "$0")/common.sh"

# The upstream tarball inside Debian's source package, checked before it is used.
ALLEGRO_ORIG=allegro4.4_4.4.3.1.orig.tar.gz
ALLEGRO_ORIG_SHA256=ec19dbc9a021244582b4819b3583ee594b50141f9fcf6944a4ed8069cbf8d4d4
ALLEGRO_DIR=allegro-4.4.3.1
# Only the core library: static, no add-ons, examples, tools, tests or documentation.
ALLEGRO_OPTIONS="-DSHARED=OFF -DWANT_EXAMPLES=OFF -DWANT_TOOLS=OFF -DWANT_TESTS=OFF
  -DWANT_DOCS=OFF -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF -DWANT_JPGALLEG=OFF
  -DCMAKE_BUILD_TYPE=Release"

# Libraries from Debian's source packages (upstream tarballs, checked), built as static
# libraries into web/<arch>/: qrcodegen (MIT) for the tablet panel's QR code, and civetweb (MIT)
# for the WebSocket client of the simulator link over the network.
CIVETWEB_ORIG=civetweb_1.15+dfsg.orig.tar.xz
CIVETWEB_ORIG_SHA256=ec372e9737bc820118bbb735f46a07d41f795814ca0f38bc6e67048e7a460f33
CIVETWEB_DIR=civetweb-1.15
QRCODEGEN_ORIG=qr-code-generator_1.8.0.orig.tar.gz
QRCODEGEN_ORIG_SHA256=2ec0a4d33d6f521c942eeaf473d42d5fe139abcfa57d2beffe10c5cf7d34ae60
QRCODEGEN_DIR=QR-Code-generator-1.8.0
# The aircraft profiles' TOML reader toml++ (MIT) is header-only: its headers come from Debian's
# package of them (the same files on every architecture), checked by digest like the tarballs.
TOMLPP_DEB=libtomlplusplus-dev_3.3.0+ds-1_amd64.deb
TOMLPP_DEB_SHA256=2779cce0001466dcf60eb6262ff68a888d49f9e30aee80c499d1d4f6f9f6e12e
# nlohmann-json (MIT), header only: the simulator link's network messages.
JSON_ORIG=nlohmann-json3_3.11.2.orig.tar.gz
JSON_ORIG_SHA256=d69f9deb6a75e2580465c6c4c5111b89c4dc2fa94e3a85fcd2ffcd9a143d9273
JSON_DIR=json-3.11.2
# HTTP and WebSocket only: no TLS, CGI, Lua or server-side scripting.
CIVETWEB_FLAGS="-O2 -w -DNDEBUG -DUSE_WEBSOCKET -DNO_SSL -DNO_CGI -DNO_FILESYSTEMS_WRITE"

archs=$(win_archs "$@")
# shellcheck disable=SC2086
win_install_wanted "$@" && win_install_build_tools $archs
mkdir -p "$win_out"

tarball_ok() {
    [ -f "$1" ] && echo "$ALLEGRO_ORIG_SHA256  $1" | sha256sum -c --status
}

# Makes sure apt knows Debian 12's source packages (a deb-src entry), so apt-get source works.
ensure_deb_src() {
    apt-cache showsrc allegro4.4 2>/dev/null | grep -q '^Package: allegro4.4' && return 0
    win_as_root tee /etc/apt/sources.list.d/valdora-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    win_as_root apt-get update -qq
}

# Fetches Debian's allegro4.4 source package once into the build folder. Only the upstream
# tarball is used (Debian's own patches are for its Linux packaging); it is checked against
# its known digest, so a partial download of the rest of the package does not matter.
fetch_allegro() {
    local dir=$win_out/allegro/source
    mkdir -p "$dir"
    tarball_ok "$dir/$ALLEGRO_ORIG" && return 0
    ensure_deb_src
    (cd "$dir" && apt-get source --download-only -qq allegro4.4 >/dev/null 2>&1) || true
    if ! tarball_ok "$dir/$ALLEGRO_ORIG"; then
        echo "could not fetch $ALLEGRO_ORIG with its known digest (apt-get source allegro4.4)" >&2
        return 1
    fi
}

# What the cached Allegro of one architecture was built from; a change rebuilds it.
allegro_key() {
    local arch=$1
    {
        echo "$ALLEGRO_ORIG_SHA256 $ALLEGRO_OPTIONS"
        cat "$win_src"/windows/patches/*.patch "$win_src/cmake/mingw-w64-$arch.cmake" \
            "$win_src/cmake/mingw-w64.cmake"
        "$arch-w64-mingw32-gcc-posix" --version | head -1
    } | sha256sum | cut -d' ' -f1
}

build_allegro() {
    local arch=$1
    local prefix=$win_out/allegro/$arch work=$win_out/allegro/work-$arch
    local key
    key=$(allegro_key "$arch")
    if [ -f "$prefix/lib/liballeg.a" ] && [ "$(cat "$prefix/.key" 2>/dev/null)" = "$key" ]; then
        echo "allegro ($arch): cached"
        return 0
    fi
    local t0
    t0=$(date +%s)
    fetch_allegro
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    tar xzf "$win_out/allegro/source/$ALLEGRO_ORIG" -C "$work"
    local p
    for p in "$win_src"/windows/patches/*.patch; do
        patch -d "$work/$ALLEGRO_DIR" -p1 --batch --forward --quiet <"$p"
    done
    # shellcheck disable=SC2086
    cmake -S "$work/$ALLEGRO_DIR" -B "$work/build" \
        -DCMAKE_TOOLCHAIN_FILE="$win_src/cmake/mingw-w64-$arch.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" $ALLEGRO_OPTIONS >"$work/configure.log" 2>&1 ||
        { tail -30 "$work/configure.log" >&2; return 1; }
    cmake --build "$work/build" -j"$win_jobs" >"$work/build.log" 2>&1 ||
        { grep -B2 -A5 'error' "$work/build.log" | head -60 >&2; return 1; }
    cmake --install "$work/build" >"$work/install.log" 2>&1 ||
        { tail -30 "$work/install.log" >&2; return 1; }
    echo "$key" >"$prefix/.key"
    rm -rf "$work"
    echo "allegro ($arch): built in $(win_since "$t0")"
}

# Fetches one upstream tarball of a Debian source package into the web libraries' folder.
fetch_web_source() { # fetch_web_source PACKAGE TARBALL SHA256
    local dir=$win_out/web/source
    mkdir -p "$dir"
    echo "$3  $dir/$2" | sha256sum -c --status 2>/dev/null && return 0
    ensure_deb_src
    (cd "$dir" && apt-get source --download-only -qq "$1" >/dev/null 2>&1) || true
    if ! echo "$3  $dir/$2" | sha256sum -c --status 2>/dev/null; then
        echo "could not fetch $2 with its known digest (apt-get source $1)" >&2
        return 1
    fi
}

# Fetches the toml++ headers' package into the web libraries' folder.
fetch_tomlpp() {
    local dir=$win_out/web/source
    mkdir -p "$dir"
    echo "$TOMLPP_DEB_SHA256  $dir/$TOMLPP_DEB" | sha256sum -c --status 2>/dev/null && return 0
    (cd "$dir" && apt-get download -qq libtomlplusplus-dev=3.3.0+ds-1 >/dev/null 2>&1) || true
    if ! echo "$TOMLPP_DEB_SHA256  $dir/$TOMLPP_DEB" | sha256sum -c --status 2>/dev/null; then
        echo "could not fetch $TOMLPP_DEB with its known digest (apt-get download)" >&2
        return 1
    fi
}

build_web_libs() {
    local arch=$1
    local prefix=$win_out/web/$arch work=$win_out/web/work-$arch key cc="$arch-w64-mingw32-gcc-posix"
    key=$({ echo "$CIVETWEB_ORIG_SHA256 $QRCODEGEN_ORIG_SHA256 $TOMLPP_DEB_SHA256 $JSON_ORIG_SHA256"
        echo "$CIVETWEB_FLAGS"; "$cc" --version | head -1; } |
        sha256sum | cut -d' ' -f1)
    if [ -f "$prefix/lib/libcivetweb.a" ] && [ "$(cat "$prefix/.key" 2>/dev/null)" = "$key" ]; then
        echo "web libraries ($arch): cached"
        return 0
    fi
    fetch_web_source civetweb "$CIVETWEB_ORIG" "$CIVETWEB_ORIG_SHA256"
    fetch_web_source qr-code-generator "$QRCODEGEN_ORIG" "$QRCODEGEN_ORIG_SHA256"
    fetch_tomlpp
    fetch_web_source nlohmann-json3 "$JSON_ORIG" "$JSON_ORIG_SHA256"
    rm -rf "$work" "$prefix"
    mkdir -p "$work" "$prefix/lib" "$prefix/include/qrcodegen" "$prefix/include/nlohmann"
    tar xzf "$win_out/web/source/$JSON_ORIG" -C "$prefix/include/nlohmann" --strip-components=3 \
        "$JSON_DIR/single_include/nlohmann/json.hpp"
    tar xzf "$win_out/web/source/$JSON_ORIG" -C "$work" "$JSON_DIR/LICENSE.MIT"
    tar xJf "$win_out/web/source/$CIVETWEB_ORIG" -C "$work"
    tar xzf "$win_out/web/source/$QRCODEGEN_ORIG" -C "$work"
    # shellcheck disable=SC2086
    "$cc" $CIVETWEB_FLAGS -I"$work/$CIVETWEB_DIR/include" -c "$work/$CIVETWEB_DIR/src/civetweb.c" \
        -o "$work/civetweb.o"
    "$arch-w64-mingw32-g++-posix" -O2 -DNDEBUG -c "$work/$QRCODEGEN_DIR/cpp/qrcodegen.cpp" \
        -o "$work/qrcodegen.o"
    "$arch-w64-mingw32-gcc-ar-posix" rcs "$prefix/lib/libcivetweb.a" "$work/civetweb.o"
    "$arch-w64-mingw32-gcc-ar-posix" rcs "$prefix/lib/libqrcodegencpp.a" "$work/qrcodegen.o"
    cp "$work/$CIVETWEB_DIR/include/civetweb.h" "$prefix/include/"
    cp "$work/$QRCODEGEN_DIR/cpp/qrcodegen.hpp" "$prefix/include/qrcodegen/"
    dpkg-deb -x "$win_out/web/source/$TOMLPP_DEB" "$work/tomlpp"
    cp -r "$work/tomlpp/usr/include/toml++" "$prefix/include/"
    # Their licences go with the programs they are linked into (windows/release.sh).
    { echo "civetweb (WebSocket client of the simulator link):"; cat "$work/$CIVETWEB_DIR/LICENSE.md"; echo
      echo "qrcodegen (tablet panel QR code):"; sed -n '2,/\*\//p' "$work/$QRCODEGEN_DIR/cpp/qrcodegen.hpp"
      echo; echo "toml++ (aircraft profiles):"; cat "$work/tomlpp/usr/share/doc/libtomlplusplus-dev/copyright"
      echo; echo "nlohmann-json (simulator link's network messages):"; cat "$work/$JSON_DIR/LICENSE.MIT"
    } >"$prefix/THIRD-PARTY-LICENSES.txt"
    echo "$key" >"$prefix/.key"
    rm -rf "$work"
    echo "web libraries ($arch): built"
}

build_valdora() {
    local arch=$1
    local dir=$win_out/$arch t0
    t0=$(date +%s)
    cmake -S "$win_src" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$win_src/cmake/mingw-w64-$arch.cmake" \
        -DCMAKE_PREFIX_PATH="$win_out/allegro/$arch;$win_out/web/$arch" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$dir" -j"$win_jobs"
    echo "valdora ($arch): built in $(win_since "$t0") into $dir/run"
}

# The artwork is drawn by the generator on the build machine, and the board firmware
# valdora-mega.hex is cross-built there with avr-gcc: both taken from $VALDORA_ARTWORK_DIR when
# given (e.g. build/run of the Linux build), else built here.
artwork_folder() {
    if [ -n "${VALDORA_ARTWORK_DIR:-}" ]; then
        echo "$VALDORA_ARTWORK_DIR"
        return 0
    fi
    cmake -S "$win_src" -B "$win_out/native" -DVALDORA_TESTS=OFF >/dev/null
    cmake --build "$win_out/native" --target artwork firmware -j"$win_jobs" >/dev/null
    echo "$win_out/native/run"
}

for arch in $archs; do
    build_allegro "$arch"
    build_web_libs "$arch"
    build_valdora "$arch"
done
art=$(artwork_folder)
for arch in $archs; do
    cp "$art"/vd60_rmu.bmp "$art"/vd60_picker.bmp "$art"/vd60_rmub.bmp "$art"/vd60_pickerb.bmp \
        "$win_out/$arch/run/"
    # The firmware goes beside valdora-flash.exe, which takes it from its own folder.
    cp "$art"/valdora-mega.hex "$win_out/$arch/run/"
done
