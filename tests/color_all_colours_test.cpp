// Every one of the 2^24 colours through every colour conversion, against a
// plain computation written here with a volatile store at each rounding
// step, so no optimiser can merge or skip a rounding in the reference.
// Optimisers have dropped the float rounding of the normalised channels
// when they vectorised the conversions; this catches it in any build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "effects/color_math.h"
#include "effects/compression.h"
#include "noise/cpu_features.h"
#include "noise/int_conversion.h"

namespace {

// --------------------------------------------------------------- reference

float plainNormalised(int32_t byte) {
    volatile double quotient = static_cast<double>(byte) / 255.0;
    volatile float rounded = static_cast<float>(quotient);
    return rounded;
}

YCbCr plainYCbCr(int32_t R, int32_t G, int32_t B) {
    volatile double r = plainNormalised(R);
    volatile double g = plainNormalised(G);
    volatile double b = plainNormalised(B);
    volatile float y = static_cast<float>(0.587 * g + 0.299 * r + 0.114 * b);
    volatile float cb = static_cast<float>(0.5 * b - (0.168736 * r + 0.331264 * g));
    volatile float cr = static_cast<float>(0.5 * r - 0.418688 * g - 0.081312 * b);
    return YCbCr{y, cb, cr};
}

uint8_t plainWrap(double value) {
    return static_cast<uint8_t>(static_cast<uint32_t>(truncToInt32(value)) & 0xFFu);
}

void plainYCbCrToRgb(float y, float cb, float cr, uint8_t out[3]) {
    volatile double red = static_cast<double>(y) + 1.402 * static_cast<double>(cr);
    volatile double green = static_cast<double>(y) - 0.344136 * static_cast<double>(cb) -
                            0.714136 * static_cast<double>(cr);
    volatile double blue = static_cast<double>(y) + 1.772 * static_cast<double>(cb);
    out[0] = plainWrap(red * 255.0);
    out[1] = plainWrap(green * 255.0);
    out[2] = plainWrap(blue * 255.0);
}

Hsv plainHsv(int32_t R, int32_t G, int32_t B) {
    volatile float r = plainNormalised(R);
    volatile float g = plainNormalised(G);
    volatile float b = plainNormalised(B);
    float v = r;
    if (g > v) v = g;
    if (b > v) v = b;
    float mn = r;
    if (g < mn) mn = g;
    if (b < mn) mn = b;
    volatile float delta = v - mn;
    if (v == 0.0f) return Hsv{-1.0f, 0.0f, v};
    volatile float s = delta / v;
    if (delta == 0.0f) return Hsv{0.0f, s, v};
    volatile float h;
    if (r == v) {
        h = (g - b) / delta;
    } else if (g == v) {
        volatile float q = (b - r) / delta;
        h = q + 2.0f;
    } else {
        volatile float q = (r - g) / delta;
        h = q + 4.0f;
    }
    h = h * 60.0f;
    if (h < 0.0f) h = h + 360.0f;
    return Hsv{h, s, v};
}

void plainHsvToRgb(float h, float s, float v, uint8_t out[3]) {
    volatile float red = v, green = v, blue = v;
    if (s != 0.0f) {
        volatile float sector = h / 60.0f;
        int32_t i = truncToInt32(static_cast<float>(sector));
        if (sector < 0.0f) i = i - 1;
        volatile float f = sector - static_cast<float>(i);
        volatile float oneMinusS = 1.0f - s;
        volatile float fs = f * s;
        volatile float oneMinusFs = 1.0f - fs;
        volatile float oneMinusF = 1.0f - f;
        volatile float rest = oneMinusF * s;
        volatile float oneMinusRest = 1.0f - rest;
        volatile float pp = v * oneMinusS;
        volatile float qq = v * oneMinusFs;
        volatile float tt = v * oneMinusRest;
        switch (i) {
            case 0: red = v; green = tt; blue = pp; break;
            case 1: red = qq; green = v; blue = pp; break;
            case 2: red = pp; green = v; blue = tt; break;
            case 3: red = pp; green = qq; blue = v; break;
            case 4: red = tt; green = pp; blue = v; break;
            default: red = v; green = pp; blue = qq; break;
        }
    }
    volatile float r255 = red * 255.0f;
    volatile float g255 = green * 255.0f;
    volatile float b255 = blue * 255.0f;
    out[0] = plainWrap(r255);
    out[1] = plainWrap(g255);
    out[2] = plainWrap(b255);
}

uint8_t plainStore(double value) {
    if (!(value >= 0.0)) return 0;
    if (value > 255.0) return 255;
    return static_cast<uint8_t>(value);
}

// The compression step's conversions, in double precision.
void plainJpegYCbCr(int32_t R, int32_t G, int32_t B, uint8_t out[3]) {
    volatile double y = (G * 0.587 + R * 0.299) + B * 0.114;
    volatile double cb = ((128.0 - R * 0.16874) - G * 0.33126) + B * 0.5;
    volatile double cr = ((R * 0.5 + 128.0) - G * 0.41869) - B * 0.08131;
    out[0] = plainStore(y);
    out[1] = plainStore(cb);
    out[2] = plainStore(cr);
}

void plainJpegRgb(int32_t Y, int32_t Cb, int32_t Cr, uint8_t out[3]) {
    const double cb = Cb - 128;
    const double cr = Cr - 128;
    volatile double red = cr * 1.402 + Y;
    volatile double green = (Y - cb * 0.34414) - cr * 0.71414;
    volatile double blue = cb * 1.772 + Y;
    out[0] = plainStore(red);
    out[1] = plainStore(green);
    out[2] = plainStore(blue);
}

// --------------------------------------------------------------- helpers

PF_Pixel8 colourOf(uint32_t index, uint8_t alpha = 255) {
    return PF_Pixel8{alpha, static_cast<A_u_char>(index >> 16), static_cast<A_u_char>(index >> 8),
                     static_cast<A_u_char>(index)};
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A partner for the combine functions that differs in every channel.
PF_Pixel8 partnerOf(const PF_Pixel8& p) {
    return PF_Pixel8{p.alpha, static_cast<A_u_char>(p.blue * 7 + 3),
                     static_cast<A_u_char>(p.red ^ 0x5A), static_cast<A_u_char>(255 - p.green)};
}

constexpr uint32_t kColours = 1u << 24;
// Stop reporting after this many differences; one is already a failure.
constexpr int kReportLimit = 5;

#define EXPECT_FEW(condition, message)                                  \
    do {                                                                \
        if (!(condition)) {                                             \
            if (++differences <= kReportLimit) ADD_FAILURE() << message; \
        }                                                               \
    } while (0)

struct Described {
    const PF_Pixel8& p;
};
std::ostream& operator<<(std::ostream& out, Described d) {
    return out << "(" << int{d.p.red} << "," << int{d.p.green} << "," << int{d.p.blue} << ")";
}
Described describe(const PF_Pixel8& p) { return Described{p}; }

// --------------------------------------------------------------- tests

TEST(ColourConversionAllColours, YCbCrBothWays) {
    int differences = 0;
    for (uint32_t c = 0; c < kColours; ++c) {
        const PF_Pixel8 p = colourOf(c);
        const YCbCr got = rgbToYCbCr(&p);
        const YCbCr want = plainYCbCr(p.red, p.green, p.blue);
        EXPECT_FEW(sameBits(got.y, want.y) && sameBits(got.cb, want.cb) &&
                       sameBits(got.cr, want.cr),
                   "rgbToYCbCr" << describe(p));
        const PF_Pixel8 back = yCbCrToRgb(want.y, want.cb, want.cr);
        uint8_t expected[3];
        plainYCbCrToRgb(want.y, want.cb, want.cr, expected);
        EXPECT_FEW(back.red == expected[0] && back.green == expected[1] &&
                       back.blue == expected[2],
                   "yCbCrToRgb of " << describe(p));
    }
    EXPECT_EQ(differences, 0);
}

TEST(ColourConversionAllColours, HsvBothWays) {
    int differences = 0;
    for (uint32_t c = 0; c < kColours; ++c) {
        const PF_Pixel8 p = colourOf(c);
        const Hsv got = rgbToHsv(&p);
        const Hsv want = plainHsv(p.red, p.green, p.blue);
        EXPECT_FEW(sameBits(got.h, want.h) && sameBits(got.s, want.s) && sameBits(got.v, want.v),
                   "rgbToHsv" << describe(p));
        const PF_Pixel8 back = hsvToRgb(want.h, want.s, want.v);
        uint8_t expected[3];
        plainHsvToRgb(want.h, want.s, want.v, expected);
        EXPECT_FEW(back.red == expected[0] && back.green == expected[1] &&
                       back.blue == expected[2],
                   "hsvToRgb of " << describe(p));
    }
    EXPECT_EQ(differences, 0);
}

// The combine functions are what the channel split calls; each mixes one
// component of the partner into the pixel.
TEST(ColourConversionAllColours, CombineFunctions) {
    int differences = 0;
    for (uint32_t c = 0; c < kColours; ++c) {
        const PF_Pixel8 p = colourOf(c, static_cast<uint8_t>(c * 13));
        const PF_Pixel8 q = partnerOf(p);
        const YCbCr own = plainYCbCr(p.red, p.green, p.blue);
        const YCbCr other = plainYCbCr(q.red, q.green, q.blue);
        const Hsv ownHsv = plainHsv(p.red, p.green, p.blue);
        const Hsv otherHsv = plainHsv(q.red, q.green, q.blue);
        struct Case {
            SplitCombineFn fn;
            const char* name;
            bool hsv;
            float a, b, c;
        };
        const Case cases[] = {
            {combineLuma, "Y'", false, other.y, own.cb, own.cr},
            {combineCb, "Cb", false, own.y, other.cb, own.cr},
            {combineCr, "Cr", false, own.y, own.cb, other.cr},
            {combineHue, "hue", true, otherHsv.h, ownHsv.s, ownHsv.v},
            {combineSaturation, "saturation", true, ownHsv.h, otherHsv.s, ownHsv.v},
            {combineValue, "value", true, ownHsv.h, ownHsv.s, otherHsv.v},
        };
        for (const Case& k : cases) {
            uint8_t expected[3];
            if (k.hsv) {
                plainHsvToRgb(k.a, k.b, k.c, expected);
            } else {
                plainYCbCrToRgb(k.a, k.b, k.c, expected);
            }
            const PF_Pixel8 got = k.fn(&p, &q);
            EXPECT_FEW(got.red == expected[0] && got.green == expected[1] &&
                           got.blue == expected[2] && got.alpha == p.alpha,
                       k.name << " of " << describe(p) << " with " << describe(q));
        }
    }
    EXPECT_EQ(differences, 0);
}

// The Hue, Saturation and Value combines a run of pairs at a time, in the
// SSE2 and (where the processor has it) AVX2 lanes, against the one-pair
// combines, for every colour with its partner.
TEST(ColourConversionAllColours, HsvCombineRuns) {
    struct Form {
        const char* name;
        void (*run)(HsvComponent, const uint32_t*, const uint32_t*, int32_t, uint32_t*);
    };
    std::vector<Form> forms = {{"SSE2", combineHsvRunSse2}};
    if (cpuHasAvx2()) forms.push_back({"AVX2", combineHsvRunAvx2});
    struct Combine {
        HsvComponent from;
        SplitCombineFn one;
        const char* name;
    };
    const Combine combines[] = {{HsvComponent::kHue, combineHue, "hue"},
                                {HsvComponent::kSaturation, combineSaturation, "saturation"},
                                {HsvComponent::kValue, combineValue, "value"}};
    constexpr int32_t kRun = 61;   // not a multiple of the lane count
    for (const Form& form : forms) {
        for (const Combine& combine : combines) {
            int differences = 0;
            uint32_t own[kRun], partner[kRun], out[kRun];
            for (uint32_t first = 0; first < kColours; first += kRun) {
                const int32_t count = static_cast<int32_t>(std::min<uint32_t>(kRun, kColours - first));
                for (int32_t n = 0; n < count; ++n) {
                    const PF_Pixel8 p = colourOf(first + n, static_cast<uint8_t>((first + n) * 13));
                    const PF_Pixel8 q = partnerOf(p);
                    std::memcpy(&own[n], &p, 4);
                    std::memcpy(&partner[n], &q, 4);
                }
                form.run(combine.from, own, partner, count, out);
                for (int32_t n = 0; n < count; ++n) {
                    PF_Pixel8 p, q;
                    std::memcpy(&p, &own[n], 4);
                    std::memcpy(&q, &partner[n], 4);
                    const PF_Pixel8 want = combine.one(&p, &q);
                    EXPECT_FEW(std::memcmp(&want, &out[n], 4) == 0,
                               form.name << " " << combine.name << " of " << describe(p)
                                         << " with " << describe(q));
                }
            }
            EXPECT_EQ(differences, 0) << form.name << " " << combine.name;
        }
    }
}

// The compression step's pixel functions, and their AVX2 forms where the
// processor has AVX2 (the render hands those to the host there).
TEST(ColourConversionAllColours, CompressionConversions) {
    struct Form {
        const char* name;
        PF_IteratePixel8Func toYCbCr, toRgb;
    };
    std::vector<Form> forms = {{"plain", toYCbCrPixel, toRgbPixel}};
    if (cpuHasAvx2()) forms.push_back({"AVX2", toYCbCrPixelAvx2, toRgbPixelAvx2});
    for (const Form& form : forms) {
        int differences = 0;
        for (uint32_t c = 0; c < kColours; ++c) {
            PF_Pixel8 p = colourOf(c, static_cast<uint8_t>(c >> 3));
            PF_Pixel8 out{};
            form.toYCbCr(nullptr, 0, 0, &p, &out);
            uint8_t expected[3];
            plainJpegYCbCr(p.red, p.green, p.blue, expected);
            EXPECT_FEW(out.red == expected[0] && out.green == expected[1] &&
                           out.blue == expected[2] && out.alpha == p.alpha,
                       form.name << " to YCbCr " << describe(p));
            form.toRgb(nullptr, 0, 0, &p, &out);
            plainJpegRgb(p.red, p.green, p.blue, expected);
            EXPECT_FEW(out.red == expected[0] && out.green == expected[1] &&
                           out.blue == expected[2] && out.alpha == p.alpha,
                       form.name << " to RGB " << describe(p));
        }
        EXPECT_EQ(differences, 0) << form.name;
    }
}

}  // namespace
