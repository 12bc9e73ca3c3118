#!/usr/bin/env python3
"""Writes the PiPL bytes defined in pipl_bytes.h as a raw binary file.

The Windows resource script embeds that file as resource "PiPL" 16000, so
the resource holds exactly the array the plug-in's own code and tests use.

usage: pipl_to_binary.py pipl_bytes.h OUTPUT
"""
import ast
import re
import sys


def pipl_bytes(header_text):
    match = re.search(r"kPiPLBytes\[\]\s*=\s*\{(.*?)\};", header_text, re.S)
    if match is None:
        raise ValueError("no kPiPLBytes array found")
    body = re.sub(r"//[^\n]*", "", match.group(1))
    values = []
    for token in (t.strip() for t in body.split(",")):
        if not token:
            continue
        if token.startswith("'"):
            text = ast.literal_eval(token)
            if len(text) != 1:
                raise ValueError(f"not a single character: {token}")
            value = ord(text)
        else:
            value = int(token, 0)
        if not 0 <= value <= 255:
            raise ValueError(f"not a byte: {token}")
        values.append(value)
    return bytes(values)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="utf-8") as header:
        data = pipl_bytes(header.read())
    with open(argv[2], "wb") as out:
        out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
