#!/usr/bin/env bash
# Builds Corvexel.aex and corvexel.exe for 64-bit Windows and checks them:
# the binary form of the DLL (tests/windows/check_pe.py) and, under Wine,
# output identical to the Linux build's (tests/windows/compare_with_wine.sh).
# Expects the Linux release build in build/release (scripts/build.sh release).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
echo "== windows build =="
bash scripts/build.sh windows
echo "== windows checks =="
# Debian's python3 carries python3-pefile, whatever python3 comes first on PATH.
/usr/bin/python3 tests/windows/check_pe.py build/windows/Corvexel.aex build/windows/corvexel.exe
rm -rf build/windows/wine-compare/*.png
bash tests/windows/compare_with_wine.sh build/release/corvexel build/windows/corvexel.exe \
  build/windows/wine-compare
echo "== windows golden renders =="
CORVEXEL_WINEPREFIX="$PWD/build/windows/wine-compare/wineprefix" \
  bash tests/golden/run_golden.sh --wine build/windows/corvexel.exe build/windows/golden
