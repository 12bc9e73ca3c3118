#!/usr/bin/env bash
# Builds the project and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release
build/release/corvexel render -o glitch.png
echo "wrote glitch.png"
