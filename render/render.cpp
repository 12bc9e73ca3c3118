// The frame render pipeline: one working frame, the glitch stages in a fixed
// order, and the composites that lay their results back.
//
// Errors travel as one pending PF_Err: a host call or stage runs only while
// nothing is pending, and its result becomes the pending error. Frames are
// created and disposed whatever is pending, so nothing leaks; a frame the
// host could not create is never filled, used or disposed.
#include <algorithm>
#include <cstring>

#include "effects/stages.h"
#include "noise/int_conversion.h"
#include "render/render.h"
#include "shell/param_set.h"

namespace {

// A frame owned by the render, and whether the host really made it.
struct OwnedFrame {
    PF_EffectWorld world;
    bool created;
};

// The frames of one render; at most three exist at once.
struct RenderFrames {
    OwnedFrame working;
    OwnedFrame scratchA;
    OwnedFrame scratchB;
};

struct RenderContext {
    PF_InData* in_data;
    PF_OutData* out_data;
    PF_ParamDef** params;
    PF_LayerDef* output;
    SuiteCache* suites;
    NoiseField* noise;
    RenderFrames* frames;
    PF_Err pending;
};

void keepFirstError(PF_Err* pending, PF_Err err) {
    if (*pending == PF_Err_NONE) {
        *pending = err;
    }
}

// Creates a frame of the output's size. A failed creation becomes the
// pending error (unless one is already pending) and leaves the frame unmade.
void createFrame(RenderContext* ctx, OwnedFrame* frame) {
    std::memset(&frame->world, 0, sizeof frame->world);
    PF_Err err = ctx->in_data->utils->new_world(ctx->in_data->effect_ref, ctx->output->width,
                                                ctx->output->height, PF_NewWorldFlag_NONE,
                                                &frame->world);
    frame->created = (err == PF_Err_NONE);
    keepFirstError(&ctx->pending, err);
}

// Clears a frame to transparent black, if it exists and nothing is pending.
void clearFrame(RenderContext* ctx, OwnedFrame* frame) {
    if (ctx->pending == PF_Err_NONE && frame->created) {
        ctx->pending = ctx->in_data->utils->fill(ctx->in_data->effect_ref, nullptr, nullptr,
                                                 &frame->world);
    }
}

void disposeFrame(PF_InData* in_data, OwnedFrame* frame) {
    if (frame->created) {
        // A failed dispose has nothing left to undo; it is not reported.
        in_data->utils->dispose_world(in_data->effect_ref, &frame->world);
        frame->created = false;
    }
}

void disposeAllFrames(PF_InData* in_data, RenderFrames* frames) {
    disposeFrame(in_data, &frames->scratchA);
    disposeFrame(in_data, &frames->scratchB);
    disposeFrame(in_data, &frames->working);
}

// True when a step may run: nothing is pending.
bool mayRun(const RenderContext* ctx) {
    return ctx->pending == PF_Err_NONE;
}

void compositeOnto(RenderContext* ctx, OwnedFrame* src, PF_EffectWorld* dst,
                   const PF_CompositeMode* mode) {
    if (mayRun(ctx)) {
        ctx->pending = compositeWorld(ctx->in_data, ctx->output, &src->world, dst, mode,
                                      ctx->suites);
    }
}

void copyWhole(RenderContext* ctx, PF_EffectWorld* src, PF_EffectWorld* dst) {
    if (mayRun(ctx)) {
        ctx->pending = ctx->in_data->utils->copy(ctx->in_data->effect_ref, src, dst, nullptr,
                                                 nullptr);
    }
}

void runChannelGlitchGroup(RenderContext* ctx) {
    RenderFrames* f = ctx->frames;
    PF_EffectWorld* working = &f->working.world;
    createFrame(ctx, &f->scratchA);
    clearFrame(ctx, &f->scratchA);
    if (mayRun(ctx)) {
        ctx->pending = runChannelSplit(ctx->in_data, ctx->out_data, ctx->params, working,
                                       &f->scratchA.world, ctx->suites, ctx->noise);
    }
    createFrame(ctx, &f->scratchB);
    PF_CompositeMode stageMode;
    fillCompositeModeFull(&stageMode, popupParam(ctx->params, kParamChannelMode));
    clearFrame(ctx, &f->scratchB);
    if (mayRun(ctx)) {
        ctx->pending = runChannelScale(ctx->in_data, ctx->out_data, ctx->params,
                                       &f->scratchA.world, &f->scratchB.world, ctx->suites,
                                       ctx->noise);
    }
    compositeOnto(ctx, &f->scratchB, working, &stageMode);
    disposeFrame(ctx->in_data, &f->scratchA);
    disposeFrame(ctx->in_data, &f->scratchB);
}

void runColorGlitchGroup(RenderContext* ctx) {
    RenderFrames* f = ctx->frames;
    PF_EffectWorld* working = &f->working.world;
    createFrame(ctx, &f->scratchB);
    clearFrame(ctx, &f->scratchB);
    PF_CompositeMode stageMode;
    fillCompositeMode(&stageMode, popupParam(ctx->params, kParamColorMode),
                      floatParam(ctx->params, kParamColorOpacity));
    if (mayRun(ctx)) {
        ctx->pending = runColorGlitch(ctx->in_data, ctx->out_data, ctx->params, working,
                                      &f->scratchB.world, ctx->suites, ctx->noise);
    }
    compositeOnto(ctx, &f->scratchB, working, &stageMode);
    disposeFrame(ctx->in_data, &f->scratchB);
}

void runImageGlitchGroup(RenderContext* ctx) {
    RenderFrames* f = ctx->frames;
    PF_EffectWorld* working = &f->working.world;
    if (mayRun(ctx)) {
        ctx->pending = runPixelStreak(ctx->in_data, ctx->out_data, ctx->params, working,
                                      ctx->suites, ctx->noise);
    }

    createFrame(ctx, &f->scratchB);
    clearFrame(ctx, &f->scratchB);
    PF_CompositeMode stageMode;
    fillCompositeMode(&stageMode, popupParam(ctx->params, kParamSliceMode),
                      floatParam(ctx->params, kParamSliceOpacity));
    if (mayRun(ctx)) {
        ctx->pending = runGlitchSlice(ctx->in_data, ctx->out_data, ctx->params, working,
                                      &f->scratchB.world, ctx->suites, ctx->noise);
    }
    compositeOnto(ctx, &f->scratchB, working, &stageMode);
    disposeFrame(ctx->in_data, &f->scratchB);

    createFrame(ctx, &f->scratchA);
    clearFrame(ctx, &f->scratchA);
    fillCompositeModeFull(&stageMode, popupParam(ctx->params, kParamBlockMode));
    if (mayRun(ctx)) {
        ctx->pending = runGlitchBlock(ctx->in_data, ctx->out_data, ctx->params, working,
                                      &f->scratchA.world, ctx->suites, ctx->noise);
    }
    compositeOnto(ctx, &f->scratchA, working, &stageMode);
    disposeFrame(ctx->in_data, &f->scratchA);
}

void runCompressionGroup(RenderContext* ctx) {
    PF_EffectWorld* working = &ctx->frames->working.world;
    if (mayRun(ctx)) {
        ctx->pending = runCompression(ctx->in_data, ctx->out_data, ctx->params, working,
                                      ctx->suites);
    }
    if (mayRun(ctx)) {
        ctx->pending = runDither(ctx->in_data, ctx->out_data, ctx->params, working, ctx->suites);
    }
}

// Everything after the noise set-up: transform, transition, the stage groups
// and the composites.
void runGlitchChain(RenderContext* ctx) {
    PF_ParamDef** params = ctx->params;
    PF_EffectWorld* working = &ctx->frames->working.world;

    PF_CompositeMode transformMode;
    fillCompositeMode(&transformMode, popupParam(params, kParamTransformMode),
                      floatParam(params, kParamTransformOpacity));
    if (mayRun(ctx)) {
        ctx->pending = runTransformGlitch(ctx->in_data, params, ctx->output, working, ctx->noise,
                                          &transformMode, ctx->suites);
    }
    if (mayRun(ctx) && floatParam(params, kParamCompletion) > 0.0) {
        ctx->pending = runTransition(ctx->in_data, ctx->out_data, params, working, working,
                                     ctx->suites, ctx->noise);
    }
    copyWhole(ctx, working, ctx->output);

    if (checkboxParam(params, kParamChannelEnable)) {
        runChannelGlitchGroup(ctx);
    }
    if (checkboxParam(params, kParamColorEnable)) {
        runColorGlitchGroup(ctx);
    }
    if (checkboxParam(params, kParamImageEnable)) {
        runImageGlitchGroup(ctx);
    }
    if (checkboxParam(params, kParamCompressionEnable)) {
        runCompressionGroup(ctx);
    }
    if (checkboxParam(params, kParamCompositeOver)) {
        copyWhole(ctx, inputLayer(params), ctx->output);
    }
    compositeOnto(ctx, &ctx->frames->working, ctx->output, &transformMode);
}

}  // namespace

void initRenderNoise(NoiseField* noise, const PF_InData* in_data, PF_ParamDef* params[],
                     int32_t height) {
    // A time scale of 0 has no meaning; it is read as time 0 rather than
    // feeding an infinite time into the field.
    float seconds = 0.0f;
    if (in_data->time_scale != 0) {
        seconds = static_cast<float>(in_data->current_time) /
                  static_cast<float>(in_data->time_scale);
    }
    noise->init(intParam(params, kParamRandomSeed),
                static_cast<float>(floatParam(params, kParamCorvexelSpeed)), seconds, height,
                static_cast<float>(floatParam(params, kParamGain)),
                static_cast<float>(floatParam(params, kParamLacunarity)),
                intParam(params, kParamOctaves));
}

void drawNoisePreview(const NoiseField* noise, PF_LayerDef* output) {
    // Each pixel depends on its own position only, so the field is sampled a
    // run of columns at a time, row by row.
    constexpr int32_t kRun = 256;
    float span[kRun];
    auto* base = reinterpret_cast<uint8_t*>(output->data);
    for (int32_t y = 0; y < output->height; ++y) {
        auto* row = reinterpret_cast<PF_Pixel8*>(base + static_cast<int64_t>(y) * output->rowbytes);
        for (int32_t x0 = 0; x0 < output->width; x0 += kRun) {
            const int32_t count = std::min(kRun, output->width - x0);
            noise->sampleSpanRow(x0, y, 256.0f, 1.0f, count, span);
            for (int32_t n = 0; n < count; ++n) {
                const int32_t grey = truncToInt32(span[n]);
                PF_Pixel8* pixel = row + x0 + n;
                pixel->alpha = 255;
                pixel->red = pixel->green = pixel->blue = static_cast<A_u_char>(grey);
            }
        }
    }
}

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output) {
    SuiteCache suites(in_data->pica_basicP);
    RenderFrames frames{};
    NoiseField noise;
    RenderContext ctx{in_data, out_data, params, output, &suites, &noise, &frames, PF_Err_NONE};
    try {
        createFrame(&ctx, &frames.working);
        clearFrame(&ctx, &frames.working);
        initRenderNoise(&noise, in_data, params, output->height);
        if (checkboxParam(params, kParamShowNoise)) {
            drawNoisePreview(&noise, output);
        } else {
            runGlitchChain(&ctx);
        }
    } catch (PF_Err) {
        // A missing suite ends the render at once; the frames made so far
        // are still handed back before the error travels on.
        disposeAllFrames(in_data, &frames);
        throw;
    }
    disposeAllFrames(in_data, &frames);
    return ctx.pending;
}
