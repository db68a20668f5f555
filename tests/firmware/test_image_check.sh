#!/bin/bash
# The firmware build's image check: an image holding "!!!" fails with the address named; the
# same three bytes split across byte boundaries (12 12 12 reads 212121 in hex) pass.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
script=$VALDORA_SOURCE_DIR/firmware/check_image.cmake
run() { printf "$1" >"$tmp/image.bin"; cmake -DIMAGE="$tmp/image.bin" -P "$script" 2>&1; }
out=$(run 'ab\x12\x12\x12cd!!x!!') || { echo "FAIL: a clean image was refused: $out"; exit 1; }
out=$(run 'abcde!!!f') && { echo "FAIL: an image with !!! passed"; exit 1; }
grep -q 'holds the bytes "!!!" at 0x5' <<<"$out" || { echo "FAIL: address not named: $out"; exit 1; }
echo "ok: !!! at 0x5 refused, split bytes passed"
