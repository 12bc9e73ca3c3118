// The glitch slice's band description, its WebP round trip and the set-up
// that places the band.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/stages.h"

struct SliceSpec {
    int32_t width;
    int32_t rows;
    int32_t x0;   // always 0
    int32_t y0;
    float quality;
    bool flip;    // damage the compressed stream
};

// Places the band for a frame of W x H pixels and a noise wiggle `w`.
// Returns false when the settings make the stage write nothing.
bool planSliceBand(PF_ParamDef* const params[], int32_t W, int32_t H, float w, SliceSpec* band);

// The encoding of the round trip: the bytes of WebPEncodeRGBA, with
// libwebp's encoder threading on (see glitch_slice.cpp). The stream is
// freed with WebPFree.
size_t encodeBandWebp(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride,
                      float quality, uint8_t** output);

PF_Err webpRoundTrip(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                     PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                     const NoiseField* noise, const SliceSpec& band);
