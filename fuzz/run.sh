#!/bin/bash
# Builds the fuzz targets (clang, libFuzzer, ASan and UBSan, in a build folder of their own)
# and runs each for the given number of seconds (default 60), starting from the seed corpus in
# fuzz/corpus/<target>/. New inputs found go to <build>/corpus/<target>/, crashes to
# <build>/crashes/. Exits 1 when any target crashed or could not be built.
#
#   fuzz/run.sh [--build-dir DIR] [--only TARGET] [SECONDS]
#
# Rerun a crash:  <build>/fuzz/<target> <build>/crashes/<file>
set -u -o pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-fuzz"
only=""
seconds=60
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build_dir="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) seconds="$1"; shift ;;
    esac
done
targets="fuzz_settings fuzz_reply_walk fuzz_sim_block fuzz_server_frames fuzz_client_reply fuzz_serial_frames"
[ -n "$only" ] && targets="$only"

command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (apt-get install clang libclang-rt-14-dev)" >&2; exit 1; }

echo "fuzz: building in $build_dir"
CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -DVALDORA_FUZZ=ON -DVALDORA_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build_dir.cmake.log" 2>&1 ||
    { cat "$build_dir.cmake.log" >&2; exit 1; }
rm -f "$build_dir.cmake.log"
# shellcheck disable=SC2086
cmake --build "$build_dir" -j"$(nproc)" --target $targets >"$build_dir/fuzz-build.log" 2>&1 ||
    { tail -n 60 "$build_dir/fuzz-build.log" >&2; exit 1; }

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$build_dir/crashes"
failed=0
passed=0
for t in $targets; do
    mkdir -p "$build_dir/corpus/$t"
    echo "fuzz: $t for $seconds s"
    "$build_dir/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$build_dir/crashes/$t-" \
        "$build_dir/corpus/$t" "$here/corpus/$t" >"$build_dir/$t.log" 2>&1 &
    pid=$!
    wait "$pid"
    rc=$?
    # A crashed target cannot remove its shared blocks; they carry its process id.
    rm -f "/dev/shm/FsasmLib:IPC:$(printf '%X' "$pid"):"* "/dev/shm/FsasmLib:IPC:F022:$(printf '%X' "$pid")"
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)" "$build_dir/$t.log" | tr -s " " | paste -sd " " | sed "s/^/fuzz: $t: /"
    if [ "$rc" -ne 0 ]; then
        echo "fuzz: $t FAILED (exit $rc); log $build_dir/$t.log" >&2
        grep -E "ERROR|runtime error|SUMMARY|Test unit written" "$build_dir/$t.log" | head -n 20 >&2
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
