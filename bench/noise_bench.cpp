// Cost of the noise field at the defaults (gain 1.5, lacunarity 10, two
// octaves): one fbm sample, fbm a row of columns at a time (the widest
// vector path this processor has, and the SSE2 one every x86-64 has), one
// full-HD noise preview pass of sampleSpan one call per pixel and a row at a
// time, and one wiggle (twelve fbm samples).
#include "noise/cpu_features.h"
#include "noise/noise_field.h"
#include "noise/noise_rows.h"

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

// fbm over full-HD rows, a run of 256 columns per call, as the per-pixel
// users of the field take it.
template <void (*Row)(const NoiseField&, int32_t, int32_t, float, int32_t, float*)>
void fbmRows(benchmark::State& state) {
    const NoiseField field = defaultField();
    constexpr int32_t kRun = 256;
    float out[kRun];
    int32_t x = 0, y = 0;
    for (auto _ : state) {
        Row(field, x, y, field.zTime, kRun, out);
        benchmark::DoNotOptimize(out);
        x += kRun;
        if (x >= 1920) {
            x = 0;
            y = y == 1079 ? 0 : y + 1;
        }
    }
    state.SetItemsProcessed(state.iterations() * kRun);
}

void widestRow(const NoiseField& field, int32_t x0, int32_t y, float z, int32_t count,
               float* out) {
    field.fbmRow(x0, y, z, count, out);
}

void BM_FbmRow(benchmark::State& state) { fbmRows<widestRow>(state); }
BENCHMARK(BM_FbmRow);

void BM_FbmRowSse2(benchmark::State& state) { fbmRows<fbmRowSse2>(state); }
BENCHMARK(BM_FbmRowSse2);

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

// The same frame a row at a time, as the noise preview now samples it.
void BM_SampleSpanRowsFullHdFrame(benchmark::State& state) {
    const NoiseField field = defaultField();
    float row[1920];
    for (auto _ : state) {
        uint32_t checksum = 0;
        for (int32_t y = 0; y < 1080; ++y) {
            field.sampleSpanRow(0, y, 256.0f, 1.0f, 1920, row);
            for (float v : row) checksum += static_cast<uint8_t>(static_cast<int32_t>(v));
        }
        benchmark::DoNotOptimize(checksum);
    }
    state.SetItemsProcessed(state.iterations() * 1920 * 1080);
    state.SetLabel(cpuHasAvx2() ? "items = pixels, AVX2" : "items = pixels, SSE2");
}
BENCHMARK(BM_SampleSpanRowsFullHdFrame)->Unit(benchmark::kMillisecond);

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
