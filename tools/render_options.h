// Parsing of the `corvexel render` command line values: times, sizes, frame
// ranges and output name patterns. Each parser returns false on malformed
// text and leaves the output untouched.
#pragma once

#include <cstdint>
#include <string>

// A time as the host hands it: current_time / time_scale seconds.
struct RenderTime {
    int32_t currentTime = 0;
    uint32_t timeScale = 1;
};

// "CT/TS" (integers, TS > 0) or a non-negative decimal ("0.25" -> 25/100).
bool parseTime(const std::string& text, RenderTime* time);

// "WxH", both positive integers; whether a render can have that size is
// pictureSizeProblem's question (image_limits.h).
bool parseSize(const std::string& text, int64_t* width, int64_t* height);
// The same for a size that must also be within the picture limits; false
// otherwise.
bool parseSize(const std::string& text, int32_t* width, int32_t* height);

// "L,T,R,B": a rectangle of whole pixels (left, top, right, bottom; right
// and bottom exclusive), each a decimal integer, L <= R and T <= B.
bool parseExtent(const std::string& text, int32_t rect[4]);

// "A-B" with 0 <= A <= B < 2^63.
bool parseFrameRange(const std::string& text, int64_t* first, int64_t* last);

// A frame rate "F" (integer or decimal, > 0) or "N/D" (30000/1001) as
// rate = numerator / scale, so frame n lies at time (n * scale) / numerator.
bool parseFrameRate(const std::string& text, uint32_t* numerator, uint32_t* scale);

// An output name with exactly one %d-style conversion (%d, %04d, %5d) and no
// other conversion ("%%" is a literal percent sign).
bool isFramePattern(const std::string& pattern);
std::string formatFrameName(const std::string& pattern, int64_t frame);

// The first frame of first..last whose time frameTimeAt (frame_time.h)
// cannot express, or -1 when every frame's can.
int64_t firstInexpressibleFrame(int64_t first, int64_t last, uint32_t numerator,
                                uint32_t scale);
