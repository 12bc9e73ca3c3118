// The channel functions' arithmetic, inline so that per-pixel loops can
// have it compiled into them (effects/channel_functions.cpp makes the
// ChannelFn functions of stages.h from the same definitions). Each reads one
// value 0..255 out of a pixel with 32-bit integer arithmetic, divisions
// truncating toward zero.
#pragma once

#include <algorithm>
#include <cstdint>

#include "sdk/pf_types.h"

inline int32_t lightnessOf(const PF_Pixel8& p) { return (p.red + p.green + p.blue) / 3; }

inline int32_t luminanceOf(const PF_Pixel8& p) {
    return (299 * p.red + 587 * p.green + 114 * p.blue) / 1000;
}

inline int32_t saturationOf(const PF_Pixel8& p) {
    const int32_t mx = std::max({p.red, p.green, p.blue});
    const int32_t mn = std::min({p.red, p.green, p.blue});
    if (mx == 0) {
        return 0;
    }
    return (mx - mn) * 255 / mx;
}

// Hue in hundredths of a sixth of the colour circle (0..600), mapped onto
// 0..255 with red at both ends. Greys (including black) have hue 0.
inline int32_t hueOf(const PF_Pixel8& p) {
    const int32_t r = p.red, g = p.green, b = p.blue;
    const int32_t mx = std::max({r, g, b});
    const int32_t mn = std::min({r, g, b});
    if (mx == mn) {
        return 0;
    }
    const int32_t d = mx - mn;
    int32_t h;
    if (mx == r) {
        h = 100 * (g - b) / d + (g < b ? 600 : 0);
    } else if (mx == g) {
        h = 100 * (b - r) / d + 200;
    } else {
        h = 100 * (r - g) / d + 400;
    }
    return h * 255 / 600;
}
