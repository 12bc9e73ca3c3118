// The host's "PF World Transform Suite": transform_world, transfer_rect and
// copy_hq on small frames with padded rows, so that every pixel is checked
// and row arithmetic that ignores rowbytes shows up.
#include "host/world_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "host/blend_modes.h"
#include "host/host.h"

namespace corvexel::host {
namespace {

constexpr int32_t kPadding = 12;
constexpr PF_Pixel8 kMarker{255, 7, 77, 177};   // an opaque colour no pattern pixel has
constexpr PF_Pixel8 kEmpty{0, 0, 0, 0};

bool samePixel(PF_Pixel8 a, PF_Pixel8 b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

std::string show(PF_Pixel8 p) {
    return "{" + std::to_string(p.alpha) + ", " + std::to_string(p.red) + ", " +
           std::to_string(p.green) + ", " + std::to_string(p.blue) + "}";
}

// Every pixel different, alphas mixed (never 0, so an unchanged transparent
// destination cannot pass for a copied pixel).
PF_Pixel8 patternPixel(int32_t x, int32_t y) {
    return {static_cast<uint8_t>((x + 2 * y) % 3 == 0 ? 128 : 255),
            static_cast<uint8_t>(x * 30 + 1), static_cast<uint8_t>(y * 40 + 2),
            static_cast<uint8_t>((x * 7 + y * 13) % 251)};
}

void fillPattern(Frame& frame) {
    for (int32_t y = 0; y < frame.world.height; ++y) {
        for (int32_t x = 0; x < frame.world.width; ++x) frame.at(x, y) = patternPixel(x, y);
    }
}

PF_CompositeMode modeOf(PF_TransferMode xfer, uint8_t opacity = 255) {
    PF_CompositeMode mode{};
    mode.xfer = xfer;
    mode.opacity = opacity;
    return mode;
}

PF_FloatMatrix matrixOf(double s, double tx, double ty) {
    return {{{s, 0.0, 0.0}, {0.0, s, 0.0}, {tx, ty, 1.0}}};
}

// Expects dst(X, Y) == want(X, Y) for every pixel, reporting the first few misses.
template <typename Want>
void expectFrame(const Frame& dst, const Want& want, const std::string& label) {
    int32_t misses = 0;
    for (int32_t y = 0; y < dst.world.height; ++y) {
        for (int32_t x = 0; x < dst.world.width; ++x) {
            const PF_Pixel8 expected = want(x, y);
            if (!samePixel(dst.at(x, y), expected) && ++misses <= 4) {
                ADD_FAILURE() << label << " at (" << x << ", " << y << "): got "
                              << show(dst.at(x, y)) << ", expected " << show(expected);
            }
        }
    }
}

class WorldTransform : public ::testing::Test {
protected:
    PF_Err transform(const Frame& src, Frame& dst, const PF_FloatMatrix& matrix,
                     PF_Quality quality, const PF_Rect* rect,
                     PF_CompositeMode mode = modeOf(PF_Xfer_IN_FRONT),
                     PF_Boolean sourceToDestination = 1) {
        return suite->transform_world(host.inData()->effect_ref, quality, PF_MF_Alpha_STRAIGHT,
                                      PF_Field_FRAME, &src.world, &mode, nullptr, &matrix, 1,
                                      sourceToDestination, rect, &dst.world);
    }
    PF_Err transfer(const Frame& src, const PF_Rect* rect, int32_t destX, int32_t destY,
                    Frame& dst, PF_CompositeMode mode = modeOf(PF_Xfer_IN_FRONT)) {
        return suite->transfer_rect(host.inData()->effect_ref, PF_Quality_HI,
                                    PF_MF_Alpha_STRAIGHT, PF_Field_FRAME, rect, &src.world, &mode,
                                    nullptr, destX, destY, &dst.world);
    }
    PF_Err copyHq(Frame& src, Frame& dst, PF_Rect* from, PF_Rect* to) {
        return suite->copy_hq(host.inData()->effect_ref, &src.world, &dst.world, from, to);
    }

    Host host;
    const PF_WorldTransformSuite1* suite = worldTransformSuite();
};

const PF_Quality kQualities[] = {PF_Quality_LO, PF_Quality_HI};

// ------------------------------------------------------------ transform_world

TEST_F(WorldTransform, IdentityReproducesTheSourceAtBothQualities) {
    for (PF_Quality quality : kQualities) {
        Frame src(7, 5, kPadding);
        fillPattern(src);
        Frame dst(7, 5, kPadding);
        ASSERT_EQ(transform(src, dst, matrixOf(1, 0, 0), quality, nullptr), PF_Err_NONE);
        expectFrame(dst, patternPixel, "quality " + std::to_string(quality));
    }
}

TEST_F(WorldTransform, WholePixelMovesShiftExactlyAndLeaveTheRestAlone) {
    for (PF_Quality quality : kQualities) {
        Frame src(7, 5, kPadding);
        fillPattern(src);
        Frame dst(9, 6);
        dst.fill(kMarker);
        ASSERT_EQ(transform(src, dst, matrixOf(1, 3, -1), quality, nullptr), PF_Err_NONE);
        expectFrame(dst, [](int32_t x, int32_t y) {
            const int32_t sx = x - 3;
            const int32_t sy = y + 1;
            if (sx < 0 || sx >= 7 || sy >= 5) return kMarker;
            // A half-transparent pixel over the opaque marker.
            return compositePixel(PF_Xfer_IN_FRONT, patternPixel(sx, sy), kMarker, 255);
        }, "quality " + std::to_string(quality));
    }
}

TEST_F(WorldTransform, WholePixelMovesEqualTheSameMapSampledPixelByPixel) {
    // A source-to-destination map that only moves by whole pixels is drawn
    // from the source rows directly; the same map given destination-to-source
    // goes through the per-pixel sampling. Both must write the same bytes, in
    // modes where a transparent source changes the destination too (COPY)
    // and where it does not, inside, across and beyond the edges.
    struct Move {
        double dx, dy;
        const char* where;
    } const moves[] = {{0, 0, "identity"}, {3, -1, "right and up"}, {-4, 2, "left and down"},
                       {-7, 0, "all left of the destination"}, {2, 9, "all below"}};
    const PF_CompositeMode modes[] = {modeOf(PF_Xfer_IN_FRONT, 254), modeOf(PF_Xfer_COPY, 200),
                                      modeOf(PF_Xfer_DIVIDE)};
    const PF_Rect crop{1, 1, 8, 5};
    for (const Move& move : moves) {
        for (const PF_CompositeMode& mode : modes) {
            for (PF_Quality quality : kQualities) {
                for (const PF_Rect* rect : {static_cast<const PF_Rect*>(nullptr), &crop}) {
                    Frame src(7, 5, kPadding);
                    fillPattern(src);
                    Frame direct(9, 6, kPadding);
                    Frame sampled(9, 6, kPadding);
                    for (Frame* dst : {&direct, &sampled}) {
                        for (int32_t y = 0; y < 6; ++y)
                            for (int32_t x = 0; x < 9; ++x)
                                dst->at(x, y) = {static_cast<uint8_t>(x * 40), 90, 9,
                                                 static_cast<uint8_t>(y * 50)};
                    }
                    ASSERT_EQ(transform(src, direct, matrixOf(1, move.dx, move.dy), quality, rect,
                                        mode),
                              PF_Err_NONE);
                    ASSERT_EQ(transform(src, sampled, matrixOf(1, -move.dx, -move.dy), quality,
                                        rect, mode, 0),
                              PF_Err_NONE);
                    expectFrame(direct, [&](int32_t x, int32_t y) { return sampled.at(x, y); },
                                std::string(move.where) + ", " + transferModeName(mode.xfer) +
                                    ", quality " + std::to_string(quality) +
                                    (rect ? ", cropped" : ""));
                }
            }
        }
    }
}

TEST_F(WorldTransform, ScaleMinusOneReflectsThroughTheCentre) {
    // The transform glitch's matrix for Scale -100: tx = W, ty = H.
    for (PF_Quality quality : kQualities) {
        Frame src(7, 5, kPadding);
        fillPattern(src);
        Frame dst(7, 5);
        ASSERT_EQ(transform(src, dst, matrixOf(-1, 7, 5), quality, nullptr), PF_Err_NONE);
        expectFrame(dst, [](int32_t x, int32_t y) { return patternPixel(6 - x, 4 - y); },
                    "quality " + std::to_string(quality));
    }
}

TEST_F(WorldTransform, QuarterTurnGoesThroughTheGeneralInverse) {
    // (x, y) -> (H - y, x): a rotation, so the matrix is inverted in general.
    const PF_FloatMatrix turn = {{{0, 1, 0}, {-1, 0, 0}, {5, 0, 1}}};
    for (PF_Quality quality : kQualities) {
        Frame src(7, 5, kPadding);
        fillPattern(src);
        Frame dst(5, 7);
        ASSERT_EQ(transform(src, dst, turn, quality, nullptr), PF_Err_NONE);
        expectFrame(dst, [](int32_t x, int32_t y) { return patternPixel(y, 4 - x); },
                    "quality " + std::to_string(quality));
    }
}

TEST_F(WorldTransform, DestinationToSourceMatrixIsUsedAsItIs) {
    Frame src(7, 5, kPadding);
    fillPattern(src);
    Frame dst(7, 5);
    // Maps each destination point 2 pixels to the right in the source.
    ASSERT_EQ(transform(src, dst, matrixOf(1, 2, 0), PF_Quality_LO, nullptr,
                        modeOf(PF_Xfer_IN_FRONT), 0),
              PF_Err_NONE);
    expectFrame(dst, [](int32_t x, int32_t y) { return x + 2 < 7 ? patternPixel(x + 2, y) : kEmpty; },
                "dest-to-source");
}

TEST_F(WorldTransform, NearestNeighbourAtLowAndStraightAlphaBilinearAtHighQuality) {
    // A black and a white column, scaled by 2; row 1 of the result lies
    // between the two source rows, which are equal.
    Frame src(2, 2);
    for (int32_t y = 0; y < 2; ++y) {
        src.at(0, y) = {255, 0, 0, 0};
        src.at(1, y) = {255, 255, 255, 255};
    }
    Frame low(4, 4);
    ASSERT_EQ(transform(src, low, matrixOf(2, 0, 0), PF_Quality_LO, nullptr), PF_Err_NONE);
    const PF_Pixel8 lowWant[] = {{255, 0, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 255},
                                 {255, 255, 255, 255}};
    Frame high(4, 4);
    ASSERT_EQ(transform(src, high, matrixOf(2, 0, 0), PF_Quality_HI, nullptr), PF_Err_NONE);
    // Centres map to x = .25, .75, 1.25, 1.75. The outer ones lean a quarter on
    // transparent pixels outside the source: alpha drops to 191, but the
    // colour stays that of the pixel inside (straight alpha).
    const PF_Pixel8 highWant[] = {{191, 0, 0, 0}, {255, 64, 64, 64}, {255, 191, 191, 191},
                                  {191, 255, 255, 255}};
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_TRUE(samePixel(low.at(x, 1), lowWant[x])) << x << ": " << show(low.at(x, 1));
        EXPECT_TRUE(samePixel(high.at(x, 1), highWant[x])) << x << ": " << show(high.at(x, 1));
    }
    // The corner leans on transparency both ways: .75 × .75 of its weight is inside.
    EXPECT_TRUE(samePixel(high.at(0, 0), {143, 0, 0, 0})) << show(high.at(0, 0));
}

TEST_F(WorldTransform, DrawsOnlyInsideTheDestinationRectangle) {
    struct RectCase {
        const char* name;
        PF_Rect rect;
        PF_Rect inside;   // the part expected to be drawn
    };
    const RectCase cases[] = {
        {"inside", {1, 2, 4, 4}, {1, 2, 4, 4}},
        {"partly outside", {-3, -2, 4, 3}, {0, 0, 4, 3}},
        {"beyond right and bottom", {5, 3, 100, 100}, {5, 3, 7, 5}},
        {"wholly outside", {20, 20, 30, 30}, {0, 0, 0, 0}},
        {"inverted", {5, 4, 2, 1}, {0, 0, 0, 0}},
        {"extreme", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 7, 5}},
    };
    for (const RectCase& c : cases) {
        Frame src(7, 5, kPadding);
        fillPattern(src);
        Frame dst(7, 5, kPadding);
        dst.fill(kEmpty);
        ASSERT_EQ(transform(src, dst, matrixOf(1, 0, 0), PF_Quality_HI, &c.rect), PF_Err_NONE);
        expectFrame(dst, [&c](int32_t x, int32_t y) {
            const bool in = x >= c.inside.left && x < c.inside.right && y >= c.inside.top &&
                            y < c.inside.bottom;
            return in ? patternPixel(x, y) : kEmpty;
        }, c.name);
    }
}

TEST_F(WorldTransform, DegenerateAndExtremeMatricesDrawNothingOrStaySafe) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct MatrixCase {
        const char* name;
        PF_FloatMatrix matrix;
        bool drawsNothing;
    };
    const MatrixCase cases[] = {
        {"scale 0", matrixOf(0, 3, 3), true},
        {"singular rows", {{{1, 2, 0}, {2, 4, 0}, {0, 0, 1}}}, true},
        {"all zero", {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}, true},
        {"NaN scale", matrixOf(nan, 0, 0), true},
        {"infinite move", matrixOf(1, inf, 0), true},
        {"move beyond any int", matrixOf(1, 1e300, -1e300), true},
        {"tiny scale", matrixOf(1e-300, 0, 0), true},
        {"projective, w = 0 on a line", {{{1, 0, 0.25}, {0, 1, 0}, {0, 0, -1}}}, false},
        {"huge scale", matrixOf(1e300, 0, 0), false},
        {"huge rotation", {{{0, 1e300, 0}, {-1e300, 0, 0}, {0, 0, 1}}}, false},
        {"denormal scale", matrixOf(std::numeric_limits<double>::denorm_min(), 0, 0), true},
    };
    for (const MatrixCase& c : cases) {
        for (PF_Quality quality : kQualities) {
            Frame src(7, 5, kPadding);
            fillPattern(src);
            Frame dst(7, 5);
            dst.fill(kMarker);
            EXPECT_EQ(transform(src, dst, c.matrix, quality, nullptr), PF_Err_NONE) << c.name;
            if (c.drawsNothing) {
                expectFrame(dst, [](int32_t, int32_t) { return kMarker; }, c.name);
            }
        }
    }
}

TEST_F(WorldTransform, SourceOutsideIsATransparentSourceForTheMode) {
    // Moved far away, every destination pixel sees a transparent source: the
    // blending modes leave the destination, COPY clears it.
    Frame src(7, 5);
    fillPattern(src);
    Frame dst(7, 5);
    dst.fill(kMarker);
    ASSERT_EQ(transform(src, dst, matrixOf(1, 50, 0), PF_Quality_HI, nullptr,
                        modeOf(PF_Xfer_MULTIPLY)),
              PF_Err_NONE);
    expectFrame(dst, [](int32_t, int32_t) { return kMarker; }, "multiply");
    ASSERT_EQ(transform(src, dst, matrixOf(1, 50, 0), PF_Quality_HI, nullptr, modeOf(PF_Xfer_COPY)),
              PF_Err_NONE);
    expectFrame(dst, [](int32_t, int32_t) { return kEmpty; }, "copy");
}

TEST_F(WorldTransform, ResultDoesNotDependOnTheNumberOfThreads) {
    const PF_FloatMatrix tilt = {{{1.37, 0.21, 0}, {-0.3, 1.12, 0}, {-40.25, 17.5, 1}}};
    std::vector<std::vector<uint8_t>> results;
    for (int32_t threads : {1, 2, 5}) {
        HostOptions options;
        options.threads = threads;
        Host threaded(options);
        Frame src(320, 200, kPadding);
        fillPattern(src);
        Frame dst(300, 210);
        for (int32_t y = 0; y < 210; ++y) {
            for (int32_t x = 0; x < 300; ++x) dst.at(x, y) = patternPixel(y % 9, x % 6);
        }
        PF_CompositeMode mode = modeOf(PF_Xfer_OVERLAY, 200);
        ASSERT_EQ(suite->transform_world(threaded.inData()->effect_ref, PF_Quality_HI,
                                         PF_MF_Alpha_STRAIGHT, PF_Field_FRAME, &src.world, &mode,
                                         nullptr, &tilt, 1, 1, nullptr, &dst.world),
                  PF_Err_NONE);
        PF_Rect all{0, 0, 300, 210};
        ASSERT_EQ(suite->transfer_rect(threaded.inData()->effect_ref, PF_Quality_HI,
                                       PF_MF_Alpha_STRAIGHT, PF_Field_FRAME, &all, &src.world,
                                       &mode, nullptr, -3, 4, &dst.world),
                  PF_Err_NONE);
        results.push_back(dst.bytes);
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
}

// ------------------------------------------------------------ transfer_rect

TEST_F(WorldTransform, TransferRectPlacesAndClipsOnBothWorlds) {
    struct PlaceCase {
        const char* name;
        bool wholeSource;   // null source rectangle
        PF_Rect rect;
        int32_t destX;
        int32_t destY;
    };
    const PlaceCase cases[] = {
        {"whole source, moved", true, {}, 2, 1},
        {"part of the source", false, {1, 1, 4, 3}, 0, 2},
        {"source rectangle sticks out left and top", false, {-2, -1, 3, 2}, 1, 1},
        {"source rectangle sticks out right and bottom", false, {4, 3, 12, 9}, 0, 0},
        {"lands partly left of and above the destination", false, {0, 0, 7, 5}, -3, -2},
        {"lands partly right of and below the destination", false, {0, 0, 7, 5}, 5, 4},
        {"lands wholly outside", false, {0, 0, 7, 5}, 40, 0},
        {"empty rectangle", false, {3, 3, 3, 4}, 0, 0},
        {"positions near the integer limits", false, {0, 0, 7, 5}, INT32_MAX - 2, INT32_MIN},
    };
    for (const PlaceCase& c : cases) {
        Frame src(7, 5, kPadding);
        fillPattern(src);
        Frame dst(8, 6, kPadding);
        dst.fill(kEmpty);
        ASSERT_EQ(transfer(src, c.wholeSource ? nullptr : &c.rect, c.destX, c.destY, dst),
                  PF_Err_NONE)
            << c.name;
        const PF_Rect r = c.wholeSource ? PF_Rect{0, 0, 7, 5} : c.rect;
        expectFrame(dst, [&](int32_t x, int32_t y) {
            // The source pixel that lands here, if any.
            const int64_t sx = int64_t{x} - c.destX + r.left;
            const int64_t sy = int64_t{y} - c.destY + r.top;
            const bool inRect = sx >= r.left && sx < r.right && sy >= r.top && sy < r.bottom;
            const bool inSource = sx >= 0 && sx < 7 && sy >= 0 && sy < 5;
            return inRect && inSource ? patternPixel(static_cast<int32_t>(sx),
                                                     static_cast<int32_t>(sy))
                                      : kEmpty;
        }, c.name);
    }
}

TEST_F(WorldTransform, TransferRectCompositesWithTheModeAndOpacity) {
    Frame src(7, 5);
    fillPattern(src);
    Frame dst(7, 5);
    for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 7; ++x) dst.at(x, y) = patternPixel(6 - x, y);
    }
    ASSERT_EQ(transfer(src, nullptr, 0, 0, dst, modeOf(PF_Xfer_DIVIDE, 127)), PF_Err_NONE);
    expectFrame(dst, [](int32_t x, int32_t y) {
        return compositePixel(PF_Xfer_DIVIDE, patternPixel(x, y), patternPixel(6 - x, y), 127);
    }, "divide at 127");
}

TEST_F(WorldTransform, TransferRectOntoItsOwnWorldReadsTheOriginalPixels) {
    Frame frame(7, 5, kPadding);
    fillPattern(frame);
    ASSERT_EQ(transfer(frame, nullptr, 2, 1, frame, modeOf(PF_Xfer_COPY)), PF_Err_NONE);
    expectFrame(frame, [](int32_t x, int32_t y) {
        return x >= 2 && y >= 1 ? patternPixel(x - 2, y - 1) : patternPixel(x, y);
    }, "shifted onto itself");
}

// ------------------------------------------------------------ copy_hq

TEST_F(WorldTransform, CopyHqCopiesOnlyTheInsideToTheCorrespondingPlace) {
    struct CopyCase {
        const char* name;
        bool wholeWorlds;
        PF_Rect from;
        PF_Rect to;
    };
    const CopyCase cases[] = {
        {"null rectangles: whole worlds", true, {}, {}},
        {"inside both", false, {1, 1, 4, 3}, {3, 2, 6, 4}},
        {"source above and left of the world", false, {-2, -3, 2, 2}, {0, 1, 4, 6}},
        {"source below the world", false, {0, 4, 3, 7}, {0, 0, 3, 3}},
        {"source wholly below the world", false, {0, 5, 3, 8}, {0, 0, 3, 3}},
        {"destination sticks out", false, {0, 0, 4, 4}, {6, -2, 10, 2}},
        {"sizes differ: the common part", false, {0, 0, 5, 2}, {1, 1, 3, 5}},
    };
    for (const CopyCase& c : cases) {
        Frame src(7, 5, kPadding);
        fillPattern(src);
        src.at(0, 0) = {0, 9, 8, 7};   // a hidden colour: copied, not composited
        Frame dst(8, 6, kPadding);
        dst.fill(kMarker);
        PF_Rect from = c.from;
        PF_Rect to = c.to;
        ASSERT_EQ(copyHq(src, dst, c.wholeWorlds ? nullptr : &from, c.wholeWorlds ? nullptr : &to),
                  PF_Err_NONE)
            << c.name;
        const PF_Rect f = c.wholeWorlds ? PF_Rect{0, 0, 7, 5} : c.from;
        const PF_Rect t = c.wholeWorlds ? PF_Rect{0, 0, 8, 6} : c.to;
        const int32_t w = std::min(f.right - f.left, t.right - t.left);
        const int32_t h = std::min(f.bottom - f.top, t.bottom - t.top);
        expectFrame(dst, [&](int32_t x, int32_t y) {
            const int32_t sx = x - t.left + f.left;
            const int32_t sy = y - t.top + f.top;
            const bool inCopy = x >= t.left && x < t.left + w && y >= t.top && y < t.top + h;
            const bool inSource = sx >= 0 && sx < 7 && sy >= 0 && sy < 5;
            return inCopy && inSource ? src.at(sx, sy) : kMarker;
        }, c.name);
    }
}

TEST_F(WorldTransform, CopyHqWithinOneWorldUsesTheOriginalPixels) {
    Frame frame(7, 5, kPadding);
    fillPattern(frame);
    PF_Rect from{0, 0, 5, 4};
    PF_Rect to{1, 1, 6, 5};
    ASSERT_EQ(copyHq(frame, frame, &from, &to), PF_Err_NONE);
    expectFrame(frame, [](int32_t x, int32_t y) {
        const bool moved = x >= 1 && x < 6 && y >= 1;
        return moved ? patternPixel(x - 1, y - 1) : patternPixel(x, y);
    }, "overlapping copy");
}

// ------------------------------------------------------------ errors and the host's books

TEST_F(WorldTransform, BadArgumentsAreRefusedWithoutTouchingTheDestination) {
    Frame src(7, 5);
    fillPattern(src);
    Frame dst(7, 5);
    dst.fill(kMarker);
    const PF_FloatMatrix identity = matrixOf(1, 0, 0);
    const PF_CompositeMode normal = modeOf(PF_Xfer_IN_FRONT);
    PF_LayerDef narrowRows = src.world;
    narrowRows.rowbytes = 4 * 7 - 1;
    PF_LayerDef noPixels = src.world;
    noPixels.data = nullptr;
    const auto* someMask = reinterpret_cast<const PF_MaskWorld*>(&normal);
    const PF_ProgPtr ref = host.inData()->effect_ref;

    EXPECT_EQ(suite->transform_world(ref, 0, 1, 0, nullptr, &normal, nullptr, &identity, 1, 1,
                                     nullptr, &dst.world),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->transform_world(ref, 0, 1, 0, &src.world, nullptr, nullptr, &identity, 1, 1,
                                     nullptr, &dst.world),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->transform_world(ref, 0, 1, 0, &src.world, &normal, nullptr, nullptr, 1, 1,
                                     nullptr, &dst.world),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->transform_world(ref, 0, 1, 0, &src.world, &normal, nullptr, &identity, 0, 1,
                                     nullptr, &dst.world),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->transform_world(ref, 0, PF_MF_Alpha_PREMUL, 0, &src.world, &normal, nullptr,
                                     &identity, 1, 1, nullptr, &dst.world),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->transform_world(ref, 0, 1, 0, &narrowRows, &normal, nullptr, &identity, 1, 1,
                                     nullptr, &dst.world),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->transfer_rect(ref, 0, 1, 0, nullptr, &noPixels, &normal, nullptr, 0, 0,
                                   &dst.world),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->transfer_rect(ref, 0, 1, 0, nullptr, &src.world, &normal, someMask, 0, 0,
                                   &dst.world),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->transfer_rect(ref, 0, 1, 0, nullptr, &src.world, &normal, nullptr, 0, 0,
                                   nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite->copy_hq(ref, &src.world, &narrowRows, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    expectFrame(dst, [](int32_t, int32_t) { return kMarker; }, "after refused calls");
}

TEST_F(WorldTransform, CallsAreLoggedAndInjectedFaultsReturned) {
    Frame src(7, 5);
    fillPattern(src);
    Frame dst(7, 5);
    dst.fill(kMarker);
    const char* names[] = {"transform_world", "transfer_rect", "copy_hq"};
    for (const char* name : names) {
        host.options().faults.failCall = name;
        host.options().faults.failCallOccurrence = 0;
        host.options().faults.failError = PF_Err_OUT_OF_MEMORY;
        PF_Err err = PF_Err_NONE;
        if (std::string(name) == "transform_world") {
            err = transform(src, dst, matrixOf(1, 0, 0), PF_Quality_HI, nullptr);
        } else if (std::string(name) == "transfer_rect") {
            err = transfer(src, nullptr, 0, 0, dst);
        } else {
            err = copyHq(src, dst, nullptr, nullptr);
        }
        EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY) << name;
        const std::vector<std::string> log = host.callLog();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), name);
    }
    expectFrame(dst, [](int32_t, int32_t) { return kMarker; }, "after failed calls");
}

}  // namespace
}  // namespace corvexel::host
