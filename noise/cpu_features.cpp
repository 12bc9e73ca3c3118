#include "noise/cpu_features.h"

bool cpuHasAvx2() {
    // GCC's check also asks the operating system whether it saves the wide
    // registers, so a processor with AVX2 under a system without it says no.
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    return hasAvx2;
}
