// Channel split: every output pixel takes one component from its partner a
// fixed distance (dx, dy) away and everything else from itself. The distance
// is set by the amounts and wobbles over time with the noise field.
#include "effects/channel_stages.h"
#include "effects/color_math.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

struct ChannelSplitRefcon {
    int32_t width;
    int32_t height;
    PF_InData* in_data;
    PF_EffectWorld* src;   // partners are read from here
    PF_EffectWorld* dst;
    SplitCombineFn combine;
    int32_t dx;
    int32_t dy;
};

namespace {

const PF_Pixel8* sourcePixel(const PF_EffectWorld* world, int32_t x, int32_t y) {
    const char* row = reinterpret_cast<const char*>(world->data) +
                      static_cast<intptr_t>(y) * world->rowbytes;
    return reinterpret_cast<const PF_Pixel8*>(row) + x;
}

// Nearest position inside 0 .. size - 1.
int32_t clampToFrame(int64_t position, int32_t size) {
    if (position < 0) {
        return 0;
    }
    return position >= size ? size - 1 : static_cast<int32_t>(position);
}

}  // namespace

// A partner outside the frame leaves the pixel as it is. The sums are formed
// in 64 bits so that an extreme distance cannot overflow.
PF_Err splitPixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
    return guardCallback([&]() -> PF_Err {
        const ChannelSplitRefcon* rc = static_cast<const ChannelSplitRefcon*>(refcon);
        const int64_t px = static_cast<int64_t>(x) + rc->dx;
        const int64_t py = static_cast<int64_t>(y) + rc->dy;
        if (px < 0 || px >= rc->width || py < 0 || py >= rc->height) {
            *out = *in;
            return PF_Err_NONE;
        }
        const PF_Pixel8 p = *in;
        *out = rc->combine(&p, sourcePixel(rc->src, static_cast<int32_t>(px),
                                           static_cast<int32_t>(py)));
        return PF_Err_NONE;
    });
}

// A partner outside the frame is taken from the nearest edge pixel.
PF_Err splitPixelRepeat(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
    return guardCallback([&]() -> PF_Err {
        const ChannelSplitRefcon* rc = static_cast<const ChannelSplitRefcon*>(refcon);
        const int32_t px = clampToFrame(static_cast<int64_t>(x) + rc->dx, rc->width);
        const int32_t py = clampToFrame(static_cast<int64_t>(y) + rc->dy, rc->height);
        const PF_Pixel8 p = *in;
        *out = rc->combine(&p, sourcePixel(rc->src, px, py));
        return PF_Err_NONE;
    });
}

namespace {

// Popup items: Red-Cyan|Green-Magenta|Blue-Yellow|(-|Y'|Cb|Cr|(-|Hue|Saturation|Value.
// Separators and unknown values read Red-Cyan.
SplitCombineFn splitCombine(int32_t item) {
    switch (item) {
        case 2: return combineGreenMagenta;
        case 3: return combineBlueYellow;
        case 5: return combineLuma;
        case 6: return combineCb;
        case 7: return combineCr;
        case 9: return combineHue;
        case 10: return combineSaturation;
        case 11: return combineValue;
        default: return combineRedCyan;
    }
}

// The distance along one axis: amount × master, scaled by a factor that
// follows the noise more closely the higher the speed.
int32_t splitDistance(double noiseValue, double decay, double amount, double master) {
    return truncToInt32((1.0 - (1.0 - decay) * ((noiseValue - 0.5) * 2.0)) * amount * master);
}

}  // namespace

PF_Err runChannelSplit(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[],
                       PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                       const NoiseField* noise) {
    const double master = floatParam(params, kParamCorvexelAmount) / 100.0;
    const double horizontal = floatParam(params, kParamSplitHorizontal);
    const double vertical = floatParam(params, kParamSplitVertical);
    const double speed = floatParam(params, kParamSplitSpeed);
    const float k = static_cast<float>(0.4 * speed);
    const double nh = noise->sampleTimeScaled(1234, 5678, k);
    const double nv = noise->sampleTimeScaled(5678, 1234, k);
    const double decay = in_data->utils->ansi.exp(-1.0 * (0.4 * speed));

    ChannelSplitRefcon refcon;
    refcon.width = src->width;
    refcon.height = src->height;
    refcon.in_data = in_data;
    refcon.src = src;
    refcon.dst = dst;
    refcon.combine = splitCombine(popupParam(params, kParamSplitChannel));
    refcon.dx = splitDistance(nh, decay, horizontal, master);
    refcon.dy = splitDistance(nv, decay, vertical, master);
    const PF_IteratePixel8Func pixelFn =
        checkboxParam(params, kParamRepeatEdgePixels) ? splitPixelRepeat : splitPixel;
    const PF_Iterate8Suite1* iterate8 = suites->iterate8();
    return iterate8->iterate(in_data, 0, src->width, src, nullptr, &refcon, pixelFn, dst);
}
