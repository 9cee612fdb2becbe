#!/bin/sh
# Renders the application icon at the larger hicolor sizes (16 and 32 are the
# program's own pixel icons in res/). The PNG
# files are kept in the repository; run this again after changing the SVG.
#   render.sh   (needs rsvg-convert, Debian package librsvg2-bin)
set -eu
cd "$(dirname "$0")"
for size in 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "org.tavren.Tavren-$size.png" org.tavren.Tavren.svg
done
