#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tools/cli.h"
#include "tools/param_catalog.h"
#include "tools/plugin_loader.h"
#include "tools/presets.h"
#include "tools/render_options.h"
#include "tools/settings.h"

namespace {

// Shortest decimal text that reads back as the same double; "null" for a
// value JSON cannot carry.
std::string formatNumber(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char buffer[40];
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);   // whole numbers without exponent
        return buffer;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value) {
            break;
        }
    }
    return buffer;
}

double fixedToDouble(PF_Fixed value) {
    return static_cast<double>(value) / 65536.0;
}

bool isSlider(const ParamInfo& info) {
    return info.def.param_type == PF_Param_FLOAT_SLIDER || info.def.param_type == PF_Param_SLIDER;
}

struct Range {
    double min, max;
};

Range validRange(const ParamInfo& info) {
    if (info.def.param_type == PF_Param_FLOAT_SLIDER) {
        return {info.def.u.fs_d.valid_min, info.def.u.fs_d.valid_max};
    }
    return {static_cast<double>(info.def.u.sd.valid_min),
            static_cast<double>(info.def.u.sd.valid_max)};
}

Range sliderRange(const ParamInfo& info) {
    if (info.def.param_type == PF_Param_FLOAT_SLIDER) {
        return {info.def.u.fs_d.slider_min, info.def.u.fs_d.slider_max};
    }
    return {static_cast<double>(info.def.u.sd.slider_min),
            static_cast<double>(info.def.u.sd.slider_max)};
}

// The default as text: a number, "[x, y]" (percent) for points, "" for groups.
std::string defaultText(const ParamInfo& info) {
    const PF_ParamDefUnion& u = info.def.u;
    switch (info.def.param_type) {
    case PF_Param_FLOAT_SLIDER: return formatNumber(u.fs_d.dephault);
    case PF_Param_SLIDER: return formatNumber(u.sd.dephault);
    case PF_Param_POPUP: return formatNumber(u.pd.dephault);
    case PF_Param_CHECKBOX: return formatNumber(u.bd.dephault);
    case PF_Param_POINT:
        return "[" + formatNumber(fixedToDouble(u.td.x_dephault)) + ", " +
               formatNumber(fixedToDouble(u.td.y_dephault)) + "]";
    default: return "";
    }
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string jsonRange(Range range) {
    return "[" + formatNumber(range.min) + ", " + formatNumber(range.max) + "]";
}

std::string jsonObject(const ParamInfo& info) {
    std::string defaultValue = defaultText(info);
    std::string out = "{\"id\": " + std::to_string(info.id) + ", \"group\": " +
                      jsonString(info.group) + ", \"name\": " + jsonString(info.name) +
                      ", \"kind\": " + jsonString(info.kind) +
                      ", \"default\": " + (defaultValue.empty() ? "null" : defaultValue);
    if (isSlider(info)) {
        out += ", \"valid\": " + jsonRange(validRange(info)) +
               ", \"slider\": " + jsonRange(sliderRange(info));
    }
    if (info.def.param_type == PF_Param_POPUP) {
        out += ", \"items\": [";
        for (size_t i = 0; i < info.items.size(); ++i) {
            out += (i == 0 ? "" : ", ") + jsonString(info.items[i]);
        }
        out += "]";
    }
    return out + "}";
}

void printJson(const std::vector<ParamInfo>& catalog) {
    std::puts("[");
    for (size_t i = 0; i < catalog.size(); ++i) {
        std::printf("  %s%s\n", jsonObject(catalog[i]).c_str(),
                    i + 1 < catalog.size() ? "," : "");
    }
    std::puts("]");
}

std::string textRange(Range range) {
    return formatNumber(range.min) + " .. " + formatNumber(range.max);
}

// One line per parameter: id, kind, group path and name, then the values.
std::string textLine(const ParamInfo& info) {
    std::string line = std::to_string(info.id);
    line.resize(5, ' ');
    line += info.kind;
    line.resize(18, ' ');
    if (info.def.param_type == PF_Param_GROUP_END) {
        line += "end of " + info.group;
    } else {
        line += info.name.empty() ? paramPath(info) + "(no name)" : paramPath(info);
    }
    std::string defaultValue = defaultText(info);
    if (info.def.param_type == PF_Param_POINT) {
        defaultValue += " %";
    }
    if (!defaultValue.empty()) {
        line += "  default " + defaultValue;
    }
    if (isSlider(info)) {
        line += "  valid " + textRange(validRange(info)) + "  slider " +
                textRange(sliderRange(info));
    }
    if (!info.items.empty()) {
        line += "  items";
        for (size_t i = 0; i < info.items.size(); ++i) {
            line += " " + std::to_string(i + 1) + ":\"" + info.items[i] + "\"";
        }
    }
    return line;
}

// What `params --values` is asked to start from: settings files, then
// single settings, on a layer of the given size (points need one).
struct ValuesRequest {
    bool wanted = false;
    std::vector<std::string> presets;
    std::vector<std::pair<std::string, std::string>> settings;
    int32_t width = 1280;
    int32_t height = 720;
};

// Prints the parameters in force as a settings file. Returns the exit code.
int printValues(const std::vector<PF_ParamDef>& declared, const std::vector<ParamInfo>& catalog,
                const ValuesRequest& request) {
    PF_LayerDef layer{};
    layer.width = request.width;
    layer.height = request.height;
    corvexel::host::ParamValues values(declared, layer);
    for (const std::string& preset : request.presets) {
        if (std::string reason = applyPresetFile(catalog, &values, preset); !reason.empty()) {
            std::fprintf(stderr, "corvexel params: %s\n", reason.c_str());
            return kExitUsage;
        }
    }
    for (const auto& [key, text] : request.settings) {
        if (std::string reason = applySetting(catalog, &values, key, text); !reason.empty()) {
            std::fprintf(stderr, "corvexel params: %s\n", reason.c_str());
            return kExitUsage;
        }
    }
    std::fputs(formatPreset(catalog, values).c_str(), stdout);
    return kExitSuccess;
}

}  // namespace

int runParams(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    PluginOptions options;
    std::string error;
    if (!takeModuleOption(&args, &options, &error)) {
        return usageError(error);
    }
    bool json = false;
    ValuesRequest values;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--preset" || arg == "--param" || arg == "--set" ||
                                arg == "--size";
        if (takesValue && i + 1 >= args.size()) {
            return usageError("params: option " + arg + " needs a value");
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--values") {
            values.wanted = true;
        } else if (arg == "--preset") {
            values.presets.push_back(args[++i]);
        } else if (arg == "--param" || arg == "--set") {
            std::string key, text;
            if (!splitSetting(args[++i], &key, &text)) {
                return usageError("params: malformed setting: " + args[i]);
            }
            values.settings.emplace_back(key, text);
        } else if (arg == "--size") {
            if (!parseSize(args[++i], &values.width, &values.height)) {
                return usageError("params: malformed size: " + args[i]);
            }
        } else {
            return usageError("params: unknown option \"" + arg + "\"");
        }
    }
    const bool startsFromValues = !values.presets.empty() || !values.settings.empty();
    if (json && values.wanted) return usageError("params: --json and --values go apart");
    if (startsFromValues && !values.wanted) {
        return usageError("params: --preset, --param and --set go with --values");
    }
    auto module = loadPlugin(options, &error);
    if (!module) {
        std::fprintf(stderr, "corvexel: %s\n", error.c_str());
        return kExitFailure;
    }
    std::vector<PF_ParamDef> declared;
    try {
        declared = corvexel::host::declareParams(module->entry());
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "corvexel: declaring the parameters failed: %s\n", failure.what());
        return kExitFailure;
    }
    // The popup item strings point into the module, which stays loaded here.
    std::vector<ParamInfo> catalog = buildParamCatalog(declared);
    if (values.wanted) return printValues(declared, catalog, values);
    if (json) {
        printJson(catalog);
    } else {
        for (const ParamInfo& info : catalog) {
            std::puts(textLine(info).c_str());
        }
    }
    return kExitSuccess;
}
