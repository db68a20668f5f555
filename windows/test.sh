#!/bin/bash
# Runs the end-to-end tests of the Windows build under Wine and a virtual X display: the
# programs built by windows/build.sh (valdora.exe, valdora-sim.exe, valdora-boards.exe and the
# stand-in K8055D.dll) driven through the shared harness tests/e2e/lib.sh.
#
#   windows/test.sh [--no-install] [i686] [x86_64]      (no architecture: both)
#
# Wine gets its own prefix in the build folder ($VALDORA_WIN_BUILD_DIR, default build-win),
# made once and kept; Mono and Gecko are never offered. Prints one line per test and the
# total as "N passed, N failed".
set -uo pipefail
# shellcheck source=windows/common.sh
source "$(dirname "$0")/common.sh"

install=1
args=()
for a in "$@"; do
    case "$a" in
    --no-install) install=0 ;;
    *) args+=("$a") ;;
    esac
done
archs=$(win_archs "${args[@]+"${args[@]}"}") || exit 2
if [ $install = 1 ]; then
    # shellcheck disable=SC2086
    win_install_wine $archs || exit 1
    win_install gcc libx11-dev || exit 1
fi

t_start=$(date +%s)
e2e=$win_out/e2e
mkdir -p "$e2e/e2e-tools"

for arch in $archs; do
    [ -f "$win_out/$arch/run/valdora.exe" ] || {
        echo "no Windows build for $arch: run windows/build.sh $arch first" >&2
        exit 1
    }
done

# The harness's X helper (close request, pixel colour), built for this machine.
if [ ! -x "$e2e/e2e-tools/vdxtool" ] || [ "$win_src/tests/e2e/vdxtool.c" -nt "$e2e/e2e-tools/vdxtool" ]; then
    cc -O1 -o "$e2e/e2e-tools/vdxtool" "$win_src/tests/e2e/vdxtool.c" -lX11 || exit 1
fi

export WINEPREFIX=$win_out/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

# Each program runs in the Wine loader of its own width, so it is the launched process itself
# (no start.exe in between): signals reach it and its exit status comes back.
loader_of() {
    if [ "$1" = i686 ]; then echo /usr/lib/wine/wine; else echo /usr/lib/wine/wine64; fi
}

# A folder of launchers that stand for the Linux programs in the harness (windows/e2e/launch.sh
# runs the .exe files under Wine), with the artwork.
make_launchers() {
    local arch=$1 dir=$e2e/$arch/run name
    rm -rf "$dir"
    mkdir -p "$dir"
    for name in valdora valdora-sim valdora-boards; do
        printf '#!/bin/bash\nexec %q %q %q %q "$@"\n' "$win_src/windows/e2e/launch.sh" \
            "$(loader_of "$arch")" "$win_out/$arch/run" "$name" >"$dir/$name"
        chmod +x "$dir/$name"
    done
    cp "$win_out/$arch/run/"vd60_*.bmp "$dir/"
}

# The prefix, made once (about half a minute), with a server kept up while the tests run.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    t0=$(date +%s)
    wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
    wineserver -w
    echo "wine prefix made in $(win_since "$t0")"
fi
wineserver -k 2>/dev/null
wineserver -p
trap 'wineserver -k 2>/dev/null' EXIT

# Tests of the shared suite (tests/e2e) that hold on Windows as they stand, run against the
# Windows programs: a copy of each beside a lib.sh that adds the Wine part of the harness.
# (The others check what differs by design: window frames, key timing, LF settings lines.)
SHARED_TESTS=${VALDORA_WIN_SHARED_TESTS-"test_artwork_screen test_lamps_gear test_lamps_engine_start"}
shared=$e2e/shared
rm -rf "$shared"
mkdir -p "$shared"
printf '. %q\n. %q\n' "$win_src/tests/e2e/lib.sh" "$win_src/windows/e2e/wine.sh" >"$shared/lib.sh"
tests=("$win_src"/windows/e2e/test_*.sh)
for t in $SHARED_TESTS; do
    if [ -f "$win_src/tests/e2e/$t.sh" ]; then
        cp "$win_src/tests/e2e/$t.sh" "$shared/"
        tests+=("$shared/$t.sh")
    fi
done

passed=0
failed=0
for arch in $archs; do
    make_launchers "$arch"
    for t in "${tests[@]}"; do
        name="$(basename "$t" .sh) ($arch)"
        t0=$(date +%s)
        log=$e2e/$arch/$(basename "$t" .sh).log
        if VALDORA_RUN_DIR=$e2e/$arch/run VALDORA_BUILD_DIR=$e2e VALDORA_SOURCE_DIR=$win_src \
            bash "$t" >"$log" 2>&1; then
            passed=$((passed + 1))
            echo "PASS $name $(win_since "$t0")"
        else
            failed=$((failed + 1))
            echo "FAIL $name $(win_since "$t0")"
            sed 's/^/    /' "$log"
        fi
        # Anything of this test left running in the prefix goes with the test.
        wineserver -k 2>/dev/null
        wineserver -p
    done
done
echo "windows e2e: $(win_since "$t_start")"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
