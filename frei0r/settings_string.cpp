#include "frei0r/settings_string.h"

#include <cmath>

#include "frei0r/module_params.h"
#include "tools/presets.h"
#include "tools/settings.h"

namespace corvexel::frei0r {

std::vector<std::string> splitSettingsString(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '&' || text[i] == '\n' || text[i] == '\r') {
            std::string part = trimSetting(text.substr(start, i - start));
            if (!part.empty()) parts.push_back(std::move(part));
            start = i + 1;
        }
    }
    return parts;
}

std::string parseSettingsString(const std::string& text, const std::vector<ParamInfo>& catalog,
                                corvexel::host::ParamValues* values, ParsedSettings* parsed) {
    for (const std::string& part : splitSettingsString(text)) {
        std::string key, value;
        if (!splitSetting(part, &key, &value) || trimSetting(key).empty()) {
            return "expected NAME=VALUE, got \"" + part + "\"";
        }
        key = trimSetting(key);
        value = trimSetting(value);
        if (key == "time-unit") {
            if (value == "s" || value == "seconds") {
                parsed->milliseconds = false;
            } else if (value == "ms" || value == "milliseconds") {
                parsed->milliseconds = true;
            } else {
                return "time-unit must be seconds or ms, not \"" + value + "\"";
            }
        } else if (key == "threads") {
            double n = 0;
            if (!parseSettingNumber(value, &n) || n != std::trunc(n) || n < 0 ||
                n > kMaxRenderThreads) {
                return "threads must be a whole number 0 .. " + std::to_string(kMaxRenderThreads) +
                       ", not \"" + value + "\"";
            }
            parsed->threads = static_cast<int32_t>(n);
        } else if (key == "preset") {
            if (std::string error = applyPresetFile(catalog, values, value); !error.empty()) {
                return error;
            }
        } else if (std::string reason = applySetting(catalog, values, key, value);
                   !reason.empty()) {
            return reason;
        }
    }
    return "";
}

}  // namespace corvexel::frei0r
