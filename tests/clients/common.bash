# Shared by the video-tool tests: sourced with the arguments every one of
# them takes (corvexel executable, folder holding corvexel.so, source tree).
# Sets cli, src and FREI0R_PATH, moves into a fresh work folder that goes
# away at exit, and offers fail and expect_frames.
set -euo pipefail
cli=$(realpath "$1")
export FREI0R_PATH=$(realpath "$2")
src=$(realpath "$3")
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# expect_frames OUTPUT.rgba WIDTH HEIGHT COUNT RATE [corvexel render settings...]
# Renders in_1.png .. in_COUNT.png with `corvexel render` as frames 0 ..
# COUNT-1 at RATE frames per second (the command line's own frame times)
# and fails unless OUTPUT.rgba holds exactly those frames.
expect_frames() {
  local output=$1 width=$2 height=$3 count=$4 rate=$5 n
  shift 5
  rm -f ref_*.rgba
  for ((n = 0; n < count; n++)); do
    "$cli" render -i "in_$((n + 1)).png" -o "ref_%d.rgba" --frames "$n-$n" --fps "$rate" "$@" \
      2>/dev/null || fail "corvexel render of frame $n at $rate fps"
  done
  python3 "$src/tests/clients/compare_frames.py" "$output" "$width" "$height" ref_%d.rgba "$count" ||
    fail "$output differs from corvexel render at $rate fps"
}

# run_melt OUTPUT MELT_ARGUMENTS...
# melt 7.12 now and then quits before its consumer writes a frame, or hangs
# at the end of a short clip, when the machine is busy - with MLT's own
# filters as well. Such a run (no output, or no exit within a minute) is
# tried again, twice at most; any output is left to the frame comparison.
run_melt() {
  local output=$1 attempt code
  shift
  for attempt in 1 2 3; do
    rm -f "$output"
    code=0
    timeout 60 melt -silent -quiet "$@" </dev/null 2>>melt.log || code=$?
    if [ -s "$output" ] && [ $code -eq 0 ]; then return 0; fi
    echo "melt attempt $attempt: exit $code, $(stat -c %s "$output" 2>/dev/null || echo no) bytes" >>melt.log
  done
  fail "melt wrote no frames three times: $(cat melt.log)"
}
