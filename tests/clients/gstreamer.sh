#!/usr/bin/env bash
# GStreamer's frei0r element loads the module as frei0r-filter-corvexel; one
# pipeline renders a few frames of its test pattern, which must equal
# `corvexel render` of the same pictures at the same times.
# Arguments: corvexel executable, folder holding corvexel.so, source tree.
source "$(dirname "$0")/common.bash"
export GST_REGISTRY=$work/registry.bin   # a fresh plug-in scan that sees FREI0R_PATH

width=65 height=37 frames=3
caps="video/x-raw,format=RGBA,width=$width,height=$height,framerate=25/1"
gst-inspect-1.0 frei0r-filter-corvexel >inspect.txt 2>&1 || fail "GStreamer does not list frei0r-filter-corvexel"
gst-launch-1.0 -q videotestsrc num-buffers=$frames pattern=smpte ! "$caps" ! \
  frei0r-filter-corvexel settings="Corvexel Amount=70&Image Glitch/Vertical Sort=on" ! \
  filesink location=out.rgba || fail "pipeline with the module failed"
gst-launch-1.0 -q videotestsrc num-buffers=$frames pattern=smpte ! "$caps" ! filesink location=in.rgba
ffmpeg -v error -f rawvideo -pix_fmt rgba -s ${width}x$height -i in.rgba -f image2 -y in_%d.png
expect_frames out.rgba $width $height $frames 25 \
  --set "Corvexel Amount=70" --set "Image Glitch/Vertical Sort=on"
echo "GStreamer's frei0r-filter-corvexel frames equal corvexel render"
