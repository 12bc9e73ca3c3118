// The channel functions: each reads one value 0..255 out of a pixel with
// 32-bit integer arithmetic, divisions truncating toward zero. The
// transition, the channel scale and the pixel sort share them.
#include <algorithm>

#include "effects/stages.h"

int32_t channelRed(const PF_Pixel8* p) { return p->red; }
int32_t channelGreen(const PF_Pixel8* p) { return p->green; }
int32_t channelBlue(const PF_Pixel8* p) { return p->blue; }
int32_t channelAlpha(const PF_Pixel8* p) { return p->alpha; }

int32_t channelLightness(const PF_Pixel8* p) {
    return (p->red + p->green + p->blue) / 3;
}

int32_t channelLuminance(const PF_Pixel8* p) {
    return (299 * p->red + 587 * p->green + 114 * p->blue) / 1000;
}

int32_t channelSaturation(const PF_Pixel8* p) {
    const int32_t mx = std::max({p->red, p->green, p->blue});
    const int32_t mn = std::min({p->red, p->green, p->blue});
    if (mx == 0) {
        return 0;
    }
    return (mx - mn) * 255 / mx;
}

// Hue in hundredths of a sixth of the colour circle (0..600), mapped onto
// 0..255 with red at both ends. Greys (including black) have hue 0.
int32_t channelHue(const PF_Pixel8* p) {
    const int32_t r = p->red, g = p->green, b = p->blue;
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
