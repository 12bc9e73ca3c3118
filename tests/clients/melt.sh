#!/usr/bin/env bash
# melt (MLT) through its frei0r.corvexel filter: clips at 24 and 30000/1001
# frames per second, one with an odd width and height, must give frame for
# frame the bytes `corvexel render` gives for the same input picture at the
# same time - also with MLT's threading on (parallel frames in the consumer;
# the filter's own "threads" at 1, which keeps MLT from cutting frames into
# strips).
# Arguments: corvexel executable, folder holding corvexel.so, source tree.
source "$(dirname "$0")/common.bash"

frames=8
preset=$src/presets/datamosh.txt
# MLT reads "=" in a property as a keyframe: the leading "0=" is one keyframe
# at frame 0 holding the whole string.
settings="0=preset=$preset&Corvexel Amount=70&Transform Glitch/Position=45%,50%"
cli_settings=(--preset "$preset" --set "Corvexel Amount=70" --set "Transform Glitch/Position=45%,50%")

for case in "321 181 24 1" "322 180 30000 1001"; do
  read -r width height num den <<<"$case"
  rate=$num/$den
  # A lossless clip of FFmpeg's test card, and its frames as PNG files.
  ffmpeg -v error -f lavfi -i "testsrc2=size=$((width + 1))x$((height + 1)):rate=$rate,crop=$width:$height:0:0,format=rgba" \
    -frames:v $frames -c:v png -y in.mov
  rm -f in_*.png
  ffmpeg -v error -i in.mov -f image2 -y in_%d.png
  cat >profile <<PROFILE
description=test
frame_rate_num=$num
frame_rate_den=$den
width=$width
height=$height
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=$width
display_aspect_den=$height
colorspace=601
PROFILE
  run_melt plain.rgba -profile profile in.mov -filter frei0r.corvexel "settings=$settings" \
    -consumer avformat:plain.rgba f=rawvideo pix_fmt=rgba real_time=-1
  run_melt threaded.rgba -profile profile in.mov -filter frei0r.corvexel "settings=$settings" \
    threads=1 "Render Threads=3" -consumer avformat:threaded.rgba f=rawvideo pix_fmt=rgba real_time=-2
  ! grep -q corvexel melt.log || fail "the module complained: $(cat melt.log)"
  expect_frames plain.rgba $width $height $frames "$rate" "${cli_settings[@]}"
  cmp -s plain.rgba threaded.rgba || fail "MLT's threading changes the frames at $rate fps"
done

# What MLT shows of the filter (the parameter list editors build panels from).
melt -query filter=frei0r.corvexel >query.txt 2>/dev/null
grep -q 'identifier: frei0r.corvexel' query.txt || fail "melt -query does not list frei0r.corvexel"
grep -q 'title: Transform Glitch/Scale' query.txt || fail "melt -query lacks the parameters"
echo "melt frames equal corvexel render at 24 and 30000/1001 fps, with and without MLT's threading"
