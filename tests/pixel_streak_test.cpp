// Pixel streak: run rules, rows and columns, the noise gate and the column
// scratch handle. Grey pixels make a pixel's luminance its own value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "effects/stages.h"
#include "support/image_stage_fixture.h"

bool brighterFirst(uint32_t a, uint32_t b);

namespace {

using corvexel::host::FaultPlan;
using corvexel::test::StageFixture;
using corvexel::test::paintDetailed;

constexpr uint8_t kClear = 0;   // marks a transparent pixel in a line table

PF_Pixel8 grey(int32_t v, uint8_t alpha = 255) {
    auto c = static_cast<uint8_t>(v);
    return PF_Pixel8{alpha, c, c, c};
}

struct LineCase {
    const char* name;
    double streak, master;   // T = streak x 40 / 100 x master / 100
    std::vector<int32_t> in, out;   // luminances; negative = transparent pixel of that value
};

const LineCase kLines[] = {
    {"worked example at T 40", 100, 100, {10, 20, 30, 200}, {20, 10, 30, 200}},
    {"step of exactly T joins", 25, 50, {10, 15, 20, 26, 30}, {15, 10, 20, 26, 30}},
    {"step above T splits", 25, 50, {10, 16, 22, 28}, {10, 16, 22, 28}},
    {"two-pixel run never changes", 100, 100, {10, 40}, {10, 40}},
    {"last pixel of a run stays", 100, 100, {1, 2, 3, 4, 5}, {4, 3, 2, 1, 5}},
    {"transparent pixel and the one before it stay", 100, 100, {1, 2, 3, -9, 4, 5, 6},
     {2, 1, 3, -9, 5, 4, 6}},
    {"T 0 leaves the line alone", 0, 100, {1, 1, 2, 2, 3}, {1, 1, 2, 2, 3}},
};

PF_Pixel8 linePixel(int32_t v) { return v < 0 ? grey(-v, kClear) : grey(v); }

PF_Err runStreak(StageFixture* f) {
    return f->run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
        return runPixelStreak(in, out, f->params.array(), &f->input.world, suites, &f->noise);
    });
}

TEST(PixelStreak, RunRulesAlongRowsAndColumns) {
    for (bool vertical : {false, true}) {
        for (const LineCase& c : kLines) {
            int32_t n = static_cast<int32_t>(c.in.size());
            StageFixture f(vertical ? 3 : n, vertical ? n : 3);
            f.params.setFloat(kParamPixelStreak, c.streak);
            f.params.setFloat(kParamCorvexelAmount, c.master);
            f.params.setCheckbox(kParamVerticalSort, vertical);
            f.params.setCheckbox(kParamUseNoise, false);
            for (int32_t i = 0; i < n; ++i)
                for (int32_t other = 0; other < 3; ++other)
                    (vertical ? f.input.at(other, i) : f.input.at(i, other)) = linePixel(c.in[i]);
            ASSERT_EQ(runStreak(&f), PF_Err_NONE) << c.name;
            for (int32_t other = 0; other < 3; ++other) {
                for (int32_t i = 0; i < n; ++i) {
                    const PF_Pixel8& p = vertical ? f.input.at(other, i) : f.input.at(i, other);
                    EXPECT_EQ(p.red, linePixel(c.out[i]).red) << c.name << " at " << i;
                    EXPECT_EQ(p.alpha, linePixel(c.out[i]).alpha) << c.name << " at " << i;
                }
            }
        }
    }
}

uint32_t bits(PF_Pixel8 p) {
    uint32_t v;
    std::memcpy(&v, &p, sizeof v);
    return v;
}

TEST(PixelStreak, BrighterFirstComparesLuminanceOnly) {
    EXPECT_TRUE(brighterFirst(bits(grey(20)), bits(grey(10))));
    EXPECT_FALSE(brighterFirst(bits(grey(10)), bits(grey(20))));
    EXPECT_FALSE(brighterFirst(bits(grey(10, 255)), bits(grey(10, 0))));   // alpha takes no part
    // Green weighs most: (0,255,0) has luminance 149, (255,0,0) 76.
    EXPECT_TRUE(brighterFirst(bits(PF_Pixel8{255, 0, 255, 0}), bits(PF_Pixel8{255, 255, 0, 0})));
}

// Sorted runs hold the same pixels: each row keeps its multiset of pixels.
TEST(PixelStreak, RowsKeepTheirPixels) {
    StageFixture f(64, 16);
    paintDetailed(&f.input);
    f.params.setFloat(kParamPixelStreak, 100);
    f.params.setFloat(kParamCorvexelAmount, 100);
    f.params.setCheckbox(kParamUseNoise, false);
    std::vector<std::vector<uint32_t>> before(16);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            const PF_Pixel8& p = f.input.at(x, y);
            before[y].push_back(p.alpha << 24 | p.red << 16 | p.green << 8 | p.blue);
        }
    ASSERT_EQ(runStreak(&f), PF_Err_NONE);
    bool changed = false;
    for (int32_t y = 0; y < 16; ++y) {
        std::vector<uint32_t> after;
        for (int32_t x = 0; x < 64; ++x) {
            const PF_Pixel8& p = f.input.at(x, y);
            after.push_back(p.alpha << 24 | p.red << 16 | p.green << 8 | p.blue);
        }
        changed |= after != before[y];
        std::vector<uint32_t> a = after, b = before[y];
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b) << "row " << y;
    }
    EXPECT_TRUE(changed);
}

// The stage sorts short runs as (luminance, pixel) pairs and works each
// luminance out once; it must leave every row exactly as sorting the pixels
// themselves with brighterFirst does, ties included: many distinct colours
// share a luminance here, and std::sort leaves such ties in an order only
// its own steps decide. Rows hold runs of every length, up to the whole row
// (longer than the stage's paired buffer of 4096).
TEST(PixelStreak, RowsEqualSortingThePixelsThemselves) {
    constexpr int32_t kW = 5000, kH = 6;
    StageFixture f(kW, kH);
    f.params.setFloat(kParamPixelStreak, 25);
    f.params.setFloat(kParamCorvexelAmount, 50);   // T = 5
    f.params.setCheckbox(kParamUseNoise, false);
    uint32_t h = 7;
    for (int32_t y = 0; y < kH; ++y) {
        for (int32_t x = 0; x < kW; ++x) {
            h = h * 1664525u + 1013904223u;
            // Rows 0 and 1: a gentle ramp with a little noise, one run as
            // long as the row; rows 2 and 3: steps breaking runs often;
            // rows 4 and 5: transparent pixels and colours of equal
            // luminance.
            const int32_t base = y < 2 ? x / 20 : y < 4 ? (x / 7) * 9 % 240 : 100;
            const uint8_t jitter = static_cast<uint8_t>(y < 2 ? h >> 30 : h >> 28);
            const uint8_t blue = static_cast<uint8_t>(y < 2 ? base : base + (h >> 20) % 7);
            PF_Pixel8& p = f.input.at(x, y);
            p = PF_Pixel8{static_cast<uint8_t>(h >> 8 & 1 ? 255 : 200),
                          static_cast<uint8_t>(base + jitter), static_cast<uint8_t>(base), blue};
            if (y >= 4 && h % 37 == 0) p.alpha = 0;
        }
    }
    std::vector<PF_Pixel8> expected(f.input.bytes.size() / 4);
    for (int32_t y = 0; y < kH; ++y) {
        PF_Pixel8* row = &expected[static_cast<size_t>(y) * kW];
        for (int32_t x = 0; x < kW; ++x) row[x] = f.input.at(x, y);
        const auto lum = [](const PF_Pixel8& p) { return (299 * p.red + 587 * p.green + 114 * p.blue) / 1000; };
        int32_t s = 0;
        while (s < kW) {
            int32_t e = s;
            while (e + 1 < kW && row[e].alpha != 0 && row[e + 1].alpha != 0 &&
                   std::abs(lum(row[e]) - lum(row[e + 1])) <= 5)
                ++e;
            std::sort(row + s, row + e,
                      [](const PF_Pixel8& a, const PF_Pixel8& b) { return brighterFirst(bits(a), bits(b)); });
            s = e + 1;
        }
    }
    ASSERT_EQ(runStreak(&f), PF_Err_NONE);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
            ASSERT_EQ(bits(f.input.at(x, y)), bits(expected[static_cast<size_t>(y) * kW + x]))
                << "pixel (" << x << ", " << y << ")";
}

TEST(PixelStreak, NoiseGate) {
    struct Case { int32_t cutoff; bool sorted; };
    for (bool vertical : {false, true}) {
        for (Case c : {Case{0, true}, Case{101, false}}) {
            StageFixture f(vertical ? 1 : 3, vertical ? 3 : 1);
            f.params.setFloat(kParamPixelStreak, 100);
            f.params.setFloat(kParamCorvexelAmount, 100);
            f.params.setCheckbox(kParamVerticalSort, vertical);
            f.params.setCheckbox(kParamUseNoise, true);
            f.params.setInt(kParamNoiseCutoff, c.cutoff);
            for (int32_t i = 0; i < 3; ++i)
                (vertical ? f.input.at(0, i) : f.input.at(i, 0)) = grey(10 * (i + 1));
            ASSERT_EQ(runStreak(&f), PF_Err_NONE);
            EXPECT_EQ(f.input.at(0, 0).red, c.sorted ? 20 : 10) << c.cutoff << " " << vertical;
        }
    }
}

TEST(PixelStreak, ColumnWithoutScratchFailsAndStaysUnchanged) {
    FaultPlan faults;
    faults.failHandleNumber = 0;
    StageFixture f(1, 4, 1, faults);
    f.params.setFloat(kParamPixelStreak, 100);
    f.params.setFloat(kParamCorvexelAmount, 100);
    f.params.setCheckbox(kParamVerticalSort, true);
    f.params.setCheckbox(kParamUseNoise, false);
    for (int32_t y = 0; y < 4; ++y) f.input.at(0, y) = grey(10 * (y + 1));
    EXPECT_EQ(runStreak(&f), PF_Err_OUT_OF_MEMORY);
    for (int32_t y = 0; y < 4; ++y) EXPECT_EQ(f.input.at(0, y).red, 10 * (y + 1));
    EXPECT_EQ(f.host.books().handlesHeld, 0);
}

TEST(PixelStreak, SameBytesOnOneAndEightThreads) {
    for (bool vertical : {false, true}) {
        std::vector<uint8_t> first;
        for (int32_t threads : {1, 8}) {
            StageFixture f(97, 61, threads);
            paintDetailed(&f.input);
            f.params.setFloat(kParamPixelStreak, 100);
            f.params.setFloat(kParamCorvexelAmount, 100);
            f.params.setCheckbox(kParamVerticalSort, vertical);
            ASSERT_EQ(runStreak(&f), PF_Err_NONE);
            EXPECT_TRUE(f.host.books().clean()) << f.host.books().describe();
            if (first.empty()) first = f.input.bytes;
            else EXPECT_EQ(f.input.bytes, first) << vertical;
        }
    }
}

}  // namespace
