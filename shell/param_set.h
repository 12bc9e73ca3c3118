// The effect's 101 parameters: their ids (equal to their position in the
// host's parameter array; the host stores values by id in its projects, so
// these never change), the declaration entry point, and small readers that
// every stage uses to take a value out of the host's array.
#pragma once

#include "sdk/pf_types.h"

enum ParamId : int32_t {
    kParamInputLayer = 0,
    kParamCorvexelAmount = 1,
    kParamCorvexelSpeed = 2,
    kParamRandomSeed = 3,
    kParamTransitionGroup = 4,
    kParamCompletion = 5,
    kParamSoftness = 6,
    kParamTransitionChannel = 7,
    kParamTransitionGroupEnd = 8,
    kParamTransformGroup = 9,
    kParamTransformSpeed = 10,
    kParamPosition = 11,
    kParamPositionWiggle = 12,
    kParamScale = 13,
    kParamScaleWiggle = 14,
    kParamCropFirst = 15,
    kParamCropSecond = 16,
    kParamCropWiggle = 17,
    kParamTransformOpacity = 18,
    kParamTransformMode = 19,
    kParamCompositeOver = 20,
    kParamTransformGroupEnd = 21,
    kParamChannelGroup = 22,
    kParamChannelEnable = 23,
    kParamSplitGroup = 24,
    kParamSplitChannel = 25,
    kParamSplitHorizontal = 26,
    kParamSplitVertical = 27,
    kParamSplitSpeed = 28,
    kParamSplitGroupEnd = 29,
    kParamChannelScaleGroup = 30,
    kParamChannelScaleAmount = 31,
    kParamChannelScaleChannel = 32,
    kParamChannelScaleVertical = 33,
    kParamChannelScaleOffset = 34,
    kParamChannelScaleSpeed = 35,
    kParamChannelScaleGroupEnd = 36,
    kParamChannelMode = 37,
    kParamChannelGroupEnd = 38,
    kParamColorGroup = 39,
    kParamColorEnable = 40,
    kParamColorOffset = 41,
    kParamColorAmount = 42,
    kParamColorOpacity = 43,
    kParamColorMode = 44,
    kParamColorGroupEnd = 45,
    kParamImageGroup = 46,
    kParamImageEnable = 47,
    kParamPixelStreak = 48,
    kParamVerticalSort = 49,
    kParamSliceGroup = 50,
    kParamSliceAmount = 51,
    kParamSlicePosition = 52,
    kParamSliceOpacity = 53,
    kParamSliceMode = 54,
    kParamSliceGroupEnd = 55,
    kParamBlockGroup = 56,
    kParamBlockAmount = 57,
    kParamBlockSpeed = 58,
    kParamBlockWidth = 59,
    kParamBlockHeight = 60,
    kParamBlockDirection = 61,
    kParamBlockGroupEnd = 62,
    kParamBlockMode = 63,
    kParamImageGroupEnd = 64,
    kParamCompressionGroup = 65,
    kParamCompressionEnable = 66,
    kParamCompressionMultiplier = 67,
    kParamDitherAmount = 68,
    kParamJpegAmount = 69,
    kParamCompressionGroupEnd = 70,
    kParamAdvancedGroup = 71,
    kParamRandomnessGroup = 72,
    kParamShowNoise = 73,
    kParamGain = 74,
    kParamLacunarity = 75,
    kParamOctaves = 76,
    kParamRandomnessGroupEnd = 77,
    kParamAdvSplitGroup = 78,
    kParamRepeatEdgePixels = 79,
    kParamAdvSplitGroupEnd = 80,
    kParamAdvChannelScaleGroup = 81,
    kParamSigmoidalSteps = 82,
    kParamChannelScaleSteps = 83,
    kParamFillGaps = 84,
    kParamAdvChannelScaleGroupEnd = 85,
    kParamPixelSortGroup = 86,
    kParamUseNoise = 87,
    kParamNoiseCutoff = 88,
    kParamPixelSortGroupEnd = 89,
    kParamAdvSliceGroup = 90,
    kParamSliceQuality = 91,
    kParamSliceMaxShift = 92,
    kParamSliceSteps = 93,
    kParamAdvSliceGroupEnd = 94,
    kParamAdvBlockGroup = 95,
    kParamGroupingFactor = 96,
    kParamAdvBlockGroupEnd = 97,
    kParamAdvTransformGroup = 98,
    kParamWiggleSteps = 99,
    kParamAdvTransformGroupEnd = 100,
    kParamAdvancedGroupEnd = 101,
};

inline constexpr int32_t kParamCount = 101;   // declared parameters, without the input layer

// Declares the 101 parameters to the host (PF_Cmd_PARAMS_SETUP).
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output);

// Readers of current values at render time.
inline double floatParam(PF_ParamDef* const params[], int32_t id) {
    return params[id]->u.fs_d.value;
}
inline int32_t intParam(PF_ParamDef* const params[], int32_t id) {
    return params[id]->u.sd.value;
}
inline int32_t popupParam(PF_ParamDef* const params[], int32_t id) {
    return params[id]->u.pd.value;
}
inline bool checkboxParam(PF_ParamDef* const params[], int32_t id) {
    return params[id]->u.bd.value != 0;
}
inline PF_LayerDef* inputLayer(PF_ParamDef* const params[]) {
    return &params[kParamInputLayer]->u.ld;
}
