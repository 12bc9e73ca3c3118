// Full-HD transition, channel split and channel scale at the defaults through
// the embedded host (one worker thread). The transition does nothing at its
// default Completion of 0, so it runs at Completion 50, both on its default
// Lightness channel and on Noise, which samples the field for every pixel.
// The split's default Saturation mode converts every pixel through HSV.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "effects/color_math.h"
#include "effects/stages.h"
#include "noise/cpu_features.h"
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

// The split's Saturation combine for a full-HD frame's worth of pixel pairs,
// one pair at a time and a run of 64 at a time in vector lanes.
struct PairFrame {
    PairFrame() : own(kWidth * kHeight), partner(kWidth * kHeight), out(kWidth * kHeight) {
        StageFixture f(kWidth, kHeight, 1);
        paintDetailed(&f.input);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                std::memcpy(&own[y * kWidth + x], &f.input.at(x, y), 4);
                std::memcpy(&partner[y * kWidth + x], &f.input.at(std::min(x + 25, kWidth - 1), y), 4);
            }
    }
    std::vector<uint32_t> own, partner, out;
};

void BM_SaturationCombinePairs(benchmark::State& state) {
    PairFrame pairs;
    for (auto _ : state) {
        for (size_t n = 0; n < pairs.own.size(); ++n) {
            PF_Pixel8 p, q;
            std::memcpy(&p, &pairs.own[n], 4);
            std::memcpy(&q, &pairs.partner[n], 4);
            const PF_Pixel8 r = combineSaturation(&p, &q);
            std::memcpy(&pairs.out[n], &r, 4);
        }
        benchmark::DoNotOptimize(pairs.out.data());
    }
}
BENCHMARK(BM_SaturationCombinePairs)->Unit(benchmark::kMillisecond);

template <void (*Run)(HsvComponent, const uint32_t*, const uint32_t*, int32_t, uint32_t*)>
void saturationCombineRuns(benchmark::State& state) {
    PairFrame pairs;
    for (auto _ : state) {
        for (size_t n = 0; n < pairs.own.size(); n += 64) {
            Run(HsvComponent::kSaturation, &pairs.own[n], &pairs.partner[n], 64, &pairs.out[n]);
        }
        benchmark::DoNotOptimize(pairs.out.data());
    }
}
void BM_SaturationCombineRunsSse2(benchmark::State& state) {
    saturationCombineRuns<combineHsvRunSse2>(state);
}
void BM_SaturationCombineRunsAvx2(benchmark::State& state) {
    if (!cpuHasAvx2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    saturationCombineRuns<combineHsvRunAvx2>(state);
}
BENCHMARK(BM_SaturationCombineRunsSse2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaturationCombineRunsAvx2)->Unit(benchmark::kMillisecond);

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
