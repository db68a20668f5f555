#!/bin/bash
# Runs one of the Windows programs under Wine in place of the Linux program of the same name,
# for the end-to-end harness (windows/test.sh writes one small launcher per name that calls it):
#   launch.sh WINE_LOADER FOLDER NAME [ARGUMENTS...]
# The program is taken from FOLDER/exe-$VALDORA_WIN_DLL: "both" driver libraries (the default),
# K8055D_C.dll only ("c") or K8055D.dll only ("std").
# The IPC folder and absolute paths among the arguments become paths on Wine's Z: drive (the
# root of this machine).
set -o pipefail
loader=$1 folder=$2/exe-${VALDORA_WIN_DLL:-both} name=$3
shift 3
winpath() { case "$1" in /*) printf 'Z:%s' "${1//\//\\}" ;; *) printf '%s' "$1" ;; esac; }
[ -z "${VALDORA_IPC_DIR:-}" ] || export VALDORA_IPC_DIR="$(winpath "$VALDORA_IPC_DIR")"
args=()
for a in "$@"; do args+=("$(winpath "$a")"); done
exe=$folder/$name.exe
# The program and the simulator's server are this very process, so signals reach them and
# their exit status comes back; the commands' console output has its CR LF turned into LF.
if [ "$name" = valdora ] || { [ "$name" = valdora-sim ] && [[ "${1:--}" == -* ]]; }; then
    exec "$loader" "$exe" "${args[@]+"${args[@]}"}"
fi
"$loader" "$exe" "${args[@]+"${args[@]}"}" | sed -u 's/\r$//'
