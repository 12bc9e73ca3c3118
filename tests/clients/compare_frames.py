#!/usr/bin/env python3
"""Compares a file of raw RGBA frames with one raw RGBA file per frame.

usage: compare_frames.py FRAMES.rgba WIDTH HEIGHT REFERENCE_PATTERN COUNT
REFERENCE_PATTERN has one %d for the frame number (0-based). Prints the
frames that differ (with how many bytes) and exits 1 if any does."""
import sys

frames, width, height, pattern, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
size = width * height * 4
data = open(frames, "rb").read()
if len(data) != size * count:
    sys.exit(f"{frames}: {len(data)} bytes, expected {count} frames of {size}")
bad = []
for n in range(count):
    got = data[n * size:(n + 1) * size]
    want = open(pattern % n, "rb").read()
    if got != want:
        bad.append(f"frame {n}: {sum(a != b for a, b in zip(got, want))} of {size} bytes differ")
if bad:
    sys.exit(f"{frames}:\n  " + "\n  ".join(bad))
