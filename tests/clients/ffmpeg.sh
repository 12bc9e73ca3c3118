#!/usr/bin/env bash
# FFmpeg through the frei0r module: clips of FFmpeg's own test card at 24 and
# 30000/1001 frames per second, with the settings string exactly as the
# README writes it (time in ms, a preset, group paths, '&', an escaped ','),
# must give frame for frame the bytes `corvexel render` gives for the same
# input picture at the same time - also with FFmpeg's filter threads on.
# Arguments: corvexel executable, folder holding corvexel.so, source tree.
source "$(dirname "$0")/common.bash"

# The height is odd on purpose. FFmpeg 5.1 hands frei0r filters rows padded
# to its buffer alignment and drops the time stamp of frames it has to copy
# for that, so widths that are multiples of 16 are the ones that work there.
width=336 height=187 frames=10
# The README's two command lines: a whole clip with a look, and settings
# parameter by parameter (the look read from the source tree here).
looks=("time-unit=ms&preset=$src/presets/vhs-wobble.txt"
       "time-unit=ms&Corvexel Amount=70&Random Seed=42&Channel Glitch/Channel Split/Channel=Cr&Transform Glitch/Position=45%\\,50%")
cli_looks=("--preset $src/presets/vhs-wobble.txt"
           "--set Corvexel Amount=70|--set Random Seed=42|--set Channel Glitch/Channel Split/Channel=Cr|--set Transform Glitch/Position=45%,50%")

for rate in 24 30000/1001; do
  card="testsrc2=size=${width}x$((height + 1)):rate=$rate,crop=$width:$height:0:0,format=rgba"
  rm -f in_*.png
  ffmpeg -v error -f lavfi -i "$card" -frames:v $frames -f image2 -y in_%d.png
  for look in 0 1; do
    settings=${looks[$look]}
    IFS='|' read -r -a parts <<<"${cli_looks[$look]}"
    cli_settings=()
    for part in "${parts[@]}"; do cli_settings+=("${part%% *}" "${part#* }"); done
    ffmpeg -v error -f lavfi -i "$card" -frames:v $frames \
      -vf "frei0r=filter_name=corvexel:filter_params=$settings" \
      -f rawvideo -pix_fmt rgba -y plain.rgba 2>ffmpeg.log || fail "ffmpeg at $rate: $(cat ffmpeg.log)"
    [ ! -s ffmpeg.log ] || fail "the module complained at $rate: $(cat ffmpeg.log)"
    ffmpeg -v error -filter_threads 2 -filter_complex_threads 2 -f lavfi -i "$card" \
      -frames:v $frames -filter_complex "[0:v]frei0r=filter_name=corvexel:filter_params=$settings[out]" \
      -map "[out]" -f rawvideo -pix_fmt rgba -y threaded.rgba
    expect_frames plain.rgba $width $height $frames "$rate" "${cli_settings[@]}"
    cmp -s plain.rgba threaded.rgba || fail "FFmpeg's filter threads change the frames at $rate fps"
  done
done

# A bad settings string is reported once and leaves the frames unglitched
# (the previous settings: the defaults here), rather than stopping FFmpeg.
ffmpeg -v error -f lavfi -i "testsrc2=size=64x36:rate=24,format=rgba" -frames:v 3 \
  -vf "frei0r=filter_name=corvexel:filter_params=time-unit=ms&Bogus=1" \
  -f rawvideo -pix_fmt rgba -y bad.rgba 2>bad.log || fail "ffmpeg with a bad setting failed"
[ "$(grep -c 'unknown parameter: Bogus' bad.log)" = 1 ] || fail "bad setting not reported once: $(cat bad.log)"
echo "FFmpeg frames equal corvexel render at 24 and 30000/1001 fps, with and without filter threads"
