// Glitch block: the grid, offsets chosen by the noise, each Direction,
// sources outside the frame, sizes below one pixel and threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "effects/glitch_block.h"
#include "effects/stages.h"
#include "support/image_stage_fixture.h"

namespace {

using corvexel::host::Frame;
using corvexel::test::StageFixture;

// Each source pixel names its own place: red = x, green = y.
void paintCoordinates(Frame* frame) {
    for (int32_t y = 0; y < frame->world.height; ++y)
        for (int32_t x = 0; x < frame->world.width; ++x)
            frame->at(x, y) = PF_Pixel8{255, static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0};
}

struct BlockRun {
    BlockRun(int32_t width, int32_t height, int32_t threads = 1)
        : f(width, height, threads), dst(width, height) {
        paintCoordinates(&f.input);
        f.params.setFloat(kParamBlockAmount, 100);   // T = 0: every block moves
        f.params.setFloat(kParamCorvexelAmount, 100);
    }
    PF_Err run() {
        return f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runGlitchBlock(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                                  &f.noise);
        });
    }
    int64_t copies() {
        auto log = f.host.callLog();
        return std::count(log.begin(), log.end(), std::string("copy_hq"));
    }
    float blockNoise() {
        float s = static_cast<float>(f.params.at(kParamBlockSpeed).u.fs_d.value / 25.0);
        return f.noise.sampleSpan(0, 0, 100.0f, s);
    }
    StageFixture f;
    Frame dst;
};

// A Direction outside the popup leaves every source at its own block, so
// the copies tile the frame exactly: 13 x 22 blocks, the last column 120
// pixels wide and the last row 30 high.
TEST(GlitchBlock, FullHdGridAtTheDefaultSizes) {
    BlockRun r(1920, 1080);
    r.f.params.setFloat(kParamBlockWidth, 150);
    r.f.params.setFloat(kParamBlockHeight, 50);
    r.f.params.setPopup(kParamBlockDirection, 4);
    ASSERT_EQ(r.run(), PF_Err_NONE);
    EXPECT_EQ(r.copies(), 13 * 22);
    EXPECT_EQ(r.dst.bytes, r.f.input.bytes);
}

TEST(GlitchBlock, NothingWrittenWithoutAmountOrWithSizesBelowOnePixel) {
    struct Case { double amount, master, width, height; };
    for (Case c : {Case{0, 100, 30, 20}, Case{100, 0, 30, 20}, Case{100, 100, 0.5, 20},
                   Case{100, 100, 30, 0}}) {
        BlockRun r(240, 200);
        r.f.params.setFloat(kParamBlockAmount, c.amount);
        r.f.params.setFloat(kParamCorvexelAmount, c.master);
        r.f.params.setFloat(kParamBlockWidth, c.width);
        r.f.params.setFloat(kParamBlockHeight, c.height);
        std::vector<uint8_t> before = r.dst.bytes;
        EXPECT_EQ(r.run(), PF_Err_NONE);
        EXPECT_EQ(r.dst.bytes, before);
        EXPECT_EQ(r.copies(), 0);
    }
}

// Grouping Factor 0 gives every block the noise value at (0, 0); seeds are
// searched for the values of the table, and the middle block's source is
// read back from the coordinates painted into it.
TEST(GlitchBlock, OffsetsFollowTheNoiseValue) {
    struct Case { int32_t k, dx, dy; };
    const Case cases[] = {{19, -2, 2}, {10, 1, -1}, {3, 0, -2}, {7, -2, 2}, {8, -1, -3},
                          {9, 0, -2}, {11, 2, 0}, {12, -3, 1}};
    int32_t tried = 0;
    for (Case c : cases) {
        bool found = false;
        for (int32_t seed = 1; seed < 1500 && !found; ++seed) {
            BlockRun r(240, 200);
            r.f.reseed(seed, static_cast<float>(seed % 97) * 0.61f);
            r.f.params.setFloat(kParamGroupingFactor, 0);
            r.f.params.setFloat(kParamBlockWidth, 30);
            r.f.params.setFloat(kParamBlockHeight, 20);
            r.f.params.setPopup(kParamBlockDirection, 3);
            if (static_cast<int32_t>(r.blockNoise() / 5.0f) != c.k) continue;
            found = true;
            ++tried;
            ASSERT_EQ(r.run(), PF_Err_NONE);
            const PF_Pixel8& p = r.dst.at(120, 100);   // block column 4, row 5
            EXPECT_EQ(p.red, 120 + 30 * c.dx) << c.k;
            EXPECT_EQ(p.green, 100 + 20 * c.dy) << c.k;
        }
        // The soft knee of the field makes the highest values rare.
        if (!found) std::printf("no seed gives k = %d\n", c.k);
    }
    EXPECT_GE(tried, 6);
}

// The offsets as a function of the noise value itself, including the top
// values (k = 19) that the soft knee of the field makes too rare to find by
// seed. Block 37 of a grid 8 blocks wide is column 5 of row 4, far enough
// from every edge that no offset wraps; it is checked in every Direction.
TEST(GlitchBlockSource, OffsetsForEachNoiseValue) {
    struct Case { float v; int32_t dx, dy; };
    const Case cases[] = {
        {97.0f, -2, 2},  {99.0f, -2, 2},  {95.0f, -2, 2},              // k = 19
        {std::nextafter(95.0f, 0.0f), -3, 1}, {94.0f, -3, 1},          // k = 18
        {50.0f, 1, -1},  {15.0f, 0, -2},  {5.0f, -2, 2},  {4.99f, -3, 1},
        {0.0f, -3, 1},   {74.99f, -1, -3}, {75.0f, 0, -2}, {89.9f, 2, 0},  {90.0f, -3, 1},
    };
    const int32_t nx = 8, bw = 30, bh = 20, i = 37, col = 5, row = 4;
    for (const Case& c : cases) {
        BlockSource both = glitchBlockSource(c.v, i, nx, bw, bh, 3);
        EXPECT_EQ(both.x, (col + c.dx) * bw) << c.v;
        EXPECT_EQ(both.y, (row + c.dy) * bh) << c.v;
        BlockSource across = glitchBlockSource(c.v, i, nx, bw, bh, 1);
        EXPECT_EQ(across.x, both.x) << c.v;
        EXPECT_EQ(across.y, row * bh) << c.v;
        BlockSource down = glitchBlockSource(c.v, i, nx, bw, bh, 2);
        EXPECT_EQ(down.x, col * bw) << c.v;
        EXPECT_EQ(down.y, both.y) << c.v;
        for (int32_t direction : {0, 4}) {
            BlockSource own = glitchBlockSource(c.v, i, nx, bw, bh, direction);
            EXPECT_EQ(own.x, col * bw) << c.v;
            EXPECT_EQ(own.y, row * bh) << c.v;
        }
    }
}

// The horizontal source follows the linear block index: it wraps around the
// row of blocks, except in the first three blocks of the top row, whose
// source lies left of the frame. Vertical sources never wrap.
TEST(GlitchBlockSource, EdgesOfTheGrid) {
    struct Case { float v; int32_t i, x, y; };
    const int32_t nx = 8, bw = 30, bh = 20;
    const Case cases[] = {
        {97.0f, 0, -2 * bw, 2 * bh},    // (0 - 3 + 1) rem 8 = -2
        {0.0f, 2, -1 * bw, 1 * bh},     // (2 - 3 + 0) rem 8 = -1
        {0.0f, 3, 0, 1 * bh},
        {89.9f, 23, 1 * bw, 2 * bh},    // column 7 of row 2, +2 wraps to column 1
        {50.0f, 8, 1 * bw, 0},          // column 0 of row 1, +1 and one row up
        {0.0f, 9, 6 * bw, 2 * bh},      // column 1 of row 1, -3 wraps to column 6
        {15.0f, 8, 0, -1 * bh},         // row 1 looks two rows up: above the frame
        {97.0f, 63, 5 * bw, 9 * bh},    // last block of an 8 x 8 grid: source below it
    };
    for (const Case& c : cases) {
        BlockSource s = glitchBlockSource(c.v, c.i, nx, bw, bh, 3);
        EXPECT_EQ(s.x, c.x) << "v " << c.v << " block " << c.i;
        EXPECT_EQ(s.y, c.y) << "v " << c.v << " block " << c.i;
    }
}

// A field with a strong gain reaches the top values, so k = 19 can also be
// seen through the whole stage: every block copies from two columns left and
// two rows down, read back from the painted coordinates.
TEST(GlitchBlock, TopNoiseValueMovesLeftTwoAndDownTwo) {
    bool found = false;
    for (int32_t seed = 1; seed < 3000 && !found; ++seed) {
        BlockRun r(240, 200);
        r.f.noise.init(seed, 1.0f, static_cast<float>(seed % 89) * 0.37f, 200, 2.0f, 2.0f, 4);
        r.f.params.setFloat(kParamGroupingFactor, 0);
        r.f.params.setFloat(kParamBlockWidth, 30);
        r.f.params.setFloat(kParamBlockHeight, 20);
        r.f.params.setPopup(kParamBlockDirection, 3);
        if (r.blockNoise() < 95.0f) continue;
        found = true;
        ASSERT_EQ(r.run(), PF_Err_NONE);
        const PF_Pixel8& p = r.dst.at(120, 100);   // block column 4, row 5
        EXPECT_EQ(p.red, 120 - 2 * 30);
        EXPECT_EQ(p.green, 100 + 2 * 20);
    }
    ASSERT_TRUE(found) << "no field with a block noise value of 95 or more";
}

// Every written pixel comes from a source in the same row (Horizontal), the
// same column (Vertical) or either (both), at whole-block distances.
TEST(GlitchBlock, DirectionsKeepTheirAxis) {
    for (int32_t direction : {1, 2, 3}) {
        for (int32_t seed : {3, 11, 29}) {
            BlockRun r(240, 200);
            r.f.reseed(seed, 1.25f);
            r.f.params.setFloat(kParamBlockWidth, 30);
            r.f.params.setFloat(kParamBlockHeight, 20);
            r.f.params.setPopup(kParamBlockDirection, direction);
            ASSERT_EQ(r.run(), PF_Err_NONE);
            for (int32_t y = 0; y < 200; ++y) {
                for (int32_t x = 0; x < 240; ++x) {
                    const PF_Pixel8& p = r.dst.at(x, y);
                    if (p.alpha == 0) continue;
                    EXPECT_EQ(p.red % 30, x % 30);
                    EXPECT_EQ(p.green % 20, y % 20);
                    if (direction == 1) {
                        ASSERT_EQ(p.green, y) << x << "," << y;
                    }
                    if (direction == 2) {
                        ASSERT_EQ(p.red, x) << x << "," << y;
                    }
                }
            }
        }
    }
}

// The first blocks of the top row look left of the frame, top blocks look
// above it: only the part inside the frame is copied, to the matching place,
// and nothing is read outside the source (checked by ASan).
TEST(GlitchBlock, SourcesOutsideTheFrameAreClipped) {
    for (int32_t seed = 1; seed <= 30; ++seed) {
        BlockRun r(240, 200);
        r.f.reseed(seed, 0.0f);
        r.f.params.setFloat(kParamGroupingFactor, 0);
        r.f.params.setFloat(kParamBlockWidth, 30);
        r.f.params.setFloat(kParamBlockHeight, 20);
        r.f.params.setPopup(kParamBlockDirection, 3);
        ASSERT_EQ(r.run(), PF_Err_NONE);
        for (int32_t y = 0; y < 200; ++y)
            for (int32_t x = 0; x < 240; ++x) {
                const PF_Pixel8& p = r.dst.at(x, y);
                if (p.alpha == 0) continue;
                ASSERT_EQ(p.red % 30, x % 30) << seed;
                ASSERT_EQ(p.green % 20, y % 20) << seed;
            }
    }
}

TEST(GlitchBlock, SameBytesOnOneAndEightThreads) {
    std::vector<uint8_t> first;
    for (int32_t threads : {1, 8}) {
        BlockRun r(333, 211, threads);
        r.f.reseed(5, 3.0f);
        r.f.params.setFloat(kParamBlockAmount, 80);
        ASSERT_EQ(r.run(), PF_Err_NONE);
        EXPECT_TRUE(r.f.host.books().clean()) << r.f.host.books().describe();
        if (first.empty()) first = r.dst.bytes;
        else EXPECT_EQ(r.dst.bytes, first);
    }
}

}  // namespace
