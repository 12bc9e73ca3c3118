// The transform glitch on the embedded host: the matrix and crop rectangle it
// builds from Position, Scale and Crop, seen through the pixels it draws.
//
// Every case here keeps the wiggles out of play (their sizes at 0, or
// Corvexel Amount 0), so the expected picture follows from the layer alone:
// destination pixel (X, Y) shows layer pixel ((X - tx) / s, (Y - ty) / s)
// inside the crop rectangle and nothing outside it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/blend_modes.h"
#include "render/render.h"
#include "support/image_stage_fixture.h"

namespace {

using corvexel::host::Frame;
using corvexel::test::paintDetailed;
using corvexel::test::StageFixture;

constexpr int32_t kW = 40;
constexpr int32_t kH = 30;
constexpr PF_Fixed kOne = 0x10000;
constexpr PF_Pixel8 kClear{0, 0, 0, 0};

// Where destination pixel (x, y) takes its layer pixel from; false when the
// pixel must stay transparent (outside the layer or the crop rectangle).
using SourceOf = std::function<bool(int32_t x, int32_t y, int32_t* sx, int32_t* sy)>;

struct Case {
    std::string name;
    std::function<void(StageFixture*)> set;
    SourceOf source;
    // False when destination pixels fall between layer pixels: high quality
    // then blends neighbours, and only low quality (nearest) is checked.
    bool wholePixelMapping = true;
};

bool inLayer(int32_t x, int32_t y) { return x >= 0 && x < kW && y >= 0 && y < kH; }

const Case kCases[] = {
    {"defaults draw the layer unchanged", [](StageFixture*) {},
     [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
         *sx = x;
         *sy = y;
         return true;
     }},
    {"Scale -100 reflects through the centre",
     [](StageFixture* f) { f->params.setFloat(kParamScale, -100); },
     [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
         *sx = kW - 1 - x;
         *sy = kH - 1 - y;
         return true;
     }},
    {"Position ten pixels right of the centre moves the layer right",
     [](StageFixture* f) { f->params.setPoint(kParamPosition, (kW / 2 + 10) * kOne, kH / 2 * kOne); },
     [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
         *sx = x - 10;
         *sy = y;
         return inLayer(*sx, *sy);
     }},
    {"Scale 200 doubles about the centre",
     [](StageFixture* f) { f->params.setFloat(kParamScale, 200); },
     [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
         // X = 2 x - W / 2 maps the pixel centre x + 0.5 to 2 x + 1 - W / 2,
         // so destination pixel X shows layer pixel (X + W / 2) / 2.
         *sx = (x + kW / 2) / 2;
         *sy = (y + kH / 2) / 2;
         return true;
     },
     false},
    {"Crop corners either way round give the same rectangle",
     [](StageFixture* f) {
         f->params.setPoint(kParamCropFirst, 30 * kOne, 25 * kOne);
         f->params.setPoint(kParamCropSecond, 5 * kOne, 4 * kOne);
     },
     [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
         *sx = x;
         *sy = y;
         return x >= 5 && x < 30 && y >= 4 && y < 25;
     }},
    {"Crop corners round halves up",
     [](StageFixture* f) {
         f->params.setPoint(kParamCropFirst, 5 * kOne + 0x8000, 4 * kOne + 0x7FFF);
         f->params.setPoint(kParamCropSecond, 30 * kOne - 0x8000, 25 * kOne - 0x8001);
     },
     [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
         *sx = x;
         *sy = y;
         // 5.5 -> 6, 4.49998 -> 4, 29.5 -> 30, 24.49998 -> 24
         return x >= 6 && x < 30 && y >= 4 && y < 24;
     }},
    {"Scale -100 does not reflect the crop rectangle",
     [](StageFixture* f) {
         f->params.setFloat(kParamScale, -100);
         f->params.setPoint(kParamCropFirst, 0, 0);
         f->params.setPoint(kParamCropSecond, 10 * kOne, 10 * kOne);
     },
     [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
         *sx = kW - 1 - x;
         *sy = kH - 1 - y;
         return x < 10 && y < 10;
     }},
    {"Corvexel Amount 0 removes every wiggle",
     [](StageFixture* f) {
         f->params.setFloat(kParamCorvexelAmount, 0);
         f->params.setFloat(kParamPositionWiggle, 100);
         f->params.setFloat(kParamScaleWiggle, 100);
         f->params.setFloat(kParamCropWiggle, 100);
     },
     [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
         *sx = x;
         *sy = y;
         return true;
     }},
};

TEST(TransformGlitch, PositionScaleAndCropPlaceTheLayer) {
    for (PF_Quality quality : {PF_Quality_LO, PF_Quality_HI}) {
        for (const Case& c : kCases) {
            if (quality == PF_Quality_HI && !c.wholePixelMapping) continue;
            SCOPED_TRACE(c.name + (quality == PF_Quality_LO ? " (low quality)" : " (high quality)"));
            StageFixture f(kW, kH);
            paintDetailed(&f.input);
            f.host.setQuality(quality);
            c.set(&f);
            Frame working(kW, kH);
            working.fill(kClear);
            PF_CompositeMode mode;
            fillCompositeMode(&mode, 4 /* In Front */, 100.0);
            ASSERT_EQ(f.run([&](PF_InData* in, PF_OutData*, SuiteCache* suites) {
                return runTransformGlitch(in, f.params.array(), &f.output.world, &working.world,
                                          &f.noise, &mode, suites);
            }),
                      PF_Err_NONE);
            for (int32_t y = 0; y < kH; ++y) {
                for (int32_t x = 0; x < kW; ++x) {
                    int32_t sx = 0, sy = 0;
                    PF_Pixel8 expected = kClear;
                    if (c.source(x, y, &sx, &sy)) {
                        expected = corvexel::host::compositePixel(
                            PF_Xfer_IN_FRONT, f.input.at(sx, sy), kClear, 254);
                    }
                    const PF_Pixel8& got = working.at(x, y);
                    ASSERT_TRUE(got.alpha == expected.alpha && got.red == expected.red &&
                                got.green == expected.green && got.blue == expected.blue)
                        << "at " << x << "," << y << ": got " << int(got.alpha) << "/"
                        << int(got.red) << "/" << int(got.green) << "/" << int(got.blue)
                        << " want " << int(expected.alpha) << "/" << int(expected.red) << "/"
                        << int(expected.green) << "/" << int(expected.blue);
                }
            }
            EXPECT_TRUE(f.host.books().clean()) << f.host.books().describe();
        }
    }
}

// The wiggles move the picture and are the same for the same frame and time.
TEST(TransformGlitch, WigglesMoveThePictureRepeatably) {
    auto draw = [](int32_t seed, float time) {
        StageFixture f(kW, kH);
        paintDetailed(&f.input);
        f.params.setFloat(kParamPositionWiggle, 100);
        f.params.setFloat(kParamScaleWiggle, 100);
        f.params.setFloat(kParamCropWiggle, 100);
        f.params.setFloat(kParamCorvexelAmount, 100);
        f.params.setFloat(kParamWiggleSteps, 64);
        f.reseed(seed, time);
        Frame working(kW, kH);
        working.fill(kClear);
        PF_CompositeMode mode;
        fillCompositeMode(&mode, 1, 100.0);
        EXPECT_EQ(f.run([&](PF_InData* in, PF_OutData*, SuiteCache* suites) {
            return runTransformGlitch(in, f.params.array(), &f.output.world, &working.world,
                                      &f.noise, &mode, suites);
        }),
                  PF_Err_NONE);
        return working.bytes;
    };
    const auto first = draw(7, 0.5f);
    EXPECT_EQ(first, draw(7, 0.5f));
    int32_t differing = 0;
    for (int32_t seed = 1; seed <= 8; ++seed) differing += draw(seed, 0.5f) != first;
    EXPECT_GT(differing, 0);
}

}  // namespace
