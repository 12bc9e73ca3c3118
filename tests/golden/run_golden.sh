#!/usr/bin/env bash
# Renders every case of tests/golden/renders.txt and checks the SHA-256 of the
# raw RGBA pixels against the hash recorded there. Pixels, not files: the same
# picture must come out whatever image library or build wrote it.
#
# usage: run_golden.sh [--wine] [--record] CORVEXEL [WORK_DIR]
#   --wine     CORVEXEL is corvexel.exe, run under Wine
#   --record   print the table with the hashes this build renders, check nothing
#
# Cases run in WORK_DIR (default: a temporary folder), each with its output
# as a relative name, so the Windows program sees the same paths.
set -euo pipefail

wine_mode=0
record=0
while [ $# -gt 0 ]; do
  case "$1" in
    --wine) wine_mode=1; shift ;;
    --record) record=1; shift ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { echo "usage: run_golden.sh [--wine] [--record] CORVEXEL [WORK_DIR]" >&2; exit 2; }

here=$(cd "$(dirname "$0")" && pwd)
cli=$(realpath "$1")
if [ $# -ge 2 ]; then
  work=$2
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
work=$(realpath "$work")
cp "$here"/inputs/*.png "$work/"
cd "$work"

if [ "$wine_mode" -eq 1 ]; then
  export WINEPREFIX=${CORVEXEL_WINEPREFIX:-$work/wineprefix}
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  unset DISPLAY
  if [ ! -d "$WINEPREFIX" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver --wait || true
  fi
  run_cli() { wine "$cli" "$@"; }
else
  run_cli() { "$cli" "$@"; }
fi

cases=0
failures=0
while read -r name expected args; do
  case "$name" in ''|'#'*) continue ;; esac
  # @NAME is an input picture, copied into the work folder.
  read -r -a argv <<<"${args//@/}"
  cases=$((cases + 1))
  rm -f "$name.rgba"
  if ! run_cli render -o "$name.rgba" "${argv[@]}" >"$name.log" 2>&1; then
    echo "FAIL: $name: render failed: $(head -c 300 "$name.log")"
    failures=$((failures + 1))
    continue
  fi
  actual=$(sha256sum "$name.rgba" | cut -d' ' -f1)
  rm -f "$name.rgba" "$name.log"
  if [ "$record" -eq 1 ]; then
    echo "$name $actual $args"
  elif [ "$actual" != "$expected" ]; then
    echo "FAIL: $name: pixels hash to $actual, expected $expected"
    failures=$((failures + 1))
  fi
done <"$here/renders.txt"

if [ "$record" -eq 0 ]; then
  echo "$cases golden renders, $failures differ"
fi
[ "$failures" -eq 0 ]
