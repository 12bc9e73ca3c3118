// Transition: fades the glitched layer in and out. Every pixel keeps its
// colour; its alpha becomes a soft threshold ramp over one value read from
// the pixel (a channel, or the noise field), so the lowest values vanish
// first as Completion rises.
#include "effects/channel_stages.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

struct TransitionRefcon {
    int32_t width;
    int32_t height;
    PF_InData* in_data;
    PF_EffectWorld* src;
    PF_EffectWorld* dst;
    double softness;     // S: ramp width in 8-bit steps
    double completion;   // C: 0..1
    ChannelFn channel;
    const NoiseField* noise;
};

namespace {

// The ramp: opaque from t = (S + 255) C upwards, transparent S below it.
// With no width (S = 0) the ramp is a hard threshold at t.
A_u_char rampAlpha(int32_t v, double softness, double completion) {
    const double t = (softness + 255.0) * completion;
    if (softness == 0.0) {
        return v >= t ? 255 : 0;
    }
    const double a = (v - t) * 255.0 / softness + 255.0;
    // Clamped before the conversion: a very narrow ramp makes a far beyond
    // the int32 range, and a value that high is still fully opaque.
    if (a >= 255.0) {
        return 255;
    }
    if (a <= 0.0) {
        return 0;
    }
    return static_cast<A_u_char>(truncToInt32(a));
}

PF_Err setAlphaFromValue(const TransitionRefcon* rc, int32_t v, const PF_Pixel8* in,
                         PF_Pixel8* out) {
    *out = *in;
    out->alpha = rampAlpha(v, rc->softness, rc->completion);
    return PF_Err_NONE;
}

}  // namespace

PF_Err transitionPixel(void* refcon, A_long, A_long, PF_Pixel8* in, PF_Pixel8* out) {
    return guardCallback([&]() -> PF_Err {
        const TransitionRefcon* rc = static_cast<const TransitionRefcon*>(refcon);
        return setAlphaFromValue(rc, rc->channel(in), in, out);
    });
}

PF_Err transitionNoisePixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
    return guardCallback([&]() -> PF_Err {
        const TransitionRefcon* rc = static_cast<const TransitionRefcon*>(refcon);
        const int32_t v = truncToInt32(rc->noise->sampleSpan(x, y, 255.0f, 1.0f));
        return setAlphaFromValue(rc, v, in, out);
    });
}

namespace {

// Popup items: Red|Green|Blue|Alpha|(-|Luminance|Lightness|Hue|Saturation|(-|Noise.
// Separators and unknown values read Lightness.
ChannelFn transitionChannel(int32_t item) {
    switch (item) {
        case 1: return channelRed;
        case 2: return channelGreen;
        case 3: return channelBlue;
        case 4: return channelAlpha;
        case 6: return channelLuminance;
        case 8: return channelHue;
        case 9: return channelSaturation;
        default: return channelLightness;
    }
}

constexpr int32_t kTransitionNoiseItem = 11;

}  // namespace

PF_Err runTransition(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[],
                     PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                     const NoiseField* noise) {
    const int32_t item = popupParam(params, kParamTransitionChannel);
    TransitionRefcon refcon;
    refcon.width = src->width;
    refcon.height = src->height;
    refcon.in_data = in_data;
    refcon.src = src;
    refcon.dst = dst;
    refcon.softness = floatParam(params, kParamSoftness) / 100.0 * 255.0;
    refcon.completion = floatParam(params, kParamCompletion) / 100.0;
    refcon.channel = transitionChannel(item);
    refcon.noise = noise;
    const PF_IteratePixel8Func pixelFn =
        item == kTransitionNoiseItem ? transitionNoisePixel : transitionPixel;
    const PF_Iterate8Suite1* iterate8 = suites->iterate8();
    return iterate8->iterate(in_data, 0, src->width, src, nullptr, &refcon, pixelFn, dst);
}
