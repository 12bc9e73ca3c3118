#!/usr/bin/env bash
# Settings files with the `corvexel` command: every example look renders,
# `params --values` prints a file that renders the same picture as the
# settings it came from, errors name the file and line, and --fps takes an
# exact fraction whose frames are handed over in lowest terms.
# Arguments: path of the corvexel executable, path of the plug-in module.
set -euo pipefail
cli=$1
module=$2
here=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
render() { "$cli" render --module "$module" "$@"; }

# Each look renders, differently from the defaults and from each other.
render --size 96x54 --time 1/2 -o "$work/defaults.rgba"
for look in "$here"/presets/*.txt; do
  name=$(basename "$look" .txt)
  render --size 96x54 --time 1/2 --preset "$look" -o "$work/$name.rgba" || fail "look $name"
  cmp -s "$work/$name.rgba" "$work/defaults.rgba" && fail "look $name renders the defaults"
done
[ "$(cat "$work"/*.rgba | wc -c)" -gt 0 ]
[ "$(sha256sum "$work"/*.rgba | cut -d' ' -f1 | sort -u | wc -l)" -eq "$(ls "$work"/*.rgba | wc -l)" ] ||
  fail "two looks render the same picture"

# params --values: the look in force, written out, renders the same picture.
settings=(--preset "$here/presets/datamosh.txt" --set "Transform Glitch/Position=10.5,20"
          --param 33=on --set "Channel Glitch/Channel Split/Channel=Y'")
"$cli" params --module "$module" --values --size 96x54 "${settings[@]}" >"$work/look.txt"
render --size 96x54 --time 3/4 "${settings[@]}" -o "$work/direct.rgba"
render --size 96x54 --time 3/4 --preset "$work/look.txt" -o "$work/saved.rgba"
cmp -s "$work/direct.rgba" "$work/saved.rgba" || fail "a saved look renders another picture"
"$cli" params --module "$module" --values --size 96x54 --preset "$work/look.txt" | cmp -s - "$work/look.txt" ||
  fail "params --values does not read back to itself"

# Errors name the file and the line, and exit 2.
printf '# look\nCorvexel Amount=35\n\nCorvexel Amount=400\n' >"$work/bad.txt"
set +e
render --size 8x8 --preset "$work/bad.txt" -o "$work/x.png" 2>"$work/err"; code=$?
set -e
[ $code -eq 2 ] || fail "bad look exits $code"
grep -qF "$work/bad.txt:4: invalid value for Corvexel Amount: 400" "$work/err" || fail "error: $(cat "$work/err")"
set +e
"$cli" params --module "$module" --values --preset "$work/none.txt" >/dev/null 2>"$work/err"; code=$?
set -e
[ $code -eq 2 ] && grep -q "none.txt: cannot read" "$work/err" || fail "missing look: $code $(cat "$work/err")"

# --fps 30000/1001: frame 16761 is 16761*1001/30000 s, handed over as
# 5592587/10000 in lowest terms - the numerator of the unreduced form would
# pass 2^24 and round in the plug-in's float.
render --size 32x18 --frames 16761-16761 --fps 30000/1001 -o "$work/f_%d.rgba" 2>/dev/null
render --size 32x18 --time 5592587/10000 -o "$work/t.rgba"
cmp -s "$work/f_16761.rgba" "$work/t.rgba" || fail "--fps 30000/1001 frame time"
for bad in 30000/0 /1001 30000/ 1/2/3; do
  set +e; render --size 8x8 --frames 0-1 --fps "$bad" -o "$work/b_%d.png" 2>/dev/null; code=$?; set -e
  [ $code -eq 2 ] || fail "--fps $bad accepted ($code)"
done
# corvexel card writes the very picture render glitches without an input.
"$cli" card --size 97x55 -o "$work/card.png"
render --size 97x55 --time 1/3 -o "$work/builtin.rgba"
render -i "$work/card.png" --time 1/3 -o "$work/fromfile.rgba"
cmp -s "$work/builtin.rgba" "$work/fromfile.rgba" || fail "corvexel card is not the built-in card"
echo "looks, params --values, --fps fractions and the test card behave"
