// Full-HD transition, channel split and channel scale at the defaults through
// the embedded host (one worker thread). The transition does nothing at its
// default Completion of 0, so it runs at Completion 50, both on its default
// Lightness channel and on Noise, which samples the field for every pixel.
// The split's default Saturation mode converts every pixel through HSV.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "effects/stages.h"
#include "../tests/support/image_stage_fixture.h"

namespace {

using corvexel::host::Frame;
using corvexel::test::StageFixture;
using corvexel::test::paintDetailed;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kTransitionNoiseItem = 11;

void transitionBench(benchmark::State& state, int32_t channelItem) {
    StageFixture f(kWidth, kHeight, 1);
    f.params.setFloat(kParamCompletion, 50);
    f.params.setPopup(kParamTransitionChannel, channelItem);
    for (auto _ : state) {
        // The stage works in place and rewrites alpha; a fresh picture keeps
        // every iteration's input the same.
        state.PauseTiming();
        paintDetailed(&f.input);
        state.ResumeTiming();
        f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runTransition(in, out, f.params.array(), &f.input.world, &f.input.world,
                                 suites, &f.noise);
        });
    }
}
void BM_TransitionLightness(benchmark::State& state) { transitionBench(state, 7); }
void BM_TransitionNoise(benchmark::State& state) { transitionBench(state, kTransitionNoiseItem); }
BENCHMARK(BM_TransitionLightness)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransitionNoise)->Unit(benchmark::kMillisecond);

void BM_ChannelSplitDefaults(benchmark::State& state) {
    StageFixture f(kWidth, kHeight, 1);
    paintDetailed(&f.input);
    Frame dst(kWidth, kHeight);
    for (auto _ : state) {
        f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runChannelSplit(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                                   &f.noise);
        });
    }
}
BENCHMARK(BM_ChannelSplitDefaults)->Unit(benchmark::kMillisecond);

void BM_ChannelScaleDefaults(benchmark::State& state) {
    StageFixture f(kWidth, kHeight, 1);
    paintDetailed(&f.input);
    Frame dst(kWidth, kHeight);
    for (auto _ : state) {
        // The stage expects a transparent destination, as the render gives it.
        state.PauseTiming();
        std::fill(dst.bytes.begin(), dst.bytes.end(), 0);
        state.ResumeTiming();
        f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runChannelScale(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                                   &f.noise);
        });
    }
}
BENCHMARK(BM_ChannelScaleDefaults)->Unit(benchmark::kMillisecond);

}  // namespace
