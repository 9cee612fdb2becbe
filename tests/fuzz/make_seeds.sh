#!/bin/sh
# Writes seed inputs for the fuzz harnesses:
#   make_seeds.sh OUTDIR [PHOTO...]
# OUTDIR/exif_decoder gets small synthetic JPEGs of odd sizes and codings, and
# smaller re-encodings of the given photographs; OUTDIR/camera_records gets
# hand-made record bytes. Needs cjpeg and djpeg (libjpeg-turbo-progs).
set -eu

out="$1"
shift
jpegs="$out/exif_decoder"
records="$out/camera_records"
mkdir -p "$jpegs" "$records"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A plain-text PNM picture of WIDTH x HEIGHT with some detail in it.
pnm() { # WIDTH HEIGHT colour|grey
    awk -v w="$1" -v h="$2" -v kind="$3" 'BEGIN {
        print (kind == "grey" ? "P2" : "P3"); print w, h; print 255
        for (y = 0; y < h; y++) {
            for (x = 0; x < w; x++) {
                if (kind == "grey") printf "%d ", (x * 29 + y * 53) % 256
                else printf "%d %d %d ", (x * 37 + y * 11) % 256, (x * 5 + y * 71) % 256, (x * y * 13) % 256
            }
            print ""
        }
    }'
}

# Little-endian integers as raw bytes.
le16() { printf "$(printf '\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
be16() { printf "$(printf '\\%03o\\%03o' $(($1 >> 8 & 255)) $(($1 & 255)))"; }

jpeg() { # NAME WIDTH HEIGHT colour|grey [cjpeg options...]
    name=$1 width=$2 height=$3 kind=$4
    shift 4
    pnm "$width" "$height" "$kind" >"$work/picture.pnm"
    cjpeg "$@" "$work/picture.pnm" >"$jpegs/$name.jpg"
}

jpeg 1x1-colour 1 1 colour -quality 90
jpeg 1x1-grey 1 1 grey
jpeg 7x5-420 7 5 colour
jpeg 17x3-444-progressive 17 3 colour -progressive -sample 1x1
jpeg 33x9-422-restart-every-block 33 9 colour -sample 2x1 -restart 1B
jpeg 13x11-optimised-restart-every-row 13 11 colour -optimize -restart 1
jpeg 16x16-arithmetic 16 16 colour -arithmetic
jpeg 9x9-440 9 9 colour -sample 1x2
jpeg 40x30-411 40 30 colour -sample 4x1
# Sampling factors TurboJPEG has no name for.
jpeg 19x13-sampling-3x1 19 13 colour -sample 3x1
jpeg 19x13-sampling-2x2-1x2-1x1 19 13 colour -sample 2x2,1x2,1x1
jpeg 19x13-sampling-4x2-progressive 19 13 colour -sample 4x2 -progressive
jpeg 3000x1-grey 3000 1 grey
jpeg 1x3000-colour 1 3000 colour -quality 50

# Over 2 MP in one scan, decoded in bands of rows on several threads: smooth,
# coarse and small; whole with restart markers, and cut off at two fifths.
awk 'BEGIN { print "P3"; print 2000, 1104; print 255
    for (y = 0; y < 1104; y++) {
        for (x = 0; x < 2000; x++) printf "%d %d %d ", 128 + 100 * sin(x / 90), 128 + 100 * cos(y / 60), (x + y) / 13
        print ""
    } }' >"$work/large.pnm"
cjpeg -quality 20 -restart 3 "$work/large.pnm" 2>/dev/null >"$jpegs/2000x1104-420-restart-3.jpg"
size=$(wc -c <"$jpegs/2000x1104-420-restart-3.jpg")
head -c $((size * 2 / 5)) "$jpegs/2000x1104-420-restart-3.jpg" >"$jpegs/2000x1104-420-cut-off.jpg"

# Cut off in the middle of its scans, and followed by bytes after its end.
jpeg 64x48-progressive 64 48 colour -progressive
size=$(wc -c <"$jpegs/64x48-progressive.jpg")
head -c $((size / 2)) "$jpegs/64x48-progressive.jpg" >"$jpegs/64x48-truncated.jpg"
rm "$jpegs/64x48-progressive.jpg"
cat "$jpegs/7x5-420.jpg" "$jpegs/1x1-grey.jpg" >"$jpegs/7x5-trailing-picture.jpg"

# A small picture whose frame header claims another size: the data runs
# out at once, and the claimed size may be too large to decode or to size.
claim() { # NAME WIDTH HEIGHT
    cp "$jpegs/1x1-grey.jpg" "$jpegs/$1.jpg"
    frame=$(LC_ALL=C grep -obUaP '\xff\xc0' "$jpegs/$1.jpg" | head -n 1 | cut -d: -f1)
    { be16 "$3"; be16 "$2"; } | dd of="$jpegs/$1.jpg" bs=1 seek=$((frame + 5)) conv=notrunc status=none
}
claim 65000x1-claimed 65000 1
claim 30000x30000-claimed 30000 30000
claim 65500x65500-claimed 65500 65500

# A camera-style file: an Exif APP1 segment right after SOI with an
# orientation tag and a JPEG thumbnail, which holds markers of its own.
thumbnail="$jpegs/1x1-colour.jpg"
thumbnailSize=$(wc -c <"$thumbnail")
{
    printf '\377\330\377\341'
    be16 $((2 + 6 + 56 + thumbnailSize))
    printf 'Exif\000\000II*\000'
    le32 8                             # IFD0 offset
    le16 1                             # IFD0: one entry
    le16 274; le16 3; le32 1; le32 6   # Orientation: SHORT, 1, rotated
    le32 26                            # IFD1 offset
    le16 2                             # IFD1: two entries
    le16 513; le16 4; le32 1; le32 56  # thumbnail offset
    le16 514; le16 4; le32 1; le32 "$thumbnailSize"
    le32 0                             # no further IFD
    cat "$thumbnail"
    tail -c +3 "$jpegs/40x30-411.jpg"  # the picture without its SOI
} >"$jpegs/40x30-exif-thumbnail.jpg"

# Photographs, scaled down and re-encoded so that each run stays fast, and
# the first 16 KiB of each as it is: its own markers and tables, then data
# that breaks off.
for photo in "$@"; do
    name=$(basename "$photo" | tr -c 'A-Za-z0-9.\n-' '_')
    if djpeg -scale 1/8 -ppm "$photo" >"$work/photo.ppm" 2>/dev/null; then
        cjpeg -quality 80 "$work/photo.ppm" >"$jpegs/photo-$name"
        cjpeg -quality 80 -progressive -restart 2 "$work/photo.ppm" >"$jpegs/photo-progressive-$name"
    fi
    head -c 16384 "$photo" >"$jpegs/photo-start-$name"
done

# Camera records: the input fills a device record from its start and the
# changed-property buffer from its start, repeated to the buffer's end.
record() { # NAME NAME-TEXT DETAIL-TEXT: a device record with both texts
    {
        head -c 1280 /dev/zero
        printf '%s' "$2"; head -c $((513 - ${#2})) /dev/zero
        printf '%s' "$3"; head -c $((32 - ${#3})) /dev/zero
    } >"$records/$1.bin"
}
record device-texts "VRX-4000 Mark II" "SN 0042"
record device-empty-texts "" ""
{ head -c 1280 /dev/zero; head -c 545 /dev/zero | tr '\000' 'A'; } >"$records/device-texts-without-nul.bin"

le16 0 >"$records/properties-none.bin"
{ le16 3; le32 8196; le32 1; le32 8200; le32 2; le32 8706; le32 3; } >"$records/properties-three.bin"
{ le16 2; le32 8196; le32 7; le32 8196; le32 9; } >"$records/properties-same-code-twice.bin"
{ le16 1; le32 12345; le32 4294967295; } >"$records/properties-other-code.bin"
{ le16 1100; le32 8706; le32 1; } >"$records/properties-full.bin"
{ le16 65535; le32 8200; le32 2147483648; } >"$records/properties-count-too-large.bin"
{ le16 2; le32 8196; le32 5; le32 8200; le16 7; } >"$records/properties-second-entry-cut-short.bin"
printf '\001' >"$records/properties-one-byte.bin"
