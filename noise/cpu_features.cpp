#include "noise/cpu_features.h"

bool cpuHasAvx2() {
    // GCC's check also asks the operating system whether it saves the wide
    // registers, so a processor with AVX2 under a system without it says no.
    // The processor is read here rather than trusting a library constructor
    // to have run first (the Windows module links its runtime statically).
    static const bool hasAvx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return hasAvx2;
}
