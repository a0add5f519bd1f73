#!/bin/bash
# huelet-splash and the photograph's metadata: kept by default, --strip, --quality,
# --auto-orient against ImageMagick's own turns, warnings, and inputs refused before decoding.
# Usage: bash splash_metadata.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$(cd "$1" && pwd)
SAMPLE="$(cd "$2" && pwd)/resources/samples/coffee.jpg"
TOOL="$BUILD/huelet-splash"
PROFILE=/usr/share/color/icc/compatibleWithAdobeRGB1998.icc
for tool in exiftool convert cjpeg; do
    command -v $tool >/dev/null || { echo "$tool is needed"; exit 1; }
done
[ -f "$PROFILE" ] || { echo "icc-profiles-free is needed"; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
mkdir -p "$HOME"
cd "$WORK" || exit 1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
tags() { exiftool -n -s -s -Make -Model -DateTimeOriginal -Orientation -Creator -Comment \
    -ProfileDescription -ThumbnailLength "$1" | sort; }
KEEP="--color 0,0,0 --thresholds 255,255,255" # keeps every pixel as decoded

# A phone photo: camera EXIF with a thumbnail, portrait orientation, XMP, Adobe RGB, a comment.
convert -size 16x8 xc:green thumb.ppm
cp "$SAMPLE" photo.jpg && cjpeg -outfile thumb.jpg thumb.ppm
exiftool -q -overwrite_original -Make=Norcam -Model="N 7" -DateTimeOriginal="2024:05:06 07:08:09" \
    -Orientation#=6 -XMP-dc:Creator="Ann Example" -Comment="first light" \
    "-ThumbnailImage<=thumb.jpg" "-ICC_Profile<=$PROFILE" photo.jpg

# Kept by default, without the thumbnail; the profile byte for byte.
"$TOOL" photo.jpg kept.jpg $KEEP 2>err.txt || fail "default run: $(cat err.txt)"
[ -s err.txt ] && fail "warnings for a sound photo: $(cat err.txt)"
tags photo.jpg | grep -v ThumbnailLength >want.txt
tags kept.jpg >got.txt
cmp -s want.txt got.txt || fail "metadata changed: $(diff want.txt got.txt | tr '\n' ' ')"
exiftool -b -ICC_Profile kept.jpg >kept.icc
cmp -s kept.icc "$PROFILE" || fail "ICC profile not byte-exact"

# --strip: no metadata; and the same pixels either way.
"$TOOL" photo.jpg stripped.jpg $KEEP --strip || fail "--strip run"
[ -z "$(exiftool -s -s -EXIF:all -XMP:all -ICC_Profile:all -Comment stripped.jpg)" ] ||
    fail "--strip left metadata"
djpeg -outfile kept.ppm kept.jpg && djpeg -outfile stripped.ppm stripped.jpg
cmp -s kept.ppm stripped.ppm || fail "metadata changed the exported pixels"

# --quality changes the compression, not the size or the metadata.
"$TOOL" photo.jpg q50.jpg $KEEP --quality 50 || fail "--quality 50"
[ "$(stat -c %s q50.jpg)" -lt "$(stat -c %s kept.jpg)" ] || fail "--quality 50 is not smaller"
[ "$(exiftool -s3 -Make q50.jpg)" = "Norcam" ] || fail "--quality dropped metadata"
for bad in 0 101 x 9.5 ""; do
    "$TOOL" photo.jpg bad.jpg $KEEP --quality "$bad" 2>/dev/null
    [ $? -eq 2 ] || fail "--quality '$bad' accepted"
done

# --auto-orient: the pixels ImageMagick's turn of the decoded picture gives; orientation 1.
"$TOOL" photo.jpg upright.ppm $KEEP || fail "decode to ppm"
turns=([2]=-flop [3]="-rotate 180" [4]=-flip [5]=-transpose [6]="-rotate 90" [7]=-transverse
    [8]="-rotate 270")
for o in 2 3 4 5 6 7 8; do
    cp photo.jpg o.jpg
    exiftool -q -overwrite_original -Orientation#=$o o.jpg
    "$TOOL" o.jpg turned.ppm $KEEP --auto-orient --force || fail "--auto-orient $o"
    convert upright.ppm ${turns[$o]} expected.ppm
    cmp -s turned.ppm expected.ppm || fail "--auto-orient $o: pixels differ from convert ${turns[$o]}"
    "$TOOL" o.jpg turned.jpg $KEEP --auto-orient --force || fail "--auto-orient $o to jpeg"
    [ "$(exiftool -n -s3 -Orientation turned.jpg)" = 1 ] || fail "--auto-orient $o: orientation not 1"
    [ "$(exiftool -s3 -Make turned.jpg)" = "Norcam" ] || fail "--auto-orient $o: EXIF lost"
done

# Damage: one warning line naming the file, status 0, the result written.
size=$(stat -c %s photo.jpg)
head -c $((size * 4 / 10)) photo.jpg >cut.jpg
rm -f cut-out.jpg
"$TOOL" cut.jpg cut-out.jpg --color 1,2,3 2>err.txt || fail "truncated input: status $?"
[ -s cut-out.jpg ] || fail "truncated input: no result"
[ "$(wc -l <err.txt)" -eq 1 ] || fail "expected one warning line: $(cat err.txt)"
grep -q '^huelet-splash: warning: cut.jpg: .*Premature end of JPEG file' err.txt ||
    fail "warning line: $(cat err.txt)"

# Sizes the output cannot hold are refused at once, naming the file and the reason.
bmp() { # WIDTH HEIGHT: a 32-bit "BM" header and no pixels
    printf 'BM\x36\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0'
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($2 & 255)) $(($2 >> 8 & 255)) $(($2 >> 16 & 255)) $(($2 >> 24 & 255)))"
    printf '\x01\0\x20\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
}
bmp 268435456 1 >wide.bmp
bmp 0 5 >empty.bmp
for case in "wide.bmp:65500" "empty.bmp:empty picture"; do
    file=${case%%:*} reason=${case#*:}
    "$TOOL" "$file" out.jpg --color 1,2,3 2>err.txt
    [ $? -eq 1 ] || fail "$file: not refused"
    grep -q "$file.*$reason" err.txt || fail "$file: message $(cat err.txt)"
    [ -e out.jpg ] && fail "$file: output written"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "splash metadata smoke: all passed"
