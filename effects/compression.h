// The compression glitch's host callbacks and the record its block
// function receives, shared with the tests and benchmarks.
#pragma once

#include "sdk/pf_types.h"
#include "shell/suite_cache.h"

struct CompressionRefcon {
    PF_ParamDef** params;
    SuiteCache* suites;
    double c;                // quality 0..100
    double d;                // quantiser scale
    int32_t W;
    int32_t H;
    PF_EffectWorld* world;   // holds Y, Cb, Cr in bytes 1..3 during the block step
    PF_InData* in_data;
    const double* cosines;   // cosines[f * 8 + p] = cos((2p + 1) f pi / 16)
};

// RGB <-> YCbCr pixel functions for the host's iterate; the refcon is unused.
PF_Err toYCbCrPixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out);
PF_Err toRgbPixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out);
// The same conversions with the same bytes, built for AVX2
// (effects/compression_avx2.cpp); only where cpuHasAvx2().
PF_Err toYCbCrPixelAvx2(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out);
PF_Err toRgbPixelAvx2(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out);

// Generic-iteration function: DCT quantisation damage of 8x8 luma block i.
PF_Err compressBlock(void* refcon, A_long thread_index, A_long i, A_long iterations);

// Fills the 64 cosines of the transforms with the host's cos.
void fillCompressionCosines(PF_InData* in_data, double table[64]);

// The damage of one 8x8 luma block (effects/block_dct.h): samples s (Y - 128,
// row by row) in, damaged samples out in F. The plain form computes the sums
// one output at a time; the vector forms, for the x86-64 baseline and for
// AVX2 (only where cpuHasAvx2()), give the same bytes and are what
// compressBlock uses.
void dctDamageReference(double s[64], double F[64], const double cosines[64], double d);
void dctDamageSse2(double s[64], double F[64], const double cosines[64], double d);
void dctDamageAvx2(double s[64], double F[64], const double cosines[64], double d);
