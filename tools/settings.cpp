#include "tools/settings.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

using corvexel::host::ParamValues;

bool splitSetting(const std::string& text, std::string* key, std::string* value) {
    size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0) return false;
    *key = text.substr(0, eq);
    *value = text.substr(eq + 1);
    return true;
}

std::string trimSetting(const std::string& text) {
    const char* space = " \t\r\n";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool parseSettingNumber(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

PF_Fixed pointPercentToFixed(double percent, int32_t extent) {
    const int64_t fixedPercent = std::llround(percent * 65536.0);
    return static_cast<PF_Fixed>(fixedPercent * extent / 100);
}

std::string applySetting(const std::vector<ParamInfo>& catalog, ParamValues* values,
                         const std::string& key, const std::string& text) {
    int32_t id = findParamId(catalog, key);
    if (id < 1 || id > static_cast<int32_t>(catalog.size())) {
        return "unknown parameter: " + key;
    }
    const ParamInfo& info = catalog[static_cast<size_t>(id - 1)];
    const std::string kind = info.kind;
    const std::string bad = "invalid value for " + key + ": " + text;
    double number = 0;
    if (kind == "float") {
        const PF_FloatSliderDef& d = info.def.u.fs_d;
        if (!parseSettingNumber(text, &number) || number < d.valid_min || number > d.valid_max) {
            return bad;
        }
        values->setFloat(id, number);
    } else if (kind == "int") {
        const PF_SliderDef& d = info.def.u.sd;
        if (!parseSettingNumber(text, &number) || number != std::trunc(number) ||
            number < d.valid_min || number > d.valid_max) {
            return bad;
        }
        values->setInt(id, static_cast<int32_t>(number));
    } else if (kind == "checkbox") {
        if (text == "1" || text == "on") {
            values->setCheckbox(id, true);
        } else if (text == "0" || text == "off") {
            values->setCheckbox(id, false);
        } else {
            return bad;
        }
    } else if (kind == "popup") {
        int32_t item = 0;
        for (size_t i = 0; i < info.items.size(); ++i) {
            if (info.items[i] == text && text != "(-") item = static_cast<int32_t>(i + 1);
        }
        if (item == 0) {
            if (!parseSettingNumber(text, &number) || number != std::trunc(number) || number < 1 ||
                number > static_cast<double>(info.items.size()) ||
                info.items[static_cast<size_t>(number) - 1] == "(-") {
                return bad;
            }
            item = static_cast<int32_t>(number);
        }
        values->setPopup(id, item);
    } else if (kind == "point") {
        size_t comma = text.find(',');
        if (comma == std::string::npos) return bad;
        std::string xText = text.substr(0, comma), yText = text.substr(comma + 1);
        const bool percent = !xText.empty() && xText.back() == '%';
        if (percent != (!yText.empty() && yText.back() == '%')) return bad;
        if (percent) {
            xText.pop_back();
            yText.pop_back();
        }
        double x = 0, y = 0;
        if (!parseSettingNumber(xText, &x) || !parseSettingNumber(yText, &y)) return bad;
        if (percent) {
            // Percent of the layer, so one look fits every frame size.
            const PF_LayerDef& layer = values->at(0).u.ld;
            if (std::fabs(x) * layer.width > 3276700.0 || std::fabs(y) * layer.height > 3276700.0) {
                return bad;
            }
            values->setPoint(id, pointPercentToFixed(x, layer.width),
                             pointPercentToFixed(y, layer.height));
            return "";
        }
        if (std::fabs(x) > 32767.0 || std::fabs(y) > 32767.0) return bad;
        values->setPoint(id, static_cast<PF_Fixed>(std::lround(x * 65536.0)),
                         static_cast<PF_Fixed>(std::lround(y * 65536.0)));
    } else {
        return "not a settable parameter: " + key;
    }
    return "";
}

