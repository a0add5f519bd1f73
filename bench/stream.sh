#!/bin/bash
# JPEG to JPEG on a 24-megapixel photo, every route side by side in one run, each in its own
# process (for its peak memory), round after round so drift spreads over all of them:
# decode alone and encode alone (the codec's floor), the streamed splash, the whole-picture
# route, both with the mask filter too, and the libvips peer (with its default thread pool and with one thread).
#
#   bench/stream.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build}
rounds=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
data=$build/bench-data
mkdir -p "$data"
photo=$data/photo24.jpg
if [ ! -s "$photo" ]; then
    # The bundled sample enlarged ten times, with some grain so it compresses like a photo.
    convert "$here/../resources/samples/coffee.jpg" -filter Lanczos -resize 6000x4000! \
        -attenuate 0.4 +noise Gaussian ppm:- | cjpeg -quality 92 -outfile "$photo"
fi
color=140,30,12
thresholds=90,26,20
out=$data/out
declare -A wall cpu rss
run() { # name command...
    local name=$1
    shift
    local line
    line=$("$@" | tail -n 1)
    read -r _ _ w _ c _ m <<<"$line"
    wall[$name]+="$w "
    cpu[$name]+="$c "
    rss[$name]+="$m "
}
for ((i = 0; i < rounds; i++)); do
    for route in decode encode stream whole filter-stream filter-whole; do
        run $route "$build/bench/bench_stream" $route "$photo" "$out-$route.jpg" $color $thresholds
    done
    run vips "$build/bench/vips_splash" "$photo" "$out-vips.jpg" $color $thresholds
    VIPS_CONCURRENCY=1 run vips1 "$build/bench/vips_splash" "$photo" "$out-vips1.jpg" $color $thresholds
done
cmp "$out-stream.jpg" "$out-whole.jpg" && echo "streamed output = whole-picture output, byte for byte"
cmp "$out-filter-stream.jpg" "$out-filter-whole.jpg" && echo "the same with the filter"
median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
range() { tr ' ' '\n' | grep . | sort -g | awk 'NR==1{lo=$1} {hi=$1} END {print lo ".." hi}'; }
declare -A W C M
printf '%-13s %22s %22s %10s\n' route "wall ms (min..max)" "cpu ms (min..max)" "peak MiB"
for r in decode encode stream whole filter-stream filter-whole vips vips1; do
    W[$r]=$(median <<<"${wall[$r]}")
    C[$r]=$(median <<<"${cpu[$r]}")
    M[$r]=$(median <<<"${rss[$r]}")
    printf '%-13s %8s (%s) %8s (%s) %10.1f\n' $r "${W[$r]}" "$(range <<<"${wall[$r]}")" \
        "${C[$r]}" "$(range <<<"${cpu[$r]}")" "$(echo "${M[$r]} / 1024" | bc -l)"
done
ratio() { echo "scale=2; $1 / $2" | bc -l; }
floorW=$(echo "${W[decode]} + ${W[encode]}" | bc -l)
floorC=$(echo "${C[decode]} + ${C[encode]}" | bc -l)
echo "floor (decode + encode): wall $floorW ms, cpu $floorC ms"
echo "stream / floor: wall $(ratio "${W[stream]}" "$floorW"), cpu $(ratio "${C[stream]}" "$floorC")"
echo "whole / floor:  wall $(ratio "${W[whole]}" "$floorW"), cpu $(ratio "${C[whole]}" "$floorC")"
echo "filter-stream / floor: wall $(ratio "${W[filter-stream]}" "$floorW"), cpu $(ratio "${C[filter-stream]}" "$floorC")"
echo "vips / stream:  wall $(ratio "${W[vips]}" "${W[stream]}"), cpu $(ratio "${C[vips]}" "${C[stream]}")"
echo "vips (1 thread) / stream: wall $(ratio "${W[vips1]}" "${W[stream]}"), cpu $(ratio "${C[vips1]}" "${C[stream]}")"
