// The Hue, Saturation and Value combines eight pixel pairs at a time on
// AVX2. Only the *_avx2.cpp files are built with -mavx2 (CMakeLists.txt);
// this one runs only where cpuHasAvx2().
#include "effects/hsv_lanes.h"
#include "noise/lanes_avx2.h"

void combineHsvRunAvx2(HsvComponent from, const uint32_t* own, const uint32_t* partner,
                       int32_t count, uint32_t* out) {
    HsvLanes<Avx2Lanes>::combineRun(from, own, partner, count, out);
}
