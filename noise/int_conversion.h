// Float-to-int32 conversion that is defined for every input.
//
// A plain C++ cast of a value outside the int32 range (or of NaN) is
// undefined behaviour. These helpers give the result the x86-64 truncating
// conversion (cvttss2si / cvttsd2si) gives: truncation toward zero inside the
// range, and INT32_MIN for anything outside it or NaN. Written out
// explicitly so every compiler and platform agrees.
#pragma once

#include <cstdint>

inline int32_t truncToInt32(double v) {
    // The open interval (-2^31 - 1, 2^31) is exactly the set of doubles whose
    // truncation fits in int32; NaN fails both comparisons.
    if (v > -2147483649.0 && v < 2147483648.0) {
        return static_cast<int32_t>(v);
    }
    return INT32_MIN;
}

inline int32_t truncToInt32(float v) {
    // Every float is exactly representable as a double.
    return truncToInt32(static_cast<double>(v));
}
