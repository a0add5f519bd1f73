#!/bin/bash
# A folder of 16 photos through huelet-splash -o, with -j 1 and with -j 2, side by side in one
# run. Uses hyperfine when installed (it is not needed to build or test Huelet), otherwise a
# timing loop that alternates the two so drift spreads over both.
#
#   bench/batch.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rounds=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
tool=$build/huelet-splash
data=$build/bench-data/batch
mkdir -p "$data/in"
if [ ! -s "$data/in/photo16.jpg" ]; then
    # The bundled sample at 6 megapixels with some grain, so it compresses like a photo; 16
    # files of slightly different content so no cache favours the later ones.
    convert "$here/../resources/samples/coffee.jpg" -filter Lanczos -resize 3000x2000! \
        -attenuate 0.4 +noise Gaussian ppm:- >"$data/big.ppm"
    for i in $(seq 1 16); do
        convert "$data/big.ppm" -roll +$((i * 37))+0 ppm:- |
            cjpeg -quality 92 -outfile "$data/in/photo$i.jpg"
    done
    rm -f "$data/big.ppm"
fi
args=(--color 140,30,12 --thresholds 90,26,20 -f)
echo "$(nproc) processors online; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$tool" -o "$data/out1" -j 1 "${args[@]}" "$data"/in/*.jpg
"$tool" -o "$data/out2" -j 2 "${args[@]}" "$data"/in/*.jpg
diff -r "$data/out1" "$data/out2" >/dev/null && echo "-j 1 and -j 2 wrote the same bytes"

if command -v hyperfine >/dev/null; then
    hyperfine --warmup 1 --runs "$rounds" \
        -n "jobs 1" "'$tool' -o '$data/out1' -j 1 ${args[*]} $data/in/*.jpg" \
        -n "jobs 2" "'$tool' -o '$data/out2' -j 2 ${args[*]} $data/in/*.jpg"
else
    declare -A times
    for ((i = 0; i < rounds; i++)); do
        for j in 1 2; do
            start=$(date +%s.%N)
            "$tool" -o "$data/out$j" -j $j "${args[@]}" "$data"/in/*.jpg
            times[$j]+="$(echo "$(date +%s.%N) - $start" | bc -l) "
        done
    done
    median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
    m1=$(median <<<"${times[1]}")
    m2=$(median <<<"${times[2]}")
    printf -- '-j 1: %.3f s   -j 2: %.3f s   (medians of %d)\n' "$m1" "$m2" "$rounds"
    echo "-j 2 is $(echo "scale=2; $m1 / $m2" | bc -l) x faster than -j 1"
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
