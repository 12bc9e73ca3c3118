#include "frei0r/module_params.h"

#include "frei0r/frei0r_api.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>

#include "host/host.h"
#include "shell/entry.h"
#include "tools/presets.h"

namespace corvexel::frei0r {
namespace {

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

std::string range(double lo, double hi) { return number(lo) + " .. " + number(hi); }

ModuleParam sliderParam(const ParamInfo& info, ParamKind kind) {
    ModuleParam p;
    p.kind = kind;
    p.type = F0R_PARAM_DOUBLE;
    double dflt = 0;
    if (kind == ParamKind::Float) {
        const PF_FloatSliderDef& d = info.def.u.fs_d;
        p.sliderMin = d.slider_min, p.sliderMax = d.slider_max;
        p.validMin = d.valid_min, p.validMax = d.valid_max;
        p.decimals = d.precision;
        dflt = d.dephault;
    } else {
        const PF_SliderDef& d = info.def.u.sd;
        p.sliderMin = d.slider_min, p.sliderMax = d.slider_max;
        p.validMin = d.valid_min, p.validMax = d.valid_max;
        dflt = d.dephault;
    }
    p.explanation = "0 .. 1 = " + range(p.sliderMin, p.sliderMax) + " in steps of " +
                    number(std::pow(10.0, -p.decimals)) + " (accepts " +
                    range(p.validMin, p.validMax) + "), default " + number(dflt);
    return p;
}

ModuleParam popupParam(const ParamInfo& info) {
    ModuleParam p;
    p.kind = ParamKind::Popup;
    p.type = F0R_PARAM_DOUBLE;
    std::string items;
    for (size_t i = 0; i < info.items.size(); ++i) {
        if (info.items[i] == "(-") continue;
        items.append(" ").append(std::to_string(i + 1)).append(" ").append(info.items[i]).append(",");
    }
    p.explanation = "item number:" + items + " default " + std::to_string(info.def.u.pd.dephault);
    return p;
}

std::vector<ModuleParam> buildParams(const std::vector<ParamInfo>& catalog) {
    std::vector<ModuleParam> params;
    ModuleParam settings;
    settings.name = "settings";
    settings.type = F0R_PARAM_STRING;
    settings.kind = ParamKind::Settings;
    settings.explanation =
        "NAME=VALUE assignments joined by '&': parameter ids or group paths with the "
        "values corvexel render takes, preset=FILE, time-unit=seconds|ms, threads=N";
    params.push_back(settings);

    std::string previousName;
    for (const ParamInfo& info : catalog) {
        if (!isSettable(info)) continue;
        ModuleParam p;
        switch (info.def.param_type) {
        case PF_Param_FLOAT_SLIDER: p = sliderParam(info, ParamKind::Float); break;
        case PF_Param_SLIDER: p = sliderParam(info, ParamKind::Int); break;
        case PF_Param_POPUP: p = popupParam(info); break;
        case PF_Param_CHECKBOX:
            p.kind = ParamKind::Checkbox;
            p.type = F0R_PARAM_BOOL;
            p.explanation = std::string("default ") + (info.def.u.bd.dephault ? "on" : "off");
            break;
        default:
            p.kind = ParamKind::Point;
            p.type = F0R_PARAM_POSITION;
            p.explanation = "position in the frame, 0 .. 1 across and down, default " +
                            number(info.def.u.td.x_dephault / 65536.0 / 100.0) + ", " +
                            number(info.def.u.td.y_dephault / 65536.0 / 100.0);
            break;
        }
        p.id = info.id;
        // An unnamed control continues the one above it (the second crop
        // corner under "Crop"), so it is named after that one.
        p.name = info.name.empty() ? previousName + " 2" : paramPath(info);
        previousName = paramPath(info);
        params.push_back(std::move(p));
    }

    ModuleParam threads;
    threads.name = "Render Threads";
    threads.type = F0R_PARAM_DOUBLE;
    threads.kind = ParamKind::Threads;
    threads.explanation = "threads that render one frame, the number itself (0 .. " +
                          std::to_string(kMaxRenderThreads) + "); 0 = one per processor";
    params.push_back(threads);
    return params;
}

}  // namespace

const ModuleInfo* moduleInfo(std::string* error) {
    static std::once_flag once;
    static ModuleInfo info;
    static std::string failure;
    static bool ready = false;
    std::call_once(once, [] {
        try {
            info.declared = corvexel::host::declareParams(EntryPointFunc);
            info.catalog = buildParamCatalog(info.declared);
            info.params = buildParams(info.catalog);
            ready = true;
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!ready && error != nullptr) *error = failure;
    return ready ? &info : nullptr;
}

}  // namespace corvexel::frei0r
