#!/usr/bin/env bash
# The `corvexel` command's about and params verbs, and its command-line errors.
# Arguments: path of the corvexel executable, path of the plug-in module.
set -euo pipefail
cli=$1
module=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# about: the name and version, then the description on its own line (the
# plug-in's carriage return shown as a line break).
"$cli" about --module "$module" >"$work/about"
[ "$(sed -n 1p "$work/about")" = "Corvexel v1.0.0" ] || fail "about first line: $(sed -n 1p "$work/about")"
grep -q 'Corvexel by Torvanel\.$' "$work/about" || fail "about lacks the credit line"
[ "$(wc -l <"$work/about")" -eq 2 ] || fail "about is not two lines"
if grep -q $'\r' "$work/about"; then fail "about printed a carriage return"; fi

# The module next to the executable is the default; CORVEXEL_MODULE overrides it.
"$cli" about >"$work/about-default" || fail "about without --module"
cmp -s "$work/about" "$work/about-default" || fail "default module gives another About"
CORVEXEL_MODULE="$module" "$cli" about >"$work/about-env" || fail "about with CORVEXEL_MODULE"
cmp -s "$work/about" "$work/about-env" || fail "CORVEXEL_MODULE gives another About"

# params: one line per parameter.
"$cli" params --module "$module" >"$work/params"
[ "$(wc -l <"$work/params")" -eq 101 ] || fail "params printed $(wc -l <"$work/params") lines"
grep -q '^25 .*Channel Glitch/Channel Split/Channel .*default 10' "$work/params" \
  || fail "params line for id 25: $(grep '^25 ' "$work/params")"

# params --json: valid JSON with the documented keys and values.
"$cli" params --json --module="$module" >"$work/params.json"
python3 -m json.tool "$work/params.json" >/dev/null || fail "params --json is not valid JSON"
python3 - "$work/params.json" <<'PY' || fail "params --json content"
import json, sys
params = json.load(open(sys.argv[1]))
assert len(params) == 101, len(params)
kinds = {"float", "int", "popup", "checkbox", "point", "group_start", "group_end"}
for index, p in enumerate(params):
    assert p["id"] == index + 1, p
    assert {"id", "group", "name", "kind", "default"} <= p.keys(), p
    assert p["kind"] in kinds, p
    slider = p["kind"] in ("float", "int")
    assert ("valid" in p) == slider and ("slider" in p) == slider, p
    assert ("items" in p) == (p["kind"] == "popup"), p
by_id = {p["id"]: p for p in params}
def check(id, **expected):
    for key, value in expected.items():
        assert by_id[id][key] == value, (id, key, by_id[id][key], value)
check(1, group="", name="Corvexel Amount", kind="float", default=50, valid=[0, 100], slider=[0, 100])
check(3, kind="int", default=0, valid=[0, 32768], slider=[0, 32768])
check(7, group="Transition", kind="popup", default=7)
assert by_id[7]["items"][4] == "(-" and by_id[7]["items"][6] == "Lightness" and len(by_id[7]["items"]) == 11
check(11, group="Transform Glitch", name="Position", kind="point", default=[50, 50])
check(16, group="Transform Glitch", name="", kind="point", default=[100, 100])
check(13, valid=[-30000, 30000], slider=[-200, 200])
check(25, group="Channel Glitch/Channel Split", name="Channel", default=10)
check(29, group="Channel Glitch/Channel Split", kind="group_end")
check(33, group="Channel Glitch/Channel Scale", kind="checkbox", default=0)
check(54, group="Image Glitch/Glitch Slice", default=33)
assert by_id[54]["items"][32] == "Divide" and by_id[63]["items"][20] == "Overlay"
check(59, default=150, valid=[0, 100000], slider=[10, 64])
check(74, group="Advanced/Randomness", name="Gain", default=1.5)
check(99, group="Advanced/Transform", name="Wiggle Quantization Steps", default=2, valid=[1, 64])
check(101, group="Advanced", kind="group_end")
PY

# Command-line mistakes: usage on stderr, exit code 2, nothing on stdout.
expect_usage() {
  local status=0
  "$cli" "$@" >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq 2 ] || fail "'$*' exited with $status, not 2"
  [ ! -s "$work/out" ] || fail "'$*' wrote to stdout"
  grep -q '^usage: corvexel' "$work/err" || fail "'$*' printed no usage"
}
expect_usage
expect_usage frobnicate
expect_usage about --bogus
expect_usage params --json --bogus
expect_usage params --module
expect_usage about extra

# A module that cannot be loaded is a failure (1) naming the file.
status=0
"$cli" about --module "$work/no-such-module.so" 2>"$work/err" || status=$?
[ "$status" -eq 1 ] || fail "missing module exited with $status"
grep -q 'no-such-module' "$work/err" || fail "missing module not named"

echo "ok"
