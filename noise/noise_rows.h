// The vector kernels behind NoiseField::fbmRow and NoiseField::sampleSpanRow,
// one per instruction set. The field picks the widest one the processor has;
// the tests call each directly to hold it equal to the scalar field.
#pragma once

#include <cstdint>

#include "noise/noise_field.h"

void fbmRowSse2(const NoiseField& field, int32_t x0, int32_t y, float z, int32_t count,
                float* out);
void sampleSpanRowSse2(const NoiseField& field, int32_t x0, int32_t y, float extent, float k,
                       int32_t count, float* out);

// Only to be called where cpuHasAvx2() is true.
void fbmRowAvx2(const NoiseField& field, int32_t x0, int32_t y, float z, int32_t count,
                float* out);
void sampleSpanRowAvx2(const NoiseField& field, int32_t x0, int32_t y, float extent, float k,
                       int32_t count, float* out);
