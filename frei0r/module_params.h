// The module's frei0r parameters: "settings" first, then every parameter the
// effect declares (group starts and ends aside) in declaration order, then
// "Render Threads". Built once from the effect's own declarations and never
// changed afterwards, so every instance reads it without a lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/pf_types.h"
#include "tools/param_catalog.h"

namespace corvexel::frei0r {

enum class ParamKind { Settings, Float, Int, Popup, Checkbox, Point, Threads };

struct ModuleParam {
    std::string name;          // unique: the group path ("Channel Glitch/Channel Split/Channel")
    std::string explanation;
    int type = 0;              // F0R_PARAM_*
    ParamKind kind = ParamKind::Settings;
    int32_t id = 0;            // the effect's parameter id; 0 for settings and threads
    double sliderMin = 0, sliderMax = 0;   // sliders: what 0 and 1 stand for
    double validMin = 0, validMax = 0;     // sliders: what the effect accepts
    int decimals = 0;                      // sliders: the decimals the effect shows
};

struct ModuleInfo {
    std::vector<PF_ParamDef> declared;   // the effect's declarations, id order
    std::vector<ParamInfo> catalog;
    std::vector<ModuleParam> params;     // frei0r parameter index order
};

// The module's parameter table, made on first use (thread-safe) by asking
// the effect to declare its parameters. Null if that failed; `error` says why.
const ModuleInfo* moduleInfo(std::string* error);

// Most threads an instance renders a frame with (and the value of
// "Render Threads" that a host may set).
inline constexpr int32_t kMaxRenderThreads = 256;

}  // namespace corvexel::frei0r
