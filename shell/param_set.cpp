#include "shell/param_set.h"

#include <cstring>

#include "shell/ui_strings.h"

namespace {

// Popup item strings; "(-" is a separator line that still takes an item number.
constexpr const char* kTransitionChannelItems =
    "Red|Green|Blue|Alpha|(-|Luminance|Lightness|Hue|Saturation|(-|Noise";
constexpr const char* kSplitChannelItems =
    "Red-Cyan|Green-Magenta|Blue-Yellow|(-|Y'|Cb|Cr|(-|Hue|Saturation|Value";
constexpr const char* kScaleChannelItems =
    "Luma|Lightness|Hue|Saturation|(-|Red|Green|Blue|Alpha";
constexpr const char* kTransferModeItems =
    "Normal|Copy|Behind|In Front|(-|Darken|Multiply|Color Burn|Classic Color Burn|"
    "Linear Burn|Darker Color|(-|Add|Lighten|Screen|Color Dodge|Classic Color Dodge|"
    "Linear Dodge|Lighter Color|(-|Overlay|Soft Light|Hard Light|Linear Light|Vidid Light|"
    "Pin Light|Hard Mix|(-|Difference|Classic Difference|Exclusion|Subtract|Divide|(-|Hue|"
    "Saturation|Color|Luminosity|(-|Stencil Alpha|Stencil Luma|Silhouette Alpha|"
    "Silhouette Luma|(-|Additive Premultiply|Alpha Add";
constexpr const char* kDirectionItems = "Horizontal|Vertical|Horizontal and Vertical";

constexpr float kFloatCurveTolerance = 0.05f;
constexpr int16_t kFloatPrecision = 2;

// One parameter declaration. Sliders use the four bounds; popups the item
// string; points take (dflt, dfltY) in percent of the layer.
struct ParamRow {
    int32_t id;
    PF_ParamType type;
    PF_ParamFlags flags;
    double dflt;
    double validMin, validMax, sliderMin, sliderMax;
    const char* items;
    double dfltY;
};

constexpr PF_ParamType kFloat = PF_Param_FLOAT_SLIDER;
constexpr PF_ParamType kInt = PF_Param_SLIDER;
constexpr PF_ParamType kPopup = PF_Param_POPUP;
constexpr PF_ParamType kCheck = PF_Param_CHECKBOX;
constexpr PF_ParamType kPoint = PF_Param_POINT;
constexpr PF_ParamType kStart = PF_Param_GROUP_START;
constexpr PF_ParamType kEnd = PF_Param_GROUP_END;
constexpr PF_ParamFlags kCollapsed = PF_ParamFlag_START_COLLAPSED;

constexpr ParamRow slider(int32_t id, PF_ParamType type, double dflt, double validMin,
                          double validMax, double sliderMin, double sliderMax) {
    return {id, type, 0, dflt, validMin, validMax, sliderMin, sliderMax, nullptr, 0};
}
constexpr ParamRow percentSlider(int32_t id, double dflt) {
    return slider(id, kFloat, dflt, 0, 100, 0, 100);
}
constexpr ParamRow popup(int32_t id, const char* items, int32_t dflt) {
    return {id, kPopup, 0, static_cast<double>(dflt), 0, 0, 0, 0, items, 0};
}
constexpr ParamRow checkbox(int32_t id, bool on) {
    return {id, kCheck, 0, on ? 1.0 : 0.0, 0, 0, 0, 0, nullptr, 0};
}
constexpr ParamRow point(int32_t id, double xPercent, double yPercent) {
    return {id, kPoint, 0, xPercent, 0, 0, 0, 0, nullptr, yPercent};
}
constexpr ParamRow groupStart(int32_t id, PF_ParamFlags flags) {
    return {id, kStart, flags, 0, 0, 0, 0, 0, nullptr, 0};
}
constexpr ParamRow groupEnd(int32_t id) {
    return {id, kEnd, 0, 0, 0, 0, 0, 0, nullptr, 0};
}

// The declarations, in the order the host numbers them (row n is id n + 1).
constexpr ParamRow kParamRows[kParamCount] = {
    percentSlider(kParamCorvexelAmount, 50),
    percentSlider(kParamCorvexelSpeed, 50),
    slider(kParamRandomSeed, kInt, 0, 0, 32768, 0, 32768),
    groupStart(kParamTransitionGroup, kCollapsed),
    percentSlider(kParamCompletion, 0),
    percentSlider(kParamSoftness, 10),
    popup(kParamTransitionChannel, kTransitionChannelItems, 7),
    groupEnd(kParamTransitionGroupEnd),

    groupStart(kParamTransformGroup, kCollapsed),
    percentSlider(kParamTransformSpeed, 1),
    point(kParamPosition, 50, 50),
    slider(kParamPositionWiggle, kFloat, 0, 0, 30000, 0, 100),
    slider(kParamScale, kFloat, 100, -30000, 30000, -200, 200),
    slider(kParamScaleWiggle, kFloat, 0, 0, 30000, 0, 100),
    point(kParamCropFirst, 0, 0),
    point(kParamCropSecond, 100, 100),
    slider(kParamCropWiggle, kFloat, 0, 0, 30000, 0, 100),
    percentSlider(kParamTransformOpacity, 100),
    popup(kParamTransformMode, kTransferModeItems, 1),
    checkbox(kParamCompositeOver, false),
    groupEnd(kParamTransformGroupEnd),

    groupStart(kParamChannelGroup, kCollapsed),
    checkbox(kParamChannelEnable, true),
    groupStart(kParamSplitGroup, 0),
    popup(kParamSplitChannel, kSplitChannelItems, 10),
    slider(kParamSplitHorizontal, kFloat, 50, -100, 100, -100, 100),
    slider(kParamSplitVertical, kFloat, 0, -100, 100, -100, 100),
    slider(kParamSplitSpeed, kFloat, 0, 0, 10, 0, 10),
    groupEnd(kParamSplitGroupEnd),
    groupStart(kParamChannelScaleGroup, 0),
    slider(kParamChannelScaleAmount, kFloat, 30, -800, 800, -800, 800),
    popup(kParamChannelScaleChannel, kScaleChannelItems, 1),
    checkbox(kParamChannelScaleVertical, false),
    percentSlider(kParamChannelScaleOffset, 50),
    slider(kParamChannelScaleSpeed, kFloat, 3, 0, 10, 0, 10),
    groupEnd(kParamChannelScaleGroupEnd),
    popup(kParamChannelMode, kTransferModeItems, 1),
    groupEnd(kParamChannelGroupEnd),

    groupStart(kParamColorGroup, kCollapsed),
    checkbox(kParamColorEnable, true),
    percentSlider(kParamColorOffset, 20),
    percentSlider(kParamColorAmount, 80),
    percentSlider(kParamColorOpacity, 25),
    popup(kParamColorMode, kTransferModeItems, 1),
    groupEnd(kParamColorGroupEnd),

    groupStart(kParamImageGroup, kCollapsed),
    checkbox(kParamImageEnable, true),
    percentSlider(kParamPixelStreak, 25),
    checkbox(kParamVerticalSort, false),
    groupStart(kParamSliceGroup, 0),
    percentSlider(kParamSliceAmount, 50),
    percentSlider(kParamSlicePosition, 50),
    percentSlider(kParamSliceOpacity, 50),
    popup(kParamSliceMode, kTransferModeItems, 33),
    groupEnd(kParamSliceGroupEnd),
    groupStart(kParamBlockGroup, 0),
    percentSlider(kParamBlockAmount, 50),
    percentSlider(kParamBlockSpeed, 50),
    slider(kParamBlockWidth, kFloat, 150, 0, 100000, 10, 64),
    slider(kParamBlockHeight, kFloat, 50, 0, 100000, 10, 64),
    popup(kParamBlockDirection, kDirectionItems, 1),
    groupEnd(kParamBlockGroupEnd),
    popup(kParamBlockMode, kTransferModeItems, 21),
    groupEnd(kParamImageGroupEnd),

    groupStart(kParamCompressionGroup, kCollapsed),
    checkbox(kParamCompressionEnable, false),
    percentSlider(kParamCompressionMultiplier, 50),
    percentSlider(kParamDitherAmount, 50),
    percentSlider(kParamJpegAmount, 50),
    groupEnd(kParamCompressionGroupEnd),

    groupStart(kParamAdvancedGroup, kCollapsed),
    groupStart(kParamRandomnessGroup, kCollapsed),
    checkbox(kParamShowNoise, false),
    slider(kParamGain, kFloat, 1.5, 0, 5, 0, 5),
    slider(kParamLacunarity, kFloat, 10, 0, 30, 0, 30),
    slider(kParamOctaves, kInt, 2, 0, 16, 0, 16),
    groupEnd(kParamRandomnessGroupEnd),
    groupStart(kParamAdvSplitGroup, kCollapsed),
    checkbox(kParamRepeatEdgePixels, true),
    groupEnd(kParamAdvSplitGroupEnd),
    groupStart(kParamAdvChannelScaleGroup, kCollapsed),
    checkbox(kParamSigmoidalSteps, false),
    slider(kParamChannelScaleSteps, kFloat, 2, 1, 64, 1, 64),
    checkbox(kParamFillGaps, false),
    groupEnd(kParamAdvChannelScaleGroupEnd),
    groupStart(kParamPixelSortGroup, kCollapsed),
    checkbox(kParamUseNoise, true),
    slider(kParamNoiseCutoff, kInt, 50, 0, 100, 0, 100),
    groupEnd(kParamPixelSortGroupEnd),
    groupStart(kParamAdvSliceGroup, kCollapsed),
    percentSlider(kParamSliceQuality, 10),
    percentSlider(kParamSliceMaxShift, 40),
    slider(kParamSliceSteps, kFloat, 8, 1, 64, 1, 64),
    groupEnd(kParamAdvSliceGroupEnd),
    groupStart(kParamAdvBlockGroup, kCollapsed),
    slider(kParamGroupingFactor, kFloat, 5, 0, 1000, 0, 1000),
    groupEnd(kParamAdvBlockGroupEnd),
    groupStart(kParamAdvTransformGroup, kCollapsed),
    slider(kParamWiggleSteps, kFloat, 2, 1, 64, 1, 64),
    groupEnd(kParamAdvTransformGroupEnd),
    groupEnd(kParamAdvancedGroupEnd),
};

// The host numbers parameters by position, so every row must sit at its id.
constexpr bool rowsSitAtTheirIds() {
    for (int32_t i = 0; i < kParamCount; ++i) {
        if (kParamRows[i].id != i + 1) {
            return false;
        }
    }
    return true;
}
static_assert(rowsSitAtTheirIds(), "parameter rows out of id order");

int16_t countItems(const char* items) {
    int16_t count = 1;
    for (const char* c = items; *c != '\0'; ++c) {
        if (*c == '|') {
            ++count;
        }
    }
    return count;
}

PF_Fixed percentToFixed(double percent) {
    return static_cast<PF_Fixed>(percent * 65536.0);
}

// Hands out string-table entries in declaration order. Entries 44..48 and 75
// belong to no parameter and are passed over.
int32_t takeEntry(int32_t* next) {
    if (*next == 44) {
        *next = 49;
    } else if (*next == 75) {
        *next = 76;
    }
    return (*next)++;
}

void fillUnion(const ParamRow& row, PF_ParamDef* def, int32_t* nextEntry) {
    switch (row.type) {
    case PF_Param_FLOAT_SLIDER: {
        PF_FloatSliderDef& fs = def->u.fs_d;
        fs.value = row.dflt;
        fs.dephault = static_cast<float>(row.dflt);
        fs.valid_min = static_cast<float>(row.validMin);
        fs.valid_max = static_cast<float>(row.validMax);
        fs.slider_min = static_cast<float>(row.sliderMin);
        fs.slider_max = static_cast<float>(row.sliderMax);
        fs.precision = kFloatPrecision;
        fs.curve_tolerance = kFloatCurveTolerance;
        break;
    }
    case PF_Param_SLIDER: {
        PF_SliderDef& sd = def->u.sd;
        sd.value = sd.dephault = static_cast<int32_t>(row.dflt);
        sd.valid_min = static_cast<int32_t>(row.validMin);
        sd.valid_max = static_cast<int32_t>(row.validMax);
        sd.slider_min = static_cast<int32_t>(row.sliderMin);
        sd.slider_max = static_cast<int32_t>(row.sliderMax);
        break;
    }
    case PF_Param_POPUP: {
        PF_PopupDef& pd = def->u.pd;
        pd.value = static_cast<int32_t>(row.dflt);
        pd.dephault = static_cast<int16_t>(row.dflt);
        pd.num_choices = countItems(row.items);
        pd.u.namesptr = row.items;
        break;
    }
    case PF_Param_CHECKBOX: {
        PF_CheckBoxDef& bd = def->u.bd;
        bd.value = static_cast<int32_t>(row.dflt);
        bd.dephault = static_cast<PF_Boolean>(row.dflt);
        bd.u.nameptr = uiString(takeEntry(nextEntry));   // always an empty label
        break;
    }
    case PF_Param_POINT: {
        PF_PointDef& td = def->u.td;
        td.x_value = td.x_dephault = percentToFixed(row.dflt);
        td.y_value = td.y_dephault = percentToFixed(row.dfltY);
        break;
    }
    default:
        break;   // groups carry nothing in the union
    }
}

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[],
                   PF_LayerDef* /*output*/) {
    int32_t nextEntry = kUiStringFirstParamName;
    for (const ParamRow& row : kParamRows) {
        PF_ParamDef def;
        std::memset(&def, 0, sizeof def);
        def.uu.id = row.id;
        def.param_type = row.type;
        def.flags = row.flags;
        if (row.type != PF_Param_GROUP_END) {
            in_data->utils->ansi.strcpy(def.name, uiString(takeEntry(&nextEntry)));
        }
        fillUnion(row, &def, &nextEntry);
        PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def);
        if (err != PF_Err_NONE) {
            return err;
        }
    }
    out_data->num_params = kParamCount + 1;   // the input layer counts as parameter 0
    return PF_Err_NONE;
}
