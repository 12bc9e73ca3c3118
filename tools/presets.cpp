#include "tools/presets.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/settings.h"

using corvexel::host::ParamValues;

namespace {


// Shortest text that strtod reads back as `value`.
std::string shortestNumber(double value) {
    char buffer[40];
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
}

// A point coordinate in percent of `extent` that reads back to `fixed`, or
// "" when no short decimal does.
std::string percentText(PF_Fixed fixed, int32_t extent) {
    if (extent <= 0) return "";
    const double percent = static_cast<double>(fixed) / 65536.0 * 100.0 / extent;
    if (std::fabs(percent) > 1e6) return "";
    char buffer[64];
    for (int decimals = 0; decimals <= 12; ++decimals) {
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, percent);
        if (pointPercentToFixed(std::strtod(buffer, nullptr), extent) == fixed) {
            return std::string(buffer) + "%";
        }
    }
    return "";
}

std::string pointText(const PF_PointDef& point, const PF_LayerDef& layer) {
    std::string x = percentText(point.x_value, layer.width);
    std::string y = percentText(point.y_value, layer.height);
    if (!x.empty() && !y.empty()) return x + "," + y;
    return shortestNumber(point.x_value / 65536.0) + "," + shortestNumber(point.y_value / 65536.0);
}

// The key a line is written with: the group path where it names exactly this
// parameter, else the id.
std::string lineKey(const std::vector<ParamInfo>& catalog, const ParamInfo& info) {
    const std::string path = paramPath(info);
    if (!info.name.empty() && findParamId(catalog, path) == info.id) return path;
    return std::to_string(info.id);
}

}  // namespace

bool isSettable(const ParamInfo& info) {
    switch (info.def.param_type) {
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER:
    case PF_Param_POPUP:
    case PF_Param_CHECKBOX:
    case PF_Param_POINT: return true;
    default: return false;
    }
}

std::string parsePresetText(const std::string& text, std::vector<SettingLine>* lines) {
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        if (number == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);   // BOM
        const std::string line = trimSetting(raw);
        if (line.empty() || line[0] == '#') continue;
        SettingLine setting;
        setting.line = number;
        if (!splitSetting(line, &setting.key, &setting.value) || trimSetting(setting.key).empty()) {
            return "line " + std::to_string(number) + ": expected NAME=VALUE, got \"" + line + "\"";
        }
        setting.key = trimSetting(setting.key);
        setting.value = trimSetting(setting.value);
        lines->push_back(std::move(setting));
    }
    return "";
}

std::string applyPresetFile(const std::vector<ParamInfo>& catalog, ParamValues* values,
                            const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return path + ": cannot read: " + std::strerror(errno);
    std::string text;
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(file.gcount()));
        if (text.size() > kMaxPresetBytes) {
            return path + ": larger than " + std::to_string(kMaxPresetBytes) + " bytes";
        }
    }
    if (file.bad()) return path + ": cannot read";
    std::vector<SettingLine> lines;
    if (std::string error = parsePresetText(text, &lines); !error.empty()) {
        return path + ":" + error.substr(5);   // "line N: ..." -> "PATH:N: ..."
    }
    for (const SettingLine& line : lines) {
        std::string reason = applySetting(catalog, values, line.key, line.value);
        if (!reason.empty()) return path + ":" + std::to_string(line.line) + ": " + reason;
    }
    return "";
}

std::string formatSettingValue(const ParamInfo& info, ParamValues& values) {
    const PF_ParamDef& def = values.at(info.id);
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER: return shortestNumber(def.u.fs_d.value);
    case PF_Param_SLIDER: return std::to_string(def.u.sd.value);
    case PF_Param_CHECKBOX: return def.u.bd.value != 0 ? "on" : "off";
    case PF_Param_POPUP: {
        const int32_t item = def.u.pd.value;
        if (item >= 1 && static_cast<size_t>(item) <= info.items.size()) {
            const std::string& text = info.items[static_cast<size_t>(item) - 1];
            int same = 0;
            for (const std::string& other : info.items) same += other == text ? 1 : 0;
            if (text != "(-" && same == 1 && trimSetting(text) == text) return text;
        }
        return std::to_string(item);
    }
    case PF_Param_POINT: return pointText(def.u.td, values.at(0).u.ld);
    default: return "";
    }
}

std::string formatPreset(const std::vector<ParamInfo>& catalog, ParamValues& values) {
    std::string text =
        "# Corvexel look: one NAME=VALUE a line (NAME a parameter id or its group path).\n";
    std::string group = "\x01";
    for (const ParamInfo& info : catalog) {
        if (!isSettable(info)) continue;
        if (info.group != group) {
            group = info.group;
            text += "\n# " + (group.empty() ? std::string("Global") : group) + "\n";
        }
        if (info.name.empty()) text += "# " + paramPath(info) + "(no name), id " + std::to_string(info.id) + "\n";
        text += lineKey(catalog, info) + "=" + formatSettingValue(info, values) + "\n";
    }
    return text;
}
