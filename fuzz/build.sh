#!/bin/bash
# Builds the fuzzers with clang, libFuzzer, ASan and UBSan, and writes their seed corpora.
# Usage: fuzz/build.sh [OUTPUT_DIR]   (default: build-fuzz beside the sources)
#   OUTPUT_DIR/fuzz_read_picture     ReadPictureFile   (seeds: fuzz/make_seeds.sh CORPUS_DIR)
#   OUTPUT_DIR/fuzz_exif             EXIF walker       (seeds: fuzz/seeds/exif)
#   OUTPUT_DIR/fuzz_versioninfo      version-resource readers (seeds: OUTPUT_DIR/versioninfo-seeds)
#   OUTPUT_DIR/fuzz_http_response    HTTP response parser     (seeds: OUTPUT_DIR/corpus_http)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
out="${1:-$root/build-fuzz}"
mkdir -p "$out"
CXX="${CXX:-clang++}"

# fuzzer NAME SOURCES... [-flags]: one libFuzzer program from fuzz/NAME.cpp and the sources.
fuzzer() {
    local name=$1
    shift
    "$CXX" -std=c++20 -g -O1 -Wall -Wextra \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I "$root" "$here/$name.cpp" "$@" -o "$out/$name"
    echo "built $out/$name"
}

# A lower pixel limit keeps the picture fuzzer away from legitimately huge (and slow) pictures.
fuzzer fuzz_read_picture -DHUELET_DECODE_MAX_PIXELS=1000000 \
    "$root/engine/bitmap32.cpp" "$root/engine/jpeg_codec.cpp" "$root/engine/bmp_codec.cpp" \
    "$root/engine/jpeg_metadata.cpp" "$root/engine/exif.cpp" -ljpeg
fuzzer fuzz_exif "$root/engine/exif.cpp"
fuzzer fuzz_versioninfo "$root/platform/versioninfo.cpp"
fuzzer fuzz_http_response "$root/update/http_parser.cpp"

# Seeds: well-formed PE, ELF and bare version blocks ...
"$CXX" -std=c++20 -g -O1 -Wall -Wextra -I "$root" \
    "$here/make_versioninfo_seeds.cpp" "$root/platform/versioninfo.cpp" \
    -o "$out/make_versioninfo_seeds"
mkdir -p "$out/versioninfo-seeds"
"$out/make_versioninfo_seeds" "$out/versioninfo-seeds"

# ... and a few real HTTP responses.
mkdir -p "$out/corpus_http"
seed() { printf '%b' "$2" >"$out/corpus_http/$1"; }
seed length '\x05\x20HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1.10.4.24'
seed chunked '\x03\x21HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=1\r\n1.10\r\n0\r\nT: 1\r\n\r\n'
seed close '\x01\x41HTTP/1.0 404 Not Found\r\nX: a\r\n b\r\n\r\n<html></html>'
seed redirect '\x10\x30HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 301 Moved\r\nLocation: //h/x\r\n\r\n'
seed url 'https://user:pw@[::1]:8443/a/b?c=d#e\n../x?y'
