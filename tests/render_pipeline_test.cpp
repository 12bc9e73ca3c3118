// Render pipeline pieces that need no host: the transfer-mode table, the
// composite-mode records, the crop rounding and the noise preview.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "noise/noise_field.h"
#include "render/render.h"

namespace {

TEST(TransferModeFromPopup, MapsEveryItemAndFallsBackToInFront) {
    // Index = popup item 0..47; 0 and 47 are outside the menu.
    const int32_t expected[48] = {2,  2,  0,  1,  2,  2,  10, 5,  28, 24, 30, 36,
                                  2,  4,  11, 6,  27, 23, 29, 35, 2,  7,  8,  9,
                                  31, 32, 33, 34, 2,  26, 12, 25, 37, 38, 2,  13,
                                  14, 15, 16, 2,  17, 18, 19, 20, 2,  21, 22, 2};
    for (int32_t item = 0; item < 48; ++item) {
        EXPECT_EQ(transferModeFromPopup(item), expected[item]) << "item " << item;
    }
    EXPECT_EQ(transferModeFromPopup(-1), PF_Xfer_IN_FRONT);
    EXPECT_EQ(transferModeFromPopup(INT32_MIN), PF_Xfer_IN_FRONT);
    EXPECT_EQ(transferModeFromPopup(INT32_MAX), PF_Xfer_IN_FRONT);
}

TEST(FillCompositeMode, OpacityScalesTo254And32767) {
    struct Case {
        double opacity;
        int32_t opacity8;
        int32_t opacity16;
    };
    const Case cases[] = {{100, 254, 32767}, {50, 127, 16383}, {25, 63, 8191}, {0, 0, 0}};
    for (const Case& c : cases) {
        PF_CompositeMode mode;
        std::memset(&mode, 0xAB, sizeof mode);
        fillCompositeMode(&mode, 33, c.opacity);
        EXPECT_EQ(mode.xfer, PF_Xfer_DIVIDE);
        EXPECT_EQ(mode.opacity, c.opacity8) << c.opacity;
        EXPECT_EQ(mode.opacitySu, c.opacity16) << c.opacity;
        EXPECT_EQ(mode.rand_seed, 0);
        EXPECT_EQ(mode.rgb_only, 0);
    }
}

TEST(FillCompositeMode, FullIgnoresNoSliderAndMatchesOpacity100) {
    PF_CompositeMode full;
    PF_CompositeMode hundred;
    std::memset(&full, 0xAB, sizeof full);
    fillCompositeModeFull(&full, 21);
    fillCompositeMode(&hundred, 21, 100.0);
    EXPECT_EQ(full.xfer, PF_Xfer_OVERLAY);
    EXPECT_EQ(0, std::memcmp(&full, &hundred, sizeof full));
}

TEST(CropRounding, HalvesRoundUpAndTheTopOfTheRangeDoesNotOverflow) {
    struct Case {
        PF_Fixed v;
        int32_t pixels;
    };
    const Case cases[] = {
        {0, 0},
        {0x7FFF, 0},
        {0x8000, 1},                    // exactly half a pixel rounds up
        {0x18000, 2},
        {-0x8000, 0},                   // -0.5 rounds up to 0
        {-0x8001, -1},
        {INT32_MAX, 32768},             // would overflow a 32-bit sum
        {INT32_MAX - 0x7FFF, 32768},
        {INT32_MAX - 0x8000, 32767},
        {INT32_MIN, -32768},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(roundFixedToPixel(c.v), c.pixels) << std::hex << c.v;
    }
    EXPECT_EQ(addWrapping(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(addWrapping(10, -3), 7);
}

// A params array with just what the transform reads, at the defaults but with
// the crop corners given.
struct TransformParams {
    std::vector<PF_ParamDef> defs = std::vector<PF_ParamDef>(102);
    std::vector<PF_ParamDef*> pointers;
    TransformParams() {
        std::memset(defs.data(), 0, defs.size() * sizeof(PF_ParamDef));
        for (PF_ParamDef& d : defs) pointers.push_back(&d);
        defs[1].u.fs_d.value = 50;
        defs[2].u.fs_d.value = 50;
        defs[10].u.fs_d.value = 1;
        defs[99].u.fs_d.value = 2;
    }
    void crop(PF_Fixed x1, PF_Fixed y1, PF_Fixed x2, PF_Fixed y2) {
        defs[15].u.td.x_value = x1;
        defs[15].u.td.y_value = y1;
        defs[16].u.td.x_value = x2;
        defs[16].u.td.y_value = y2;
    }
};

TEST(TransformCropRect, CornersEitherWayRoundGiveTheSameRectangle) {
    NoiseField noise;
    noise.init(0, 50.0f, 0.5f, 72, 1.5f, 10.0f, 2);
    TransformParams p;
    p.crop(10 << 16, 0x50000 + 0x8000, 90 << 16, 60 << 16);
    PF_Rect forward = transformCropRect(p.pointers.data(), &noise, 128, 0.5, 2.0f, 5.0f);
    p.crop(90 << 16, 60 << 16, 10 << 16, 0x50000 + 0x8000);
    PF_Rect backward = transformCropRect(p.pointers.data(), &noise, 128, 0.5, 2.0f, 5.0f);
    EXPECT_EQ(forward.left, 10);
    EXPECT_EQ(forward.top, 6);
    EXPECT_EQ(forward.right, 90);
    EXPECT_EQ(forward.bottom, 60);
    EXPECT_EQ(0, std::memcmp(&forward, &backward, sizeof forward));
}

TEST(TransformCropRect, HugeWigglesAtTheTopOfTheRangeStayDefined) {
    NoiseField noise;
    noise.init(7, 50.0f, 1.25f, 72, 1.5f, 10.0f, 4);
    TransformParams p;
    p.crop(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
    p.defs[17].u.fs_d.value = 30000;   // crop wiggle far beyond the frame
    PF_Rect r = transformCropRect(p.pointers.data(), &noise, 1 << 20, 1.0, 64.0f, 50.0f);
    EXPECT_LE(r.left, r.right);
    EXPECT_LE(r.top, r.bottom);
}

TEST(NoisePreview, IsOpaqueGreyTruncatedSampleSpan) {
    NoiseField noise;
    noise.init(3, 50.0f, 0.5f, 24, 1.5f, 10.0f, 2);
    const int32_t width = 40, height = 24, rowbytes = width * 4 + 12;
    std::vector<uint8_t> bytes(static_cast<size_t>(rowbytes) * height, 0x5A);
    PF_LayerDef out{};
    out.width = width;
    out.height = height;
    out.rowbytes = rowbytes;
    out.data = reinterpret_cast<PF_Pixel8*>(bytes.data());
    drawNoisePreview(&noise, &out);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* px = bytes.data() + y * rowbytes + x * 4;
            int32_t grey = static_cast<int32_t>(noise.sampleSpan(x, y, 256.0f, 1.0f));
            ASSERT_EQ(px[0], 255);
            ASSERT_EQ(px[1], grey);
            ASSERT_EQ(px[2], grey);
            ASSERT_EQ(px[3], grey);
        }
        // Row padding is left alone.
        EXPECT_EQ(bytes[y * rowbytes + width * 4], 0x5A);
    }
}

}  // namespace
