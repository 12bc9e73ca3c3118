// Transition: fades the glitched layer in and out. Every pixel keeps its
// colour; its alpha becomes a soft threshold ramp over one value read from
// the pixel (a channel, or the noise field), so the lowest values vanish
// first as Completion rises.
#include <algorithm>

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
    A_u_char alphaOf[256];   // the ramp's alpha for every value 0..255, worked out once
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
    out->alpha = rc->alphaOf[v];
    return PF_Err_NONE;
}

// The noise value of one pixel: trunc(sampleSpan(x, y, 255, 1)), 0..254.
//
// The host asks for one pixel at a time, but the field is sampled far faster
// for a run of neighbouring columns together (NoiseField::sampleSpanRow). So
// each host thread keeps the values of the run of columns it is walking
// through, and a pixel outside that run (another row, another field, another
// render) samples a fresh run that starts at its own column. A run is
// recognised by the field's key and its row and columns, so a value is only
// ever reused for the very sample it was computed for.
constexpr int32_t kNoiseRun = 64;

struct NoiseRun {
    NoiseFieldKey field;
    int32_t y;
    int32_t x0;
    int32_t count;   // 0: holds nothing
    uint8_t values[kNoiseRun];
};

thread_local NoiseRun tNoiseRun{};

int32_t noiseValue(const TransitionRefcon* rc, int32_t x, int32_t y) {
    NoiseRun& run = tNoiseRun;
    const NoiseFieldKey field = rc->noise->key();
    const bool held = run.count > 0 && run.y == y && x >= run.x0 &&
                      static_cast<int64_t>(x) - run.x0 < run.count && run.field == field;
    if (!held) {
        // The run stops at the frame's right edge; a column beyond it (which
        // no host should ask for) is sampled alone.
        const int64_t left = static_cast<int64_t>(rc->width) - x;
        const int32_t count = static_cast<int32_t>(std::clamp<int64_t>(left, 1, kNoiseRun));
        float span[kNoiseRun];
        rc->noise->sampleSpanRow(x, y, 255.0f, 1.0f, count, span);
        for (int32_t n = 0; n < count; ++n) {
            // sampleSpan keeps the value within 0 .. 254.
            run.values[n] = static_cast<uint8_t>(truncToInt32(span[n]));
        }
        run.field = field;
        run.y = y;
        run.x0 = x;
        run.count = count;
    }
    return run.values[x - run.x0];
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
        return setAlphaFromValue(rc, noiseValue(rc, x, y), in, out);
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
    // Every channel function and the noise value give 0..255.
    for (int32_t v = 0; v < 256; ++v) {
        refcon.alphaOf[v] = rampAlpha(v, refcon.softness, refcon.completion);
    }
    const PF_IteratePixel8Func pixelFn =
        item == kTransitionNoiseItem ? transitionNoisePixel : transitionPixel;
    const PF_Iterate8Suite1* iterate8 = suites->iterate8();
    return iterate8->iterate(in_data, 0, src->width, src, nullptr, &refcon, pixelFn, dst);
}
