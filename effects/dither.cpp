// Compression glitch, second step: posterise R, G and B to a coarse step and
// diffuse each rounding error onto the pixels not visited yet.
#include <cstdint>

#include "effects/stages.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

namespace {

inline PF_Pixel8* pixelAt(PF_EffectWorld* world, int32_t x, int32_t y) {
    return reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(world->data) +
                                        static_cast<intptr_t>(y) * world->rowbytes) + x;
}

// Adds (share x e) / 16 to a channel, held at 255.
inline void spreadError(A_u_char* channel, int32_t share, int32_t error) {
    int32_t sum = *channel + share * error / 16;
    *channel = static_cast<A_u_char>(sum > 255 ? 255 : sum);
}

inline int32_t posterise(A_u_char* channel, int32_t step) {
    int32_t value = *channel;
    int32_t quantised = step * (value / step);
    *channel = static_cast<A_u_char>(quantised);
    return value - quantised;
}

void spreadPixelErrors(PF_Pixel8* target, int32_t share, const int32_t errors[3]) {
    spreadError(&target->red, share, errors[0]);
    spreadError(&target->green, share, errors[1]);
    spreadError(&target->blue, share, errors[2]);
}

void ditherPixel(PF_EffectWorld* world, int32_t x, int32_t y, int32_t step) {
    PF_Pixel8* pixel = pixelAt(world, x, y);
    int32_t errors[3] = {posterise(&pixel->red, step), posterise(&pixel->green, step),
                         posterise(&pixel->blue, step)};
    bool hasRight = x + 1 < world->width;
    if (hasRight) spreadPixelErrors(pixelAt(world, x + 1, y), 7, errors);
    if (y + 1 >= world->height) return;
    if (x > 0) spreadPixelErrors(pixelAt(world, x - 1, y + 1), 3, errors);
    spreadPixelErrors(pixelAt(world, x, y + 1), 5, errors);
    if (hasRight) spreadPixelErrors(pixelAt(world, x + 1, y + 1), 1, errors);
}

}  // namespace

PF_Err runDither(PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_EffectWorld* world,
                 SuiteCache*) {
    int32_t step = truncToInt32(floatParam(params, kParamDitherAmount) *
                                floatParam(params, kParamCompressionMultiplier) / 100.0 *
                                floatParam(params, kParamCorvexelAmount) / 100.0);
    if (step <= 0) return PF_Err_NONE;
    for (int32_t y = 0; y < world->height; ++y)
        for (int32_t x = 0; x < world->width; ++x) ditherPixel(world, x, y, step);
    return PF_Err_NONE;
}
