// Glitch slice: band placement, the size limit, empty bands, and damaged
// WebP streams always decoded safely with the band written back.
#include <gtest/gtest.h>

#include <webp/encode.h>

#include <cstring>
#include <string>
#include <vector>

#include "effects/glitch_slice.h"
#include "support/image_stage_fixture.h"

namespace {

using corvexel::host::Frame;
using corvexel::test::StageFixture;
using corvexel::test::paintDetailed;

struct BandCase {
    const char* name;
    double amount, master, position, maxShift;
    float wiggle;
    int32_t y0, rows;
};

TEST(GlitchSlice, BandPlacement) {
    const BandCase cases[] = {
        {"defaults, still", 50, 50, 50, 40, 0.0f, 539, 270},
        {"defaults, wiggle 0.5", 50, 50, 50, 40, 0.5f, 741, 270},
        {"defaults, wiggle 1.0 cut at the bottom", 50, 50, 50, 40, 1.0f, 944, 135},
        {"jump above the top is mirrored", 50, 50, 10, 40, -1.0f, 512, 270},
        {"mirrored jump held at the top", 50, 50, 90, 100, 1.5f, 0, 270},
        {"mirrored jump held at the last row, band empty", 50, 50, 0, 100, -1.5f, 1079, 0},
        {"full band ends above the last row", 100, 100, 0, 40, 1.0f, 0, 1079},
        {"position 0, no shift", 50, 50, 0, 0, 0.7f, 0, 270},
    };
    for (const BandCase& c : cases) {
        StageFixture f(8, 1080);
        f.params.setFloat(kParamSliceAmount, c.amount);
        f.params.setFloat(kParamCorvexelAmount, c.master);
        f.params.setFloat(kParamSlicePosition, c.position);
        f.params.setFloat(kParamSliceMaxShift, c.maxShift);
        SliceSpec band{};
        ASSERT_TRUE(planSliceBand(f.params.array(), 8, 1080, c.wiggle, &band)) << c.name;
        EXPECT_EQ(band.y0, c.y0) << c.name;
        EXPECT_EQ(band.rows, c.rows) << c.name;
        EXPECT_EQ(band.x0, 0);
        EXPECT_EQ(band.width, 8);
    }
}

TEST(GlitchSlice, NothingWrittenWithoutAnAmountOrWithQualityOutOfRange) {
    struct Case { double amount, master, quality; };
    for (Case c : {Case{0, 50, 50}, Case{50, 0, 50}, Case{50, 50, 101}}) {
        StageFixture f(64, 48);
        paintDetailed(&f.input);
        f.params.setFloat(kParamSliceAmount, c.amount);
        f.params.setFloat(kParamCorvexelAmount, c.master);
        f.params.setFloat(kParamSliceQuality, c.quality);
        Frame dst(64, 48);
        std::vector<uint8_t> before = dst.bytes;
        EXPECT_EQ(f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runGlitchSlice(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                                  &f.noise);
        }),
                  PF_Err_NONE);
        EXPECT_EQ(dst.bytes, before);
        EXPECT_EQ(f.host.books().handlesCreated, 0);
    }
}

TEST(GlitchSlice, EmptyBandAsksForNoMemory) {
    // The host refuses every handle: an empty band must still succeed.
    corvexel::host::FaultPlan faults;
    faults.failHandleNumber = 0;
    StageFixture f(32, 20, 1, faults);
    Frame dst(32, 20);
    SliceSpec band{32, 0, 0, 19, 50.0f, true};
    EXPECT_EQ(f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
        return webpRoundTrip(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                             &f.noise, band);
    }),
              PF_Err_NONE);
    EXPECT_EQ(f.host.books().handlesCreated, 0);
}

TEST(GlitchSlice, MissingHandleIsOutOfMemory) {
    corvexel::host::FaultPlan faults;
    faults.failHandleNumber = 0;
    StageFixture f(32, 20, 1, faults);
    Frame dst(32, 20);
    SliceSpec band{32, 5, 0, 2, 50.0f, true};
    EXPECT_EQ(f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
        return webpRoundTrip(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                             &f.noise, band);
    }),
              PF_Err_OUT_OF_MEMORY);
}

TEST(GlitchSlice, FrameWiderThanWebpAllowsFailsWithMessage) {
    StageFixture f(16384, 4);
    Frame dst(16384, 4);
    f.host.outData()->out_flags = 0;
    EXPECT_EQ(f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
        return runGlitchSlice(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                              &f.noise);
    }),
              PF_Err_INVALID_CALLBACK);
    EXPECT_TRUE(f.host.outData()->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_STREQ(f.host.outData()->return_msg, "Dimensions too big for webP.");
    EXPECT_EQ(f.host.books().handlesCreated, 0);
}

// Many seeds and times over a detailed picture: every damaged stream is
// decoded into the scratch block without harm (ASan checks the bounds), the
// band is always written back, nothing outside it is touched, and the host's
// handles are all returned.
TEST(GlitchSlice, DamagedStreamsAlwaysDecodeSafely) {
    const int32_t W = 160, H = 120;
    for (int32_t seed = 1; seed <= 40; ++seed) {
        for (float t : {0.0f, 0.37f, 1.5f, 4.2f, 9.9f}) {
            StageFixture f(W, H);
            paintDetailed(&f.input);
            f.reseed(seed, t);
            f.params.setFloat(kParamSliceQuality, (seed * 17) % 100);
            Frame dst(W, H);
            dst.fill(PF_Pixel8{0, 0, 0, 0});
            float w = f.noise.wiggle(44, static_cast<float>(f.params.at(kParamSliceSteps).u.fs_d.value), 4.0f);
            SliceSpec band{};
            ASSERT_TRUE(planSliceBand(f.params.array(), W, H, w, &band));
            ASSERT_EQ(f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runGlitchSlice(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                                  &f.noise);
        }),
                      PF_Err_NONE);
            int32_t written = 0;
            for (int32_t y = 0; y < H; ++y) {
                bool inBand = y >= band.y0 && y < band.y0 + band.rows;
                for (int32_t x = 0; x < W; ++x) {
                    const PF_Pixel8& p = dst.at(x, y);
                    bool touched = p.alpha || p.red || p.green || p.blue;
                    if (!inBand) {
                        ASSERT_FALSE(touched) << seed << " " << t << " " << x << "," << y;
                    }
                    written += touched;
                }
            }
            EXPECT_GT(written, 0) << seed << " " << t;
            EXPECT_TRUE(f.host.books().clean()) << f.host.books().describe();
        }
    }
}

// The slice encodes with libwebp's encoder threading on; the stream must be
// WebPEncodeRGBA's byte for byte, with and without alpha to compress on the
// second thread, from one pixel up to bands wide enough to split.
TEST(GlitchSlice, ThreadedEncodingGivesWebPEncodeRGBAsBytes) {
    struct Size {
        int32_t width, height;
    };
    int failures = 0;
    for (Size size : {Size{1, 1}, Size{3, 2}, Size{17, 9}, Size{320, 40}, Size{1920, 35}}) {
        for (int32_t content = 0; content < 3; ++content) {
            std::vector<uint8_t> rgba(static_cast<size_t>(size.width) * size.height * 4);
            uint32_t h = 12345;
            for (int32_t y = 0; y < size.height; ++y)
                for (int32_t x = 0; x < size.width; ++x) {
                    h = h * 1664525u + 1013904223u;
                    uint8_t* p = &rgba[(static_cast<size_t>(y) * size.width + x) * 4];
                    p[0] = static_cast<uint8_t>(content == 1 ? h >> 24 : x * 3 + y);
                    p[1] = static_cast<uint8_t>(content == 1 ? h >> 16 : y * 5);
                    p[2] = static_cast<uint8_t>(content == 1 ? h >> 8 : (x ^ y));
                    // Opaque; noisy alpha; alpha in broad steps.
                    p[3] = content == 0 ? 255 : content == 1 ? static_cast<uint8_t>(h) : (x / 16 % 3) * 120;
                }
            for (float quality : {0.0f, 50.0f, 90.0f, 100.0f}) {
                uint8_t* expected = nullptr;
                uint8_t* ours = nullptr;
                const size_t n = WebPEncodeRGBA(rgba.data(), size.width, size.height,
                                                size.width * 4, quality, &expected);
                const size_t m = encodeBandWebp(rgba.data(), size.width, size.height,
                                                size.width * 4, quality, &ours);
                if ((n != m || std::memcmp(expected, ours, n) != 0) && ++failures <= 5) {
                    ADD_FAILURE() << size.width << "x" << size.height << ", content " << content
                                  << ", quality " << quality << ": " << m << " bytes, WebPEncodeRGBA "
                                  << n;
                }
                EXPECT_GT(m, 0u);
                WebPFree(expected);
                WebPFree(ours);
            }
        }
    }
}

TEST(GlitchSlice, SameSeedAndTimeGiveTheSameDamage) {
    std::vector<uint8_t> first;
    for (int32_t threads : {1, 8}) {
        StageFixture f(120, 90, threads);
        paintDetailed(&f.input);
        f.reseed(7, 2.5f);
        Frame dst(120, 90);
        ASSERT_EQ(f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runGlitchSlice(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                                  &f.noise);
        }),
                  PF_Err_NONE);
        if (first.empty()) first = dst.bytes;
        else EXPECT_EQ(dst.bytes, first);
    }
}

}  // namespace
