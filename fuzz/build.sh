#!/bin/bash
# Builds the picture-reader fuzzer with clang, libFuzzer, ASan and UBSan.
# Usage: fuzz/build.sh [OUTPUT_DIR]   (default: build-fuzz beside the sources)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
out="${1:-$root/build-fuzz}"
mkdir -p "$out"
CXX="${CXX:-clang++}"
# A lower pixel limit keeps the fuzzer away from legitimately huge (and slow) pictures.
"$CXX" -std=c++20 -g -O1 -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -DHUELET_DECODE_MAX_PIXELS=1000000 \
    -I "$root" \
    "$here/fuzz_read_picture.cpp" \
    "$root/engine/bitmap32.cpp" "$root/engine/jpeg_codec.cpp" "$root/engine/bmp_codec.cpp" \
    -ljpeg -o "$out/fuzz_read_picture"
echo "built $out/fuzz_read_picture"
