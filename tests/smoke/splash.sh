#!/bin/bash
# huelet-splash end to end: good runs, the bundled sample, bad arguments and failing files.
# Usage: bash splash.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$(cd "$1" && pwd)
SOURCE=$(cd "$2" && pwd)
TOOL="$BUILD/huelet-splash"
SAMPLE="$SOURCE/resources/samples/coffee.jpg"

WORK=$(mktemp -d)
trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
mkdir -p "$HOME"
cd "$WORK" || exit 1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run EXPECTED_STATUS ARGS...: runs the tool, keeps stdout/stderr in out.txt/err.txt.
run() {
    local want=$1
    shift
    "$TOOL" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt"
    local got=$?
    [ "$got" -eq "$want" ] || fail "status $got, expected $want: $*  ($(cat "$WORK/err.txt"))"
}

# A failed run writes one line on stderr, naming the program, and leaves no file behind.
expect_error() {
    local want=$1 leftover=$2
    shift 2
    run "$want" "$@"
    [ "$(wc -l <"$WORK/err.txt")" -eq 1 ] || fail "expected one stderr line for: $*"
    grep -q '^huelet-splash: ' "$WORK/err.txt" || fail "message without program name: $*"
    [ ! -e "$leftover" ] || fail "$leftover left behind by: $*"
    if ls -A "$(dirname "$leftover")" 2>/dev/null | grep -q '^\.'; then
        fail "temporary file left in $(dirname "$leftover") by: $*"
    fi
}

header_of() { head -c 15 "$1" | tr '\n' ' '; }

# --- good runs ---
mkdir good
run 0 "$SAMPLE" good/result.jpg --color 140,30,12 --thresholds 90,26,20
[ "$(head -c 3 good/result.jpg | od -An -tx1 | tr -d ' ')" = "ffd8ff" ] || fail "result.jpg is not a JPEG"

run 0 "$SAMPLE" good/result.ppm --color 140,30,12 --thresholds=90,26,20 --mask good/mask.pgm
[ "$(header_of good/result.ppm)" = "P6 600 400 255 " ] || fail "ppm header: $(header_of good/result.ppm)"
[ "$(stat -c %s good/result.ppm)" -eq $((15 + 600 * 400 * 3)) ] || fail "ppm size"
[ "$(header_of good/mask.pgm)" = "P5 600 400 255 " ] || fail "pgm header"
# A mask holds only black and white.
tail -c $((600 * 400)) good/mask.pgm | od -An -v -tu1 | tr -s ' ' '\n' | grep -v '^$' | sort -u >levels.txt
[ "$(tr '\n' ' ' <levels.txt)" = "0 255 " ] || fail "mask levels: $(tr '\n' ' ' <levels.txt)"

# The filter changes the mask, and the new files are readable by everyone as usual.
run 0 "$SAMPLE" good/filtered.ppm --filter --color 140,30,12 --thresholds 90,26,20 --mask good/filtered-mask.pgm
cmp -s good/mask.pgm good/filtered-mask.pgm && fail "--filter left the mask unchanged"
cmp -s good/result.ppm good/filtered.ppm && fail "--filter left the result unchanged"
[ "$(stat -c %a good/filtered.ppm)" = "$(printf '%o' $((0666 & ~$(umask))))" ] ||
    fail "new file mode $(stat -c %a good/filtered.ppm)"

# Thresholds of 255 keep every pixel: the result equals the input decoded.
run 0 "$SAMPLE" good/all.ppm --color 0,0,0 --thresholds 255,255,255 --mask good/all-mask.pgm
tail -c $((600 * 400)) good/all-mask.pgm | od -An -v -tu1 | tr -s ' ' '\n' | grep -v '^$' | sort -u >levels.txt
[ "$(tr '\n' ' ' <levels.txt)" = "255 " ] || fail "thresholds 255 did not select everything"
# A Central Color far outside 0..255 selects nothing: the result is grey everywhere.
run 0 "$SAMPLE" good/none.pgm --color 1000,1000,1000 --thresholds 0,0,0 --mask good/none-mask.pgm
tail -c $((600 * 400)) good/none-mask.pgm | od -An -v -tu1 | tr -s ' ' '\n' | grep -v '^$' | sort -u >levels.txt
[ "$(tr '\n' ' ' <levels.txt)" = "0 " ] || fail "an unreachable colour selected something"

# An existing output is replaced only with --force.
echo old >good/replace.jpg
run 0 "$SAMPLE" good/upper.JPEG --color 1,2,3
[ -s good/upper.JPEG ] || fail "extension case matters"
run 1 "$SAMPLE" good/replace.jpg --color 1,2,3
[ "$(cat good/replace.jpg)" = old ] || fail "existing output replaced without --force"
run 0 "$SAMPLE" good/replace.jpg --color 1,2,3 --force
[ "$(head -c 2 good/replace.jpg | od -An -tx1 | tr -d ' ')" = "ffd8" ] || fail "existing output not replaced"

# --- the bundled sample, from another folder, never overwriting ---
mkdir demo && cd demo || exit 1
run 0
grep -q "^Wrote $WORK/demo/coffee-splash.jpg" "$WORK/out.txt" || fail "demo output line: $(cat "$WORK/out.txt")"
[ -s coffee-splash.jpg ] || fail "demo wrote nothing"
cp coffee-splash.jpg first.jpg
run 0
[ -s coffee-splash-2.jpg ] || fail "second demo run did not pick a new name"
cmp -s first.jpg coffee-splash.jpg || fail "second demo run changed the first file"
cd "$WORK" || exit 1

# --- help ---
run 0 --help
grep -q -- "--thresholds" "$WORK/out.txt" || fail "--help does not explain --thresholds"
grep -q -- "--mask" "$WORK/out.txt" || fail "--help does not explain --mask"

# --- bad arguments: status 2 ---
mkdir bad
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color 1,2
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color 1,2,3,4
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color red
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color 1,2,3 --thresholds 10,256,10
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color 1,2,3 --thresholds -1,0,0
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color 1,2,3 --bogus
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color
expect_error 2 bad/out.jpg "$SAMPLE" --color 1,2,3
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg extra --color 1,2,3
expect_error 2 bad/out.gif "$SAMPLE" bad/out.gif --color 1,2,3
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color 1,2,3 --mask bad/mask.bmp
expect_error 2 bad/out.jpg "$SAMPLE" bad/out.jpg --color 1,2,3 --mask bad/out.jpg

# --- missing or undecodable input: status 1, and an existing output stays as it was ---
mkdir keep
echo precious >keep/out.jpg
expect_error 1 bad/out.jpg "$WORK/no-such.jpg" bad/out.jpg --color 1,2,3
grep -q "no-such.jpg" "$WORK/err.txt" || fail "missing input not named: $(cat "$WORK/err.txt")"
echo "not a picture at all, but long enough to pass the header check......" >bad/text.jpg
expect_error 1 bad/out.jpg bad/text.jpg bad/out.jpg --color 1,2,3
rm -f bad/text.jpg
# A truncated JPEG only draws a warning: what decodes is used.
head -c 5000 "$SAMPLE" >truncated.jpg
run 0 truncated.jpg good/truncated.ppm --color 1,2,3
[ "$(header_of good/truncated.ppm)" = "P6 600 400 255 " ] || fail "truncated input not decoded"
run 1 "$WORK/no-such.jpg" keep/out.jpg --color 1,2,3 --force
[ "$(cat keep/out.jpg)" = "precious" ] || fail "failed run replaced an existing output"

# --- unwritable output: status 1, nothing left behind ---
echo file >plain.txt
expect_error 1 plain.txt/out.jpg "$SAMPLE" plain.txt/out.jpg --color 1,2,3
expect_error 1 missing-dir/out.jpg "$SAMPLE" missing-dir/out.jpg --color 1,2,3
mkdir -p unw/out.jpg
run 1 "$SAMPLE" unw/out.jpg --color 1,2,3 --force
[ -d unw/out.jpg ] || fail "directory in the way was replaced"
[ -z "$(ls -A unw/out.jpg)" ] || fail "wrote into the directory in the way"
if ls -A unw | grep -q '^\.'; then fail "temporary file left beside a directory in the way"; fi
# When the mask cannot be written, the result is not written either.
mkdir both
expect_error 1 both/out.jpg "$SAMPLE" both/out.jpg --color 1,2,3 --mask missing-dir/mask.pgm
if ls -A both | grep -q .; then fail "result written although the mask failed"; fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "splash smoke: all passed"
