// `corvexel render` option values: sizes, 64-bit frame ranges whose frame
// times must fit the plug-in's 32-bit fractions, and frame file names.
#include <gtest/gtest.h>

#include "tools/render_options.h"

namespace {

TEST(RenderOptions, FrameRangesCountIn64Bits) {
    int64_t first = -1, last = -1;
    ASSERT_TRUE(parseFrameRange("2147483647-2147483648", &first, &last));
    EXPECT_EQ(first, 2147483647);
    EXPECT_EQ(last, 2147483648);
    ASSERT_TRUE(parseFrameRange("0-9223372036854775807", &first, &last));
    EXPECT_EQ(last, INT64_MAX);
    for (const char* bad : {"0-9223372036854775808", "99999999999999999999-1", "5-3", "-1-2",
                            "1-", "-", "1-2-3", " 1-2"}) {
        EXPECT_FALSE(parseFrameRange(bad, &first, &last)) << bad;
    }
}

TEST(RenderOptions, SizesParseAnyPositivePairTheLimitsDecideLater) {
    int64_t w = 0, h = 0;
    ASSERT_TRUE(parseSize("65537x1", &w, &h));
    EXPECT_EQ(w, 65537);
    for (const char* bad : {"0x1", "1x0", "x", "10", "1x2x3", "99999999999x1", "-1x4"}) {
        EXPECT_FALSE(parseSize(bad, &w, &h)) << bad;
    }
}

// A range is refused when any of its frames lies at a time that cannot be
// handed to the plug-in as a 32-bit fraction, even in lowest terms.
TEST(RenderOptions, RangesWithInexpressibleFrameTimesAreFound) {
    EXPECT_EQ(firstInexpressibleFrame(0, 2147483647, 1, 1), -1);
    EXPECT_EQ(firstInexpressibleFrame(2147483647, 2147483648, 1, 1), 2147483648);
    EXPECT_EQ(firstInexpressibleFrame(3000000000, 3000000000, 1000, 1), -1);
    EXPECT_EQ(firstInexpressibleFrame(3000000000, 3000000005, 1000, 1), 3000000001);
    // 29.97 fps: frame 21,474,836 is the last whose ticks fit unreduced;
    // 21,474,837 is a multiple of 27, so 2147483700/2997 reduces to
    // 79536433/111; 21,474,838 shares no factor with 2997.
    EXPECT_EQ(firstInexpressibleFrame(0, 21474836, 2997, 100), -1);
    EXPECT_EQ(firstInexpressibleFrame(0, INT64_MAX, 2997, 100), 21474838);
    // A frame whose ticks pass 64 bits.
    EXPECT_EQ(firstInexpressibleFrame(INT64_MAX, INT64_MAX, 4294967295u, 4294967295u), INT64_MAX);
}

TEST(RenderOptions, FrameNamesTakeEvery64BitFrameNumber) {
    EXPECT_EQ(formatFrameName("out_%04d.png", 7), "out_0007.png");
    EXPECT_EQ(formatFrameName("out_%04d.png", 123456), "out_123456.png");
    EXPECT_EQ(formatFrameName("%5d%%.png", 42), "   42%.png");
    EXPECT_EQ(formatFrameName("f%d", INT64_MAX), "f9223372036854775807");
    EXPECT_EQ(formatFrameName("f%012d", 2147483648), "f002147483648");
}

}  // namespace
