#!/usr/bin/env bash
# `corvexel render`: stills, animations, single stages, bad input and
# byte-identical output across runs and thread counts.
# Arguments: path of the corvexel executable, path of the plug-in module.
set -euo pipefail
cli=$1
module=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
render() { "$cli" render --module "$module" "$@"; }

# A 16-bit grey+alpha PNG and an 8-bit RGB PNG, written by hand.
python3 - "$work" <<'PY'
import struct, sys, zlib
def png(path, w, h, depth, colour, rows):
    def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    raw = b''.join(b'\0' + r for r in rows)
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, depth, colour, 0, 0, 0))
    data += chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
    open(path, 'wb').write(data)
d = sys.argv[1]
# grey+alpha 16-bit: grey 0x8080 (-> 128), alpha 0x0081 (-> 1: (129*255+32767)/65535)
png(d + '/grey16.png', 8, 4, 16, 4, [struct.pack('>HH', 0x8080, 0x0081) * 8] * 4)
png(d + '/rgb8.png', 64, 36, 8, 2,
    [b''.join(bytes((x * 4, 255 - x * 4, y * 7)) for x in range(64)) for y in range(36)])
PY

# A still at the defaults; identical bytes on a second run and across threads.
render --size 160x90 -o "$work/a.png" --threads 1 || fail "still render"
render --size 160x90 -o "$work/b.png" --threads 4 || fail "still render, 4 threads"
cmp -s "$work/a.png" "$work/b.png" || fail "--threads changes the output"
# Rows laid out with spare bytes after them (every frame, the input's, the
# output's and the host's own) must render the same picture, with every
# stage group on.
groups=(--param 5=40 --param 12=30 --param 49=1 --param 66=1 --param 84=1 --time 7/10)
render --size 160x90 -o "$work/unpadded.png" "${groups[@]}" || fail "all-groups render"
render --size 160x90 -o "$work/padded.png" "${groups[@]}" --row-padding 20 ||
  fail "padded-row render"
cmp -s "$work/unpadded.png" "$work/padded.png" || fail "--row-padding changes the output"
render --size 160x90 -o "$work/c.png" --threads 1
cmp -s "$work/a.png" "$work/c.png" || fail "two runs differ"
ls "$work" | grep -q '\.part$' && fail "temporary file left behind"

# Inputs: an 8-bit RGB and a 16-bit grey+alpha PNG.
render -i "$work/rgb8.png" -o "$work/rgb.png" --time 1/2 || fail "RGB input"
render -i "$work/grey16.png" -o "$work/g16.png" --stage transition --param 5=0 \
    || fail "16-bit input"

# Parameters by id and by path, time as a decimal.
render --size 64x36 -o "$work/p.png" --param 13=-100 \
    --set "Channel Glitch/Channel Split/Channel=Hue" --time 0.25 || fail "settings"

# An animation: one file per frame, named by the pattern.
render --size 64x36 -o "$work/out_%04d.png" --frames 3-5 --fps 29.97 2>"$work/progress" \
    || fail "animation"
for n in 0003 0004 0005; do [ -s "$work/out_$n.png" ] || fail "frame $n missing"; done
[ "$(grep -c . "$work/progress")" -eq 3 ] || fail "progress lines"

# Every stage alone, and an unknown stage.
for s in transition channel-split channel-scale color-glitch pixel-streak glitch-slice \
         glitch-block compression; do
    render --size 64x36 -o "$work/stage-$s.png" --stage "$s" || fail "stage $s"
done
set +e
render --size 64x36 -o "$work/none.png" --stage sharpen 2>"$work/err"; code=$?
set -e
[ $code -eq 2 ] || fail "unknown stage exit $code"
grep -q '^stage not available: sharpen$' "$work/err" || fail "unknown stage message"

# Bad input: exit 2, one line on stderr, no output file.
expect_bad() {
    local out="$work/bad.png"
    rm -f "$out"
    set +e
    render -o "$out" "$@" 2>"$work/err"; local code=$?
    set -e
    [ $code -eq 2 ] || fail "exit $code for: $*"
    [ -s "$work/err" ] || fail "no message for: $*"
    [ ! -e "$out" ] || fail "output written for: $*"
}
echo "not a picture" >"$work/junk.png"
expect_bad -i "$work/missing.png"
expect_bad -i "$work/junk.png"
expect_bad --param 999=1
expect_bad --set "No Such/Thing=1"
expect_bad --param 1=101
expect_bad --param 3=1.5
expect_bad --param 19=Nonesuch
expect_bad --param 19=5            # a separator
expect_bad --param 4=1             # a group start
expect_bad --param 8=1             # a group end
expect_bad --param 23=maybe
expect_bad --param 11=10
expect_bad --time 1/0
expect_bad --time abc
expect_bad --size 0x10
expect_bad --size 10
expect_bad --frames 5-3 --fps 24
expect_bad --row-padding -4
expect_bad --row-padding 4097
expect_bad --row-padding 8x
expect_bad --extent 1,2,3          # four edges
expect_bad --extent 5,0,4,9        # left beyond right
expect_bad --size 64x36 --extent 0,0,65,36   # outside the frame
expect_bad --frames 1-2 --fps 0
rm -f "$work"/out_*.png
set +e
render --size 64x36 -o "$work/plain.png" --frames 1-2 --fps 24 2>/dev/null; code=$?
set -e
[ $code -eq 2 ] || fail "pattern without %d accepted"
set +e
render --size 64x36 -o "$work/x_%d_%s.png" --frames 1-2 --fps 24 2>/dev/null; code=$?
set -e
[ $code -eq 2 ] || fail "pattern with %s accepted"
echo ok
