// Colour glitch: the in-place byte echo over the pixel bytes of the copy.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effects/stages.h"
#include "noise/noise_field.h"
#include "shell/param_set.h"

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
