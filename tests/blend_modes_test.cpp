// The host's transfer modes on hand-computed pixels. Channel bytes are chosen
// as multiples of 51 (0.2 steps) so every expected value can be worked out on
// paper; no case sits on a rounding tie.
#include "host/blend_modes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace corvexel::host {
namespace {

bool samePixel(PF_Pixel8 a, PF_Pixel8 b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

std::string show(PF_Pixel8 p) {
    return "{" + std::to_string(p.alpha) + ", " + std::to_string(p.red) + ", " +
           std::to_string(p.green) + ", " + std::to_string(p.blue) + "}";
}

struct BlendCase {
    PF_TransferMode mode;
    PF_Pixel8 dst;   // {alpha, red, green, blue}
    PF_Pixel8 src;
    uint8_t opacity;
    PF_Pixel8 expected;
    const char* why;
};

// Set A: backdrop (0.8, 0.4, 0.2), source (0.2, 0.6, 0.4), both opaque.
constexpr PF_Pixel8 kDstA{255, 204, 102, 51};
constexpr PF_Pixel8 kSrcA{255, 51, 153, 102};
// Set B: backdrop (0.6, 1, 0), source (0.8, 0.4, 0.2), both opaque.
constexpr PF_Pixel8 kDstB{255, 153, 255, 0};
constexpr PF_Pixel8 kSrcB{255, 204, 102, 51};

// Opaque pixels at full opacity give round(255 × B(Cb, Cs)) per channel.
const BlendCase kOpaqueCases[] = {
    {PF_Xfer_IN_FRONT, kDstA, kSrcA, 255, {255, 51, 153, 102}, "B = Cs"},
    {PF_Xfer_MULTIPLY, kDstA, kSrcA, 255, {255, 41, 61, 20}, ".16 .24 .08"},
    {PF_Xfer_MULTIPLY, kDstB, kSrcB, 255, {255, 122, 102, 0}, ".48 .4 0"},
    {PF_Xfer_SCREEN, kDstA, kSrcA, 255, {255, 214, 194, 133}, ".84 .76 .52"},
    {PF_Xfer_SCREEN, kDstB, kSrcB, 255, {255, 235, 255, 51}, ".92 1 .2"},
    {PF_Xfer_OVERLAY, kDstA, kSrcA, 255, {255, 173, 122, 41}, "screen(.2,.6) 2*.4*.6 2*.2*.4"},
    {PF_Xfer_HARD_LIGHT, kDstA, kSrcA, 255, {255, 82, 133, 41}, ".8*.4 screen(.4,.2) .2*.8"},
    {PF_Xfer_SOFT_LIGHT, kDstA, kSrcA, 255, {255, 180, 114, 43},
     ".8-.6*.8*.2 .4+.2*(sqrt .4-.4) .2-.2*.2*.8"},
    {PF_Xfer_SOFT_LIGHT, {255, 51, 153, 0}, {255, 153, 204, 153}, 255, {255, 64, 180, 0},
     "D(.2)=.448 (cubic branch); .6+.6*(sqrt .6-.6); black stays"},
    {PF_Xfer_DARKEN, kDstA, kSrcA, 255, {255, 51, 102, 51}, "min"},
    {PF_Xfer_LIGHTEN, kDstA, kSrcA, 255, {255, 204, 153, 102}, "max"},
    {PF_Xfer_DIFFERENCE, kDstA, kSrcA, 255, {255, 153, 51, 51}, "|Cb-Cs|"},
    {PF_Xfer_DIFFERENCE2, kDstA, kSrcA, 255, {255, 153, 51, 51}, "|Cb-Cs|"},
    {PF_Xfer_EXCLUSION, kDstA, kSrcA, 255, {255, 173, 133, 112}, ".68 .52 .44"},
    {PF_Xfer_ADD, kDstA, kSrcA, 255, {255, 255, 255, 153}, "1 1 .6"},
    {PF_Xfer_LINEAR_DODGE, kDstA, kSrcA, 255, {255, 255, 255, 153}, "1 1 .6"},
    {PF_Xfer_LINEAR_BURN, kDstB, kSrcB, 255, {255, 102, 102, 0}, ".4 .4 0"},
    {PF_Xfer_LINEAR_LIGHT, kDstA, kSrcA, 255, {255, 51, 153, 0}, ".2 .6 0"},
    {PF_Xfer_LINEAR_LIGHT, kDstB, kSrcB, 255, {255, 255, 204, 0}, "1.2 clamps, .8, -.6 clamps"},
    {PF_Xfer_VIVID_LIGHT, {255, 204, 102, 51}, {255, 102, 204, 153}, 255, {255, 191, 255, 64},
     "burn(.8,.8)=.75 dodge(.4,.6)=1 dodge(.2,.2)=.25"},
    {PF_Xfer_PIN_LIGHT, kDstA, kSrcA, 255, {255, 102, 102, 51}, "min(.8,.4) max(.4,.2) min(.2,.8)"},
    {PF_Xfer_PIN_LIGHT, kDstB, kSrcB, 255, {255, 153, 204, 0}, "max(.6,.6) min(1,.8) min(0,.4)"},
    {PF_Xfer_HARD_MIX, kDstA, kSrcA, 255, {255, 255, 255, 0}, "sums 1 1 .6: exactly 1 counts"},
    {PF_Xfer_SUBTRACT, kDstA, kSrcA, 255, {255, 153, 0, 0}, ".6 0 0"},
    {PF_Xfer_SUBTRACT, kDstB, kSrcB, 255, {255, 0, 153, 0}, "0 .6 0"},
    {PF_Xfer_DIVIDE, kDstB, kSrcB, 255, {255, 191, 255, 0}, ".75 clamps 0"},
    {PF_Xfer_DIVIDE, {255, 102, 0, 51}, {255, 0, 0, 153}, 255, {255, 255, 0, 85},
     "x/0 = 1, 0/0 = 0, .2/.6"},
    {PF_Xfer_COLOR_DODGE2, kDstA, kSrcA, 255, {255, 255, 255, 85}, "1 1 1/3"},
    {PF_Xfer_COLOR_DODGE2, {255, 0, 51, 102}, {255, 255, 51, 102}, 255, {255, 0, 64, 170},
     "black backdrop stays black even under white; .25; 2/3"},
    {PF_Xfer_COLOR_DODGE, {255, 0, 51, 102}, {255, 255, 51, 102}, 255, {255, 255, 64, 170},
     "classic: white source always gives white"},
    {PF_Xfer_COLOR_BURN2, {255, 204, 153, 255}, {255, 204, 153, 0}, 255, {255, 191, 85, 255},
     ".75 1/3; white backdrop stays white even under black"},
    {PF_Xfer_COLOR_BURN, {255, 204, 153, 255}, {255, 204, 153, 0}, 255, {255, 191, 85, 0},
     "classic: black source always gives black"},
    {PF_Xfer_HUE, kDstA, kSrcA, 255, {255, 28, 181, 105}, "SetLum(SetSat(Cs,.6),.498)"},
    {PF_Xfer_SATURATION, kDstA, kSrcA, 255, {255, 178, 110, 76}, "SetLum(SetSat(Cb,.4),.498)"},
    {PF_Xfer_COLOR, kDstA, kSrcA, 255, {255, 61, 163, 112}, "Cs + (.498-.458)"},
    {PF_Xfer_LUMINOSITY, kDstA, kSrcA, 255, {255, 194, 92, 41}, "Cb + (.458-.498)"},
    {PF_Xfer_DARKER_COLOR, kDstA, kSrcA, 255, {255, 51, 153, 102}, "Lum .458 < .498: source"},
    {PF_Xfer_LIGHTER_COLOR, kDstA, kSrcA, 255, {255, 204, 102, 51}, "backdrop is lighter"},
};

// Alpha and opacity at work, and the modes that are not source-over blends.
const BlendCase kAlphaCases[] = {
    {PF_Xfer_IN_FRONT, {153, 0, 0, 0}, {102, 255, 0, 0}, 255, {194, 134, 0, 0},
     "ao=.4+.6*.6=.76, C=.4/.76"},
    {PF_Xfer_MULTIPLY, {153, 102, 0, 0}, {102, 153, 0, 0}, 255, {194, 100, 0, 0},
     "Cs'=.4*.6+.6*.24, co=.4*Cs'+.6*.4*.6, C=co/.76"},
    {PF_Xfer_IN_FRONT, {255, 0, 0, 0}, {255, 255, 0, 0}, 254, {255, 254, 0, 0},
     "opacity 254 lets 1/255 of the backdrop through"},
    {PF_Xfer_IN_FRONT, {255, 255, 0, 0}, {255, 0, 0, 0}, 254, {255, 1, 0, 0},
     "opacity 254 over white"},
    {PF_Xfer_IN_FRONT, {0, 9, 9, 9}, {255, 10, 20, 30}, 254, {254, 10, 20, 30},
     "over an empty pixel the source colour is kept whole"},
    {PF_Xfer_IN_FRONT, {0, 0, 0, 0}, {255, 10, 20, 30}, 255, {255, 10, 20, 30}, "plain copy"},
    {PF_Xfer_COPY, {255, 0, 0, 0}, {255, 255, 0, 0}, 51, {255, 51, 0, 0}, "mixed by .2"},
    {PF_Xfer_COPY, {255, 0, 0, 0}, {0, 7, 8, 9}, 255, {0, 7, 8, 9}, "full opacity copies as is"},
    {PF_Xfer_BEHIND, {102, 255, 0, 0}, {255, 0, 255, 0}, 255, {255, 102, 153, 0},
     "ao=.4+.6, red .4 from above, green .6 from below"},
    {PF_Xfer_BEHIND, {255, 1, 2, 3}, {255, 200, 200, 200}, 255, {255, 1, 2, 3},
     "nothing shows through an opaque backdrop"},
    {PF_Xfer_MULTIPLY_ALPHA, {200, 1, 2, 3}, {51, 90, 90, 90}, 255, {40, 1, 2, 3},
     "stencil alpha: 200*.2"},
    {PF_Xfer_MULTIPLY_ALPHA_LUMA, {200, 1, 2, 3}, {255, 0, 255, 0}, 255, {117, 1, 2, 3},
     "stencil luma: 200*.587"},
    {PF_Xfer_MULTIPLY_ALPHA_LUMA, {200, 1, 2, 3}, {0, 255, 255, 255}, 255, {0, 1, 2, 3},
     "a transparent white stencil hides everything"},
    {PF_Xfer_MULTIPLY_NOT_ALPHA, {200, 1, 2, 3}, {51, 90, 90, 90}, 255, {160, 1, 2, 3},
     "silhouette alpha: 200*.8"},
    {PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA, {200, 1, 2, 3}, {255, 0, 255, 0}, 255, {83, 1, 2, 3},
     "silhouette luma: 200*.413"},
    {PF_Xfer_MULTIPLY_ALPHA, {200, 1, 2, 3}, {0, 0, 0, 0}, 51, {160, 1, 2, 3},
     "opacity .2 cuts a fifth"},
    {PF_Xfer_ADDITIVE_PREMUL, {255, 102, 0, 0}, {0, 51, 0, 0}, 255, {255, 153, 0, 0},
     "a transparent glow still adds its colour"},
    {PF_Xfer_ADDITIVE_PREMUL, {255, 102, 0, 0}, {102, 51, 0, 0}, 255, {255, 112, 0, 0},
     ".2 + .4*.6"},
    {PF_Xfer_ALPHA_ADD, {102, 0, 0, 0}, {102, 255, 0, 0}, 255, {204, 159, 0, 0},
     "alpha .4+.4, colour of the .64 source-over"},
};

void expectCases(const BlendCase* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const BlendCase& c = cases[i];
        const PF_Pixel8 got = compositePixel(c.mode, c.src, c.dst, c.opacity);
        EXPECT_TRUE(samePixel(got, c.expected))
            << transferModeName(c.mode) << " (" << c.why << "): got " << show(got)
            << ", expected " << show(c.expected);
    }
}

TEST(BlendModes, OpaquePixelsGiveTheBlendFunction) {
    expectCases(kOpaqueCases, std::size(kOpaqueCases));
}

TEST(BlendModes, AlphaOpacityAndTheNonBlendModes) {
    expectCases(kAlphaCases, std::size(kAlphaCases));
}

TEST(BlendModes, TableCoversEveryModeButDissolveOnce) {
    std::set<PF_TransferMode> seen;
    for (PF_TransferMode mode : supportedTransferModes()) {
        EXPECT_TRUE(seen.insert(mode).second) << mode;
        EXPECT_GE(mode, PF_Xfer_COPY);
        EXPECT_LE(mode, PF_Xfer_DIVIDE);
        EXPECT_NE(mode, PF_Xfer_DISSOLVE);
    }
    EXPECT_EQ(seen.size(), 38u);
}

// A spread of pixels including the transparent, opaque and odd alphas.
const PF_Pixel8 kSamplePixels[] = {
    {0, 0, 0, 0},     {0, 200, 100, 50}, {1, 255, 255, 255}, {77, 13, 240, 128},
    {128, 0, 255, 0}, {254, 99, 1, 180}, {255, 0, 0, 0},     {255, 255, 255, 255},
    {255, 60, 70, 80},
};

TEST(BlendModes, OpacityZeroLeavesTheDestinationInEveryMode) {
    for (PF_TransferMode mode : supportedTransferModes()) {
        for (PF_Pixel8 src : kSamplePixels) {
            for (PF_Pixel8 dst : kSamplePixels) {
                EXPECT_TRUE(samePixel(compositePixel(mode, src, dst, 0), dst))
                    << transferModeName(mode) << " src " << show(src) << " dst " << show(dst);
            }
        }
    }
}

TEST(BlendModes, TransparentSourceLeavesTheDestinationInBlendingModes) {
    // Copy, the stencils and additive premultiply act on a transparent source
    // by design; every other mode must leave the destination as it was.
    const std::set<PF_TransferMode> actOnTransparent = {
        PF_Xfer_COPY, PF_Xfer_MULTIPLY_ALPHA, PF_Xfer_MULTIPLY_ALPHA_LUMA,
        PF_Xfer_ADDITIVE_PREMUL};
    const PF_Pixel8 hiddenColour{0, 200, 100, 50};
    for (PF_TransferMode mode : supportedTransferModes()) {
        if (actOnTransparent.count(mode) != 0) continue;
        for (PF_Pixel8 dst : kSamplePixels) {
            EXPECT_TRUE(samePixel(compositePixel(mode, hiddenColour, dst, 255), dst))
                << transferModeName(mode) << " dst " << show(dst);
        }
    }
}

TEST(BlendModes, OpaqueSourceAtFullOpacityReplacesTheDestinationInNormalModes) {
    const PF_TransferMode replacing[] = {PF_Xfer_IN_FRONT, PF_Xfer_COPY};
    for (PF_TransferMode mode : replacing) {
        for (PF_Pixel8 dst : kSamplePixels) {
            const PF_Pixel8 src{255, 60, 70, 80};
            EXPECT_TRUE(samePixel(compositePixel(mode, src, dst, 255), src))
                << transferModeName(mode) << " dst " << show(dst);
        }
    }
}

TEST(BlendModes, BlendingModesOverAnEmptyDestinationShowTheSource) {
    // ab = 0 turns every blend into plain source-over: the source's colour
    // with its (opacity-scaled) alpha.
    const PF_Pixel8 src{128, 13, 240, 128};
    const std::set<PF_TransferMode> notBlends = {
        PF_Xfer_COPY, PF_Xfer_BEHIND, PF_Xfer_MULTIPLY_ALPHA, PF_Xfer_MULTIPLY_ALPHA_LUMA,
        PF_Xfer_MULTIPLY_NOT_ALPHA, PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA, PF_Xfer_ADDITIVE_PREMUL,
        PF_Xfer_ALPHA_ADD};
    for (PF_TransferMode mode : supportedTransferModes()) {
        if (notBlends.count(mode) != 0) continue;
        EXPECT_TRUE(samePixel(compositePixel(mode, src, {0, 0, 0, 0}, 255), src))
            << transferModeName(mode);
    }
}

TEST(BlendModes, LargeCallsGiveTheSameBytesAsSmallOnes) {
    // A compositor for a large area answers opaque-over-opaque pixels from a
    // table; every other pixel still takes the row function. Both must agree
    // with the small-area compositor that always computes.
    std::vector<PF_Pixel8> src;
    std::vector<PF_Pixel8> dst;
    for (int32_t i = 0; i < 4096; ++i) {
        const uint8_t alphaS = (i % 5 == 0) ? static_cast<uint8_t>(i * 7) : 255;
        const uint8_t alphaD = (i % 7 == 0) ? static_cast<uint8_t>(i * 3) : 255;
        src.push_back({alphaS, static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                       static_cast<uint8_t>(i * 11)});
        dst.push_back({alphaD, static_cast<uint8_t>(i * 5), static_cast<uint8_t>(i / 16),
                       static_cast<uint8_t>(255 - i)});
    }
    for (PF_TransferMode mode : supportedTransferModes()) {
        for (uint32_t opacity : {254u, 255u, 100u}) {
            const Compositor small = makeCompositor(mode, opacity, 1);
            const Compositor large = makeCompositor(mode, opacity, int64_t{1920} * 1080);
            std::vector<PF_Pixel8> viaRow = dst;
            std::vector<PF_Pixel8> viaTable = dst;
            compositeRow(small, src.data(), viaRow.data(), static_cast<int32_t>(src.size()));
            compositeRow(large, src.data(), viaTable.data(), static_cast<int32_t>(src.size()));
            for (size_t i = 0; i < src.size(); ++i) {
                ASSERT_TRUE(samePixel(viaRow[i], viaTable[i]))
                    << transferModeName(mode) << " opacity " << opacity << " pixel " << i;
            }
        }
    }
}

// Composites src onto a copy of dst with the mode's row function and with its
// plain scalar one, in uneven pieces (so vector rows meet their leftovers),
// and returns the index of the first pixel that differs, or -1.
int64_t firstDifferenceFromPlainRow(PF_TransferMode mode, uint32_t opacity,
                                    const std::vector<PF_Pixel8>& src,
                                    const std::vector<PF_Pixel8>& dst) {
    std::vector<PF_Pixel8> viaRow = dst;
    std::vector<PF_Pixel8> viaPlain = dst;
    const int32_t total = static_cast<int32_t>(src.size());
    for (int32_t first = 0, piece = 1; first < total; first += piece, piece = piece * 3 % 1021 + 1) {
        const int32_t count = std::min(piece, total - first);
        compositeRowFor(mode)(&src[first], &viaRow[first], count, opacity);
        plainCompositeRowFor(mode)(&src[first], &viaPlain[first], count, opacity);
    }
    for (int32_t i = 0; i < total; ++i) {
        if (!samePixel(viaRow[i], viaPlain[i])) return i;
    }
    return -1;
}

uint8_t mixBits(uint32_t v) {
    v ^= v >> 15;
    v *= 0x2C1B3C6Du;
    v ^= v >> 12;
    return static_cast<uint8_t>(v >> 8);
}

TEST(BlendModes, VectorRowsGiveThePlainRowsBytes) {
    for (PF_TransferMode mode : supportedTransferModes()) {
        if (compositeRowFor(mode) == plainCompositeRowFor(mode)) continue;
        // Every source alpha, destination alpha and opacity, with colours
        // that change from pixel to pixel.
        std::vector<PF_Pixel8> src(65536), dst(65536);
        for (uint32_t opacity = 0; opacity < 256; ++opacity) {
            for (uint32_t pair = 0; pair < 65536; ++pair) {
                const uint32_t k = opacity << 16 | pair;
                src[pair] = {uint8_t(pair >> 8), mixBits(k), mixBits(k + 0x1111), mixBits(k * 3)};
                dst[pair] = {uint8_t(pair), mixBits(k * 5), mixBits(k + 0x7777), mixBits(k * 7)};
            }
            ASSERT_EQ(firstDifferenceFromPlainRow(mode, opacity, src, dst), -1)
                << transferModeName(mode) << " opacity " << opacity;
        }
        // Every pair of colour values, for alphas and opacities at and near
        // the ends of their range.
        for (uint8_t alphaS : {1, 128, 254, 255}) {
            for (uint8_t alphaD : {0, 1, 127, 254, 255}) {
                for (uint32_t opacity : {1u, 63u, 254u, 255u}) {
                    for (uint32_t pair = 0; pair < 65536; ++pair) {
                        const uint8_t cs = uint8_t(pair >> 8), cb = uint8_t(pair);
                        src[pair] = {alphaS, cs, cb, uint8_t(cs ^ cb)};
                        dst[pair] = {alphaD, cb, cs, uint8_t(cs + cb)};
                    }
                    ASSERT_EQ(firstDifferenceFromPlainRow(mode, opacity, src, dst), -1)
                        << transferModeName(mode) << " alphas " << int(alphaS) << "/"
                        << int(alphaD) << " opacity " << opacity;
                }
            }
        }
    }
}

TEST(BlendModes, PairTablesGiveTheRowFunctionsBytes) {
    // A compositor with tables for some alpha pairs answers those pixels from
    // them (several at a time where neighbours share a table) and sends every
    // other pixel through the row function, in runs between table hits. Rows
    // mix tabled and untabled pairs in runs of every length, with colours
    // that differ from channel to channel.
    const AlphaPair tabled[] = {{255, 255}, {255, 0}, {254, 254}, {1, 255},
                                {128, 3},   {255, 254}, {0, 0},   {37, 200}};
    const AlphaPair untabled[] = {{200, 37}, {0, 255}, {254, 255}};
    std::vector<PF_Pixel8> src, dst;
    for (uint32_t i = 0, run = 0, length = 1; i < 24576; ++i) {
        if (i - run == length) run = i, length = length % 23 + 1;   // runs of 1 .. 23 pixels
        const uint32_t k = run * 7 % 11;
        const AlphaPair a = (i % 61 == 5) ? untabled[i % 3] : k < 8 ? tabled[k] : untabled[k - 8];
        src.push_back({a.source, mixBits(i), mixBits(i * 3), mixBits(i + 99)});
        dst.push_back({a.destination, mixBits(i * 5), mixBits(i ^ 0x5555), mixBits(i * 11)});
    }
    for (PF_TransferMode mode : supportedTransferModes()) {
        for (uint32_t opacity : {127u, 254u, 255u}) {
            const Compositor plain = makeCompositor(mode, opacity, 1);
            const Compositor tables = makeCompositor(mode, opacity, tabled, nullptr);
            std::vector<PF_Pixel8> viaRow = dst, viaTables = dst;
            for (size_t first = 0; first < src.size(); first += 1000) {
                const int32_t count = static_cast<int32_t>(std::min<size_t>(1000, src.size() - first));
                compositeRow(plain, &src[first], &viaRow[first], count);
                compositeRow(tables, &src[first], &viaTables[first], count);
            }
            for (size_t i = 0; i < src.size(); ++i) {
                ASSERT_TRUE(samePixel(viaRow[i], viaTables[i]))
                    << transferModeName(mode) << " opacity " << opacity << " pixel " << i << ": "
                    << show(viaTables[i]) << " instead of " << show(viaRow[i]);
            }
        }
    }
}

TEST(BlendModes, FrequentAlphaPairsAreTheCommonOnesWithAVisibleSource) {
    // 512 rows of 512: every 16th row is looked at. A pair needs about
    // kPairTablePixels pixels; transparent sources are never tabled.
    constexpr int32_t kSize = 512;
    std::vector<PF_Pixel8> src(kSize * kSize), dst(kSize * kSize);
    for (int32_t y = 0; y < kSize; ++y) {
        for (int32_t x = 0; x < kSize; ++x) {
            PF_Pixel8& s = src[y * kSize + x];
            PF_Pixel8& d = dst[y * kSize + x];
            if (x < 256) {            // half the frame: an opaque pair (131072 pixels)
                s.alpha = 255, d.alpha = 255;
            } else if (x < 384) {     // a quarter: half-covered, but transparent source
                s.alpha = 0, d.alpha = 254;
            } else if (x < 500) {     // just under a quarter: too few
                s.alpha = 9, d.alpha = 9;
            } else {
                s.alpha = static_cast<uint8_t>(x), d.alpha = static_cast<uint8_t>(y);
            }
        }
    }
    const auto rowOf = [](std::vector<PF_Pixel8>& frame) {
        return [&frame](int32_t y) { return frame.data() + y * kSize; };
    };
    const std::vector<AlphaPair> pairs = frequentAlphaPairs(rowOf(src), rowOf(dst), kSize, kSize);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].source, 255);
    EXPECT_EQ(pairs[0].destination, 255);
    // A small call gets no tables at all.
    EXPECT_TRUE(frequentAlphaPairs(rowOf(src), rowOf(dst), 64, kSize).empty());
}

TEST(BlendModes, UnknownModesCompositeAsInFront) {
    const PF_Pixel8 src{102, 255, 0, 0};
    const PF_Pixel8 dst{153, 0, 0, 0};
    const PF_Pixel8 inFront = compositePixel(PF_Xfer_IN_FRONT, src, dst, 200);
    const PF_TransferMode unknown[] = {PF_Xfer_DISSOLVE, PF_Xfer_NONE, PF_Xfer_RESERVED0, 41,
                                       1000, -7};
    for (PF_TransferMode mode : unknown) {
        EXPECT_TRUE(samePixel(compositePixel(mode, src, dst, 200), inFront)) << mode;
        EXPECT_STREQ(transferModeName(mode), "IN_FRONT");
    }
}

TEST(BlendModes, RoundingToBytesIsToNearestWithHalvesUp) {
    EXPECT_EQ(unitToByte(0.0f), 0);
    EXPECT_EQ(unitToByte(-3.0f), 0);
    EXPECT_EQ(unitToByte(0.5f / 255.0f + 1e-6f), 1);
    EXPECT_EQ(unitToByte(0.49f / 255.0f), 0);
    EXPECT_EQ(unitToByte(127.5f / 255.0f), 128);
    EXPECT_EQ(unitToByte(1.0f), 255);
    EXPECT_EQ(unitToByte(7.0f), 255);
    EXPECT_EQ(unitToByte(std::numeric_limits<float>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace corvexel::host
