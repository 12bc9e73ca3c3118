#!/usr/bin/env bash
# `corvexel render --frames`: frames rendered by several renderers at once
# and written in order give the same files as one at a time, a range split
# into chunks gives the same files as the whole, a failure keeps the frames
# before it and writes none after it, and progress shows on a terminal.
# Arguments: path of the corvexel executable, path of the plug-in module.
set -euo pipefail
cli=$1
module=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
render() { "$cli" render --module "$module" --size 96x54 --param 66=1 --param 5=30 "$@"; }

# The same files whatever the number of renderers and threads.
render -o "$work/one_%02d.png" --frames 0-7 --fps 30000/1001 --jobs 1 --threads 1 2>/dev/null ||
  fail "one renderer"
render -o "$work/many_%02d.png" --frames 0-7 --fps 30000/1001 --jobs 3 --threads 2 \
  2>"$work/many.log" || fail "three renderers"
render -o "$work/auto_%02d.png" --frames 0-7 --fps 30000/1001 2>/dev/null || fail "default renderers"
# A render farm's chunks.
render -o "$work/chunk_%02d.png" --frames 0-2 --fps 30000/1001 2>/dev/null || fail "chunk 1"
render -o "$work/chunk_%02d.png" --frames 3-7 --fps 30000/1001 --jobs 2 2>/dev/null ||
  fail "chunk 2"
for n in 00 01 02 03 04 05 06 07; do
  for other in many auto chunk; do
    cmp -s "$work/one_$n.png" "$work/${other}_$n.png" || fail "frame $n differs ($other)"
  done
done
# Written in order: the lines come out frame by frame.
[ "$(sed -n 's/^frame \([0-9]*\) written.*/\1/p' "$work/many.log" | tr '\n' ' ')" = \
  "0 1 2 3 4 5 6 7 " ] || fail "frames reported out of order: $(cat "$work/many.log")"

# A failure stops the sequence in frame order: frame 3's output is
# read-only, so frames 0-2 are written, 3 is refused, none after it.
touch "$work/stop_03.png"
chmod 444 "$work/stop_03.png"
set +e
render -o "$work/stop_%02d.png" --frames 0-7 --fps 24 --jobs 3 --threads 1 2>"$work/stop.log"
code=$?
set -e
[ $code -eq 2 ] || fail "exit $code for a read-only frame"
for n in 00 01 02; do [ -s "$work/stop_$n.png" ] || fail "frame $n before the failure missing"; done
[ ! -s "$work/stop_03.png" ] || fail "read-only frame replaced"
for n in 04 05 06 07; do [ ! -e "$work/stop_$n.png" ] || fail "frame $n after the failure written"; done
[ "$(grep -c 'read-only' "$work/stop.log")" -eq 1 ] || fail "failure not said once: $(cat "$work/stop.log")"
tail -n 1 "$work/stop.log" | grep -q 'stop_03.png' || fail "failure not the last line"

# --jobs belongs to sequences and takes 1 .. 256.
for bad in "--jobs 2" "--frames 0-1 --fps 24 --jobs 0" "--frames 0-1 --fps 24 --jobs x"; do
  set +e
  # shellcheck disable=SC2086
  render -o "$work/bad_%02d.png" $bad 2>"$work/bad.log"
  code=$?
  set -e
  [ $code -eq 2 ] || fail "exit $code for $bad"
  grep -q '^corvexel render: ' "$work/bad.log" || fail "no message for $bad"
done

# On a terminal one progress line keeps itself up to date and ends with a
# line feed; elsewhere one line a frame (checked above).
if command -v script >/dev/null 2>&1; then
  script -qec "'$cli' render --module '$module' --size 32x18 -o '$work/tty_%02d.png' \
    --frames 0-3 --fps 24" /dev/null >"$work/tty.log" </dev/null || fail "render on a terminal"
  grep -q $'\r''corvexel render: frame 3 written (4 of 4, 100%)' "$work/tty.log" ||
    fail "no progress line on a terminal: $(od -c "$work/tty.log" | head -5)"
  [ "$(grep -c 'written (' "$work/tty.log")" -eq 1 ] || fail "progress not on one line"
fi
echo ok
