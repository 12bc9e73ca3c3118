// The noise row kernels on AVX2: eight columns per step. This file alone is
// compiled with -mavx2 (see CMakeLists.txt) and is entered only where
// cpuHasAvx2() is true.
#include "noise/lanes_avx2.h"
#include "noise/noise_lanes.h"
#include "noise/noise_rows.h"

void fbmRowAvx2(const NoiseField& field, int32_t x0, int32_t y, float z, int32_t count,
                float* out) {
    NoiseLanes<Avx2Lanes>::fbmRow(field, x0, y, z, count, out);
}

void sampleSpanRowAvx2(const NoiseField& field, int32_t x0, int32_t y, float extent, float k,
                       int32_t count, float* out) {
    NoiseLanes<Avx2Lanes>::sampleSpanRow(field, x0, y, extent, k, count, out);
}
