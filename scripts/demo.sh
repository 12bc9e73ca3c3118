#!/usr/bin/env bash
# Builds the project and runs the demo: glitch.png, the built-in test card
# at the default settings, and glitch.mp4, two seconds of the same card
# through FFmpeg with the frei0r module (corvexel.so) and the VHS wobble look.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release
build/release/corvexel render -o glitch.png
echo "wrote glitch.png"

card=$(mktemp --suffix=.png)
trap 'rm -f "$card"' EXIT
build/release/corvexel card --size 640x360 -o "$card"
FREI0R_PATH=$PWD/build/release/frei0r-1 ffmpeg -v error -loop 1 -framerate 24 -t 2 -i "$card" \
  -vf "format=rgba,frei0r=filter_name=corvexel:filter_params=time-unit=ms&preset=presets/vhs-wobble.txt&Corvexel Amount=60" \
  -c:v libx264 -pix_fmt yuv420p -movflags +faststart -y glitch.mp4
echo "wrote glitch.mp4"
