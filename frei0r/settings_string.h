// The "settings" parameter: assignments joined by '&' (or on separate
// lines), each one NAME=VALUE as `corvexel render --param/--set` takes it,
// plus three keys of the module's own:
//
//   preset=FILE        applies a settings file at that point
//   time-unit=seconds  the unit of the host's frame time: seconds (MLT,
//                      GStreamer; the default) or ms (FFmpeg)
//   threads=N          threads that render one frame, 0 = one per processor
//
// '&' was chosen because FFmpeg's filter-graph and option parsers leave it
// alone (',' ';' ':' '|' '[' ']' and quotes all mean something to them), and
// no parameter name or popup item contains it. Spaces around each part are
// ignored; empty parts are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"
#include "tools/param_catalog.h"

namespace corvexel::frei0r {

struct ParsedSettings {
    bool milliseconds = false;
    int32_t threads = 0;
};

// Splits the string at '&' and line breaks into trimmed, non-empty parts.
std::vector<std::string> splitSettingsString(const std::string& text);

// Applies every part in order onto `values` (fresh defaults) and fills
// `parsed`. Returns "" or the first part's reason for refusal.
std::string parseSettingsString(const std::string& text, const std::vector<ParamInfo>& catalog,
                                corvexel::host::ParamValues* values, ParsedSettings* parsed);

}  // namespace corvexel::frei0r
