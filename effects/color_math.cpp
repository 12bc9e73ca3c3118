// Colour conversions and combine functions of the channel split. Every step
// keeps the precision and order written here: float where a float is named,
// nothing fused, conversions to integers truncating toward zero.
#include "effects/color_math.h"

#include <cmath>

#include "noise/int_conversion.h"

namespace {

// byte / 255, divided in double and rounded to float, for every byte. The
// table is filled by the compiler, which rounds each quotient exactly; done
// at run time, optimisers have been seen to vectorise the divisions and keep
// the double quotient, skipping the rounding to float.
struct NormalisedTable {
    float v[256];
    constexpr NormalisedTable() : v() {
        for (int32_t i = 0; i < 256; ++i) {
            v[i] = static_cast<float>(static_cast<double>(i) / 255.0);
        }
    }
};
constexpr NormalisedTable kNormalised;

float normalised(A_u_char byte) {
    return kNormalised.v[byte];
}

// Keeps the low 8 bits of a truncated value: out-of-range results wrap.
// A value with no integer meaning (out of int32 range) becomes 0 instead of
// undefined behaviour.
A_u_char wrappedByte(double value) {
    const int32_t whole = truncToInt32(value);
    return static_cast<A_u_char>(static_cast<uint32_t>(whole) & 0xFFu);
}

PF_Pixel8 withAlpha(PF_Pixel8 colour, A_u_char alpha) {
    colour.alpha = alpha;
    return colour;
}

}  // namespace

const float* normalisedChannels() { return kNormalised.v; }

YCbCr rgbToYCbCr(const PF_Pixel8* pixel) {
    const double r = normalised(pixel->red);
    const double g = normalised(pixel->green);
    const double b = normalised(pixel->blue);
    YCbCr out;
    out.y = static_cast<float>(0.587 * g + 0.299 * r + 0.114 * b);
    out.cb = static_cast<float>(0.5 * b - (0.168736 * r + 0.331264 * g));
    out.cr = static_cast<float>(0.5 * r - 0.418688 * g - 0.081312 * b);
    return out;
}

PF_Pixel8 yCbCrToRgb(float y, float cb, float cr) {
    const double red = static_cast<double>(y) + 1.402 * static_cast<double>(cr);
    const double green = static_cast<double>(y) - 0.344136 * static_cast<double>(cb) -
                         0.714136 * static_cast<double>(cr);
    const double blue = static_cast<double>(y) + 1.772 * static_cast<double>(cb);
    PF_Pixel8 out;
    out.alpha = 0;
    out.red = wrappedByte(red * 255.0);
    out.green = wrappedByte(green * 255.0);
    out.blue = wrappedByte(blue * 255.0);
    return out;
}

// A grey that is not black has no defined hue (its delta is 0); it gets
// hue 0 so that no 0 / 0 ever reaches hsvToRgb.
Hsv rgbToHsv(const PF_Pixel8* pixel) {
    const float r = normalised(pixel->red);
    const float g = normalised(pixel->green);
    const float b = normalised(pixel->blue);
    const float v = std::fmax(r, std::fmax(g, b));
    const float mn = std::fmin(r, std::fmin(g, b));
    const float delta = v - mn;
    if (v == 0.0f) {
        return Hsv{-1.0f, 0.0f, v};
    }
    const float s = delta / v;
    if (delta == 0.0f) {
        return Hsv{0.0f, s, v};
    }
    float h;
    if (r == v) {
        h = (g - b) / delta;
    } else if (g == v) {
        h = (b - r) / delta + 2.0f;
    } else {
        h = (r - g) / delta + 4.0f;
    }
    h = h * 60.0f;
    if (h < 0.0f) {
        h = h + 360.0f;
    }
    return Hsv{h, s, v};
}

PF_Pixel8 hsvToRgb(float h, float s, float v) {
    float red = v, green = v, blue = v;
    if (s != 0.0f) {
        const float sector = h / 60.0f;
        int32_t i = truncToInt32(sector);
        if (sector < 0.0f) {
            i = i - 1;
        }
        const float f = sector - static_cast<float>(i);
        const float pp = v * (1.0f - s);
        const float qq = v * (1.0f - f * s);
        const float tt = v * (1.0f - (1.0f - f) * s);
        switch (i) {
            case 0: red = v; green = tt; blue = pp; break;
            case 1: red = qq; green = v; blue = pp; break;
            case 2: red = pp; green = v; blue = tt; break;
            case 3: red = pp; green = qq; blue = v; break;
            case 4: red = tt; green = pp; blue = v; break;
            default: red = v; green = pp; blue = qq; break;
        }
    }
    PF_Pixel8 out;
    out.alpha = 0;
    out.red = wrappedByte(static_cast<double>(red * 255.0f));
    out.green = wrappedByte(static_cast<double>(green * 255.0f));
    out.blue = wrappedByte(static_cast<double>(blue * 255.0f));
    return out;
}

PF_Pixel8 combineRedCyan(const PF_Pixel8* p, const PF_Pixel8* q) {
    return PF_Pixel8{p->alpha, q->red, p->green, p->blue};
}

PF_Pixel8 combineGreenMagenta(const PF_Pixel8* p, const PF_Pixel8* q) {
    return PF_Pixel8{p->alpha, p->red, q->green, p->blue};
}

PF_Pixel8 combineBlueYellow(const PF_Pixel8* p, const PF_Pixel8* q) {
    return PF_Pixel8{p->alpha, p->red, p->green, q->blue};
}

PF_Pixel8 combineLuma(const PF_Pixel8* p, const PF_Pixel8* q) {
    const YCbCr own = rgbToYCbCr(p), other = rgbToYCbCr(q);
    return withAlpha(yCbCrToRgb(other.y, own.cb, own.cr), p->alpha);
}

PF_Pixel8 combineCb(const PF_Pixel8* p, const PF_Pixel8* q) {
    const YCbCr own = rgbToYCbCr(p), other = rgbToYCbCr(q);
    return withAlpha(yCbCrToRgb(own.y, other.cb, own.cr), p->alpha);
}

PF_Pixel8 combineCr(const PF_Pixel8* p, const PF_Pixel8* q) {
    const YCbCr own = rgbToYCbCr(p), other = rgbToYCbCr(q);
    return withAlpha(yCbCrToRgb(own.y, own.cb, other.cr), p->alpha);
}

PF_Pixel8 combineHue(const PF_Pixel8* p, const PF_Pixel8* q) {
    const Hsv own = rgbToHsv(p), other = rgbToHsv(q);
    return withAlpha(hsvToRgb(other.h, own.s, own.v), p->alpha);
}

PF_Pixel8 combineSaturation(const PF_Pixel8* p, const PF_Pixel8* q) {
    const Hsv own = rgbToHsv(p), other = rgbToHsv(q);
    return withAlpha(hsvToRgb(own.h, other.s, own.v), p->alpha);
}

PF_Pixel8 combineValue(const PF_Pixel8* p, const PF_Pixel8* q) {
    const Hsv own = rgbToHsv(p), other = rgbToHsv(q);
    return withAlpha(hsvToRgb(own.h, own.s, other.v), p->alpha);
}
