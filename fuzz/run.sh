#!/bin/bash
# Builds the fuzz targets (clang, libFuzzer, ASan and UBSan, in a build folder of their own)
# and runs each for the given number of seconds (default 10, 300 with VALDORA_LONG=1) in a
# private working and endpoint folder (in /dev/shm where there is one), starting from the seed corpus in fuzz/corpus/<target>/.
# New inputs go to <build>/corpus/<target>/, crashes to <build>/crashes/. Exits 1 when any
# target crashed or could not be built; skips, saying so, where clang's fuzzer is missing.
#   fuzz/run.sh [--build-dir DIR] [--only "TARGET..."] [SECONDS]
# Rerun a crash:  <build>/fuzz/<target> <build>/crashes/<file>
set -u -o pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build_dir="$(dirname "$here")/build-fuzz" seconds=10
[ "${VALDORA_LONG:-0}" = 1 ] && seconds=300
targets="fuzz_reply_walk fuzz_client_reply fuzz_serial_frames fuzz_web_message fuzz_profile
         fuzz_net_answer"
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build_dir="$2"; shift 2 ;;
    --only) targets="$2"; shift 2 ;;
    *) seconds="$1"; shift ;;
    esac
done
command -v clang++ >/dev/null || { echo "fuzz: SKIP: no clang++ (apt-get install clang)"; exit 0; }
mkdir -p "$build_dir/crashes"
{ CC=clang CXX=clang++ cmake -S "$(dirname "$here")" -B "$build_dir" -DVALDORA_FUZZ=ON \
    -DVALDORA_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$build_dir" -j"$(nproc)" --target $targets; } >"$build_dir/fuzz-build.log" 2>&1 ||
    { tail -n 60 "$build_dir/fuzz-build.log" >&2; exit 1; }
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
for t in $targets; do
    mkdir -p "$build_dir/corpus/$t"
    work="$(mktemp -d /dev/shm/valdora-fuzz.XXXXXX 2>/dev/null || mktemp -d)"
    (cd "$work" && VALDORA_IPC_DIR="$work" exec "$build_dir/fuzz/$t" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$build_dir/crashes/$t-" "$build_dir/corpus/$t" "$here/corpus/$t") \
        >"$build_dir/$t.log" 2>&1 &
    pid=$!
    wait $pid
    rc=$?
    # A target's shared blocks carry its process id; a crashed one cannot remove them.
    rm -rf "$work" "/dev/shm/FsasmLib:IPC:$(printf '%X' $pid):"*
    grep -E "^stat::(number_of_executed_units|new_units_added)" "$build_dir/$t.log" | tr -s " " | paste -sd " " | sed "s/^/fuzz: $t: /"
    [ $rc = 0 ] || { failed=$((failed + 1)); echo "fuzz: $t FAILED (exit $rc); log $build_dir/$t.log" >&2; grep -E "ERROR|runtime error|SUMMARY" "$build_dir/$t.log" | head -n 20 >&2; }
done
echo "fuzz: $failed of $(echo $targets | wc -w) targets failed"
[ "$failed" -eq 0 ]
