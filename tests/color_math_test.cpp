// Channel functions, colour conversions and the combine functions of the
// channel split, checked against values worked out by hand.
#include <gtest/gtest.h>

#include "effects/color_math.h"
#include "effects/stages.h"

namespace {

PF_Pixel8 rgb(int r, int g, int b, int a = 255) {
    return PF_Pixel8{static_cast<A_u_char>(a), static_cast<A_u_char>(r),
                     static_cast<A_u_char>(g), static_cast<A_u_char>(b)};
}

void expectRgb(const PF_Pixel8& got, int r, int g, int b, const char* what) {
    EXPECT_EQ(got.red, r) << what;
    EXPECT_EQ(got.green, g) << what;
    EXPECT_EQ(got.blue, b) << what;
}

TEST(ChannelFunctions, ValuesOfPrimariesAndGreys) {
    struct Case {
        PF_Pixel8 pixel;
        int32_t red, green, blue, alpha, lightness, luminance, hue, saturation;
    };
    const Case cases[] = {
        {rgb(255, 0, 0), 255, 0, 0, 255, 85, 76, 0, 255},
        {rgb(0, 255, 0), 0, 255, 0, 255, 85, 149, 85, 255},
        {rgb(0, 0, 255), 0, 0, 255, 255, 85, 29, 170, 255},
        {rgb(255, 0, 1), 255, 0, 1, 255, 85, 76, 255, 255},
        {rgb(128, 128, 128, 7), 128, 128, 128, 7, 128, 128, 0, 0},
        {rgb(0, 0, 0, 0), 0, 0, 0, 0, 0, 0, 0, 0},
        {rgb(255, 255, 255), 255, 255, 255, 255, 255, 255, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(channelRed(&c.pixel), c.red);
        EXPECT_EQ(channelGreen(&c.pixel), c.green);
        EXPECT_EQ(channelBlue(&c.pixel), c.blue);
        EXPECT_EQ(channelAlpha(&c.pixel), c.alpha);
        EXPECT_EQ(channelLightness(&c.pixel), c.lightness);
        EXPECT_EQ(channelLuminance(&c.pixel), c.luminance);
        EXPECT_EQ(channelHue(&c.pixel), c.hue);
        EXPECT_EQ(channelSaturation(&c.pixel), c.saturation);
    }
}

// With the partner equal to the pixel, each combine is a round trip through
// its conversion, which truncates.
TEST(CombineFunctions, RoundTripsOfAPixelWithItself) {
    struct Case {
        SplitCombineFn combine;
        PF_Pixel8 in;
        int r, g, b;
    };
    const Case cases[] = {
        {combineRedCyan, rgb(10, 200, 30), 10, 200, 30},
        {combineGreenMagenta, rgb(10, 200, 30), 10, 200, 30},
        {combineBlueYellow, rgb(10, 200, 30), 10, 200, 30},
        {combineLuma, rgb(255, 0, 0), 254, 0, 0},
        {combineCb, rgb(255, 0, 0), 254, 0, 0},
        {combineCr, rgb(10, 200, 30), 9, 200, 30},
        {combineLuma, rgb(255, 255, 255), 255, 255, 255},
        {combineCb, rgb(0, 0, 0), 0, 0, 0},
        {combineCr, rgb(128, 128, 128), 128, 128, 128},
        {combineHue, rgb(184, 86, 157), 184, 86, 156},
        {combineSaturation, rgb(184, 86, 157), 184, 86, 156},
        {combineValue, rgb(255, 0, 0), 255, 0, 0},
        {combineHue, rgb(0, 255, 0), 0, 255, 0},
        {combineSaturation, rgb(0, 0, 255), 0, 0, 255},
    };
    for (const Case& c : cases) {
        const PF_Pixel8 out = c.combine(&c.in, &c.in);
        expectRgb(out, c.r, c.g, c.b, "round trip");
        EXPECT_EQ(out.alpha, c.in.alpha);
    }
}

TEST(CombineFunctions, TakeTheComponentFromThePartner) {
    const PF_Pixel8 black = rgb(0, 0, 0, 9), red = rgb(255, 0, 0, 3);
    const PF_Pixel8 cr = combineCr(&black, &red);   // green wraps below 0
    expectRgb(cr, 178, 165, 0, "Cr wrap");
    EXPECT_EQ(cr.alpha, 9);

    const PF_Pixel8 p = rgb(200, 100, 50), blackPartner = rgb(0, 0, 0);
    expectRgb(combineHue(&p, &blackPartner), 200, 50, 52, "black partner hue");

    const PF_Pixel8 grey = rgb(100, 100, 100), bright = rgb(30, 200, 90);
    expectRgb(combineValue(&grey, &bright), 200, 200, 200, "value onto grey");

    const PF_Pixel8 q = rgb(1, 2, 3, 4);
    const PF_Pixel8 mix = combineGreenMagenta(&p, &q);
    EXPECT_EQ(mix.alpha, 255);
    expectRgb(mix, 200, 2, 50, "green from partner");
}

// A grey that is not black takes hue 0: saturation applied to it gives a
// red-ward colour with no undefined step on the way.
TEST(ColorConversions, GreyHasHueZero) {
    const PF_Pixel8 grey = rgb(100, 100, 100), coloured = rgb(200, 100, 50);
    const Hsv hsv = rgbToHsv(&grey);
    EXPECT_EQ(hsv.h, 0.0f);
    EXPECT_EQ(hsv.s, 0.0f);
    EXPECT_FLOAT_EQ(rgbToHsv(&coloured).h, 20.0f);
    const PF_Pixel8 out = combineSaturation(&grey, &coloured);
    expectRgb(out, 100, 25, 25, "saturated grey");
    const PF_Pixel8 black = rgb(0, 0, 0);
    EXPECT_EQ(rgbToHsv(&black).h, -1.0f);
}

TEST(ColorConversions, OutOfRangeResultsWrap) {
    expectRgb(yCbCrToRgb(267.5f / 255.0f, 0.0f, 0.0f), 11, 11, 11, "above 255");
    expectRgb(yCbCrToRgb(-25.5f / 255.0f, 0.0f, 0.0f), 231, 231, 231, "below 0");
    // A value beyond any integer leaves no undefined conversion behind.
    expectRgb(yCbCrToRgb(1e30f, 0.0f, 0.0f), 0, 0, 0, "far out of range");
}

}  // namespace
