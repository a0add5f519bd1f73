#!/bin/bash
# Writes a small seed corpus of JPEG and "BM" files for the picture-reader fuzzer.
# Needs cjpeg (libjpeg-turbo-progs) and convert (imagemagick).
# Usage: fuzz/make_seeds.sh CORPUS_DIR   (fuzz/seeds/fuzz_read_picture holds one such set)
set -euo pipefail
dir="${1:?usage: make_seeds.sh CORPUS_DIR}"
mkdir -p "$dir"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

convert -size 19x13 gradient:red-blue -attenuate 0.4 +noise Gaussian "$tmp/pic.ppm"
convert "$tmp/pic.ppm" -alpha set -channel A -evaluate set 60% +channel "$tmp/pic.png"

cjpeg -quality 75 -outfile "$dir/baseline.jpg" "$tmp/pic.ppm"
cjpeg -sample 1x1 -outfile "$dir/444.jpg" "$tmp/pic.ppm"
cjpeg -sample 2x1 -restart 1 -outfile "$dir/422_restart.jpg" "$tmp/pic.ppm"
cjpeg -progressive -outfile "$dir/progressive.jpg" "$tmp/pic.ppm"
cjpeg -grayscale -outfile "$dir/grey.jpg" "$tmp/pic.ppm"
cjpeg -grayscale -progressive -outfile "$dir/grey_progressive.jpg" "$tmp/pic.ppm"
cjpeg -arithmetic -outfile "$dir/arithmetic.jpg" "$tmp/pic.ppm"
cjpeg -optimize -smooth 20 -outfile "$dir/optimized.jpg" "$tmp/pic.ppm"
cjpeg -rgb -outfile "$dir/rgb.jpg" "$tmp/pic.ppm"

convert "$tmp/pic.ppm" BMP3:"$dir/rgb24.bmp"
convert "$tmp/pic.ppm" -type palette -compress None BMP3:"$dir/pal8.bmp"
convert "$tmp/pic.ppm" -colors 16 -type palette -compress None BMP3:"$dir/pal4.bmp"
convert "$tmp/pic.ppm" -monochrome BMP3:"$dir/pal1.bmp"
convert "$tmp/pic.ppm" -type palette -compress RLE BMP3:"$dir/rle8.bmp"
convert "$tmp/pic.png" -define bmp3:alpha=true BMP3:"$dir/raw32.bmp"
convert "$tmp/pic.png" BMP:"$dir/v5_alpha.bmp"
convert "$tmp/pic.ppm" -define bmp:subtype=RGB565 BMP:"$dir/rgb565.bmp"
convert "$tmp/pic.ppm" -define bmp:subtype=RGB555 BMP:"$dir/rgb555.bmp"
ls "$dir" | wc -l
