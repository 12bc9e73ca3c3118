// The table of every text the user sees: the effect's name and About
// description, and the names and checkbox labels of the parameters.
#pragma once

#include <cstdint>

inline constexpr int32_t kUiStringCount = 104;
inline constexpr int32_t kUiStringTextSize = 256;

// Well-known entries.
inline constexpr int32_t kUiStringEffectName = 1;
inline constexpr int32_t kUiStringDescription = 2;
inline constexpr int32_t kUiStringFirstParamName = 3;

struct UiStringEntry {
    int32_t id;
    char text[kUiStringTextSize];
};

// The whole table; record n has id n.
extern const UiStringEntry kUiStrings[kUiStringCount];

// The text of entry `id` (0 .. 103). Empty entries give "", never null.
// Only table ids are ever asked for, so there is no range check here.
const char* uiString(int32_t id);
