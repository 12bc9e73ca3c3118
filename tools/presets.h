// Settings files ("presets"): one look stored as text that every front end
// reads - `corvexel render --preset`, the video-tool module's preset=FILE -
// and `corvexel params --values` writes.
//
//   # Lines starting with '#' and blank lines are ignored.
//   Corvexel Amount=35
//   Channel Glitch/Channel Split/Channel=Red-Cyan
//   Transform Glitch/Position=50%,50%
//
// One NAME=VALUE a line: NAME is a parameter id or its group path, VALUE is
// written as --param and --set take it. Spaces around NAME and VALUE are
// ignored. Later lines win over earlier ones.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "tools/param_catalog.h"

struct SettingLine {
    int line = 0;   // 1-based line number in the text
    std::string key;
    std::string value;
};

// Files larger than this are refused rather than read into memory.
inline constexpr size_t kMaxPresetBytes = 1 << 20;

// Splits preset text into its assignments. Returns "" or "line N: reason".
std::string parsePresetText(const std::string& text, std::vector<SettingLine>* lines);

// Reads a preset file and applies it onto `values` line by line. Returns ""
// or a message naming the file and, for a bad line, its number:
// "looks/vhs.txt:3: unknown parameter: Amount". On failure `values` may hold
// the lines before the bad one; callers that must not change on failure
// apply onto a copy.
std::string applyPresetFile(const std::vector<ParamInfo>& catalog,
                            corvexel::host::ParamValues* values, const std::string& path);

// The value of one settable parameter as text that applySetting reads back
// to the same value; points in percent of the layer where that is exact.
std::string formatSettingValue(const ParamInfo& info, corvexel::host::ParamValues& values);

// Every settable parameter in force, as preset text.
std::string formatPreset(const std::vector<ParamInfo>& catalog,
                         corvexel::host::ParamValues& values);

// True for the kinds a setting can change (sliders, popups, checkboxes, points).
bool isSettable(const ParamInfo& info);
