// The glitch block's choice of source block, exposed so the offsets can be
// checked for any noise value without searching for a field that yields it.
#pragma once

#include <cstdint>

// Top-left corner of a source block in pixels, before it is clipped to the
// frame (either coordinate may lie outside it).
struct BlockSource {
    int32_t x;
    int32_t y;
};

// Where block i of a grid nx blocks wide (blocks bw x bh pixels) takes its
// content from when its noise value is v: the value picks an offset of -3..+2
// blocks on each axis; Direction 1 moves horizontally, 2 vertically, 3 both,
// and any other value keeps the block's own corner.
BlockSource glitchBlockSource(float v, int32_t i, int32_t nx, int32_t bw, int32_t bh,
                              int32_t direction);
