// One glitch stage run alone on the input layer.
#include "render/stage_runner.h"

#include <cstring>

#include "effects/stages.h"
#include "noise/noise_field.h"
#include "render/render.h"
#include "shell/param_set.h"
#include "shell/suite_cache.h"

namespace {

enum StageKind { kStageUnknown, kStageInPlace, kStageToDestination };

struct StageEntry {
    const char* name;
    StageKind kind;
};

constexpr StageEntry kStages[] = {
    {"transition", kStageInPlace},      {"channel-split", kStageToDestination},
    {"channel-scale", kStageToDestination}, {"color-glitch", kStageToDestination},
    {"pixel-streak", kStageInPlace},    {"glitch-slice", kStageToDestination},
    {"glitch-block", kStageToDestination}, {"compression", kStageInPlace},
};

StageKind stageKind(const char* name) {
    for (const StageEntry& entry : kStages) {
        if (name != nullptr && std::strcmp(entry.name, name) == 0) {
            return entry.kind;
        }
    }
    return kStageUnknown;
}

struct StageFrame {
    PF_EffectWorld world;
    bool created;
};

PF_Err createClearedFrame(PF_InData* in_data, PF_LayerDef* output, StageFrame* frame) {
    std::memset(&frame->world, 0, sizeof frame->world);
    PF_Err err = in_data->utils->new_world(in_data->effect_ref, output->width, output->height,
                                           PF_NewWorldFlag_NONE, &frame->world);
    frame->created = (err == PF_Err_NONE);
    if (err == PF_Err_NONE) {
        err = in_data->utils->fill(in_data->effect_ref, nullptr, nullptr, &frame->world);
    }
    return err;
}

void disposeStageFrame(PF_InData* in_data, StageFrame* frame) {
    if (frame->created) {
        in_data->utils->dispose_world(in_data->effect_ref, &frame->world);
        frame->created = false;
    }
}

PF_Err runInPlace(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                  const char* name, PF_EffectWorld* working, SuiteCache* suites,
                  const NoiseField* noise) {
    if (std::strcmp(name, "transition") == 0) {
        return runTransition(in_data, out_data, params, working, working, suites, noise);
    }
    if (std::strcmp(name, "pixel-streak") == 0) {
        return runPixelStreak(in_data, out_data, params, working, suites, noise);
    }
    // compression: the dither follows only a successful first step, as in a render.
    PF_Err err = runCompression(in_data, out_data, params, working, suites);
    if (err == PF_Err_NONE) {
        err = runDither(in_data, out_data, params, working, suites);
    }
    return err;
}

PF_Err runToDestination(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                        const char* name, PF_EffectWorld* src, PF_EffectWorld* dst,
                        SuiteCache* suites, const NoiseField* noise) {
    if (std::strcmp(name, "channel-split") == 0) {
        return runChannelSplit(in_data, out_data, params, src, dst, suites, noise);
    }
    if (std::strcmp(name, "channel-scale") == 0) {
        return runChannelScale(in_data, out_data, params, src, dst, suites, noise);
    }
    if (std::strcmp(name, "color-glitch") == 0) {
        return runColorGlitch(in_data, out_data, params, src, dst, suites, noise);
    }
    if (std::strcmp(name, "glitch-slice") == 0) {
        return runGlitchSlice(in_data, out_data, params, src, dst, suites, noise);
    }
    return runGlitchBlock(in_data, out_data, params, src, dst, suites, noise);
}

}  // namespace

bool isStageName(const char* name) {
    return stageKind(name) != kStageUnknown;
}

PF_Err runStageAlone(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                     PF_LayerDef* output, const char* name) {
    const StageKind kind = stageKind(name);
    if (kind == kStageUnknown) {
        return PF_Err_INVALID_INDEX;
    }
    SuiteCache suites(in_data->pica_basicP);
    StageFrame working{};
    StageFrame destination{};
    PF_Err err = PF_Err_NONE;
    try {
        // The input is copied so that the stage never changes the layer itself.
        err = createClearedFrame(in_data, output, &working);
        if (err == PF_Err_NONE) {
            err = in_data->utils->copy(in_data->effect_ref, inputLayer(params), &working.world,
                                       nullptr, nullptr);
        }
        NoiseField noise;
        initRenderNoise(&noise, in_data, params, output->height);
        PF_EffectWorld* result = &working.world;
        if (err == PF_Err_NONE && kind == kStageInPlace) {
            err = runInPlace(in_data, out_data, params, name, &working.world, &suites, &noise);
        } else if (err == PF_Err_NONE) {
            err = createClearedFrame(in_data, output, &destination);
            if (err == PF_Err_NONE) {
                err = runToDestination(in_data, out_data, params, name, &working.world,
                                       &destination.world, &suites, &noise);
            }
            result = &destination.world;
        }
        if (err == PF_Err_NONE) {
            err = in_data->utils->copy(in_data->effect_ref, result, output, nullptr, nullptr);
        }
    } catch (PF_Err thrown) {
        err = thrown;
    }
    disposeStageFrame(in_data, &destination);
    disposeStageFrame(in_data, &working);
    return err;
}
