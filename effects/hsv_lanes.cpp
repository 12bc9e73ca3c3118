// The Hue, Saturation and Value combines a run of pixel pairs at a time:
// the SSE2 form, and the choice between it and the AVX2 form.
#include "effects/hsv_lanes.h"
#include "noise/cpu_features.h"
#include "noise/lanes_sse2.h"

void combineHsvRunSse2(HsvComponent from, const uint32_t* own, const uint32_t* partner,
                       int32_t count, uint32_t* out) {
    HsvLanes<Sse2Lanes>::combineRun(from, own, partner, count, out);
}

void combineHsvRun(HsvComponent from, const uint32_t* own, const uint32_t* partner, int32_t count,
                   uint32_t* out) {
    if (cpuHasAvx2()) {
        combineHsvRunAvx2(from, own, partner, count, out);
    } else {
        combineHsvRunSse2(from, own, partner, count, out);
    }
}
