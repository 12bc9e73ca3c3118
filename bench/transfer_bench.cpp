// The host's compositing at full-HD size: transfer_rect in every transfer
// mode, and transform_world at both qualities, with the opacity the plug-in
// uses for "full" (254), so no mode gets the fully-opaque shortcut for free.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "host/blend_modes.h"
#include "host/host.h"
#include "host/world_transform.h"

namespace {

using corvexel::host::Frame;
using corvexel::host::Host;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// A frame like the glitch stages' scratch frames: mostly opaque, with
// transparent and half-transparent patches.
void fillSource(Frame& frame) {
    const uint8_t alphas[] = {0, 128, 255, 255};
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            frame.at(x, y) = {alphas[(x / 16 + y / 16) % 4], static_cast<uint8_t>(x),
                              static_cast<uint8_t>(y), static_cast<uint8_t>(x ^ y)};
        }
    }
}

void fillBackdrop(Frame& frame) {
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            frame.at(x, y) = {255, static_cast<uint8_t>(y * 3), static_cast<uint8_t>(x * 5),
                              static_cast<uint8_t>(x + y)};
        }
    }
}

struct Scene {
    Host host;
    Frame src{kWidth, kHeight};
    Frame dst{kWidth, kHeight};
    Frame backdrop{kWidth, kHeight};
    Scene() {
        fillSource(src);
        fillBackdrop(backdrop);
    }
    void resetDestination() { std::memcpy(dst.bytes.data(), backdrop.bytes.data(), dst.bytes.size()); }
};

Scene& scene() {
    static Scene shared;
    return shared;
}

void transferRectMode(benchmark::State& state, PF_TransferMode xfer) {
    Scene& s = scene();
    const PF_WorldTransformSuite1* suite = corvexel::host::worldTransformSuite();
    PF_CompositeMode mode{};
    mode.xfer = xfer;
    mode.opacity = 254;
    for (auto _ : state) {
        state.PauseTiming();
        s.resetDestination();
        state.ResumeTiming();
        const PF_Err err = suite->transfer_rect(s.host.inData()->effect_ref, PF_Quality_HI,
                                                PF_MF_Alpha_STRAIGHT, PF_Field_FRAME, nullptr,
                                                &s.src.world, &mode, nullptr, 0, 0, &s.dst.world);
        if (err != PF_Err_NONE) state.SkipWithError("transfer_rect failed");
        benchmark::DoNotOptimize(s.dst.bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void transformWorld(benchmark::State& state, PF_Quality quality) {
    Scene& s = scene();
    const PF_WorldTransformSuite1* suite = corvexel::host::worldTransformSuite();
    PF_CompositeMode mode{};
    mode.xfer = PF_Xfer_IN_FRONT;
    mode.opacity = 254;
    // Scale 1.1 about the frame centre, as a wiggled transform glitch draws it.
    const double scale = 1.1;
    const PF_FloatMatrix matrix = {{{scale, 0, 0},
                                    {0, scale, 0},
                                    {-(scale - 1) * kWidth * 0.5, -(scale - 1) * kHeight * 0.5, 1}}};
    for (auto _ : state) {
        state.PauseTiming();
        s.resetDestination();
        state.ResumeTiming();
        const PF_Err err = suite->transform_world(s.host.inData()->effect_ref, quality,
                                                  PF_MF_Alpha_STRAIGHT, PF_Field_FRAME,
                                                  &s.src.world, &mode, nullptr, &matrix, 1, 1,
                                                  nullptr, &s.dst.world);
        if (err != PF_Err_NONE) state.SkipWithError("transform_world failed");
        benchmark::DoNotOptimize(s.dst.bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

const bool kRegistered = [] {
    for (PF_TransferMode xfer : corvexel::host::supportedTransferModes()) {
        const std::string name =
            std::string("transfer_rect_1920x1080/") + corvexel::host::transferModeName(xfer);
        benchmark::RegisterBenchmark(name.c_str(), transferRectMode, xfer)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("transform_world_1920x1080/LO", transformWorld, PF_Quality_LO)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("transform_world_1920x1080/HI", transformWorld, PF_Quality_HI)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

}  // namespace
