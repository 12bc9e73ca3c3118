// Compression glitch on the embedded host: a scratch handle the host refuses
// inside a block, first for the stage alone, then within a whole render.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "effects/compression.h"
#include "effects/stages.h"
#include "support/image_stage_fixture.h"

namespace {

using corvexel::host::FaultPlan;
using corvexel::host::Frame;
using corvexel::host::Host;
using corvexel::host::HostOptions;
using corvexel::host::ParamValues;
using corvexel::test::StageFixture;

// An opaque picture whose luma varies inside every 8x8 block, so the
// strongest quantiser changes every block.
void paintOpaque(Frame* frame) {
    for (int32_t y = 0; y < frame->world.height; ++y)
        for (int32_t x = 0; x < frame->world.width; ++x) {
            uint32_t h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
            frame->at(x, y) = PF_Pixel8{255, static_cast<uint8_t>(x * 9 + ((h >> 7) & 63)),
                                        static_cast<uint8_t>(y * 11 + ((h >> 13) & 31)),
                                        static_cast<uint8_t>((x ^ y) * 5)};
        }
}

// The frame after the conversion to Y, Cb, Cr alone: what a block holds
// when the block step never reached it.
std::vector<PF_Pixel8> convertedOnly(const PF_EffectWorld& world) {
    std::vector<PF_Pixel8> out;
    for (int32_t y = 0; y < world.height; ++y)
        for (int32_t x = 0; x < world.width; ++x) {
            PF_Pixel8 in = reinterpret_cast<const PF_Pixel8*>(
                               reinterpret_cast<const uint8_t*>(world.data) + y * world.rowbytes)[x];
            PF_Pixel8 ycc{};
            toYCbCrPixel(nullptr, x, y, &in, &ycc);
            out.push_back(ycc);
        }
    return out;
}

std::vector<PF_Pixel8> pixelsOf(const PF_EffectWorld& world) {
    std::vector<PF_Pixel8> out;
    for (int32_t y = 0; y < world.height; ++y) {
        const auto* row = reinterpret_cast<const PF_Pixel8*>(
            reinterpret_cast<const uint8_t*>(world.data) + y * world.rowbytes);
        out.insert(out.end(), row, row + world.width);
    }
    return out;
}

bool samePixel(const PF_Pixel8& a, const PF_Pixel8& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// True when the 8x8 block `block` (counted row by row over the whole blocks
// of a frame `width` pixels wide) is the same in both pictures.
bool sameBlock(const std::vector<PF_Pixel8>& a, const std::vector<PF_Pixel8>& b, int32_t width,
               int32_t block) {
    int32_t perRow = width / 8;
    int32_t x0 = 8 * (block % perRow), y0 = 8 * (block / perRow);
    for (int32_t y = y0; y < y0 + 8; ++y)
        for (int32_t x = x0; x < x0 + 8; ++x)
            if (!samePixel(a[y * width + x], b[y * width + x])) return false;
    return true;
}

int64_t countCalls(const Host& host, const std::string& name) {
    auto log = host.callLog();
    return std::count(log.begin(), log.end(), name);
}

// ---------------------------------------------------------------- the stage alone
// runCompression on a frame with the strongest quantiser (c = 0, d = 18.75).
struct StageRun {
    StageRun(int32_t width, int32_t height, FaultPlan faults, int32_t threads = 1)
        : f(width, height, threads, faults) {
        paintOpaque(&f.input);
        before = convertedOnly(f.input.world);
        f.params.setFloat(kParamJpegAmount, 100);
        f.params.setFloat(kParamCompressionMultiplier, 100);
        f.params.setFloat(kParamCorvexelAmount, 100);
    }
    PF_Err run() {
        return f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runCompression(in, out, f.params.array(), &f.input.world, suites);
        });
    }
    std::vector<PF_Pixel8> pixels() const { return pixelsOf(f.input.world); }
    StageFixture f;
    std::vector<PF_Pixel8> before;   // the input as the conversion alone leaves it
};

// The frame with every block damaged but still in Y, Cb, Cr: the host fails
// the conversion back to RGB (the second iterate), which ends the stage there.
std::vector<PF_Pixel8> everyBlockDamaged(int32_t width, int32_t height) {
    FaultPlan stopBeforeRgb;
    stopBeforeRgb.failCall = "iterate";
    stopBeforeRgb.failCallOccurrence = 1;
    stopBeforeRgb.failError = PF_Err_INTERNAL_STRUCT_DAMAGED;
    StageRun reference(width, height, stopBeforeRgb);
    EXPECT_EQ(reference.run(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    return reference.pixels();
}

// 3 x 2 whole blocks and strips to the right and below. One host thread takes
// the blocks in order, block b asking for handles 2b (samples) and 2b + 1
// (coefficients). The refused block keeps its converted pixels, the blocks
// before it are damaged, the stage stops before converting back, and every
// handle and suite obtained is given back.
TEST(CompressionOnHost, RefusedHandleInsideABlockLeavesThatBlockAndReleasesEverything) {
    const int32_t width = 27, height = 19;
    std::vector<PF_Pixel8> damaged = everyBlockDamaged(width, height);
    struct Case { int64_t handle; int32_t block; };
    for (Case c : {Case{0, 0}, Case{1, 0}, Case{2, 1}, Case{5, 2}, Case{11, 5}}) {
        FaultPlan refuse;
        refuse.failHandleNumber = c.handle;
        StageRun r(width, height, refuse);
        for (int32_t b = 0; b < 6; ++b)   // the damage shows in every block
            ASSERT_FALSE(sameBlock(damaged, r.before, width, b)) << b;

        EXPECT_EQ(r.run(), PF_Err_OUT_OF_MEMORY) << "handle " << c.handle;
        std::vector<PF_Pixel8> after = r.pixels();
        EXPECT_TRUE(sameBlock(after, r.before, width, c.block)) << "handle " << c.handle;
        for (int32_t b = 0; b < c.block; ++b)
            EXPECT_TRUE(sameBlock(after, damaged, width, b)) << "handle " << c.handle << " block " << b;
        EXPECT_EQ(countCalls(r.f.host, "iterate"), 1) << "converted back after the failure";
        EXPECT_TRUE(r.f.host.books().clean()) << r.f.host.books().describe();
        EXPECT_EQ(r.f.host.books().handlesCreated, c.handle);
    }
}

// Several host threads: whichever block is refused, no block is left half
// written (each is either damaged or as converted), and nothing is kept.
TEST(CompressionOnHost, RefusedHandleAmongConcurrentBlocks) {
    const int32_t width = 64, height = 48;   // 48 blocks
    std::vector<PF_Pixel8> damaged = everyBlockDamaged(width, height);
    for (int64_t handle : {0, 5, 30, 95}) {
        FaultPlan refuse;
        refuse.failHandleNumber = handle;
        StageRun r(width, height, refuse, 4);
        EXPECT_EQ(r.run(), PF_Err_OUT_OF_MEMORY) << handle;
        std::vector<PF_Pixel8> after = r.pixels();
        int32_t untouched = 0;
        for (int32_t b = 0; b < 48; ++b) {
            bool asConverted = sameBlock(after, r.before, width, b);
            untouched += asConverted;
            EXPECT_TRUE(asConverted || sameBlock(after, damaged, width, b))
                << "handle " << handle << " block " << b;
        }
        EXPECT_GE(untouched, 1) << handle;
        EXPECT_TRUE(r.f.host.books().clean()) << r.f.host.books().describe();
    }
}

// ---------------------------------------------------------------- a whole render
// The render disposes its working frame last; this spy keeps a copy of the
// pixels of the last world handed back, then lets the host dispose it.
struct DisposeSpy {
    static std::vector<PF_Pixel8>& lastPixels() {
        static std::vector<PF_Pixel8> pixels;
        return pixels;
    }
    static PF_Err (*&hostDispose())(PF_ProgPtr, PF_EffectWorld*) {
        static PF_Err (*dispose)(PF_ProgPtr, PF_EffectWorld*) = nullptr;
        return dispose;
    }
    static PF_Err dispose(PF_ProgPtr ref, PF_EffectWorld* world) {
        lastPixels() = pixelsOf(*world);
        return hostDispose()(ref, world);
    }
    static void install(Host* host) {
        hostDispose() = host->inData()->utils->dispose_world;
        host->inData()->utils->dispose_world = dispose;
    }
};

// A render with only the compression group on, at its strongest (c = 0) and
// with a dither step of 64. The transform leaves the layer where it is, so
// the working frame starts as the input.
struct CompressionRender {
    explicit CompressionRender(FaultPlan faults)
        : host(HostOptions{1, 0, faults}),
          input(kWidth, kHeight),
          output(kWidth, kHeight),
          params(corvexel::test::defaultParams(), input.world) {
        paintOpaque(&input);
        params.setCheckbox(kParamChannelEnable, false);
        params.setCheckbox(kParamColorEnable, false);
        params.setCheckbox(kParamImageEnable, false);
        params.setCheckbox(kParamCompressionEnable, true);
        params.setFloat(kParamCorvexelAmount, 100);
        params.setFloat(kParamCompressionMultiplier, 100);
        params.setFloat(kParamJpegAmount, 100);
        params.setFloat(kParamDitherAmount, 64);
        DisposeSpy::install(&host);
    }
    PF_Err render() { return host.send(&EntryPointFunc, PF_Cmd_RENDER, params.array(), &output.world); }

    static constexpr int32_t kWidth = 27, kHeight = 19;   // 3 x 2 whole blocks
    Host host;
    Frame input;
    Frame output;
    ParamValues params;
};

// Without a fault the dither runs after the compression: every colour byte
// of the working frame is a multiple of its step.
TEST(CompressionRender, CompressionThenDitherWithoutAFault) {
    CompressionRender r{FaultPlan{}};
    ASSERT_EQ(r.render(), PF_Err_NONE);
    EXPECT_TRUE(r.host.books().clean()) << r.host.books().describe();
    ASSERT_FALSE(DisposeSpy::lastPixels().empty());
    for (const PF_Pixel8& p : DisposeSpy::lastPixels()) {
        ASSERT_EQ(p.red % 64, 0);
        ASSERT_EQ(p.green % 64, 0);
        ASSERT_EQ(p.blue % 64, 0);
    }
}

// The second block's sample handle is refused. The render returns the
// stage's 4 and stops: the frame stays in Y, Cb, Cr with only the first
// block damaged, the dither never touches it (its step of 64 would leave
// only multiples of 64), nothing is composited afterwards, and every world,
// handle and suite is given back.
TEST(CompressionRender, RefusedHandleEndsTheRenderBeforeTheDither) {
    FaultPlan refuse;
    refuse.failHandleNumber = 2;
    CompressionRender r(refuse);
    ASSERT_EQ(r.render(), PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(r.host.books().clean()) << r.host.books().describe();

    // The output holds the working frame as it was before the compression.
    std::vector<PF_Pixel8> before = convertedOnly(r.output.world);
    const std::vector<PF_Pixel8>& working = DisposeSpy::lastPixels();
    ASSERT_EQ(working.size(), before.size());
    const int32_t width = CompressionRender::kWidth;
    EXPECT_FALSE(sameBlock(working, before, width, 0));   // damaged, then the failure
    bool ditherWouldShow = false;
    for (size_t i = 0; i < working.size(); ++i) {
        int32_t x = static_cast<int32_t>(i) % width, y = static_cast<int32_t>(i) / width;
        const PF_Pixel8& w = working[i];
        const PF_Pixel8& b = before[i];
        ditherWouldShow |= b.red % 64 != 0 || b.green % 64 != 0 || b.blue % 64 != 0;
        EXPECT_EQ(w.alpha, b.alpha);
        EXPECT_EQ(w.green, b.green) << x << "," << y;   // Cb and Cr untouched everywhere
        EXPECT_EQ(w.blue, b.blue) << x << "," << y;
        if (x < 8 && y < 8) continue;                    // the damaged block's luma
        EXPECT_EQ(w.red, b.red) << x << "," << y;
    }
    EXPECT_TRUE(ditherWouldShow);

    std::vector<std::string> log = r.host.callLog();
    auto blocks = std::find(log.begin(), log.end(), std::string("iterate_generic"));
    ASSERT_NE(blocks, log.end());
    for (auto it = blocks + 1; it != log.end(); ++it) {
        EXPECT_NE(*it, "iterate") << "converted back after the failure";
        EXPECT_NE(*it, "transfer_rect") << "composited after the failure";
    }
}

}  // namespace
