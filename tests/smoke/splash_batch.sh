#!/bin/bash
# huelet-splash never writes over a file by surprise, batches a folder on several threads with
# the same bytes as single runs, and reads and writes pipes.
# Usage: bash splash_batch.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
TOOL="$BUILD/huelet-splash"
SAMPLE="$SOURCE/resources/samples/coffee.jpg"
for tool in cjpeg convert cmp; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
mkdir -p "$HOME"
cd "$WORK" || exit 1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
C=(--color 140,30,12 --thresholds 90,26,20)

# A few real photos of different kinds: baseline, progressive, greyscale, 4:4:4 from cjpeg, PNG.
mkdir in
cp "$SAMPLE" in/coffee.jpg
convert "$SAMPLE" -interlace JPEG in/progressive.jpg
convert "$SAMPLE" -colorspace Gray in/grey.jpg
convert "$SAMPLE" ppm:- | cjpeg -quality 85 -sample 1x1 >in/cjpeg.jpg
convert "$SAMPLE" -resize 50% in/small.png
inputs=(in/coffee.jpg in/progressive.jpg in/grey.jpg in/cjpeg.jpg in/small.png)

# Each single run, for the batches to match.
mkdir single
for f in "${inputs[@]}"; do
    name=$(basename "${f%.*}").jpg
    "$TOOL" "$f" "single/$name" "${C[@]}" || fail "single run of $f"
done

# --- batches: the same bytes as single runs, whatever the number of jobs ---
for jobs in 1 2; do
    "$TOOL" -o "batch$jobs" -j "$jobs" "${C[@]}" "${inputs[@]}" 2>err.txt || fail "-j $jobs: $(cat err.txt)"
    [ -s err.txt ] && fail "-j $jobs on a pipe printed: $(cat err.txt)"
    for f in single/*.jpg; do
        cmp -s "$f" "batch$jobs/$(basename "$f")" || fail "-j $jobs: $(basename "$f") differs from the single run"
    done
    [ "$(ls "batch$jobs" | wc -l)" -eq "${#inputs[@]}" ] || fail "-j $jobs: $(ls "batch$jobs")"
done
# The long forms, a folder made on the way, and --format for the outputs' extension.
"$TOOL" --output-dir new/sub --jobs=2 --format png "${C[@]}" in/coffee.jpg in/small.png || fail "--output-dir"
[ -s new/sub/coffee.png ] && [ -s new/sub/small.png ] || fail "--format png in a batch: $(ls new/sub)"
[ "$(head -c 4 new/sub/coffee.png | od -An -tx1 | tr -d ' ')" = "89504e47" ] || fail "coffee.png is not a PNG"

# One bad file: named on one line, the others written, exit 1, a summary.
echo "not a picture" >in/broken.jpg
"$TOOL" -o mixed -j 2 "${C[@]}" in/coffee.jpg in/broken.jpg in/grey.jpg 2>err.txt
[ $? -eq 1 ] || fail "a bad file in a batch: status not 1"
[ -s mixed/coffee.jpg ] && [ -s mixed/grey.jpg ] || fail "the good files of a batch were not written"
[ -e mixed/broken.jpg ] && fail "the bad file left an output"
grep -c 'broken\.jpg' err.txt | grep -qx 1 || fail "bad file not named once: $(cat err.txt)"
grep -qx 'huelet-splash: 2 written, 1 failed' err.txt || fail "summary: $(cat err.txt)"
cmp -s mixed/grey.jpg single/grey.jpg || fail "a file after the bad one differs"
rm in/broken.jpg

# --- refusals: the file named, nothing written, exit 1 ---
# Every name (hidden ones too), type, mode, link target and content below the folder.
snapshot() {
    find . -mindepth 1 ! -name out.txt ! -name err.txt -printf '%p %y %m %l\n' | sort
    find . -type f ! -name out.txt ! -name err.txt -exec md5sum {} + | sort
}
# refuse NAME ARGS...: exit 1, a message naming NAME, nothing written or changed.
refuse() {
    local name=$1
    shift
    snapshot >before.lst
    "$TOOL" "$@" >out.txt 2>err.txt
    local got=$?
    snapshot >after.lst
    [ "$got" -eq 1 ] || fail "status $got, expected 1: $*"
    grep -qF "\"$name\"" err.txt || fail "refusal does not name $name: $(cat err.txt)"
    diff before.lst after.lst | grep -v '\.lst' | grep -q '^[<>]' && fail "refused run changed files: $*"
}
mkdir guard
cp "$SAMPLE" guard/photo.jpg
ln -s photo.jpg guard/link.jpg
ln guard/photo.jpg guard/hard.jpg
cp guard/photo.jpg guard/before.jpg
refuse guard/photo.jpg guard/photo.jpg guard/photo.jpg "${C[@]}"
refuse guard/./photo.jpg guard/photo.jpg guard/./photo.jpg "${C[@]}" --force
refuse guard/link.jpg guard/photo.jpg guard/link.jpg "${C[@]}" --force
refuse guard/hard.jpg guard/photo.jpg guard/hard.jpg "${C[@]}" --force
refuse guard/photo.jpg guard/link.jpg guard/photo.jpg "${C[@]}" -f
refuse guard/hard.jpg - guard/hard.jpg "${C[@]}" --force <guard/photo.jpg
refuse guard/photo.jpg guard/photo.jpg out.jpg "${C[@]}" --mask guard/photo.jpg --force
# In a batch: an output that is an input, found before anything is written.
refuse guard/photo.jpg -o guard -f "${C[@]}" in/coffee.jpg guard/photo.jpg
cmp -s guard/photo.jpg guard/before.jpg || fail "an input was changed"
[ -L guard/link.jpg ] || fail "the link was replaced"
# Existing outputs without --force, in a single run and in a batch (all named, none written).
cp single/coffee.jpg exists.jpg
refuse exists.jpg in/grey.jpg exists.jpg "${C[@]}"
cmp -s exists.jpg single/coffee.jpg || fail "an existing output was replaced without --force"
mkdir partly
cp single/grey.jpg partly/grey.jpg
refuse partly/grey.jpg -o partly "${C[@]}" in/coffee.jpg in/grey.jpg
[ -e partly/coffee.jpg ] && fail "a batch with a refused output wrote another"
# Two inputs with one output name.
mkdir twin
cp in/coffee.jpg twin/grey.jpg
refuse twin/grey.jpg -o clash "${C[@]}" in/grey.jpg twin/grey.jpg
refuse in/coffee.jpg -o clash "${C[@]}" in/coffee.jpg in/coffee.jpg
[ -e clash ] && fail "a refused batch made its folder"

# --- --force replaces through the one routine: mode and links kept ---
cp single/coffee.jpg kept.jpg
chmod 600 kept.jpg
ln -s kept.jpg kept-link.jpg
"$TOOL" in/grey.jpg kept.jpg "${C[@]}" --force || fail "--force run"
[ "$(stat -c %a kept.jpg)" = 600 ] || fail "--force changed the mode to $(stat -c %a kept.jpg)"
cmp -s kept.jpg single/grey.jpg || fail "--force did not write the new result"
"$TOOL" in/cjpeg.jpg kept-link.jpg "${C[@]}" -f || fail "--force through a link"
[ -L kept-link.jpg ] || fail "--force replaced the link by a file"
cmp -s kept.jpg single/cjpeg.jpg || fail "--force through a link did not replace its target"
[ "$(stat -c %a kept.jpg)" = 600 ] || fail "--force through a link changed the mode"

# --- pipes: the same bytes as files ---
cat in/coffee.jpg | "$TOOL" - - "${C[@]}" >piped.jpg || fail "cat | - -"
cmp -s piped.jpg single/coffee.jpg || fail "- - differs from the file run"
cat in/progressive.jpg | "$TOOL" /dev/stdin piped2.jpg "${C[@]}" || fail "/dev/stdin from a pipe"
cmp -s piped2.jpg single/progressive.jpg || fail "/dev/stdin differs from the file run"
"$TOOL" - piped3.jpg "${C[@]}" <in/grey.jpg || fail "- from a redirected file"
cmp -s piped3.jpg single/grey.jpg || fail "- from a file differs"
"$TOOL" in/cjpeg.jpg - "${C[@]}" | cat >piped4.jpg || fail "OUT - into a pipe"
cmp -s piped4.jpg single/cjpeg.jpg || fail "OUT - differs"
cat in/small.png | "$TOOL" - - "${C[@]}" --format png | cat >piped5.png || fail "PNG through pipes"
"$TOOL" in/small.png file5.png "${C[@]}" || fail "PNG to PNG"
cmp -s piped5.png file5.png || fail "PNG through pipes differs from files"
# A picture larger than a pipe's buffer many times over, a few bytes at a time.
convert "$SAMPLE" -resize 300% big.jpg
"$TOOL" big.jpg big-file.jpg "${C[@]}" || fail "big file"
(dd if=big.jpg bs=997 status=none) | "$TOOL" - - "${C[@]}" >big-pipe.jpg || fail "big pipe"
cmp -s big-file.jpg big-pipe.jpg || fail "a big picture through a pipe differs"

# --- PNG of every colour type (16-bit too) reads as ImageMagick reads it, through pipes too ---
convert "$SAMPLE" -resize 25% png-rgb.png
convert png-rgb.png -colors 64 PNG8:png-palette.png
convert png-rgb.png -colorspace Gray PNG8:png-grey.png
convert png-rgb.png -colorspace Gray -alpha set -channel A -evaluate set 50% +channel \
    -define png:color-type=4 png-grey-alpha.png
convert png-rgb.png -alpha set -channel A -evaluate set 50% +channel PNG32:png-rgba.png
convert png-rgb.png -depth 16 PNG48:png-16bit.png
convert png-rgb.png -interlace PNG png-interlaced.png
for f in png-*.png; do
    # Thresholds of 255 keep every pixel: the result is the picture as read.
    "$TOOL" - "${f%.png}.ppm" --color 0,0,0 --thresholds 255,255,255 <"$f" || fail "$f: status $?"
    convert "$f" -alpha off -depth 8 "${f%.png}-ref.ppm"
    cmp -s "${f%.png}.ppm" "${f%.png}-ref.ppm" || fail "$f reads other colours than ImageMagick's"
done

# --- the streamed JPEG route gives the whole-picture route's bytes (a mask forces the latter) ---
convert "$SAMPLE" -colorspace CMYK in/cmyk.jpg
head -c 20000 "$SAMPLE" >in/truncated.jpg
for f in in/*.jpg; do
    for filter in "" --filter; do
        "$TOOL" "$f" streamed.jpg "${C[@]}" $filter -f 2>/dev/null || fail "$f $filter streamed"
        "$TOOL" "$f" whole.jpg "${C[@]}" $filter --mask whole-mask.pgm -f 2>/dev/null || fail "$f $filter whole"
        cmp -s streamed.jpg whole.jpg || fail "$f $filter: streamed and whole-picture results differ"
    done
done

# --- a terminal: no picture on it; progress shown on it ---
if script -qec true /dev/null >/dev/null 2>&1; then
    script -qec "'$TOOL' '$SAMPLE' - ${C[*]}" /dev/null >tty.txt 2>&1
    [ $? -eq 1 ] || fail "writing a picture to a terminal was not refused"
    grep -q "terminal" tty.txt || fail "terminal refusal: $(cat tty.txt)"
    script -qec "'$TOOL' -o ttybatch -j 1 ${C[*]} in/coffee.jpg in/grey.jpg" /dev/null >tty.txt 2>&1
    grep -q '\[2/2\] grey.jpg' tty.txt || fail "no progress on a terminal: $(cat -v tty.txt)"
    grep -q '2 written, 0 failed' tty.txt || fail "no summary on a terminal: $(cat -v tty.txt)"
else
    echo "skipped the terminal cases: no pseudo-terminal"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "splash batch smoke: all passed"
