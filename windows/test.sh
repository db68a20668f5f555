#!/bin/bash
# Runs the end-to-end tests of the Windows build under Wine and a virtual X display: the
# programs built by windows/build.sh (valdora.exe, valdora-sim.exe, valdora-boards.exe and the
# stand-in driver libraries K8055D_C.dll and K8055D.dll) driven through the shared harness
# tests/e2e/lib.sh.
#
#   windows/test.sh [--no-install] [i686] [x86_64]      (no architecture: both)
#
# Wine gets its own 64-bit prefix in the build folder ($VALDORA_WIN_BUILD_DIR, default
# build-win), made once and kept; Mono and Gecko are never offered. Each program runs in the
# Wine loader of its own width. Where this machine cannot run 32-bit programs (or
# VALDORA_NO_32BIT=1), the i686 programs must still have been built, and only their run is
# skipped, said in one line. Prints one line per test and the total as
# "N passed, N failed, N skipped"; fails when a test failed or none ran.
set -uo pipefail
# shellcheck source=windows/common.sh
source "$(dirname "$0")/common.sh"

archs=$(win_archs "$@") || exit 2
if win_install_wanted "$@"; then
    # shellcheck disable=SC2086
    win_install_wine $archs || exit 1
    win_install gcc libx11-dev || exit 1
fi

t_start=$(date +%s)
e2e=$win_out/e2e
mkdir -p "$e2e/e2e-tools"
for arch in $archs; do
    for f in valdora.exe valdora-sim.exe valdora-boards.exe valdora-flash.exe K8055D_C.dll \
        K8055D.dll; do
        [ -f "$win_out/$arch/run/$f" ] ||
            { echo "no $f in the Windows build for $arch: run windows/build.sh $arch first" >&2; exit 1; }
    done
done

# Why 32-bit programs cannot run here; nothing when they can.
why_no_32bit() {
    if [ "${VALDORA_NO_32BIT:-0}" = 1 ]; then
        echo "VALDORA_NO_32BIT=1 is set"
    elif [ ! -x /usr/lib/wine/wine ]; then
        echo "Wine's 32-bit loader is not installed (wine32)"
    elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo "this machine cannot run 32-bit programs"
    fi
}

# The harness's X helper (the close request), built for this machine.
[ -x "$e2e/e2e-tools/vdxtool" ] && [ ! "$win_src/tests/e2e/vdxtool.c" -nt "$e2e/e2e-tools/vdxtool" ] ||
    cc -O1 -o "$e2e/e2e-tools/vdxtool" "$win_src/tests/e2e/vdxtool.c" -lX11 || exit 1

export WINEPREFIX=$win_out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wine64=/usr/lib/wine/wine64

# Three folders of programs per architecture: with both driver libraries ("both", the run
# folder as built), with K8055D_C.dll only ("c") and with K8055D.dll only ("std"); a test picks
# one with VALDORA_WIN_DLL. Beside them the launchers that stand for the Linux programs in the
# harness (windows/e2e/launch.sh runs the .exe files under Wine), with the artwork.
make_folders() {
    local arch=$1 loader=$wine64 dir=$e2e/$1 name
    [ "$arch" = i686 ] && loader=/usr/lib/wine/wine
    rm -rf "$dir"
    mkdir -p "$dir/run" "$dir/exe-both" "$dir/exe-c" "$dir/exe-std"
    for name in both c std; do cp "$win_out/$arch/run/"*.exe "$dir/exe-$name/"; done
    cp "$win_out/$arch/run/"K8055D*.dll "$dir/exe-both/"
    cp "$win_out/$arch/run/K8055D_C.dll" "$dir/exe-c/"
    cp "$win_out/$arch/run/K8055D.dll" "$dir/exe-std/"
    for name in valdora valdora-sim valdora-boards valdora-probe valdora-flash; do
        printf '#!/bin/bash\nexec %q %q %q %q "$@"\n' "$win_src/windows/e2e/launch.sh" \
            "$loader" "$dir" "$name" >"$dir/run/$name"
        chmod +x "$dir/run/$name"
    done
    cp -r "$win_out/$arch/run/"vd60_*.bmp "$win_out/$arch/run/profiles" "$dir/run/"
}

# The prefix, made once (about half a minute) by the 64-bit loader, which runs everywhere
# (the plain wineboot command may pick the 32-bit one); a server kept up while the tests run.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    t0=$(date +%s)
    $wine64 wineboot -i >/dev/null 2>&1 || { echo "wineboot (64-bit) failed" >&2; exit 1; }
    wineserver -w
    echo "wine prefix made in $(win_since "$t0")"
fi
wineserver -k 2>/dev/null
mkdir -p "$e2e"
wineserver -p 2>>"$e2e/wineserver.log"
trap 'wineserver -k 2>/dev/null' EXIT

# Tests of the shared suite (tests/e2e) that hold on Windows as they stand, run against the
# Windows programs: a copy of each beside a lib.sh that adds the Wine part of the harness.
# (The others check what differs by design: window frames, key timing, LF settings lines.)
SHARED_TESTS=${VALDORA_WIN_SHARED_TESTS-"test_artwork_screen test_cockpit_boards test_web_panel
  test_mega_flash test_aircraft_profiles"}
shared=$e2e/shared
rm -rf "$shared" && mkdir -p "$shared"
printf '. %q\n. %q\n' "$win_src/tests/e2e/lib.sh" "$win_src/windows/e2e/wine.sh" >"$shared/lib.sh"
tests=("$win_src"/windows/e2e/test_*.sh)
for t in $SHARED_TESTS; do
    cp "$win_src/tests/e2e/$t.sh" "$shared/" 2>/dev/null ||
        printf 'echo "no %s.sh in tests/e2e" >&2\nexit 1\n' "$t" >"$shared/$t.sh"
    tests+=("$shared/$t.sh")
done

passed=0 failed=0 skipped=0
for arch in $archs; do
    why=$([ "$arch" = i686 ] && why_no_32bit)
    if [ -n "$why" ]; then
        echo "SKIP i686 end-to-end (${#tests[@]} tests): $why"
        skipped=$((skipped + ${#tests[@]}))
        continue
    fi
    make_folders "$arch"
    for t in "${tests[@]}"; do
        name="$(basename "$t" .sh) ($arch)" t0=$(date +%s) log=$e2e/$arch/$(basename "$t" .sh).log
        for try in 1 2; do
            : >"$e2e/wineserver.log"
            VALDORA_RUN_DIR=$e2e/$arch/run VALDORA_BUILD_DIR=$e2e VALDORA_SOURCE_DIR=$win_src \
                bash "$t" >"$log" 2>&1
            rc=$?
            # Wine's own server can die on an assertion of its own, taking the program with it:
            # that is no fault of the program, and the test runs once more, saying so.
            crash=$(grep -h -m1 "^wineserver.*Assertion" "$e2e/wineserver.log" "$log")
            [ "$rc" != 0 ] && [ "$try" = 1 ] && [ -n "$crash" ] || break
            echo "RETRY $name: the Wine server crashed: $crash"
            wineserver -k 2>/dev/null
            wineserver -p 2>>"$e2e/wineserver.log"
        done
        case $rc in # 77: the test could not run on this machine, and says why
        0) passed=$((passed + 1)) && echo "PASS $name $(win_since "$t0")" ;;
        77) skipped=$((skipped + 1)) && echo "SKIP $name: $(tail -n 1 "$log")" ;;
        *) failed=$((failed + 1)) && echo "FAIL $name $(win_since "$t0")" && sed 's/^/    /' "$log" ;;
        esac
        # Anything of this test left running in the prefix goes with the test.
        wineserver -k 2>/dev/null
        wineserver -p 2>>"$e2e/wineserver.log"
    done
done
echo "windows e2e: $(win_since "$t_start")"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$passed" = 0 ] && echo "nothing was tested: no test could run on this machine" >&2
[ "$failed" = 0 ] && [ "$passed" -gt 0 ]
