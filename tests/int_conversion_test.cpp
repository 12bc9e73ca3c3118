// truncToInt32: truncation toward zero inside int32, INT32_MIN outside it and
// for NaN, as the x86-64 truncating conversions give.
#include "noise/int_conversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define CORVEXEL_HAVE_X86_CONVERSION 1
#endif

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct DoubleCase {
    double in;
    int32_t out;
};

TEST(TruncToInt32, DoubleEdges) {
    const DoubleCase cases[] = {
        {0.0, 0},
        {-0.0, 0},
        {0.999999, 0},
        {-0.999999, 0},  // toward zero, not down
        {1.5, 1},
        {-1.5, -1},
        {4.9e-324, 0},                      // smallest denormal
        {2147483647.0, INT32_MAX},
        {2147483647.999999, INT32_MAX},     // just below 2^31 still fits
        {2147483648.0, INT32_MIN},          // 2^31 does not
        {2147483648.5, INT32_MIN},
        {-2147483648.0, INT32_MIN},         // -2^31 fits exactly
        {-2147483648.999999, INT32_MIN},    // truncates to -2^31, fits
        {-2147483649.0, INT32_MIN},         // below the range
        {1e27, INT32_MIN},
        {-1e27, INT32_MIN},
        {std::numeric_limits<double>::max(), INT32_MIN},
        {std::numeric_limits<double>::lowest(), INT32_MIN},
        {kInf, INT32_MIN},
        {-kInf, INT32_MIN},
        {kNaN, INT32_MIN},
        {-kNaN, INT32_MIN},
    };
    for (const DoubleCase& c : cases) {
        EXPECT_EQ(truncToInt32(c.in), c.out) << "double " << c.in;
    }
}

struct FloatCase {
    float in;
    int32_t out;
};

TEST(TruncToInt32, FloatEdges) {
    // Near 2^31 floats are 128 apart: 2147483520 is the largest below 2^31
    // and -2147483904 the nearest below -2^31.
    const FloatCase cases[] = {
        {-0.0f, 0},
        {-0.7f, 0},
        {-3.0f, -3},
        {16777217.0f, 16777216},  // not representable: the float is 2^24
        {2147483520.0f, 2147483520},
        {2147483648.0f, INT32_MIN},
        {-2147483648.0f, INT32_MIN},
        {-2147483520.0f, -2147483520},
        {-2147483904.0f, INT32_MIN},
        {1e27f, INT32_MIN},
        {std::numeric_limits<float>::infinity(), INT32_MIN},
        {-std::numeric_limits<float>::infinity(), INT32_MIN},
        {std::numeric_limits<float>::quiet_NaN(), INT32_MIN},
        {std::numeric_limits<float>::denorm_min(), 0},
    };
    for (const FloatCase& c : cases) {
        EXPECT_EQ(truncToInt32(c.in), c.out) << "float " << c.in;
    }
}

#ifdef CORVEXEL_HAVE_X86_CONVERSION
// On the reference machine the helper must agree with the processor's own
// truncating conversions for every input, not just the chosen edges.
TEST(TruncToInt32, MatchesTheProcessorOnRandomBitPatterns) {
    std::mt19937_64 random(20240601);
    for (int n = 0; n < 200000; ++n) {
        const uint64_t bits = random();
        const double d = std::bit_cast<double>(bits);
        // Narrow the exponent as often as not so most draws land near int32.
        const double near = std::ldexp(static_cast<double>(bits >> 11) / 9007199254740992.0,
                                       static_cast<int>(bits % 40)) *
                            ((bits & 0x400) ? -1.0 : 1.0);
        for (double v : {d, near}) {
            ASSERT_EQ(truncToInt32(v), _mm_cvttsd_si32(_mm_set_sd(v))) << "double " << v;
        }
        const float nearFloat = static_cast<float>(near);  // |near| < 2^40: no overflow
        ASSERT_EQ(truncToInt32(nearFloat), _mm_cvtt_ss2si(_mm_set_ss(nearFloat)))
            << "float " << nearFloat;
        const float raw = std::bit_cast<float>(static_cast<uint32_t>(bits));
        ASSERT_EQ(truncToInt32(raw), _mm_cvtt_ss2si(_mm_set_ss(raw))) << "float " << raw;
    }
}
#endif

}  // namespace
