#!/bin/bash
# The same per-channel box selection as huelet-splash, done with ImageMagick 6, for timing.
# Central Color (200,120,80), thresholds 40,40,40: keep R in 160..240, G in 80..160,
# B in 40..120, grey the rest with the mean of the channels.
# Usage: imagemagick-splash.sh IN OUT [MASK]
# Each bound is a -threshold (strictly above) at the half level: v >= lo is v > lo - 0.5,
# v <= hi is not v > hi + 0.5; the six bit images are combined with Min.
set -eu
sel() { # channel, lower bound %, upper bound %
    echo "( mpr:o -channel $1 -separate +channel -threshold $2 )" \
        "( mpr:o -channel $1 -separate +channel -threshold $3 -negate )"
}
MASK="( $(sel R 62.5490% 94.3137%) $(sel G 31.1765% 62.9412%) $(sel B 15.4902% 47.2549%) -evaluate-sequence Min ${3:+-write $3} )"
# shellcheck disable=SC2086 # MASK is a list of words on purpose
convert "$1" -write mpr:o +delete \
    \( mpr:o -separate -evaluate-sequence Mean -set colorspace sRGB \) \
    mpr:o $MASK -composite -quality 90 "$2"
