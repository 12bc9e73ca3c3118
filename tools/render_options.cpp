#include "tools/render_options.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "tools/frame_time.h"
#include "tools/image_limits.h"

namespace {

bool allDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

// Unsigned decimal integer up to `limit` (at most INT64_MAX).
bool parseBounded(const std::string& text, uint64_t limit, uint64_t* value) {
    if (!allDigits(text)) return false;
    uint64_t v = 0;
    for (char c : text) {
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (v > (limit - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

// "I" or "I.F" as numerator / 10^digits(F), both fitting the given limits.
bool parseDecimal(const std::string& text, uint64_t limit, uint64_t* numerator,
                  uint64_t* scale) {
    size_t dot = text.find('.');
    std::string whole = dot == std::string::npos ? text : text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (dot != std::string::npos && fraction.empty()) return false;
    if (!fraction.empty() && !allDigits(fraction)) return false;
    if (fraction.size() > 9) return false;
    uint64_t n = 0;
    if (!parseBounded(whole, limit, &n)) return false;
    uint64_t s = 1;
    for (char c : fraction) {
        n = n * 10 + static_cast<uint64_t>(c - '0');
        s *= 10;
        if (n > limit) return false;
    }
    *numerator = n;
    *scale = s;
    return true;
}

}  // namespace

bool parseTime(const std::string& text, RenderTime* time) {
    size_t slash = text.find('/');
    if (slash != std::string::npos) {
        uint64_t ct = 0, ts = 0;
        if (!parseBounded(text.substr(0, slash), INT32_MAX, &ct) ||
            !parseBounded(text.substr(slash + 1), UINT32_MAX, &ts) || ts == 0) {
            return false;
        }
        time->currentTime = static_cast<int32_t>(ct);
        time->timeScale = static_cast<uint32_t>(ts);
        return true;
    }
    uint64_t n = 0, s = 1;
    if (!parseDecimal(text, INT32_MAX, &n, &s)) return false;
    time->currentTime = static_cast<int32_t>(n);
    time->timeScale = static_cast<uint32_t>(s);
    return true;
}

bool parseSize(const std::string& text, int64_t* width, int64_t* height) {
    size_t x = text.find('x');
    if (x == std::string::npos) return false;
    uint64_t w = 0, h = 0;
    if (!parseBounded(text.substr(0, x), INT32_MAX, &w) ||
        !parseBounded(text.substr(x + 1), INT32_MAX, &h) || w == 0 || h == 0) {
        return false;
    }
    *width = static_cast<int64_t>(w);
    *height = static_cast<int64_t>(h);
    return true;
}

bool parseExtent(const std::string& text, int32_t rect[4]) {
    int32_t values[4];
    size_t start = 0;
    for (int32_t i = 0; i < 4; ++i) {
        const size_t comma = i < 3 ? text.find(',', start) : text.size();
        if (comma == std::string::npos) return false;
        uint64_t v = 0;
        if (!parseBounded(text.substr(start, comma - start), INT32_MAX, &v)) return false;
        values[i] = static_cast<int32_t>(v);
        start = comma + 1;
    }
    if (values[0] > values[2] || values[1] > values[3]) return false;
    for (int32_t i = 0; i < 4; ++i) rect[i] = values[i];
    return true;
}

bool parseSize(const std::string& text, int32_t* width, int32_t* height) {
    int64_t w = 0, h = 0;
    if (!parseSize(text, &w, &h) || !pictureSizeProblem(w, h).empty()) return false;
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return true;
}

bool parseFrameRange(const std::string& text, int64_t* first, int64_t* last) {
    size_t dash = text.find('-');
    if (dash == std::string::npos) return false;
    uint64_t a = 0, b = 0;
    if (!parseBounded(text.substr(0, dash), INT64_MAX, &a) ||
        !parseBounded(text.substr(dash + 1), INT64_MAX, &b) || a > b) {
        return false;
    }
    *first = static_cast<int64_t>(a);
    *last = static_cast<int64_t>(b);
    return true;
}

bool parseFrameRate(const std::string& text, uint32_t* numerator, uint32_t* scale) {
    uint64_t n = 0, s = 1;
    const size_t slash = text.find('/');
    if (slash != std::string::npos) {
        // "30000/1001": the exact rate of NTSC-style video.
        if (!parseBounded(text.substr(0, slash), UINT32_MAX, &n) ||
            !parseBounded(text.substr(slash + 1), UINT32_MAX, &s) || n == 0 || s == 0) {
            return false;
        }
    } else if (!parseDecimal(text, UINT32_MAX, &n, &s) || n == 0) {
        return false;
    }
    *numerator = static_cast<uint32_t>(n);
    *scale = static_cast<uint32_t>(s);
    return true;
}

bool isFramePattern(const std::string& pattern) {
    int conversions = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        ++i;
        if (i < pattern.size() && pattern[i] == '%') continue;
        // Optional zero flag and width, then exactly 'd'.
        if (i < pattern.size() && pattern[i] == '0') ++i;
        size_t digits = 0;
        while (i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i]))) {
            ++i;
            ++digits;
        }
        if (digits > 2 || i >= pattern.size() || pattern[i] != 'd') return false;
        ++conversions;
    }
    return conversions == 1;
}

std::string formatFrameName(const std::string& pattern, int64_t frame) {
    // The pattern has been checked by isFramePattern: one %d, nothing else.
    std::string name;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name += pattern[i];
            continue;
        }
        ++i;
        if (pattern[i] == '%') {
            name += '%';
            continue;
        }
        const char pad = pattern[i] == '0' ? '0' : ' ';
        size_t width = 0;
        while (std::isdigit(static_cast<unsigned char>(pattern[i]))) {
            width = width * 10 + static_cast<size_t>(pattern[i++] - '0');
        }
        const std::string digits = std::to_string(frame);
        if (digits.size() < width) name.append(width - digits.size(), pad);
        name += digits;   // pattern[i] is the 'd'
    }
    return name;
}

int64_t firstInexpressibleFrame(int64_t first, int64_t last, uint32_t numerator,
                                uint32_t scale) {
    // Frames up to INT32_MAX / scale always fit; past that only frames whose
    // time reduces do, and among consecutive frames one that does not comes
    // within a few steps (numbers prime to the numerator are dense), so this
    // loop is short.
    const int64_t alwaysFit = static_cast<int64_t>(INT32_MAX / scale);
    FrameTime time;
    for (int64_t n = std::max(first, alwaysFit + 1); n <= last; ++n) {
        if (!frameTimeAt(n, numerator, scale, &time)) return n;
        if (n == INT64_MAX) break;
    }
    return -1;
}
