#!/usr/bin/env python3
"""Writes Kdenlive's effect description of the frei0r module corvexel.so.

usage: corvexel params --json | make_effect.py > frei0r_corvexel.xml

Each parameter gets its real name (with the group it sits in), range,
default and item list, in the effect's order. Kdenlive (22.12, Debian 12)
hands MLT a slider's value divided by the description's `factor` and knows
no offset, while the module takes a slider as 0 .. 1 over the slider's
range. So sliders whose range starts at 0 are sliders (factor = the range);
the few whose range starts elsewhere (-200 .. 200, 10 .. 64, 1 .. 64) are
lists of real values, each written as the 0 .. 1 position it stands for.
Popups are lists of item numbers, checkboxes are checkboxes. Points are left
out: MLT does not pass frei0r positions on; the settings field takes them.
"""
import json
import sys
from xml.sax.saxutils import quoteattr, escape

EFFECT_DESCRIPTION = (
    "Seeded, time-animated digital glitch: transform jitter, channel split and scale, "
    "colour corruption, pixel streaks, WebP slices, displaced blocks and JPEG-style damage. "
    "The settings field takes NAME=VALUE parts joined by &amp; after a leading 0= "
    "(MLT reads a bare = as a keyframe), for example "
    "0=preset=/usr/local/share/corvexel/presets/vhs-wobble.txt&amp;Random Seed=7")


def number(value):
    """Shortest text that reads back as the same double."""
    if value == int(value) and abs(value) < 1e15:
        return str(int(value))
    return repr(float(value))


def position(value):
    """A 0 .. 1 slider position as Kdenlive keeps it: six significant digits
    (a longer default matches no list entry there). The module takes slider
    values in 0.01 steps, so six digits still land on the value meant."""
    return "%.6g" % value


def label(param):
    """The name Kdenlive shows: the innermost group, then the control."""
    group = param["group"].split("/")[-1] if param["group"] else ""
    return f"{group}: {param['name']}" if group else param["name"]


def frei0r_name(param):
    return f"{param['group']}/{param['name']}" if param["group"] else param["name"]


def steps(lo, hi, default):
    """Real values offered for a slider that does not start at 0."""
    span = hi - lo
    step = 1 if span <= 64 else 5 if span <= 200 else 10 if span <= 400 else 20
    values = [lo + k * step for k in range(int(span // step) + 1)]
    if default not in values:
        values.append(default)
    return sorted(values)


def slider(param):
    lo, hi = param["slider"]
    default = param["default"]
    name, attrs = frei0r_name(param), ""
    if lo != 0:
        values = steps(lo, hi, default)
        positions = [position((v - lo) / (hi - lo)) for v in values]
        return (f'    <parameter type="list" name={quoteattr(name)} '
                f'default="{position((default - lo) / (hi - lo))}" '
                f'paramlist="{";".join(positions)}">\n'
                f'        <paramlistdisplay>{",".join(number(v) for v in values)}</paramlistdisplay>\n'
                f'        <name>{escape(label(param))}</name>\n'
                f'    </parameter>\n')
    whole = param["kind"] == "int"
    kind = "constant" if whole else "animated"
    attrs = f' decimals="{0 if whole else 2}"'
    return (f'    <parameter type="{kind}" name={quoteattr(name)} '
            f'default="{number(default / hi)}" min="0" max="{number(hi)}" '
            f'factor="{number(hi)}"{attrs}>\n'
            f'        <name>{escape(label(param))}</name>\n'
            f'    </parameter>\n')


def popup(param):
    items = [(i + 1, text) for i, text in enumerate(param["items"]) if text != "(-"]
    return (f'    <parameter type="list" name={quoteattr(frei0r_name(param))} '
            f'default="{param["default"]}" '
            f'paramlist="{";".join(str(n) for n, _ in items)}">\n'
            f'        <paramlistdisplay>{escape(",".join(text for _, text in items))}'
            f'</paramlistdisplay>\n'
            f'        <name>{escape(label(param))}</name>\n'
            f'    </parameter>\n')


def checkbox(param):
    return (f'    <parameter type="bool" name={quoteattr(frei0r_name(param))} '
            f'default="{param["default"]}">\n'
            f'        <name>{escape(label(param))}</name>\n'
            f'    </parameter>\n')


def main():
    params = json.load(sys.stdin)
    out = ['<?xml version="1.0"?>\n',
           '<!DOCTYPE kpartgui>\n',
           '<!-- Made by integrations/kdenlive/make_effect.py from what corvexel params prints as JSON. -->\n',
           '<effect LC_NUMERIC="C" tag="frei0r.corvexel" id="frei0r.corvexel" type="video">\n',
           '    <name>Corvexel</name>\n',
           f'    <description>{EFFECT_DESCRIPTION}</description>\n',
           '    <author>Torvanel</author>\n',
           '    <!-- MLT cuts a frei0r filter\'s frames into strips when its "threads"\n'
           '         property is 0 or above 1; the effect needs whole frames. -->\n',
           '    <parameter type="fixed" name="threads" default="1"/>\n',
           '    <parameter type="keywords" name="settings" default="" '
           'paramlist="0=preset=;0=Random Seed=;0=Transform Glitch/Position=50%,50%">\n',
           '        <name>Settings</name>\n',
           '    </parameter>\n']
    for param in params:
        kind = param["kind"]
        if kind in ("float", "int"):
            out.append(slider(param))
        elif kind == "popup":
            out.append(popup(param))
        elif kind == "checkbox":
            out.append(checkbox(param))
    out.append('    <parameter type="constant" name="Render Threads" default="0" min="0" max="64" '
               'factor="1" decimals="0">\n'
               '        <name>Render Threads (0 = all processors)</name>\n'
               '    </parameter>\n')
    out.append('</effect>\n')
    sys.stdout.write("".join(out))


if __name__ == "__main__":
    main()
