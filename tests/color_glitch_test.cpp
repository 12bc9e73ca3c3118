// Colour glitch: the in-place byte echo over the pixel bytes of the copy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "effects/stages.h"
#include "noise/noise_field.h"
#include "shell/param_set.h"
#include "support/image_stage_fixture.h"

namespace {

struct TestWorld {
    TestWorld(int32_t width, int32_t height, int32_t padding = 0)
        : bytes(static_cast<size_t>((width * 4 + padding) * height), 0xEE) {
        world.width = width;
        world.height = height;
        world.rowbytes = width * 4 + padding;
        world.data = reinterpret_cast<PF_Pixel8*>(bytes.data());
    }
    uint8_t* pixelByte(int32_t position) {   // position in the run of pixel bytes
        int32_t rowLength = world.width * 4;
        return bytes.data() + (position / rowLength) * world.rowbytes + position % rowLength;
    }
    std::vector<uint8_t> pixelBytes() {
        std::vector<uint8_t> out;
        for (int32_t p = 0; p < world.width * world.height * 4; ++p) out.push_back(*pixelByte(p));
        return out;
    }
    std::vector<uint8_t> bytes;
    PF_EffectWorld world{};
};

PF_Err gCopyError = PF_Err_NONE;

PF_Err copyWorld(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect*, PF_Rect*) {
    for (int32_t y = 0; y < src->height; ++y)
        std::memcpy(reinterpret_cast<uint8_t*>(dst->data) + y * dst->rowbytes,
                    reinterpret_cast<uint8_t*>(src->data) + y * src->rowbytes,
                    static_cast<size_t>(src->width) * 4);
    return gCopyError;
}

// Octaves 0 makes the field a constant 0.5, so k = 0.9 x Amount x Corvexel Amount / 10^4.
struct Glitch {
    Glitch(double offset, double amount, double master) : defs(kParamCount + 1) {
        for (PF_ParamDef& d : defs) pointers.push_back(&d);
        defs[kParamColorOffset].u.fs_d.value = offset;
        defs[kParamColorAmount].u.fs_d.value = amount;
        defs[kParamCorvexelAmount].u.fs_d.value = master;
        noise.init(1, 0.0f, 0.0f, 100, 0.5f, 2.0f, 0);
        utils.copy = copyWorld;
        in_data.utils = &utils;
    }
    PF_Err run(TestWorld* src, TestWorld* dst) {
        return runColorGlitch(&in_data, nullptr, pointers.data(), &src->world, &dst->world,
                              nullptr, &noise);
    }
    std::vector<PF_ParamDef> defs;
    std::vector<PF_ParamDef*> pointers;
    NoiseField noise;
    PF_UtilCallbacks utils{};
    PF_InData in_data{};
};

constexpr double kMasterFor0801 = 89;   // k = 0.9 x 0.89 = 0.801

TEST(ColorGlitch, OffsetZeroEchoesEveryByteIntoItself) {
    struct Case { uint8_t in, out; };
    const Case cases[] = {{100, 180}, {200, 156}, {255, 255}, {0, 0}, {1, 1}, {127, 228}};
    TestWorld src(2, 3), dst(2, 3);
    for (size_t i = 0; i < 6; ++i) *src.pixelByte(static_cast<int32_t>(i)) = cases[i].in;
    Glitch g(0, 100, kMasterFor0801);
    EXPECT_EQ(g.run(&src, &dst), PF_Err_NONE);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(*dst.pixelByte(static_cast<int32_t>(i)), cases[i].out) << int(cases[i].in);
}

TEST(ColorGlitch, SumsWrapModulo256) {
    TestWorld src(1, 1), dst(1, 1);
    const uint8_t bytes[4] = {100, 200, 0, 0};
    std::memcpy(src.bytes.data(), bytes, 4);
    Glitch g(1.0 / 80.0 + 1e-9, 100, 100);   // off = 1, k = 0.9
    g.run(&src, &dst);
    EXPECT_EQ(dst.bytes[1], 34);   // 200 + 90 = 290 -> 34
    EXPECT_EQ(dst.bytes[2], 30);   // the changed 34 echoes on: trunc(30.6)
}

TEST(ColorGlitch, EchoChainOnZeroBackground) {
    TestWorld src(100, 6), dst(100, 6);   // 400 bytes a row: off = 400 is one row down
    std::fill(src.bytes.begin(), src.bytes.end(), 0);
    src.bytes[0] = 100;
    Glitch g(5, 100, kMasterFor0801);
    g.run(&src, &dst);
    const uint8_t chain[6] = {100, 80, 64, 51, 40, 32};
    for (int32_t row = 0; row < 6; ++row) EXPECT_EQ(dst.bytes[row * 400], chain[row]) << row;
    size_t nonZero = 0;
    for (uint8_t b : dst.bytes) nonZero += b != 0;
    EXPECT_EQ(nonZero, 6u);
}

TEST(ColorGlitch, NoEchoLeavesAnExactCopy) {
    struct Case { double offset, amount, master; int32_t w, h; };
    const Case cases[] = {
        {100, 100, 100, 50, 40},   // off 8000 >= 2000 pixels x 4
        {100, 100, 100, 1, 1},
        {30, 0, 100, 20, 20},      // Amount 0
        {30, 100, 0, 20, 20},      // Corvexel Amount 0
    };
    for (const Case& c : cases) {
        TestWorld src(c.w, c.h), dst(c.w, c.h);
        for (size_t i = 0; i < src.bytes.size(); ++i) src.bytes[i] = static_cast<uint8_t>(i * 37);
        Glitch g(c.offset, c.amount, c.master);
        EXPECT_EQ(g.run(&src, &dst), PF_Err_NONE);
        EXPECT_EQ(dst.bytes, src.bytes) << c.offset << " " << c.amount << " " << c.master;
    }
}

TEST(ColorGlitch, PaddedRowsGiveTheSameResultAsUnpaddedOnes) {
    for (double offset : {0.0, 0.1, 1.3, 5.0}) {
        TestWorld flatSrc(37, 23), flatDst(37, 23);
        TestWorld padSrc(37, 23, 28), padDst(37, 23, 28);
        for (int32_t p = 0; p < 37 * 23 * 4; ++p)
            *flatSrc.pixelByte(p) = *padSrc.pixelByte(p) = static_cast<uint8_t>(p * 131 + 7);
        Glitch g(offset, 100, 100);
        g.run(&flatSrc, &flatDst);
        g.run(&padSrc, &padDst);
        EXPECT_EQ(padDst.pixelBytes(), flatDst.pixelBytes()) << offset;
        EXPECT_NE(flatDst.pixelBytes(), flatSrc.pixelBytes()) << offset;
        for (int32_t y = 0; y < 23; ++y)   // the padding is not written
            for (int32_t i = 37 * 4; i < padDst.world.rowbytes; ++i)
                ASSERT_EQ(padDst.bytes[y * padDst.world.rowbytes + i], 0xEE);
    }
}

// ---------------------------------------------------------------- the echo arithmetic
// The pass adds trunc(b x k) to a byte, with b the source byte read as signed
// and the product taken in double precision. At Offset 0 every byte echoes
// itself once, so one row holding the bytes 0..255 shows the echo of every
// byte value for one k.
struct EchoOfEveryByte {
    EchoOfEveryByte() : src(64, 1), dst(64, 1), glitch(0, 0, 0) {
        for (int32_t b = 0; b < 256; ++b) src.bytes[b] = static_cast<uint8_t>(b);
    }
    // k as the stage defines it from the noise at (50, 50) and the two amounts.
    double k(double amount, double master) const {
        double n = static_cast<double>(glitch.noise.sample(50, 50));
        return (n * 0.2 + 0.8) * (((amount / 100.0) * master) / 100.0);
    }
    // Runs the stage; returns the first byte value whose result differs from
    // the plain definition, or -1.
    int32_t firstMismatch(double amount, double master) {
        glitch.defs[kParamColorAmount].u.fs_d.value = amount;
        glitch.defs[kParamCorvexelAmount].u.fs_d.value = master;
        glitch.run(&src, &dst);
        double kk = k(amount, master);
        for (int32_t b = 0; b < 256; ++b)
            if (dst.bytes[b] != expected(b, kk)) return b;
        return -1;
    }
    static uint8_t expected(int32_t stored, double k) {
        double signedByte = stored < 128 ? stored : stored - 256;
        double echo = std::trunc(signedByte * k);
        return static_cast<uint8_t>((static_cast<int64_t>(stored + echo) % 256 + 256) % 256);
    }
    TestWorld src, dst;
    Glitch glitch;
};

#define EXPECT_ECHO_MATCHES(sweep, amount, master)                                          \
    do {                                                                                    \
        int32_t bad = (sweep).firstMismatch((amount), (master));                            \
        ASSERT_EQ(bad, -1) << "byte " << bad << " amount " << (amount) << " master "       \
                           << (master) << " k " << std::hexfloat << (sweep).k((amount), (master)); \
    } while (0)

// A dense sweep of the amounts (k from 0 to 0.9 with the field at 0.5), then
// the values of k next to every p/q with q <= 128, where some product b x k
// lands on or next to a whole number and truncation is decided by the last
// bit. Amounts above 100 stand in for noise values above 0.5, which push k
// past 0.9.
TEST(ColorGlitch, EchoOfEveryByteIsTheTruncatedDoubleProduct) {
    EchoOfEveryByte sweep;
    for (double master : {100.0, 37.0, 0.5})
        for (int32_t step = 0; step <= 10000; ++step)
            EXPECT_ECHO_MATCHES(sweep, step / 100.0, master);

    int64_t wholeProducts = 0;
    const double factor = sweep.k(100, 100);   // k at Amount 100, Corvexel Amount 100
    for (int32_t q = 1; q <= 128; ++q) {
        for (int32_t p = 0; p <= q * 6 / 5; ++p) {
            double amount = (static_cast<double>(p) / q) / factor * 100.0;
            for (int32_t down = 0; down < 4; ++down) amount = std::nextafter(amount, 0.0);
            for (int32_t nudge = -4; nudge <= 4; ++nudge) {   // nine neighbouring amounts
                EXPECT_ECHO_MATCHES(sweep, amount, 100.0);
                double k = sweep.k(amount, 100.0);
                for (int32_t b = -128; b < 128; ++b)
                    wholeProducts += b != 0 && b * k == std::trunc(b * k);
                amount = std::nextafter(amount, 1000.0);
            }
        }
    }
    EXPECT_GT(wholeProducts, 100000);   // the sweep really reaches the deciding products

    // The field itself: k for noise values the stage meets across seeds and times.
    for (int32_t seed = 1; seed <= 300; ++seed) {
        sweep.glitch.noise.init(seed, 1.0f, static_cast<float>(seed) * 0.37f, 100, 0.5f, 2.0f, 4);
        EXPECT_ECHO_MATCHES(sweep, 100.0, 100.0);
        EXPECT_ECHO_MATCHES(sweep, 73.3, 91.0);
    }
}

// ---------------------------------------------------------------- host worlds with padded rows
// The render hands the stage worlds made by the host's new_world, whose rows
// may be padded (the embedded host fills padding with 0xA5). The result on
// the pixels must not depend on the padding, and the padding stays as it was.
struct HostWorldResult {
    std::vector<uint8_t> pixels;       // the destination's pixel bytes, row after row
    std::vector<uint8_t> sourcePixels;
    bool paddingKept = true;           // every padding byte of both worlds still 0xA5
};

std::vector<uint8_t> worldPixelBytes(const PF_EffectWorld& world) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < world.height; ++y) {
        const uint8_t* row = reinterpret_cast<const uint8_t*>(world.data) + y * world.rowbytes;
        out.insert(out.end(), row, row + world.width * 4);
    }
    return out;
}

bool paddingIsHostFill(const PF_EffectWorld& world) {
    for (int32_t y = 0; y < world.height; ++y) {
        const uint8_t* row = reinterpret_cast<const uint8_t*>(world.data) + y * world.rowbytes;
        for (int32_t i = world.width * 4; i < world.rowbytes; ++i)
            if (row[i] != 0xA5) return false;
    }
    return true;
}

HostWorldResult runOnHostWorlds(int32_t width, int32_t height, int32_t padding, double offset) {
    corvexel::test::StageFixture f(width, height);
    f.host.options().rowPadding = padding;
    f.params.setFloat(kParamColorOffset, offset);
    f.params.setFloat(kParamColorAmount, 100);
    f.params.setFloat(kParamCorvexelAmount, 100);
    HostWorldResult result;
    PF_Err err = f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
        PF_EffectWorld src{}, dst{};
        EXPECT_EQ(in->utils->new_world(in->effect_ref, width, height, 0, &src), PF_Err_NONE);
        EXPECT_EQ(in->utils->new_world(in->effect_ref, width, height, 0, &dst), PF_Err_NONE);
        EXPECT_EQ(src.rowbytes, width * 4 + padding);
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* row = reinterpret_cast<uint8_t*>(src.data) + y * src.rowbytes;
            for (int32_t i = 0; i < width * 4; ++i)
                row[i] = static_cast<uint8_t>((y * width * 4 + i) * 131 + 7);
        }
        PF_Err stageErr = runColorGlitch(in, out, f.params.array(), &src, &dst, suites, &f.noise);
        result.pixels = worldPixelBytes(dst);
        result.sourcePixels = worldPixelBytes(src);
        result.paddingKept = paddingIsHostFill(src) && paddingIsHostFill(dst);
        in->utils->dispose_world(in->effect_ref, &src);
        in->utils->dispose_world(in->effect_ref, &dst);
        return stageErr;
    });
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_TRUE(f.host.books().clean()) << f.host.books().describe();
    return result;
}

// Offsets below one pixel, across a row (148 pixel bytes) and across rows,
// multiples of 4 and not; paddings of whole pixels and not.
TEST(ColorGlitch, PaddedHostWorldsGiveTheSameResultAsUnpaddedOnes) {
    for (double offset : {0.0, 0.09, 1.3, 2.5, 5.3}) {
        HostWorldResult flat = runOnHostWorlds(37, 23, 0, offset);
        ASSERT_NE(flat.pixels, flat.sourcePixels) << offset;   // the echo did something
        for (int32_t padding : {3, 4, 28}) {
            HostWorldResult padded = runOnHostWorlds(37, 23, padding, offset);
            EXPECT_EQ(padded.sourcePixels, flat.sourcePixels);
            EXPECT_EQ(padded.pixels, flat.pixels) << "offset " << offset << " padding " << padding;
            EXPECT_TRUE(padded.paddingKept) << "offset " << offset << " padding " << padding;
        }
    }
}

TEST(ColorGlitch, CopyErrorIsReturnedAndThePassStillRuns) {
    TestWorld src(2, 2), dst(2, 2);
    std::fill(src.bytes.begin(), src.bytes.end(), 100);
    gCopyError = PF_Err_INTERNAL_STRUCT_DAMAGED;
    Glitch g(0, 100, kMasterFor0801);
    EXPECT_EQ(g.run(&src, &dst), PF_Err_INTERNAL_STRUCT_DAMAGED);
    gCopyError = PF_Err_NONE;
    EXPECT_EQ(dst.bytes[5], 180);
}

}  // namespace
