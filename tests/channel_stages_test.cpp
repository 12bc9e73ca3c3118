// The transition, channel split and channel scale run through a small
// in-test host: a serial iterate, a serial iterate_generic and a sampler that
// returns the source pixel at whole-pixel positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/color_math.h"
#include "effects/stages.h"
#include "shell/param_set.h"

namespace {

// The order the serial iterate visits pixels in: hosts may choose any.
enum class VisitOrder { kRows, kRowsRightToLeft, kColumns, kEveryThirdPixel };
VisitOrder visitOrder = VisitOrder::kRows;

PF_Err visitPixel(PF_EffectWorld* src, PF_EffectWorld* dst, void* refcon, PF_IteratePixel8Func fn,
                  A_long x, A_long y) {
    PF_Pixel8* in = reinterpret_cast<PF_Pixel8*>(reinterpret_cast<char*>(src->data) + y * src->rowbytes) + x;
    PF_Pixel8* out = reinterpret_cast<PF_Pixel8*>(reinterpret_cast<char*>(dst->data) + y * dst->rowbytes) + x;
    return fn(refcon, x, y, in, out);
}

PF_Err serialIterate(PF_InData*, A_long, A_long, PF_EffectWorld* src, const PF_Rect*,
                     void* refcon, PF_IteratePixel8Func fn, PF_EffectWorld* dst) {
    const A_long w = src->width, h = src->height;
    for (A_long n = 0; n < w * h; ++n) {
        A_long x = n % w, y = n / w;
        switch (visitOrder) {
            case VisitOrder::kRows: break;
            case VisitOrder::kRowsRightToLeft: x = w - 1 - x; break;
            case VisitOrder::kColumns: x = n / h, y = n % h; break;
            case VisitOrder::kEveryThirdPixel: {
                // 0, 3, 6, .., then 1, 4, 7, .., then 2, 5, 8, .. of the whole frame.
                const A_long third = (w * h + 2) / 3;
                const A_long k = (n % third) * 3 + n / third;
                if (k >= w * h) continue;
                x = k % w, y = k / w;
                break;
            }
        }
        if (PF_Err err = visitPixel(src, dst, refcon, fn, x, y)) return err;
    }
    return PF_Err_NONE;
}

PF_Err serialGeneric(A_long count, void* refcon, PF_IterateGenericFunc fn) {
    PF_Err first = PF_Err_NONE;
    for (A_long i = 0; i < count; ++i) {
        PF_Err err = fn(refcon, 0, i, count);
        if (err && !first) first = err;
    }
    return first;
}

PF_Err wholePixelSample(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb, PF_Pixel8* out) {
    const PF_EffectWorld* w = pb->src;
    *out = *(reinterpret_cast<const PF_Pixel8*>(reinterpret_cast<const char*>(w->data) + (y >> 16) * w->rowbytes) + (x >> 16));
    return PF_Err_NONE;
}

PF_Iterate8Suite1 iterateSuite;
PF_Sampling8Suite1 samplingSuite;
bool offerSampling = true;

SPErr acquire(const char* name, int32_t, const void** suite) {
    if (std::strcmp(name, "PF Iterate8 Suite") == 0) { *suite = &iterateSuite; return 0; }
    if (std::strcmp(name, "PF Sampling8 Suite") == 0 && offerSampling) { *suite = &samplingSuite; return 0; }
    return 1;
}
SPErr release(const char*, int32_t) { return 0; }

double exponential(double v) { return std::exp(v); }

struct Fixture {
    std::vector<PF_ParamDef> defs = std::vector<PF_ParamDef>(kParamCount + 1);
    std::vector<PF_ParamDef*> params;
    PF_UtilCallbacks utils{};
    PF_InData in{};
    SPBasicSuite basic{};
    NoiseField noise{};
    Fixture() {
        std::memset(defs.data(), 0, defs.size() * sizeof(PF_ParamDef));
        for (PF_ParamDef& d : defs) params.push_back(&d);
        defs[kParamCorvexelAmount].u.fs_d.value = 100;
        defs[kParamChannelScaleSteps].u.fs_d.slider_max = 64;
        defs[kParamChannelScaleSteps].u.fs_d.value = 8;
        iterateSuite = PF_Iterate8Suite1{};
        iterateSuite.iterate = serialIterate;
        iterateSuite.iterate_generic = serialGeneric;
        samplingSuite = PF_Sampling8Suite1{};
        samplingSuite.subpixel_sample = wholePixelSample;
        offerSampling = true;
        utils.ansi.exp = exponential;
        in.utils = &utils;
        basic.AcquireSuite = acquire;
        basic.ReleaseSuite = release;
        noise.init(1, 1.0f, 0.5f, 64, 0.5f, 2.0f, 3);
    }
};

struct World {
    std::vector<PF_Pixel8> pixels;
    PF_EffectWorld world{};
    World(int32_t w, int32_t h, PF_Pixel8 fill) : pixels(static_cast<size_t>(w) * h, fill) {
        world.data = pixels.data();
        world.width = w;
        world.height = h;
        world.rowbytes = w * 4;
        world.extent_hint = PF_Rect{0, 0, w, h};
    }
    PF_Pixel8& at(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * world.width + x]; }
};

TEST(Transition, AlphaRampTable) {
    struct Case { double completion, softness; int32_t item; int grey; int alpha; };
    const Case cases[] = {
        {50, 10, 7, 128, 132}, {50, 10, 7, 141, 255}, {50, 10, 7, 114, 0},
        {100, 10, 7, 255, 0},
        {50, 0, 7, 127, 0}, {50, 0, 7, 128, 255},   // no width: a hard threshold at 127.5
        // A width just above 0 is nearly a hard threshold too: the ramp value
        // far above the top is beyond any 32-bit integer and still opaque.
        {50, 1e-6, 7, 200, 255}, {50, 1e-6, 7, 100, 0}, {50, 1e-6, 7, 128, 255},
        {50, 10, 5, 128, 132}, {50, 10, 10, 128, 132}, {50, 10, 42, 128, 132},
        {50, 10, 4, 0, 255},   // Alpha channel reads 255 on the opaque grey
        {100, 10, 4, 0, 0},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.defs[kParamCompletion].u.fs_d.value = c.completion;
        f.defs[kParamSoftness].u.fs_d.value = c.softness;
        f.defs[kParamTransitionChannel].u.pd.value = c.item;
        World w(3, 2, PF_Pixel8{255, static_cast<A_u_char>(c.grey), static_cast<A_u_char>(c.grey), static_cast<A_u_char>(c.grey)});
        SuiteCache suites(&f.basic);
        ASSERT_EQ(runTransition(&f.in, nullptr, f.params.data(), &w.world, &w.world, &suites, &f.noise), PF_Err_NONE);
        for (const PF_Pixel8& p : w.pixels) {
            EXPECT_EQ(p.alpha, c.alpha) << c.completion << " " << c.softness << " item " << c.item << " v " << c.grey;
            EXPECT_EQ(p.red, c.grey);
        }
    }
}

// The Noise channel samples the field a run of columns at a time and keeps
// the run for the following pixels; whatever order the host visits pixels
// in, and however often the same field record is set up anew, every pixel
// gets the ramp of its own sample.
TEST(Transition, NoiseChannelFollowsItsOwnFieldInAnyVisitingOrder) {
    constexpr int32_t kW = 150, kH = 5;
    for (VisitOrder order : {VisitOrder::kRows, VisitOrder::kRowsRightToLeft, VisitOrder::kColumns,
                             VisitOrder::kEveryThirdPixel}) {
        visitOrder = order;
        Fixture f;
        f.defs[kParamCompletion].u.fs_d.value = 40;
        f.defs[kParamSoftness].u.fs_d.value = 30;
        f.defs[kParamTransitionChannel].u.pd.value = 11;
        // The same record set up again for another frame: seed, time, then
        // height change, each giving other noise at the same address.
        const float settings[][3] = {{1, 0.5f, 64}, {2, 0.5f, 64}, {2, 0.75f, 64}, {2, 0.75f, 48}};
        for (const auto& s : settings) {
            f.noise.init(static_cast<int32_t>(s[0]), 50.0f, s[1], static_cast<int32_t>(s[2]), 1.5f,
                         10.0f, 2);
            World w(kW, kH, PF_Pixel8{0, 10, 20, 30});
            SuiteCache suites(&f.basic);
            ASSERT_EQ(runTransition(&f.in, nullptr, f.params.data(), &w.world, &w.world, &suites,
                                    &f.noise),
                      PF_Err_NONE);
            const double softness = 30.0 / 100.0 * 255.0, top = (softness + 255.0) * 0.4;
            int wrong = 0;
            for (int32_t y = 0; y < kH; ++y) {
                for (int32_t x = 0; x < kW; ++x) {
                    const int32_t v = static_cast<int32_t>(f.noise.sampleSpan(x, y, 255.0f, 1.0f));
                    const double a = (v - top) * 255.0 / softness + 255.0;
                    const int32_t alpha = a >= 255.0 ? 255 : a <= 0.0 ? 0 : static_cast<int32_t>(a);
                    if (w.at(x, y).alpha != alpha && ++wrong <= 3) {
                        ADD_FAILURE() << "order " << static_cast<int>(order) << ", seed " << s[0]
                                      << ", time " << s[1] << ", height " << s[2] << ": pixel ("
                                      << x << ", " << y << ") alpha " << int{w.at(x, y).alpha}
                                      << ", its noise gives " << alpha;
                    }
                }
            }
        }
    }
    visitOrder = VisitOrder::kRows;
}

TEST(ChannelSplit, DistanceAndEdgeModes) {
    for (bool repeat : {false, true}) {
        Fixture f;
        f.defs[kParamCorvexelAmount].u.fs_d.value = 50;
        f.defs[kParamSplitHorizontal].u.fs_d.value = 50;   // dx = 25 at speed 0
        f.defs[kParamSplitChannel].u.pd.value = 1;
        f.defs[kParamRepeatEdgePixels].u.bd.value = repeat;
        World src(40, 1, PF_Pixel8{}), dst(40, 1, PF_Pixel8{});
        for (int32_t x = 0; x < 40; ++x) src.at(x, 0) = PF_Pixel8{255, static_cast<A_u_char>(x), 7, 9};
        SuiteCache suites(&f.basic);
        ASSERT_EQ(runChannelSplit(&f.in, nullptr, f.params.data(), &src.world, &dst.world, &suites, &f.noise), PF_Err_NONE);
        for (int32_t x = 0; x < 40; ++x) {
            const int expected = x + 25 < 40 ? x + 25 : (repeat ? 39 : x);
            EXPECT_EQ(dst.at(x, 0).red, expected) << x << " repeat " << repeat;
            EXPECT_EQ(dst.at(x, 0).green, 7);
        }
    }
}

// The Hue, Saturation and Value modes combine a run of pixels at a time and
// keep the run for the following pixels; in any visiting order, with or
// without edge repeat, over frames set up anew at the same addresses, every
// pixel must be the one-pair combine of its own pixel and its partner.
TEST(ChannelSplit, HsvModesEqualOnePairCombinesInAnyVisitingOrder) {
    constexpr int32_t kW = 150, kH = 4;
    struct Mode {
        int32_t item;
        SplitCombineFn combine;
    };
    const Mode modes[] = {{9, combineHue}, {10, combineSaturation}, {11, combineValue}};
    for (VisitOrder order : {VisitOrder::kRows, VisitOrder::kRowsRightToLeft, VisitOrder::kColumns,
                             VisitOrder::kEveryThirdPixel}) {
        visitOrder = order;
        for (const Mode& mode : modes) {
            for (bool repeat : {false, true}) {
                Fixture f;
                f.defs[kParamCorvexelAmount].u.fs_d.value = 50;
                f.defs[kParamSplitHorizontal].u.fs_d.value = -40;   // dx = -20
                f.defs[kParamSplitVertical].u.fs_d.value = 2;       // dy = 1
                f.defs[kParamSplitChannel].u.pd.value = mode.item;
                f.defs[kParamRepeatEdgePixels].u.bd.value = repeat;
                World src(kW, kH, PF_Pixel8{}), dst(kW, kH, PF_Pixel8{});
                for (int32_t frame = 0; frame < 2; ++frame) {
                    // Coloured pixels, greys and black. The second frame
                    // changes only the last row in place, so the row above
                    // keeps its own pixels but gets other partners.
                    for (int32_t y = frame == 0 ? 0 : kH - 1; y < kH; ++y)
                        for (int32_t x = 0; x < kW; ++x) {
                            const uint32_t h = (x * 2654435761u) ^ (y * 40503u) ^ (frame * 977u);
                            const A_u_char grey = static_cast<A_u_char>(h >> 8);
                            src.at(x, y) = h % 5 == 0 ? PF_Pixel8{static_cast<A_u_char>(h), grey, grey, grey}
                                           : h % 7 == 0 ? PF_Pixel8{9, 0, 0, 0}
                                           : PF_Pixel8{static_cast<A_u_char>(h), static_cast<A_u_char>(h >> 5),
                                                       static_cast<A_u_char>(h >> 13), static_cast<A_u_char>(h >> 21)};
                        }
                    SuiteCache suites(&f.basic);
                    ASSERT_EQ(runChannelSplit(&f.in, nullptr, f.params.data(), &src.world,
                                              &dst.world, &suites, &f.noise),
                              PF_Err_NONE);
                    int wrong = 0;
                    for (int32_t y = 0; y < kH; ++y) {
                        for (int32_t x = 0; x < kW; ++x) {
                            const int32_t px = x - 20, py = y + 1;
                            const bool inside = px >= 0 && px < kW && py >= 0 && py < kH;
                            PF_Pixel8 want = src.at(x, y);
                            if (inside || repeat) {
                                const int32_t cx = px < 0 ? 0 : px, cy = py >= kH ? kH - 1 : py;
                                want = mode.combine(&src.at(x, y), &src.at(cx, cy));
                            }
                            if (std::memcmp(&want, &dst.at(x, y), 4) != 0 && ++wrong <= 3) {
                                ADD_FAILURE() << "order " << static_cast<int>(order) << ", item "
                                              << mode.item << ", repeat " << repeat << ", frame "
                                              << frame << ": pixel (" << x << ", " << y << ")";
                            }
                        }
                    }
                }
            }
        }
    }
    visitOrder = VisitOrder::kRows;
}

// A run kept from one stage call is never reused by the next, even where
// the next call's own pixels are the same: here only a partner changes.
TEST(ChannelSplit, HsvRunsDoNotOutliveTheirStageCall) {
    Fixture f;
    f.defs[kParamCorvexelAmount].u.fs_d.value = 50;
    f.defs[kParamSplitHorizontal].u.fs_d.value = 40;   // dx = 20
    f.defs[kParamSplitChannel].u.pd.value = 10;        // Saturation
    f.defs[kParamRepeatEdgePixels].u.bd.value = 1;
    World src(40, 1, PF_Pixel8{}), dst(40, 1, PF_Pixel8{});
    for (int32_t x = 0; x < 40; ++x) src.at(x, 0) = PF_Pixel8{255, static_cast<A_u_char>(200 - x), 90, 40};
    for (A_u_char lastGreen : {90, 250}) {
        src.at(39, 0).green = lastGreen;   // the partner of columns 19 .. 39
        SuiteCache suites(&f.basic);
        ASSERT_EQ(runChannelSplit(&f.in, nullptr, f.params.data(), &src.world, &dst.world, &suites,
                                  &f.noise),
                  PF_Err_NONE);
        for (int32_t x = 0; x < 40; ++x) {
            const PF_Pixel8 want = combineSaturation(&src.at(x, 0), &src.at(std::min(x + 20, 39), 0));
            EXPECT_EQ(std::memcmp(&want, &dst.at(x, 0), 4), 0) << "column " << x << ", green "
                                                                  << int{lastGreen};
        }
    }
}

TEST(ChannelScale, LandingsOnAHundredPixelLine) {
    struct Case { int alpha; int first, last; };
    for (const Case& c : {Case{255, 50, 50}, Case{128, 26, 74}}) {
        Fixture f;
        f.defs[kParamChannelScaleAmount].u.fs_d.value = 100;
        f.defs[kParamChannelScaleOffset].u.fs_d.value = 50;
        f.defs[kParamChannelScaleChannel].u.pd.value = 9;
        World src(100, 1, PF_Pixel8{}), dst(100, 1, PF_Pixel8{});
        for (int32_t x = 0; x < 100; ++x) src.at(x, 0) = PF_Pixel8{static_cast<A_u_char>(c.alpha), static_cast<A_u_char>(x), 0, 0};
        SuiteCache suites(&f.basic);
        ASSERT_EQ(runChannelScale(&f.in, nullptr, f.params.data(), &src.world, &dst.world, &suites, &f.noise), PF_Err_NONE);
        for (int32_t x = 0; x < 100; ++x) {
            const bool filled = x >= c.first && x <= c.last;
            EXPECT_EQ(dst.at(x, 0).alpha, filled ? c.alpha : 0) << x;
        }
        EXPECT_EQ(dst.at(c.last, 0).red, c.alpha == 255 ? 99 : 99);
    }
}

TEST(ChannelScale, MissingSamplerIsReturnedFromTheLine) {
    Fixture f;
    offerSampling = false;
    f.defs[kParamChannelScaleAmount].u.fs_d.value = -100;   // spreads: gaps of one pixel
    f.defs[kParamChannelScaleOffset].u.fs_d.value = 50;
    f.defs[kParamChannelScaleChannel].u.pd.value = 9;
    f.defs[kParamFillGaps].u.bd.value = 1;
    World src(100, 2, PF_Pixel8{255, 1, 2, 3}), dst(100, 2, PF_Pixel8{});
    SuiteCache suites(&f.basic);
    EXPECT_EQ(runChannelScale(&f.in, nullptr, f.params.data(), &src.world, &dst.world, &suites, &f.noise), 516);
    EXPECT_EQ(dst.at(52, 1).alpha, 255);   // pixels are still moved
    EXPECT_EQ(dst.at(53, 1).alpha, 0);     // the gap stays empty
}

}  // namespace
