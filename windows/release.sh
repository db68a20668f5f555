#!/bin/bash
# Builds the Windows release: one zip per architecture in <build folder>/release,
#   valdora-2.08-windows-x86.zip (32-bit; for the vendor's 32-bit driver library, the usual one)
#   valdora-2.08-windows-x64.zip (64-bit; only for a 64-bit driver library)
# each holding a folder "Valdora" with valdora.exe, valdora-probe.exe, valdora-flash.exe beside
# the board firmware valdora-mega.hex, the artwork, a sample
# settings file, the README's Windows, keyboard, wiring, calibration and troubleshooting
# sections as README-Windows.txt, and in "Try without a simulator" the stand-in simulator, the
# board tool and the stand-in K8055D.dll.
#
#   windows/release.sh [--no-install] [i686] [x86_64]      (no architecture: both)
set -euo pipefail
# shellcheck source=windows/common.sh
source "$(dirname "$0")/common.sh"

# The version the program itself shows (app/app.h).
VERSION=$(sed -n 's/^#define VALDORA_VERSION "V\([0-9.]*\)".*/\1/p' "$win_src/app/app.h")
"$win_src/windows/build.sh" "$@"
archs=$(win_archs "$@")

out=$win_out/release
mkdir -p "$out"

# Text for Windows users: CR LF line ends.
crlf() {
    sed 's/\r$//; s/$/\r/'
}

# The README sections a Windows user needs, in the README's order: every "## " section whose
# title names Windows, the keyboard, the wiring, the calibration or what to do when something
# does not work.
readme_windows() {
    awk '
        /^## / { keep = ($0 ~ /Windows|Keyboard|Wiring|Calibrat|does not work|tablet/) }
        keep { print }
    ' "$win_src/README.md"
}

# The settings file as the program writes it with nothing recorded yet: window at 0, 0, two
# 280 x 400 panels 75 apart, every axis disabled and uncalibrated, landscape, first artwork.
sample_settings() {
    printf '%s\n' 0 0 75 280 400 \
        0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 \
        0 -1 -1 -1 0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 \
        0 0 0 =0
}

# The try-out: the stand-in simulator in its own console, two virtual boards plugged in, and
# Valdora started from its folder with the stand-in K8055D.dll found through PATH (a vendor
# K8055D_C.dll or K8055D.dll beside valdora.exe is still taken first: the stand-in is only
# the standard-convention K8055D.dll, tried last).
try_bat() {
    cat <<'EOF'
@echo off
rem Tries Valdora without a flight simulator and without boards: starts the stand-in
rem simulator, plugs in virtual boards 0 and 1 and runs Valdora with the stand-in K8055D.dll.
rem valdora-boards.exe in this folder presses the boards' buttons and shows their lamps.
set TRY=%~dp0
start "Valdora stand-in simulator" "%TRY%valdora-sim.exe"
"%TRY%valdora-boards.exe" plug 0 1
set PATH=%TRY%;%PATH%
cd /d "%TRY%.."
valdora.exe
EOF
}

for arch in $archs; do
    case $arch in
    i686) label=x86 ;;
    x86_64) label=x64 ;;
    esac
    run=$win_out/$arch/run
    stage=$out/stage-$arch/Valdora
    rm -rf "$out/stage-$arch"
    mkdir -p "$stage/Try without a simulator"
    cp "$run/valdora.exe" "$run/valdora-probe.exe" "$run/valdora-flash.exe" \
        "$run/valdora-mega.hex" "$run"/vd60_rmu.bmp "$run"/vd60_picker.bmp \
        "$run"/vd60_rmub.bmp "$run"/vd60_pickerb.bmp "$stage/"
    sample_settings | crlf >"$stage/vd60_rmu-sample.ini"
    # The shipped aircraft profiles, with Windows line ends for the builders' text editors.
    mkdir -p "$stage/profiles"
    for profile in "$run"/profiles/*.toml; do crlf <"$profile" >"$stage/profiles/${profile##*/}"; done
    readme_windows | crlf >"$stage/README-Windows.txt"
    crlf <"$win_out/web/$arch/THIRD-PARTY-LICENSES.txt" >"$stage/THIRD-PARTY-LICENSES.txt"
    cp "$run/valdora-sim.exe" "$run/valdora-boards.exe" "$run/K8055D.dll" \
        "$stage/Try without a simulator/"
    try_bat | crlf >"$stage/Try without a simulator/try.bat"
    zip_file=$out/valdora-$VERSION-windows-$label.zip
    rm -f "$zip_file"
    (cd "$out/stage-$arch" && zip -q -r -X "$zip_file" Valdora)
    rm -rf "$out/stage-$arch"
    echo "release ($arch): $zip_file"
done
