// Parameter settings as every front end takes them: "KEY=VALUE", where KEY is
// a parameter id or its group path ("Channel Glitch/Channel Split/Channel")
// and VALUE is a number for sliders, 0/1/on/off for checkboxes, an item
// number or the item text for popups, and "X,Y" in layer pixels for points.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "tools/param_catalog.h"

// Splits "KEY=VALUE" at its last '='; false when there is no '=' or no key.
bool splitSetting(const std::string& text, std::string* key, std::string* value);

// The text without the spaces, tabs and line breaks around it.
std::string trimSetting(const std::string& text);

// A finite decimal number, nothing before or after it.
bool parseSettingNumber(const std::string& text, double* value);

// A point coordinate in percent of the layer's width or height as 16.16
// layer pixels, converted as the host converts the declared defaults.
PF_Fixed pointPercentToFixed(double percent, int32_t extent);

// Checks one value against the parameter's kind and valid range and stores
// it in `values`. Returns "" or the reason it was refused (which names the
// key and the value as given).
std::string applySetting(const std::vector<ParamInfo>& catalog,
                         corvexel::host::ParamValues* values, const std::string& key,
                         const std::string& text);
