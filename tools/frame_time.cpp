#include "tools/frame_time.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <numeric>

namespace {

// numerator / denominator in lowest terms, if it fits current_time/time_scale.
bool reduced(int64_t numerator, int64_t denominator, FrameTime* time) {
    if (denominator <= 0) return false;
    const int64_t divisor = std::gcd(std::llabs(numerator), denominator);
    numerator /= divisor == 0 ? 1 : divisor;
    denominator /= divisor == 0 ? 1 : divisor;
    if (numerator > INT32_MAX || numerator < -INT32_MAX || denominator > UINT32_MAX) {
        return false;
    }
    time->currentTime = static_cast<int32_t>(numerator);
    time->timeScale = static_cast<uint32_t>(denominator);
    return true;
}

}  // namespace

bool frameTimeAt(int64_t frame, uint32_t rateNumerator, uint32_t rateDenominator,
                 FrameTime* time) {
    if (rateNumerator == 0 || rateDenominator == 0 || frame < 0 ||
        frame > INT64_MAX / rateDenominator) {
        return false;
    }
    return reduced(frame * rateDenominator, rateNumerator, time);
}

bool frameTimeFromSeconds(double seconds, FrameTime* time) {
    if (!std::isfinite(seconds)) return false;
    for (int64_t perSecond : {kTimeTicksPerSecond, int64_t{1000}, int64_t{1}}) {
        const double ticks = std::nearbyint(seconds * static_cast<double>(perSecond));
        if (std::fabs(ticks) > 9.0e18) continue;   // beyond int64; try a coarser tick
        if (reduced(static_cast<int64_t>(ticks), perSecond, time)) return true;
    }
    return false;
}
