#!/bin/bash
# Builds the version-resource reader fuzzer with clang, libFuzzer, ASan and UBSan.
# Usage: fuzz/build_versioninfo.sh [OUTPUT_DIR]   (default: build-fuzz beside the sources)
# Seeds (well-formed PE, ELF and bare blocks) go to OUTPUT_DIR/versioninfo-seeds. Run with e.g.
#   OUTPUT_DIR/fuzz_versioninfo -max_total_time=300 CORPUS_DIR OUTPUT_DIR/versioninfo-seeds
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
out="${1:-$root/build-fuzz}"
mkdir -p "$out"
CXX="${CXX:-clang++}"
"$CXX" -std=c++20 -g -O1 -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I "$root" \
    "$here/fuzz_versioninfo.cpp" "$root/platform/versioninfo.cpp" \
    -o "$out/fuzz_versioninfo"
"$CXX" -std=c++20 -g -O1 -Wall -Wextra -I "$root" \
    "$here/make_versioninfo_seeds.cpp" "$root/platform/versioninfo.cpp" \
    -o "$out/make_versioninfo_seeds"
mkdir -p "$out/versioninfo-seeds"
"$out/make_versioninfo_seeds" "$out/versioninfo-seeds"
echo "built $out/fuzz_versioninfo, seeds in $out/versioninfo-seeds"
