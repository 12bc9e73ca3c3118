// Full-HD pixel streak, glitch slice and glitch block at the defaults through
// the embedded host (one worker thread), and the slice with a full-height band.
#include <benchmark/benchmark.h>

#include "effects/stages.h"
#include "../tests/support/image_stage_fixture.h"

namespace {

using corvexel::host::Frame;
using corvexel::test::StageFixture;
using corvexel::test::paintDetailed;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

void BM_PixelStreakRows(benchmark::State& state) {
    StageFixture f(kWidth, kHeight, 1);
    for (auto _ : state) {
        state.PauseTiming();
        paintDetailed(&f.input);
        state.ResumeTiming();
        f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runPixelStreak(in, out, f.params.array(), &f.input.world, suites, &f.noise);
        });
    }
}
BENCHMARK(BM_PixelStreakRows)->Unit(benchmark::kMillisecond);

void BM_PixelStreakColumns(benchmark::State& state) {
    StageFixture f(kWidth, kHeight, 1);
    f.params.setCheckbox(kParamVerticalSort, true);
    for (auto _ : state) {
        state.PauseTiming();
        paintDetailed(&f.input);
        state.ResumeTiming();
        f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runPixelStreak(in, out, f.params.array(), &f.input.world, suites, &f.noise);
        });
    }
}
BENCHMARK(BM_PixelStreakColumns)->Unit(benchmark::kMillisecond);

void sliceBench(benchmark::State& state, double amount, double master) {
    StageFixture f(kWidth, kHeight, 1);
    paintDetailed(&f.input);
    f.params.setFloat(kParamSliceAmount, amount);
    f.params.setFloat(kParamCorvexelAmount, master);
    Frame dst(kWidth, kHeight);
    for (auto _ : state) {
        f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runGlitchSlice(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                                  &f.noise);
        });
    }
}
void BM_GlitchSliceDefaults(benchmark::State& state) { sliceBench(state, 50, 50); }
void BM_GlitchSliceFullHeight(benchmark::State& state) { sliceBench(state, 100, 100); }
BENCHMARK(BM_GlitchSliceDefaults)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlitchSliceFullHeight)->Unit(benchmark::kMillisecond);

void blockBench(benchmark::State& state, double amount, double master) {
    StageFixture f(kWidth, kHeight, 1);
    paintDetailed(&f.input);
    f.params.setFloat(kParamBlockAmount, amount);
    f.params.setFloat(kParamCorvexelAmount, master);
    Frame dst(kWidth, kHeight);
    for (auto _ : state) {
        f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
            return runGlitchBlock(in, out, f.params.array(), &f.input.world, &dst.world, suites,
                                  &f.noise);
        });
    }
}
void BM_GlitchBlockDefaults(benchmark::State& state) { blockBench(state, 50, 50); }
void BM_GlitchBlockEveryBlock(benchmark::State& state) { blockBench(state, 100, 100); }
BENCHMARK(BM_GlitchBlockDefaults)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlitchBlockEveryBlock)->Unit(benchmark::kMillisecond);

}  // namespace
