// Cost of the noise field at the defaults (gain 1.5, lacunarity 10, two
// octaves): one fbm sample, one full-HD noise preview pass of sampleSpan, and
// one wiggle (twelve fbm samples).
#include "noise/noise_field.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

NoiseField defaultField() {
    NoiseField field;
    field.init(0, 50.0f, 0.5f, 1080, 1.5f, 10.0f, 2);
    return field;
}

void BM_FbmPerSample(benchmark::State& state) {
    const NoiseField field = defaultField();
    int32_t x = 0, y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(field.fbm(x, y, field.zTime));
        // Walk the frame so the samples are not all in one lattice cell.
        if (++x == 1920) {
            x = 0;
            y = y == 1079 ? 0 : y + 1;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FbmPerSample);

// What the noise preview does for a 1920x1080 frame: column by column, row
// by row, sampleSpan with extent 256 truncated to a grey byte.
void BM_SampleSpanFullHdFrame(benchmark::State& state) {
    const NoiseField field = defaultField();
    for (auto _ : state) {
        uint32_t checksum = 0;
        for (int32_t x = 0; x < 1920; ++x) {
            for (int32_t y = 0; y < 1080; ++y) {
                checksum += static_cast<uint8_t>(
                    static_cast<int32_t>(field.sampleSpan(x, y, 256.0f, 1.0f)));
            }
        }
        benchmark::DoNotOptimize(checksum);
    }
    state.SetItemsProcessed(state.iterations() * 1920 * 1080);
    state.SetLabel("items = pixels");
}
BENCHMARK(BM_SampleSpanFullHdFrame)->Unit(benchmark::kMillisecond);

void BM_WigglePerCall(benchmark::State& state) {
    const NoiseField field = defaultField();
    int32_t a = 3338;
    for (auto _ : state) {
        benchmark::DoNotOptimize(field.wiggle(a, 64.0f, 5.0f));
        a = a == 9000 ? -551 : a + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WigglePerCall);

}  // namespace
