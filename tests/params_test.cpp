// The 101 parameter declarations against a table written out here from the
// effect's documented controls, and the add_param failure path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/host.h"
#include "shell/entry.h"
#include "shell/param_set.h"
#include "shell/ui_strings.h"

namespace {

using corvexel::host::Host;
using corvexel::host::HostOptions;

enum Kind { F, I, P, C, PT, GS, GE };

// One expected declaration. Sliders: dflt, valid and slider bounds. Popups:
// dflt item and the item string. Checkboxes: dflt 0/1. Points: (dflt, y) in
// percent. Group starts: collapsed or open.
struct Expected {
    int32_t id;
    Kind kind;
    const char* name;
    double dflt;
    double vmin, vmax, smin, smax;
    const char* items;
    bool collapsed;
};

const char* const kListA = "Red|Green|Blue|Alpha|(-|Luminance|Lightness|Hue|Saturation|(-|Noise";
const char* const kListB = "Red-Cyan|Green-Magenta|Blue-Yellow|(-|Y'|Cb|Cr|(-|Hue|Saturation|Value";
const char* const kListC = "Luma|Lightness|Hue|Saturation|(-|Red|Green|Blue|Alpha";
const char* const kListD =
    "Normal|Copy|Behind|In Front|(-|Darken|Multiply|Color Burn|Classic Color Burn|Linear Burn|"
    "Darker Color|(-|Add|Lighten|Screen|Color Dodge|Classic Color Dodge|Linear Dodge|"
    "Lighter Color|(-|Overlay|Soft Light|Hard Light|Linear Light|Vidid Light|Pin Light|"
    "Hard Mix|(-|Difference|Classic Difference|Exclusion|Subtract|Divide|(-|Hue|Saturation|"
    "Color|Luminosity|(-|Stencil Alpha|Stencil Luma|Silhouette Alpha|Silhouette Luma|(-|"
    "Additive Premultiply|Alpha Add";
const char* const kListE = "Horizontal|Vertical|Horizontal and Vertical";

const Expected kExpected[] = {
    {1, F, "Corvexel Amount", 50, 0, 100, 0, 100, nullptr, false},
    {2, F, "Corvexel Speed", 50, 0, 100, 0, 100, nullptr, false},
    {3, I, "Random Seed", 0, 0, 32768, 0, 32768, nullptr, false},
    {4, GS, "Transition", 0, 0, 0, 0, 0, nullptr, true},
    {5, F, "Completion", 0, 0, 100, 0, 100, nullptr, false},
    {6, F, "Softness", 10, 0, 100, 0, 100, nullptr, false},
    {7, P, "Channel", 7, 0, 0, 0, 0, kListA, false},
    {8, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {9, GS, "Transform Glitch", 0, 0, 0, 0, 0, nullptr, true},
    {10, F, "Speed", 1, 0, 100, 0, 100, nullptr, false},
    {11, PT, "Position", 50, 0, 0, 0, 0, nullptr, false},
    {12, F, "Position Wiggle", 0, 0, 30000, 0, 100, nullptr, false},
    {13, F, "Scale", 100, -30000, 30000, -200, 200, nullptr, false},
    {14, F, "Scale Wiggle", 0, 0, 30000, 0, 100, nullptr, false},
    {15, PT, "Crop", 0, 0, 0, 0, 0, nullptr, false},
    {16, PT, "", 100, 0, 0, 0, 0, nullptr, false},
    {17, F, "Crop Wiggle", 0, 0, 30000, 0, 100, nullptr, false},
    {18, F, "Opacity", 100, 0, 100, 0, 100, nullptr, false},
    {19, P, "Transfer Mode", 1, 0, 0, 0, 0, kListD, false},
    {20, C, "Composite Over", 0, 0, 0, 0, 0, nullptr, false},
    {21, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {22, GS, "Channel Glitch", 0, 0, 0, 0, 0, nullptr, true},
    {23, C, "Enable", 1, 0, 0, 0, 0, nullptr, false},
    {24, GS, "Channel Split", 0, 0, 0, 0, 0, nullptr, false},
    {25, P, "Channel", 10, 0, 0, 0, 0, kListB, false},
    {26, F, "Horizontal Amount", 50, -100, 100, -100, 100, nullptr, false},
    {27, F, "Vertical amount", 0, -100, 100, -100, 100, nullptr, false},
    {28, F, "Speed Multiplier", 0, 0, 10, 0, 10, nullptr, false},
    {29, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {30, GS, "Channel Scale", 0, 0, 0, 0, 0, nullptr, false},
    {31, F, "Scale", 30, -800, 800, -800, 800, nullptr, false},
    {32, P, "Channel", 1, 0, 0, 0, 0, kListC, false},
    {33, C, "Vertical", 0, 0, 0, 0, 0, nullptr, false},
    {34, F, "Offset", 50, 0, 100, 0, 100, nullptr, false},
    {35, F, "Speed Multiplier", 3, 0, 10, 0, 10, nullptr, false},
    {36, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {37, P, "Transfer Mode", 1, 0, 0, 0, 0, kListD, false},
    {38, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {39, GS, "Color Glitch", 0, 0, 0, 0, 0, nullptr, true},
    {40, C, "Enable", 1, 0, 0, 0, 0, nullptr, false},
    {41, F, "Offset", 20, 0, 100, 0, 100, nullptr, false},
    {42, F, "Amount", 80, 0, 100, 0, 100, nullptr, false},
    {43, F, "Opacity", 25, 0, 100, 0, 100, nullptr, false},
    {44, P, "Transfer Mode", 1, 0, 0, 0, 0, kListD, false},
    {45, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {46, GS, "Image Glitch", 0, 0, 0, 0, 0, nullptr, true},
    {47, C, "Enable", 1, 0, 0, 0, 0, nullptr, false},
    {48, F, "Pixel Streak", 25, 0, 100, 0, 100, nullptr, false},
    {49, C, "Vertical Sort", 0, 0, 0, 0, 0, nullptr, false},
    {50, GS, "Glitch Slice", 0, 0, 0, 0, 0, nullptr, false},
    {51, F, "Amount", 50, 0, 100, 0, 100, nullptr, false},
    {52, F, "Position", 50, 0, 100, 0, 100, nullptr, false},
    {53, F, "Opacity", 50, 0, 100, 0, 100, nullptr, false},
    {54, P, "Transfer Mode", 33, 0, 0, 0, 0, kListD, false},
    {55, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {56, GS, "Glitch Block", 0, 0, 0, 0, 0, nullptr, false},
    {57, F, "Amount", 50, 0, 100, 0, 100, nullptr, false},
    {58, F, "Speed Multiplier", 50, 0, 100, 0, 100, nullptr, false},
    {59, F, "Horizontal Size", 150, 0, 100000, 10, 64, nullptr, false},
    {60, F, "Vertical Size", 50, 0, 100000, 10, 64, nullptr, false},
    {61, P, "Direction", 1, 0, 0, 0, 0, kListE, false},
    {62, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {63, P, "Transfer Mode", 21, 0, 0, 0, 0, kListD, false},
    {64, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {65, GS, "Compression Glitch", 0, 0, 0, 0, 0, nullptr, true},
    {66, C, "Enable", 0, 0, 0, 0, 0, nullptr, false},
    {67, F, "Multiplier", 50, 0, 100, 0, 100, nullptr, false},
    {68, F, "Dither Amount", 50, 0, 100, 0, 100, nullptr, false},
    {69, F, "JPEG Amount", 50, 0, 100, 0, 100, nullptr, false},
    {70, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {71, GS, "Advanced", 0, 0, 0, 0, 0, nullptr, true},
    {72, GS, "Randomness", 0, 0, 0, 0, 0, nullptr, true},
    {73, C, "Show noise engine", 0, 0, 0, 0, 0, nullptr, false},
    {74, F, "Gain", 1.5, 0, 5, 0, 5, nullptr, false},
    {75, F, "Lacunarity", 10, 0, 30, 0, 30, nullptr, false},
    {76, I, "Octaves", 2, 0, 16, 0, 16, nullptr, false},
    {77, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {78, GS, "Split", 0, 0, 0, 0, 0, nullptr, true},
    {79, C, "Repeat Edge Pixels", 1, 0, 0, 0, 0, nullptr, false},
    {80, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {81, GS, "Channel Scale", 0, 0, 0, 0, 0, nullptr, true},
    {82, C, "Sigmoidal Steps", 0, 0, 0, 0, 0, nullptr, false},
    {83, F, "Quantization Steps", 2, 1, 64, 1, 64, nullptr, false},
    {84, C, "Fill Gaps", 0, 0, 0, 0, 0, nullptr, false},
    {85, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {86, GS, "Pixel Sort", 0, 0, 0, 0, 0, nullptr, true},
    {87, C, "Use Noise", 1, 0, 0, 0, 0, nullptr, false},
    {88, I, "Noise Cutoff", 50, 0, 100, 0, 100, nullptr, false},
    {89, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {90, GS, "Slice", 0, 0, 0, 0, 0, nullptr, true},
    {91, F, "Quality", 10, 0, 100, 0, 100, nullptr, false},
    {92, F, "Max Random Shift", 40, 0, 100, 0, 100, nullptr, false},
    {93, F, "Quantization Steps", 8, 1, 64, 1, 64, nullptr, false},
    {94, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {95, GS, "Block", 0, 0, 0, 0, 0, nullptr, true},
    {96, F, "Grouping Factor", 5, 0, 1000, 0, 1000, nullptr, false},
    {97, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {98, GS, "Transform", 0, 0, 0, 0, 0, nullptr, true},
    {99, F, "Wiggle Quantization Steps", 2, 1, 64, 1, 64, nullptr, false},
    {100, GE, "", 0, 0, 0, 0, 0, nullptr, false},
    {101, GE, "", 0, 0, 0, 0, 0, nullptr, false},
};
static_assert(sizeof kExpected / sizeof kExpected[0] == 101);

int16_t itemCount(const char* items) {
    int16_t count = 1;
    for (const char* c = items; *c; ++c) {
        count += *c == '|';
    }
    return count;
}

// The whole definition the plug-in should hand over: zeroed, then only the
// fields the declaration sets. Pointer members are left null here and
// compared by their text separately.
PF_ParamDef expectedDef(const Expected& e) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.uu.id = e.id;
    std::strcpy(def.name, e.name);
    def.flags = e.collapsed ? PF_ParamFlag_START_COLLAPSED : 0;
    switch (e.kind) {
    case F:
        def.param_type = PF_Param_FLOAT_SLIDER;
        def.u.fs_d.value = e.dflt;
        def.u.fs_d.dephault = static_cast<float>(e.dflt);
        def.u.fs_d.valid_min = static_cast<float>(e.vmin);
        def.u.fs_d.valid_max = static_cast<float>(e.vmax);
        def.u.fs_d.slider_min = static_cast<float>(e.smin);
        def.u.fs_d.slider_max = static_cast<float>(e.smax);
        def.u.fs_d.precision = 2;
        def.u.fs_d.curve_tolerance = 0.05f;
        break;
    case I:
        def.param_type = PF_Param_SLIDER;
        def.u.sd.value = def.u.sd.dephault = static_cast<int32_t>(e.dflt);
        def.u.sd.valid_min = static_cast<int32_t>(e.vmin);
        def.u.sd.valid_max = static_cast<int32_t>(e.vmax);
        def.u.sd.slider_min = static_cast<int32_t>(e.smin);
        def.u.sd.slider_max = static_cast<int32_t>(e.smax);
        break;
    case P:
        def.param_type = PF_Param_POPUP;
        def.u.pd.value = static_cast<int32_t>(e.dflt);
        def.u.pd.dephault = static_cast<int16_t>(e.dflt);
        def.u.pd.num_choices = itemCount(e.items);
        break;
    case C:
        def.param_type = PF_Param_CHECKBOX;
        def.u.bd.value = static_cast<int32_t>(e.dflt);
        def.u.bd.dephault = static_cast<PF_Boolean>(e.dflt);
        break;
    case PT: {
        def.param_type = PF_Param_POINT;
        // (50, 50) for Position, (0, 0) and (100, 100) for the crop corners.
        const PF_Fixed percent = static_cast<PF_Fixed>(e.dflt) << 16;
        def.u.td.x_value = def.u.td.x_dephault = percent;
        def.u.td.y_value = def.u.td.y_dephault = percent;
        break;
    }
    case GS:
        def.param_type = PF_Param_GROUP_START;
        break;
    case GE:
        def.param_type = PF_Param_GROUP_END;
        break;
    }
    return def;
}

// A bare host for ParamsSetup alone: add_param records a copy of every
// definition, and strcpy is the C library's.
std::vector<PF_ParamDef>* recorded = nullptr;

PF_Err recordParam(PF_ProgPtr, PF_ParamIndex index, PF_ParamDef* def) {
    EXPECT_EQ(index, -1);
    recorded->push_back(*def);
    return PF_Err_NONE;
}

char* libcStrcpy(char* dst, const char* src) {
    return std::strcpy(dst, src);
}

std::vector<PF_ParamDef> declareWithBareHost(PF_OutData* out) {
    std::vector<PF_ParamDef> defs;
    recorded = &defs;
    PF_UtilCallbacks utils{};
    utils.ansi.strcpy = libcStrcpy;
    PF_InData in{};
    in.inter.add_param = recordParam;
    in.utils = &utils;
    EXPECT_EQ(ParamsSetup(&in, out, nullptr, nullptr), PF_Err_NONE);
    recorded = nullptr;
    return defs;
}

bool pointsIntoStringTable(const char* text) {
    const char* begin = reinterpret_cast<const char*>(kUiStrings);
    return text >= begin && text < begin + sizeof kUiStrings;
}

TEST(ParamsSetup, DeclaresEveryParameterExactlyAsDocumented) {
    PF_OutData out{};
    std::vector<PF_ParamDef> defs = declareWithBareHost(&out);
    EXPECT_EQ(out.num_params, 102);
    ASSERT_EQ(defs.size(), 101u);
    for (const Expected& e : kExpected) {
        SCOPED_TRACE("id " + std::to_string(e.id) + " \"" + e.name + "\"");
        PF_ParamDef actual = defs[static_cast<size_t>(e.id - 1)];
        PF_ParamDef expected = expectedDef(e);
        if (e.kind == P) {
            ASSERT_NE(actual.u.pd.u.namesptr, nullptr);
            EXPECT_STREQ(actual.u.pd.u.namesptr, e.items);
            actual.u.pd.u.namesptr = nullptr;
        }
        if (e.kind == C) {
            ASSERT_NE(actual.u.bd.u.nameptr, nullptr);
            EXPECT_STREQ(actual.u.bd.u.nameptr, "");
            EXPECT_TRUE(pointsIntoStringTable(actual.u.bd.u.nameptr));
            actual.u.bd.u.nameptr = nullptr;
        }
        // Field by field for readable failures, then every byte, which also
        // proves that nothing else was set.
        EXPECT_EQ(actual.uu.id, expected.uu.id);
        EXPECT_EQ(actual.param_type, expected.param_type);
        EXPECT_STREQ(actual.name, expected.name);
        EXPECT_EQ(actual.flags, expected.flags);
        EXPECT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0) << "other bytes differ";
    }
}

// The popups' menus: lengths, the shared Transfer Mode list, and items that
// count the separators.
TEST(ParamsSetup, PopupMenusCountTheirSeparators) {
    PF_OutData out{};
    std::vector<PF_ParamDef> defs = declareWithBareHost(&out);
    struct Case {
        int32_t id;
        int16_t choices;
    } cases[] = {{7, 11}, {25, 11}, {32, 9}, {19, 46}, {37, 46}, {44, 46}, {54, 46}, {63, 46}, {61, 3}};
    for (const Case& c : cases) {
        EXPECT_EQ(defs[static_cast<size_t>(c.id - 1)].u.pd.num_choices, c.choices) << "id " << c.id;
    }
    // Every Transfer Mode popup shares one item string.
    for (int32_t id : {37, 44, 54, 63}) {
        EXPECT_EQ(defs[static_cast<size_t>(id - 1)].u.pd.u.namesptr, defs[18].u.pd.u.namesptr);
    }
}

TEST(ParamsSetup, EveryNameFitsTheHostNameField) {
    for (int32_t id = 3; id < kUiStringCount; ++id) {
        EXPECT_LE(std::strlen(uiString(id)), static_cast<size_t>(PF_MAX_EFFECT_PARAM_NAME_LEN))
            << "entry " << id;
    }
}

// A failing add_param ends the declarations at once with its error: the
// parameters before it stay declared and num_params is left as it was.
TEST(ParamsSetup, AddParamFailureStopsAndLeavesNumParamsUnwritten) {
    for (int64_t occurrence : {0, 1, 50, 100}) {
        SCOPED_TRACE("failing call " + std::to_string(occurrence));
        HostOptions options;
        options.faults.failCall = "add_param";
        options.faults.failCallOccurrence = occurrence;
        options.faults.failError = PF_Err_OUT_OF_MEMORY;
        Host host(options);
        host.outData()->num_params = -7;
        PF_Err err = host.send(EntryPointFunc, PF_Cmd_PARAMS_SETUP, nullptr, nullptr);
        EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(host.outData()->num_params, -7);
        const std::vector<PF_ParamDef>& declared = host.declaredParams();
        ASSERT_EQ(static_cast<int64_t>(declared.size()), occurrence);
        for (size_t i = 0; i < declared.size(); ++i) {
            EXPECT_EQ(declared[i].uu.id, static_cast<int32_t>(i + 1));
        }
        EXPECT_TRUE(host.books().clean()) << host.books().describe();
    }
}

// Through the entry point and the embedded host, as the host sees it.
TEST(ParamsSetup, HostReceivesAllDeclarations) {
    Host host;
    ASSERT_EQ(host.send(EntryPointFunc, PF_Cmd_PARAMS_SETUP, nullptr, nullptr), PF_Err_NONE);
    EXPECT_EQ(host.outData()->num_params, 102);
    ASSERT_EQ(host.declaredParams().size(), 101u);
    EXPECT_STREQ(host.declaredParams()[98].name, "Wiggle Quantization Steps");
    EXPECT_TRUE(host.books().clean()) << host.books().describe();
}

}  // namespace
