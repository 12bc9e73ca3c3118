// Channel scale: stretches or squeezes every row (or column) about a pivot.
// Each pixel moves towards the pivot in proportion to its own channel value;
// where two land on one place the higher value wins, and the gaps that open
// between landings can be filled with samples of the source.
#include <algorithm>
#include <cmath>

#include "effects/channel_functions.h"
#include "effects/channel_stages.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

struct ChannelScaleRefcon {
    PF_ParamDef** params;
    int32_t lineSetWidth;
    int32_t lineSetHeight;
    PF_InData* in_data;   // its effect_ref goes to the sampler
    PF_EffectWorld* src;
    PF_EffectWorld* dst;
    SuiteCache* suites;
    const NoiseField* noise;
    ChannelFn channel;
    int32_t pivot;
    int32_t scale;        // effective scale in per cent
    uint8_t fillGaps;
    int64_t keptOf[256];  // 255 - t for the channel values 0..255, worked out once
};

namespace {

// One row or column of the source and the destination: pixel i of the line
// is at first + i * step.
struct Line {
    const PF_Pixel8* srcFirst;
    PF_Pixel8* dstFirst;
    intptr_t srcStep;      // in bytes
    intptr_t dstStep;
    int32_t length;        // positions walked
    int32_t landingLimit;  // landings at or beyond this are dropped
    int32_t index;         // the column or row number
    bool vertical;
};

const PF_Pixel8* srcAt(const Line& line, int32_t i) {
    return reinterpret_cast<const PF_Pixel8*>(reinterpret_cast<const char*>(line.srcFirst) +
                                              line.srcStep * i);
}

PF_Pixel8* dstAt(const Line& line, int32_t i) {
    return reinterpret_cast<PF_Pixel8*>(reinterpret_cast<char*>(line.dstFirst) +
                                        line.dstStep * i);
}

// 255 - t with t = scale x v / 100: how many 255ths of its distance to the
// pivot a pixel of channel value v keeps. Formed in 64 bits so that extreme
// scales cannot overflow.
int64_t shrinkFactor(int32_t scale, int32_t v) {
    const int64_t t = static_cast<int64_t>(scale) * v / 100;
    return 255 - t;
}

// Where position i lands: the pivot plus its distance shrunk by (255 - t) / 255.
int64_t landing(const ChannelScaleRefcon* rc, int32_t v, int32_t i) {
    const int64_t kept = v >= 0 && v < 256 ? rc->keptOf[v] : shrinkFactor(rc->scale, v);
    return rc->pivot + (kept * (static_cast<int64_t>(i) - rc->pivot)) / 255;
}

// 16.16 fixed point of a whole pixel position; false when it does not fit.
bool toFixed(int32_t position, PF_Fixed* fixed) {
    const int64_t value = static_cast<int64_t>(position) * 65536;
    if (value > INT32_MAX || value < INT32_MIN) {
        return false;
    }
    *fixed = static_cast<PF_Fixed>(value);
    return true;
}

// Samples the source pixel before position i (i - 1 along the line) into
// the destination gap k. Returns the sampler's error.
PF_Err sampleIntoGap(const ChannelScaleRefcon* rc, const Line& line, int32_t i, int32_t k) {
    const int32_t x = line.vertical ? line.index : i - 1;
    const int32_t y = line.vertical ? i - 1 : line.index;
    PF_Fixed fx, fy;
    if (!toFixed(x, &fx) || !toFixed(y, &fy)) {
        return PF_Err_NONE;   // beyond 16.16: the gap keeps what it holds
    }
    PF_SampPB sampling{};
    sampling.src = rc->src;
    // A missing sampler counts as the sampler's error, so the rest of the
    // line is still moved.
    return guardCallback([&]() -> PF_Err {
        const PF_Sampling8Suite1* sampler = rc->suites->sampling8();
        return sampler->subpixel_sample(rc->in_data->effect_ref, fx, fy, &sampling,
                                        dstAt(line, k));
    });
}

// Fills the positions between the previous landing and this one. A move
// backwards (T < prev) covers T itself too. The first sampler error stops
// the filling for the rest of the line.
void fillGap(const ChannelScaleRefcon* rc, const Line& line, int32_t i, int32_t prev,
             int32_t landed, PF_Err* err) {
    if (i == 0) {
        return;   // no source pixel before the first: the gap stays transparent
    }
    const int32_t first = landed >= prev ? prev + 1 : landed;
    const int32_t last = landed >= prev ? landed - 1 : prev - 1;
    for (int32_t k = first; k <= last && *err == PF_Err_NONE; ++k) {
        *err = sampleIntoGap(rc, line, i, k);
    }
}

// Positions whose landing is worked out ahead of the moves, on the stack.
constexpr int32_t kLandingsAhead = 1024;

// The line walk, compiled once for each channel function so that the
// channel of every pixel is worked out in the loop itself rather than
// through a function pointer; `channel` computes what rc->channel returns.
//
// The walk goes a stretch of positions at a time: first every landing of
// the stretch (no pixel moves, so they are independent of each other), then
// the moves in order, exactly as one pass would make them. A single pass
// would load each landing place right after storing the previous pixel,
// through an address that takes the whole landing computation to know, and
// the processor, which cannot tell the two apart early, would wait.
template <class Channel>
PF_Err scaleLineWith(const ChannelScaleRefcon* rc, const Line& line, Channel channel) {
    int32_t landedAt[kLandingsAhead];   // -1: dropped
    int32_t valueAt[kLandingsAhead];
    int32_t prev = 0;
    PF_Err err = PF_Err_NONE;
    for (int32_t first = 0; first < line.length; first += kLandingsAhead) {
        const int32_t count = std::min(kLandingsAhead, line.length - first);
        for (int32_t k = 0; k < count; ++k) {
            const int32_t v = channel(*srcAt(line, first + k));
            const int64_t target = landing(rc, v, first + k);
            landedAt[k] = target < 0 || target >= line.landingLimit ? -1
                                                                    : static_cast<int32_t>(target);
            valueAt[k] = v;
        }
        for (int32_t k = 0; k < count; ++k) {
            const int32_t landed = landedAt[k];
            if (landed < 0) {
                continue;
            }
            PF_Pixel8* d = dstAt(line, landed);
            if (channel(*d) > valueAt[k]) {
                prev = landed;
                continue;
            }
            *d = *srcAt(line, first + k);   // on equal values the later pixel wins
            if (rc->fillGaps) {
                fillGap(rc, line, first + k, prev, landed, &err);
            }
            prev = landed;
        }
    }
    return err;
}

PF_Err scaleLine(const ChannelScaleRefcon* rc, const Line& line) {
    using Pixel = const PF_Pixel8&;
    const ChannelFn channel = rc->channel;
    if (channel == channelLuminance)
        return scaleLineWith(rc, line, [](Pixel p) { return luminanceOf(p); });
    if (channel == channelLightness)
        return scaleLineWith(rc, line, [](Pixel p) { return lightnessOf(p); });
    if (channel == channelHue) return scaleLineWith(rc, line, [](Pixel p) { return hueOf(p); });
    if (channel == channelSaturation)
        return scaleLineWith(rc, line, [](Pixel p) { return saturationOf(p); });
    return scaleLineWith(rc, line, [channel](Pixel p) { return channel(&p); });
}

int32_t smaller(int32_t a, int32_t b) { return a < b ? a : b; }

PF_Pixel8* pixelAt(PF_EffectWorld* world, int32_t x, int32_t y) {
    return reinterpret_cast<PF_Pixel8*>(reinterpret_cast<char*>(world->data) +
                                        static_cast<intptr_t>(y) * world->rowbytes) + x;
}

// The walk never leaves either world, even if the extent hint claims more
// lines or positions than they hold.
bool columnLine(const ChannelScaleRefcon* rc, int32_t column, Line* line) {
    if (column < 0 || column >= rc->src->width || column >= rc->dst->width) {
        return false;
    }
    const int32_t limit = smaller(rc->src->height, rc->dst->height);
    *line = Line{pixelAt(rc->src, column, 0), pixelAt(rc->dst, column, 0), rc->src->rowbytes,
                 rc->dst->rowbytes, smaller(rc->lineSetHeight, limit), limit, column, true};
    return true;
}

bool rowLine(const ChannelScaleRefcon* rc, int32_t row, Line* line) {
    if (row < 0 || row >= rc->src->height || row >= rc->dst->height) {
        return false;
    }
    const int32_t limit = smaller(rc->src->width, rc->dst->width);
    const intptr_t step = static_cast<intptr_t>(sizeof(PF_Pixel8));
    *line = Line{pixelAt(rc->src, 0, row), pixelAt(rc->dst, 0, row), step, step,
                 smaller(rc->lineSetWidth, limit), limit, row, false};
    return true;
}

}  // namespace

PF_Err scaleColumn(void* refcon, A_long, A_long column, A_long) {
    return guardCallback([&]() -> PF_Err {
        const ChannelScaleRefcon* rc = static_cast<const ChannelScaleRefcon*>(refcon);
        Line line;
        return columnLine(rc, column, &line) ? scaleLine(rc, line) : PF_Err_NONE;
    });
}

PF_Err scaleRow(void* refcon, A_long, A_long row, A_long) {
    return guardCallback([&]() -> PF_Err {
        const ChannelScaleRefcon* rc = static_cast<const ChannelScaleRefcon*>(refcon);
        Line line;
        return rowLine(rc, row, &line) ? scaleLine(rc, line) : PF_Err_NONE;
    });
}

namespace {

// Popup items: Luma|Lightness|Hue|Saturation|(-|Red|Green|Blue|Alpha.
// Separators and unknown values read Luma.
ChannelFn scaleChannel(int32_t item) {
    switch (item) {
        case 2: return channelLightness;
        case 3: return channelHue;
        case 4: return channelSaturation;
        case 6: return channelRed;
        case 7: return channelGreen;
        case 8: return channelBlue;
        case 9: return channelAlpha;
        default: return channelLuminance;
    }
}

// The top of the Quantization Steps slider means "practically continuous".
float quantizationSteps(PF_ParamDef* params[]) {
    const PF_ParamDef* def = params[kParamChannelScaleSteps];
    const double steps = def->u.fs_d.value;
    return steps >= def->u.fs_d.slider_max ? 512.0f : static_cast<float>(steps);
}

int32_t effectiveScale(PF_InData* in_data, PF_ParamDef* params[], const NoiseField* noise) {
    const double speed = floatParam(params, kParamChannelScaleSpeed);
    const double n = noise->sampleQuantized(13, 13, quantizationSteps(params),
                                            static_cast<float>(speed),
                                            checkboxParam(params, kParamSigmoidalSteps));
    const double decay = in_data->utils->ansi.exp(speed * -3.0);
    const double factor = 1.0 - (1.0 - decay) * ((n - 0.5) * 2.0);
    const double master = floatParam(params, kParamCorvexelAmount) / 100.0;
    return truncToInt32(floatParam(params, kParamChannelScaleAmount) * master * factor);
}

}  // namespace

PF_Err runChannelScale(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[],
                       PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                       const NoiseField* noise) {
    const bool vertical = checkboxParam(params, kParamChannelScaleVertical);
    const int32_t length = vertical ? src->height : src->width;

    ChannelScaleRefcon refcon;
    refcon.params = params;
    refcon.lineSetWidth = dst->extent_hint.right - dst->extent_hint.left;
    refcon.lineSetHeight = dst->extent_hint.bottom - dst->extent_hint.top;
    refcon.in_data = in_data;
    refcon.src = src;
    refcon.dst = dst;
    refcon.suites = suites;
    refcon.noise = noise;
    refcon.channel = scaleChannel(popupParam(params, kParamChannelScaleChannel));
    refcon.pivot = truncToInt32(length * floatParam(params, kParamChannelScaleOffset) / 100.0);
    refcon.scale = effectiveScale(in_data, params, noise);
    refcon.fillGaps = checkboxParam(params, kParamFillGaps) ? 1 : 0;
    for (int32_t v = 0; v < 256; ++v) {
        refcon.keptOf[v] = shrinkFactor(refcon.scale, v);
    }

    const PF_Iterate8Suite1* iterate8 = suites->iterate8();
    if (vertical) {
        return iterate8->iterate_generic(refcon.lineSetWidth, &refcon, scaleColumn);
    }
    return iterate8->iterate_generic(refcon.lineSetHeight, &refcon, scaleRow);
}
