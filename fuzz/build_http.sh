#!/bin/bash
# Builds the HTTP response fuzzer with clang (libFuzzer, ASan, UBSan) into OUT (default
# build-fuzz/ beside the sources) and, when a time in seconds is given, runs it that long.
#   fuzz/build_http.sh [SECONDS]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
out="${OUT:-$src/build-fuzz}"
mkdir -p "$out/corpus_http"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$src" "$src/fuzz/fuzz_http_response.cpp" "$src/update/http_parser.cpp" \
    -o "$out/fuzz_http_response"

# A few seeds so the fuzzer starts from real responses.
seed() { printf '%b' "$2" > "$out/corpus_http/$1"; }
seed length '\x05\x20HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1.10.4.24'
seed chunked '\x03\x21HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=1\r\n1.10\r\n0\r\nT: 1\r\n\r\n'
seed close '\x01\x41HTTP/1.0 404 Not Found\r\nX: a\r\n b\r\n\r\n<html></html>'
seed redirect '\x10\x30HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 301 Moved\r\nLocation: //h/x\r\n\r\n'
seed url 'https://user:pw@[::1]:8443/a/b?c=d#e\n../x?y'

echo "built $out/fuzz_http_response"
if [ $# -ge 1 ]; then
    "$out/fuzz_http_response" -max_total_time="$1" -max_len=4096 -print_final_stats=1 \
        "$out/corpus_http"
fi
