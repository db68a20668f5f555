#!/bin/bash
# Shared by the Windows scripts (build, test, release): the folders, the two Windows
# architectures and the installing of the Debian packages they need. Sourced, not run.

win_src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
win_out=${VALDORA_WIN_BUILD_DIR:-$win_src/build-win}
win_jobs=$(nproc 2>/dev/null || echo 2)

# The builds we ship: i686 (32-bit, loads the common 32-bit K8055D.dll) and x86_64 (64-bit).
win_all_archs="i686 x86_64"

# Picks the architectures from the arguments (none: both); fails on an unknown one.
win_archs() {
    local a list=""
    for a in "$@"; do
        case "$a" in
        i686 | x86_64) list="$list $a" ;;
        --no-install) ;; # see win_install_wanted
        *)
            echo "unknown architecture '$a' (i686 or x86_64)" >&2
            return 1
            ;;
        esac
    done
    echo "${list:-$win_all_archs}"
}

# Succeeds unless --no-install is among the arguments.
win_install_wanted() { [[ " $* " != *" --no-install "* ]]; }

# Runs a command as root (directly when we are root).
win_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# Installs the listed Debian packages that are missing ("name:i386" for 32-bit ones, which
# first enables the i386 architecture).
win_install() {
    local p missing="" need_i386=0
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
        case "$p" in *:i386) need_i386=1 ;; esac
    done
    [ -z "$missing" ] && return 0
    if [ $need_i386 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        win_as_root dpkg --add-architecture i386
    fi
    win_as_root apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive win_as_root apt-get install -y -qq --no-install-recommends \
        $missing >/dev/null
}

# The cross compilers and build tools for the given architectures, what the artwork generator
# needs to run here (Allegro and X11 for Linux) and the AVR compiler for the board firmware.
win_install_build_tools() {
    local a pkgs="cmake make patch zip build-essential liballegro4-dev libx11-dev gcc-avr avr-libc"
    for a in "$@"; do
        case "$a" in
        i686) pkgs="$pkgs g++-mingw-w64-i686-posix" ;;
        x86_64) pkgs="$pkgs g++-mingw-w64-x86-64-posix" ;;
        esac
    done
    # shellcheck disable=SC2086
    win_install $pkgs
}

# Wine (64-bit always: it is the loader; 32-bit programs also need wine32) and a virtual display.
win_install_wine() {
    local a pkgs="wine wine64 xvfb xauth x11-utils xdotool"
    for a in "$@"; do
        [ "$a" = i686 ] && pkgs="$pkgs wine32:i386"
    done
    # shellcheck disable=SC2086
    win_install $pkgs
}

# The 7-character elapsed time since a start in seconds, for the timing lines.
win_since() {
    echo "$(($(date +%s) - $1))s"
}
