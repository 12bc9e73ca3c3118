// The transform glitch on the embedded host: the matrix and crop rectangle it
// builds from Position, Scale and Crop, seen through the pixels it draws.
//
// Every case here keeps the wiggles out of play (their sizes at 0, or
// Corvexel Amount 0), so the expected picture follows from the layer alone:
// destination pixel (X, Y) shows layer pixel ((X - tx) / s, (Y - ty) / s)
// inside the crop rectangle and nothing outside it.
#include <gtest/gtest.h>

#include <algorithm>
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

// The matrix and destination rectangle handed to transform_world at non-zero
// wiggles, against the formulas worked out here from the noise field itself:
// each wiggle is the field's wiggle at its own offset, with the speed factor
// k = (float)((Speed x Corvexel Speed) x 0.1) and the step count of the
// Wiggle Quantization Steps slider; every product in double precision in
// the order written.
struct WiggleCase {
    const char* name;
    int32_t width, height, seed;
    float time;
    double speed, corvexelSpeed, amount, positionWiggle, scale, scaleWiggle, cropWiggle, steps;
    PF_Fixed positionX, positionY, crop1X, crop1Y, crop2X, crop2Y;
};

const WiggleCase kWiggleCases[] = {
    {"every wiggle, fine steps", 40, 30, 3, 2.25f, 6, 45, 70, 30, 120, 40, 25, 64,
     23 * kOne + 0x4000, 11 * kOne, 2 * kOne + 0x8000, 3 * kOne, 37 * kOne, 26 * kOne - 1},
    {"coarser steps", 72, 40, 47, 0.7f, 9, 80, 55, 60, -80, 70, 35, 23.5, 30 * kOne,
     19 * kOne + 0x8000, 70 * kOne, 39 * kOne, 4 * kOne, 1 * kOne},
    {"a tall frame", 24, 64, 2, 5.5f, 3, 100, 90, 45, 100, 25, 50, 41, 12 * kOne, 32 * kOne,
     0, 0, 24 * kOne, 64 * kOne},
};

PF_Rect expectedCrop(const WiggleCase& c, const NoiseField& noise, float steps, float k) {
    const double a = c.amount / 100.0;
    const double cw = (c.cropWiggle / 100.0) * c.width * a;
    auto corner = [](PF_Fixed v) { return static_cast<int32_t>((int64_t{v} + 0x8000) >> 16); };
    auto jump = [&](int32_t offset) {
        return static_cast<int32_t>(static_cast<double>(noise.wiggle(offset, steps, k)) * cw);
    };
    const int32_t x1 = corner(c.crop1X) + jump(1987);
    const int32_t y1 = corner(c.crop1Y) + jump(3987);
    const int32_t x2 = corner(c.crop2X) + jump(5987);
    const int32_t y2 = corner(c.crop2Y) + jump(7987);
    return PF_Rect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

TEST(TransformGlitch, MatrixAndCropFollowTheWiggles) {
    for (const WiggleCase& c : kWiggleCases) {
        SCOPED_TRACE(c.name);
        StageFixture f(c.width, c.height);
        f.host.options().recordGeometry = true;
        f.reseed(c.seed, c.time);
        f.params.setFloat(kParamTransformSpeed, c.speed);
        f.params.setFloat(kParamCorvexelSpeed, c.corvexelSpeed);
        f.params.setFloat(kParamCorvexelAmount, c.amount);
        f.params.setFloat(kParamPositionWiggle, c.positionWiggle);
        f.params.setFloat(kParamScale, c.scale);
        f.params.setFloat(kParamScaleWiggle, c.scaleWiggle);
        f.params.setFloat(kParamCropWiggle, c.cropWiggle);
        f.params.setFloat(kParamWiggleSteps, c.steps);
        f.params.setPoint(kParamPosition, c.positionX, c.positionY);
        f.params.setPoint(kParamCropFirst, c.crop1X, c.crop1Y);
        f.params.setPoint(kParamCropSecond, c.crop2X, c.crop2Y);
        Frame working(c.width, c.height);
        PF_CompositeMode mode;
        fillCompositeMode(&mode, 1, 100.0);
        ASSERT_EQ(f.run([&](PF_InData* in, PF_OutData*, SuiteCache* suites) {
            return runTransformGlitch(in, f.params.array(), &f.output.world, &working.world,
                                      &f.noise, &mode, suites);
        }),
                  PF_Err_NONE);
        const auto calls = f.host.geometryCalls();
        ASSERT_EQ(calls.size(), 1u);
        const corvexel::host::GeometryCall& call = calls[0];
        ASSERT_EQ(call.name, "transform_world");

        const float k = static_cast<float>((c.speed * c.corvexelSpeed) * 0.1);
        const float steps = static_cast<float>(c.steps);
        auto wiggle = [&](int32_t offset) {
            return static_cast<double>(f.noise.wiggle(offset, steps, k));
        };
        // The case is only worth its name when every wiggle moves something
        // and no two of them agree.
        const int32_t offsets[] = {3338, 8333, 1987, 3987, 5987, 7987, -551};
        for (int32_t i = 0; i < 7; ++i) {
            ASSERT_NE(wiggle(offsets[i]), 0.0) << "offset " << offsets[i];
            for (int32_t j = 0; j < i; ++j) ASSERT_NE(wiggle(offsets[i]), wiggle(offsets[j]));
        }

        const double W = c.width, H = c.height, a = c.amount / 100.0;
        const double pw = (c.positionWiggle / 100.0) * a;
        const double bx = -(((wiggle(3338) * pw) * W - c.positionX / 65536.0) + W * 0.5);
        const double by = -(((wiggle(8333) * pw) * H - c.positionY / 65536.0) + H * 0.5);
        const double s = c.scale / 100.0 + ((c.scaleWiggle / 100.0) * a) * wiggle(-551);
        const double tx = bx - (s - 1.0) * (W * 0.5);
        const double ty = by - (s - 1.0) * (H * 0.5);
        const double want[3][3] = {{s, 0.0, 0.0}, {0.0, s, 0.0}, {tx, ty, 1.0}};
        ASSERT_TRUE(call.hasMatrix);
        for (int32_t r = 0; r < 3; ++r) {
            for (int32_t col = 0; col < 3; ++col) {
                EXPECT_EQ(call.matrix.mat[r][col], want[r][col]) << "matrix " << r << "," << col;
            }
        }
        const PF_Rect crop = expectedCrop(c, f.noise, steps, k);
        ASSERT_TRUE(call.hasRect);
        EXPECT_EQ(call.rect.left, crop.left);
        EXPECT_EQ(call.rect.top, crop.top);
        EXPECT_EQ(call.rect.right, crop.right);
        EXPECT_EQ(call.rect.bottom, crop.bottom);
        EXPECT_EQ(call.matrixCount, 1);
        EXPECT_EQ(call.sourceToDestination, 1);
        EXPECT_EQ(call.modeFlags, PF_MF_Alpha_STRAIGHT);
        EXPECT_EQ(call.src.data, f.input.world.data);
        EXPECT_EQ(call.dst.data, working.world.data);
    }
}

}  // namespace
