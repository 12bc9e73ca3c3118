// Composites against the output's extent hint, on the embedded host.
//
// A host may hand an output whose extent hint is smaller than the frame.
// Every composite of a render (each stage group's, and the final one onto
// the output) then lays its whole source frame, by that frame's own hint,
// half the distance between the output's right and bottom edges and the
// source's away from the destination's corner. The host keeps the arguments
// of every transfer_rect, so each composite is checked as it was asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/blend_modes.h"
#include "host/host.h"
#include "shell/entry.h"
#include "shell/param_set.h"
#include "support/image_stage_fixture.h"

namespace {

using corvexel::host::Frame;
using corvexel::host::GeometryCall;
using corvexel::host::Host;
using corvexel::host::HostOptions;
using corvexel::host::ParamValues;

constexpr int32_t kW = 64;
constexpr int32_t kH = 48;

struct ExpectedComposite {
    const char* group;
    PF_TransferMode mode;
    A_u_char opacity;
};

// The composites of a render with every group on, at the default modes and
// opacities, in the order the pipeline makes them.
const ExpectedComposite kComposites[] = {
    {"channel glitch", PF_Xfer_IN_FRONT, 254},
    {"colour glitch", PF_Xfer_IN_FRONT, 63},
    {"glitch slice", PF_Xfer_DIVIDE, 127},
    {"glitch block", PF_Xfer_OVERLAY, 254},
    {"final composite", PF_Xfer_IN_FRONT, 254},
};

std::vector<GeometryCall> compositesOfRender(PF_Rect extent, int32_t threads,
                                             Frame* output) {
    HostOptions options;
    options.threads = threads;
    options.recordGeometry = true;
    Host host(options);
    Frame input(kW, kH);
    corvexel::test::paintDetailed(&input);
    ParamValues params(corvexel::test::defaultParams(), input.world);
    params.setCheckbox(kParamCompressionEnable, true);
    params.setFloat(kParamCompletion, 30);
    output->world.extent_hint = extent;
    host.setTime(7, 10);
    EXPECT_EQ(host.send(&EntryPointFunc, PF_Cmd_RENDER, params.array(), &output->world),
              PF_Err_NONE);
    EXPECT_TRUE(host.books().clean()) << host.books().describe();
    std::vector<GeometryCall> composites;
    for (const GeometryCall& call : host.geometryCalls()) {
        if (call.name == "transfer_rect") composites.push_back(call);
    }
    return composites;
}

bool sameRect(const PF_Rect& a, const PF_Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(CompositeExtent, EveryCompositeIsOffsetAgainstTheOutputsExtentHint) {
    struct Case {
        PF_Rect extent;
        A_long dx, dy;
    };
    const Case cases[] = {
        {{0, 0, kW, kH}, 0, 0},      // the whole frame: no offset
        {{3, 2, 59, 39}, 2, 4},      // |59 - 64| / 2 and |39 - 48| / 2, halves dropped
        {{0, 0, 10, 7}, 27, 20},
        {{40, 30, 64, 48}, 0, 0},    // only the right and bottom edges count
    };
    for (const Case& c : cases) {
        for (int32_t threads : {1, 3}) {
            SCOPED_TRACE("extent " + std::to_string(c.extent.left) + "," +
                         std::to_string(c.extent.top) + "," + std::to_string(c.extent.right) +
                         "," + std::to_string(c.extent.bottom) + ", " +
                         std::to_string(threads) + " threads");
            Frame output(kW, kH);
            const std::vector<GeometryCall> calls = compositesOfRender(c.extent, threads, &output);
            ASSERT_EQ(calls.size(), std::size(kComposites));
            for (size_t i = 0; i < calls.size(); ++i) {
                const GeometryCall& call = calls[i];
                const ExpectedComposite& want = kComposites[i];
                SCOPED_TRACE(want.group);
                // The source rectangle is the source frame's own hint.
                ASSERT_TRUE(call.hasRect);
                EXPECT_TRUE(sameRect(call.rect, call.src.extent_hint));
                EXPECT_TRUE(sameRect(call.rect, PF_Rect{0, 0, kW, kH}));
                EXPECT_EQ(call.destX, c.dx);
                EXPECT_EQ(call.destY, c.dy);
                ASSERT_TRUE(call.hasMode);
                EXPECT_EQ(call.mode.xfer, want.mode);
                EXPECT_EQ(call.mode.opacity, want.opacity);
                EXPECT_EQ(call.modeFlags, PF_MF_Alpha_STRAIGHT);
                // Stage composites land on the working frame; the last on the output.
                const bool ontoOutput = call.dst.data == output.world.data;
                EXPECT_EQ(ontoOutput, i + 1 == calls.size());
            }
        }
    }
}

// The offsets move the picture: with every group off, the working frame is
// the layer drawn by the transform; the output gets a copy of it, and the
// final composite lays it over that copy again, shifted by (dx, dy).
TEST(CompositeExtent, FinalCompositeShiftsThePicture) {
    HostOptions options;
    options.threads = 2;
    Host host(options);
    Frame input(kW, kH);
    corvexel::test::paintDetailed(&input);
    ParamValues params(corvexel::test::defaultParams(), input.world);
    params.setCheckbox(kParamChannelEnable, false);
    params.setCheckbox(kParamColorEnable, false);
    params.setCheckbox(kParamImageEnable, false);
    Frame output(kW, kH);
    output.world.extent_hint = PF_Rect{3, 2, 59, 39};
    ASSERT_EQ(host.send(&EntryPointFunc, PF_Cmd_RENDER, params.array(), &output.world),
              PF_Err_NONE);
    auto working = [&](int32_t x, int32_t y) {
        return corvexel::host::compositePixel(PF_Xfer_IN_FRONT, input.at(x, y),
                                              PF_Pixel8{0, 0, 0, 0}, 254);
    };
    for (int32_t y = 0; y < kH; ++y) {
        for (int32_t x = 0; x < kW; ++x) {
            PF_Pixel8 want = working(x, y);
            if (x >= 2 && y >= 4) {
                want = corvexel::host::compositePixel(PF_Xfer_IN_FRONT, working(x - 2, y - 4),
                                                      want, 254);
            }
            const PF_Pixel8 got = output.at(x, y);
            ASSERT_TRUE(got.alpha == want.alpha && got.red == want.red &&
                        got.green == want.green && got.blue == want.blue)
                << "at " << x << "," << y;
        }
    }
}

}  // namespace
