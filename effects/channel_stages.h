// Host callbacks of the transition, channel split and channel scale, named
// here so that they can be exercised one pixel or one line at a time.
#pragma once

#include "effects/stages.h"

PF_Err transitionPixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out);
PF_Err transitionNoisePixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out);
PF_Err splitPixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out);
PF_Err splitPixelRepeat(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out);
PF_Err scaleColumn(void* refcon, A_long thread_index, A_long column, A_long line_count);
PF_Err scaleRow(void* refcon, A_long thread_index, A_long row, A_long line_count);
