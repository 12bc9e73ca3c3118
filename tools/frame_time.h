// Frame times as exact fractions, the one form every front end hands the
// plug-in: current_time / time_scale seconds in lowest terms.
//
// The plug-in divides float(current_time) by float(time_scale). Two ways of
// writing the same time give the same float only while both numbers stay
// below 2^24, so the command line and the video-tool module agree on one
// canonical form: the fraction in lowest terms.
#pragma once

#include <cstdint>

struct FrameTime {
    int32_t currentTime = 0;
    uint32_t timeScale = 1;
};

// Frame `frame` of a clip at rateNumerator / rateDenominator frames per
// second: frame * rateDenominator / rateNumerator seconds, in lowest terms.
// False when the numerator does not fit current_time or the rate is zero.
bool frameTimeAt(int64_t frame, uint32_t rateNumerator, uint32_t rateDenominator,
                 FrameTime* time);

// Ticks of this many per second carry every frame of the usual rates
// exactly: 10, 12, 15, 24, 25, 30, 48, 50, 60, 100, 120 and 24, 30, 48, 60,
// 120 × 1000/1001 frames per second.
inline constexpr int64_t kTimeTicksPerSecond = 240000;

// A host's frame time in seconds (a double, as video tools hand it over)
// rounded to the nearest tick and written in lowest terms, so that frame n
// of a clip at any of those rates gives exactly frameTimeAt(n, rate).
// Times too long for current_time in ticks fall back to milliseconds, then
// to whole seconds. False for a time that is not finite or still too long.
bool frameTimeFromSeconds(double seconds, FrameTime* time);
