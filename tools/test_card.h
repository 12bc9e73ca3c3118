// The built-in picture `corvexel render` uses when no input is given.
#pragma once

#include <cstdint>

#include "tools/image_io.h"

// A colourful card: gradients, hard-edged bars and shapes, and transparent
// and half-transparent areas, so that every glitch stage has something to
// show. The same size always gives the same bytes.
RgbaImage makeTestCard(int32_t width, int32_t height);
