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
