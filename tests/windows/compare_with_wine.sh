#!/usr/bin/env bash
# Runs the Windows build under Wine and checks that it prints and renders
# exactly what the Linux build does.
#
# usage: compare_with_wine.sh LINUX_CORVEXEL WINDOWS_CORVEXEL_EXE WORK_DIR
#
# The Windows program loads Corvexel.aex from its own directory. Every case
# runs both programs with the same arguments in WORK_DIR and compares stdout,
# stderr, the exit code and (for renders) the PNG written, byte for byte.
set -euo pipefail

data=$(cd "$(dirname "$0")/../data" && pwd)
linux_cli=$(realpath "$1")
windows_cli=$(realpath "$2")
work=$3
mkdir -p "$work"
work=$(realpath "$work")

# A private, headless Wine set-up: no window, no prompts to install add-ons.
export WINEPREFIX=${CORVEXEL_WINEPREFIX:-$work/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY
if [ ! -d "$WINEPREFIX" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver --wait || true
fi

cd "$work"
cases=0
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run_case NAME ARGS...: both programs, same arguments; "OUT" in ARGS stands
# for each program's own output file.
run_case() {
  local name=$1; shift
  local linux_args=() windows_args=()
  for arg in "$@"; do
    linux_args+=("${arg//OUT/$name.linux.png}")
    windows_args+=("${arg//OUT/$name.windows.png}")
  done
  cases=$((cases + 1))
  local linux_rc=0 windows_rc=0
  "$linux_cli" "${linux_args[@]}" >"$name.linux.out" 2>"$name.linux.err" || linux_rc=$?
  wine "$windows_cli" "${windows_args[@]}" >"$name.windows.out" 2>"$name.windows.err" ||
    windows_rc=$?
  if [ "$linux_rc" != "$windows_rc" ]; then
    fail "$name: exit code $windows_rc on Windows, $linux_rc on Linux"
    head -n 5 "$name.windows.err" | sed 's/^/  windows: /'
    return
  fi
  if ! cmp -s "$name.linux.out" "$name.windows.out"; then
    fail "$name: standard output differs"
  fi
  # Messages name each program's own output file; otherwise they must agree.
  if ! sed "s/$name\.windows\./$name.linux./g" "$name.windows.err" | cmp -s "$name.linux.err" -; then
    fail "$name: messages differ"
  fi
  if [ -f "$name.linux.png" ] || [ -f "$name.windows.png" ]; then
    if ! cmp -s "$name.linux.png" "$name.windows.png"; then
      fail "$name: rendered image differs"
    fi
  fi
}

size=(--size 240x136)
all_groups=(--param 5=40 --param 12=30 --param 14=20 --param 17=10 --param 49=1
            --param 66=1 --param 82=1 --param 84=1 --param 33=1)

run_case about about
run_case params params
run_case params_json params --json

run_case defaults_t0 render -o OUT "${size[@]}"
run_case defaults_t1 render -o OUT "${size[@]}" --time 1/3
run_case defaults_t2 render -o OUT "${size[@]}" --time 5/2 --param 3=1234
run_case all_groups render -o OUT "${size[@]}" --time 7/10 "${all_groups[@]}"
run_case noise_preview render -o OUT "${size[@]}" --time 1/2 --param 73=1
run_case padded_rows render -o OUT "${size[@]}" --time 7/10 "${all_groups[@]}" --row-padding 12
run_case one_thread render -o OUT "${size[@]}" --time 7/10 "${all_groups[@]}" --threads 1
# The test card written by Linux, read back as an input file by both.
"$linux_cli" render -o card.png "${size[@]}" --param 1=0 >/dev/null 2>&1
run_case input_file render -i card.png -o OUT --time 1/4 "${all_groups[@]}"
# JPEG inputs (baseline, progressive, grey, CMYK): both builds decode them
# with the same libjpeg-turbo source, so the pixels must agree.
for jpeg in baseline progressive grey cmyk; do
  cp "$data/$jpeg.jpg" "in_$jpeg.jpg"
  run_case "jpeg_$jpeg" render -i "in_$jpeg.jpg" -o OUT --time 1/4 "${all_groups[@]}"
done
# Refusals say the same thing on both: a foreign format, a damaged file, a
# size over the limit, a frame whose time cannot be expressed.
printf 'GIF89a\1\0\1\0' >in.gif
head -c 700 "$data/baseline.jpg" >in_cut.jpg
run_case refuse_gif render -i in.gif -o OUT
run_case refuse_cut_jpeg render -i in_cut.jpg -o OUT
run_case refuse_size render -o OUT --size 65537x1
run_case refuse_frames render -o "OUT_%d" --frames 2147483647-2147483648 --fps 1
# File names beyond ASCII.
run_case "name_ünï€" render -o OUT "${size[@]}" --time 1/5
# Rendering over an existing file replaces it.
cp card.png overwrite.linux.png
cp card.png overwrite.windows.png
run_case overwrite render -o OUT "${size[@]}" --time 2/3
# A read-only output is refused and kept; --overwrite replaces it.
for name in readonly readonly_overwrite; do
  cp card.png "$name.linux.png"
  cp card.png "$name.windows.png"
  chmod 444 "$name.linux.png" "$name.windows.png"
done
run_case readonly render -o OUT "${size[@]}" --time 2/3
cmp -s card.png readonly.windows.png || fail "readonly: the Windows build changed the file"
run_case readonly_overwrite render -o OUT "${size[@]}" --time 2/3 --overwrite
cmp -s card.png readonly_overwrite.windows.png && fail "readonly_overwrite: file not replaced"

for stage in transition channel-split channel-scale color-glitch pixel-streak glitch-slice \
             glitch-block compression; do
  run_case "stage_$stage" render -o OUT "${size[@]}" --time 3/5 --param 5=60 --param 66=1 \
    --stage "$stage"
done

# Every transfer mode (separators included) on the colour glitch composite,
# alone and at full opacity so the mode decides every pixel.
for item in $(seq 1 46); do
  run_case "mode_$item" render -o OUT --size 96x54 --time 1/3 --param 23=0 --param 47=0 \
    --param 43=100 --param 44="$item"
done

# The one message the plug-in shows: the WebP size limit of the glitch slice.
run_case webp_limit render -o OUT --size 16384x4 --param 23=0 --param 40=0

echo "$cases cases compared, $failures failed"
[ "$failures" -eq 0 ]
