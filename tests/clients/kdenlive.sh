#!/usr/bin/env bash
# The Kdenlive effect description: it is what make_effect.py makes of the
# parameters the plug-in declares today, and an MLT project that applies the
# filter with values written the way that description makes Kdenlive write
# them (every parameter present, sliders divided by their factor with six
# significant digits, animated ones as a keyframe, lists as their entries)
# renders through melt to the bytes `corvexel render` gives with the same
# settings typed as real values.
# Arguments: corvexel executable, folder holding corvexel.so, source tree.
source "$(dirname "$0")/common.bash"

description=$src/integrations/kdenlive/frei0r_corvexel.xml
"$cli" params --json | python3 "$src/integrations/kdenlive/make_effect.py" >made.xml
cmp -s made.xml "$description" ||
  fail "integrations/kdenlive/frei0r_corvexel.xml is out of date: run make_effect.py again"

width=161 height=91 frames=5
ffmpeg -v error -f lavfi -i "testsrc2=size=$((width + 1))x$((height + 1)):rate=25,crop=$width:$height:0:0,format=rgba" \
  -frames:v $frames -c:v png -y in.mov
ffmpeg -v error -i in.mov -f image2 -y in_%d.png

# Values a user picks in the panel (real values, as the panel shows them),
# and the project Kdenlive would save for them.
python3 - "$description" "$work" <<'PY'
import sys, xml.etree.ElementTree as ET
description, work = sys.argv[1], sys.argv[2]
picked = {                                   # name: value shown in the panel
    "Corvexel Amount": 35.5,
    "Random Seed": 1234,
    "Transform Glitch/Scale": 130,           # a list of real values
    "Advanced/Randomness/Lacunarity": 12.5,
    "Advanced/Randomness/Octaves": 3,
    "Channel Glitch/Channel Split/Channel": "Cr",
    "Channel Glitch/Channel Split/Horizontal Amount": -40,
    "Image Glitch/Vertical Sort": 1,
    "Compression Glitch/Enable": 1,
    "Image Glitch/Glitch Block/Horizontal Size": 24,
}
settings = "0=Transform Glitch/Position=40%,55%"
props = [("mlt_service", "frei0r.corvexel"), ("kdenlive_id", "frei0r.corvexel")]
cli = ["--set", "Transform Glitch/Position=40%,55%"]
for p in ET.parse(description).getroot().iter("parameter"):
    kind, name, default = p.get("type"), p.get("name"), p.get("default")
    if kind == "fixed":
        props.append((name, default))
        continue
    if kind == "keywords":
        props.append((name, settings))
        continue
    value = picked.get(name)
    if kind == "list":
        entries = p.get("paramlist").split(";")
        shown = p.find("paramlistdisplay").text.split(",")
        written = default if value is None else entries[shown.index(str(value))]
    elif kind == "bool":
        written = default if value is None else str(value)
    else:
        factor = float(p.get("factor", "1"))
        written = default if value is None else "%g" % (value / factor)
        if kind == "animated":
            written = "00:00:00.000=" + written
    props.append((name, written))
    if value is not None:
        cli += ["--set", f"{name}={'on' if kind == 'bool' and value else value}"]
open(work + "/cli_args", "w").write("\n".join(cli) + "\n")
from xml.sax.saxutils import escape, quoteattr
filters = "".join(f"<property name={quoteattr(k)}>{escape(v)}</property>" for k, v in props)
open(work + "/project.mlt", "w").write(f"""<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C" producer="main_bin">
 <profile description="test" width="161" height="91" progressive="1" sample_aspect_num="1"
   sample_aspect_den="1" display_aspect_num="161" display_aspect_den="91" frame_rate_num="25"
   frame_rate_den="1" colorspace="601"/>
 <producer id="clip"><property name="resource">{work}/in.mov</property></producer>
 <playlist id="track"><entry producer="clip" in="0" out="4"><filter id="effect">{filters}</filter></entry></playlist>
 <tractor id="main"><track producer="track"/></tractor>
</mlt>
""")
PY
run_melt out.rgba project.mlt -consumer avformat:out.rgba f=rawvideo pix_fmt=rgba real_time=-1
! grep -q corvexel melt.log || fail "the module complained: $(cat melt.log)"
mapfile -t cli_args <cli_args
expect_frames out.rgba $width $height $frames 25 "${cli_args[@]}"
echo "a project written from the Kdenlive description renders as corvexel render does"
