// The noise field: known values bit for bit, the sampling operations' rules,
// purity, and a sweep over the whole parameter range that must stay finite
// and free of undefined behaviour (run it in the sanitizer build).
#include "noise/noise_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

struct FieldSettings {
    int32_t seed = 0;
    float speed = 50.0f;
    float timeSeconds = 0.5f;
    int32_t height = 1080;
    float gain = 1.5f;
    float lacunarity = 10.0f;
    int32_t octaves = 2;
};

NoiseField makeField(const FieldSettings& s) {
    NoiseField field;
    field.init(s.seed, s.speed, s.timeSeconds, s.height, s.gain, s.lacunarity, s.octaves);
    return field;
}

// The defaults of a fresh instance at 0.5 s: zTime = (0.5 * 2) * 50 = 50.
NoiseField defaultField(int32_t octaves = 2) {
    FieldSettings s;
    s.octaves = octaves;
    return makeField(s);
}

uint32_t bitsOf(float v) { return std::bit_cast<uint32_t>(v); }

std::string hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

// ---------------------------------------------------------------------------
// Known values

TEST(NoiseFieldKnownValues, PermutationForSeedsZeroAndOne) {
    const NoiseField seed0 = makeField({.seed = 0});
    const int32_t prefix0[] = {187, 232, 34, 115, 146, 29, 190, 230,
                               198, 247, 205, 236, 88, 128, 133, 11};
    for (int32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(seed0.perm[i], prefix0[i]) << "seed 0, entry " << i;
    }
    EXPECT_EQ(seed0.perm[255], 202);

    const NoiseField seed1 = makeField({.seed = 1});
    const int32_t prefix1[] = {205, 240, 162, 226, 237, 136, 227, 152};
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(seed1.perm[i], prefix1[i]) << "seed 1, entry " << i;
    }
}

TEST(NoiseFieldKnownValues, PermutationIsRepeatedPermutationOf0To255) {
    for (int32_t seed : {0, 1, 77, 32768, -1, INT32_MIN}) {
        const NoiseField field = makeField({.seed = seed});
        std::array<bool, 256> seen{};
        for (int32_t i = 0; i < 256; ++i) {
            ASSERT_GE(field.perm[i], 0);
            ASSERT_LE(field.perm[i], 255);
            EXPECT_FALSE(seen[field.perm[i]]) << "seed " << seed << " repeats " << field.perm[i];
            seen[field.perm[i]] = true;
            EXPECT_EQ(field.perm[256 + i], field.perm[i]) << "seed " << seed << ", entry " << i;
        }
    }
}

struct KnownValue {
    const char* what;
    int32_t octaves;
    std::function<float(const NoiseField&)> compute;
    uint32_t expectedBits;
};

TEST(NoiseFieldKnownValues, FloatResultsMatchBitForBit) {
    const KnownValue cases[] = {
        {"fbm(100, 200, 50), 2 octaves", 2, [](const NoiseField& f) { return f.fbm(100, 200, 50); },
         0x3F979B36},  // 1.1844242
        {"fbm(960, 540, 50), 2 octaves", 2, [](const NoiseField& f) { return f.fbm(960, 540, 50); },
         0x3EA4E964},  // 0.32209313
        {"fbm(1919, 1079, 50), 2 octaves", 2,
         [](const NoiseField& f) { return f.fbm(1919, 1079, 50); }, 0xBD00CA30},  // -0.031442821
        {"fbm(100, 200, 50), 1 octave", 1, [](const NoiseField& f) { return f.fbm(100, 200, 50); },
         0x3F6CCDE5},  // 0.9250167
        {"fbm(960, 540, 50), 1 octave", 1, [](const NoiseField& f) { return f.fbm(960, 540, 50); },
         0x3EFF4FD2},  // 0.49865586
        {"sample(960, 540) is fbm at zTime", 2, [](const NoiseField& f) { return f.sample(960, 540); },
         0x3EA4E964},
        {"sampleTimeScaled(960, 540, 1)", 2,
         [](const NoiseField& f) { return f.sampleTimeScaled(960, 540, 1.0f); }, 0x3EA4E964},
        {"sampleSpan(960, 540, 256, 1) = 82.45584", 2,
         [](const NoiseField& f) { return f.sampleSpan(960, 540, 256.0f, 1.0f); }, 0x42A4E964},
        {"wiggle(3338, 64, 5) = 0.390625", 2,
         [](const NoiseField& f) { return f.wiggle(3338, 64.0f, 5.0f); }, bitsOf(0.390625f)},
        // fbm(100, 200, 50) * 64 = 75.8 -> 75 / 64; through the sigmoid
        // tanh(0.6844242 * 4) * 64 = 63.47 -> 63 / 64.
        {"sampleQuantized(100, 200, 64, 1, plain)", 2,
         [](const NoiseField& f) { return f.sampleQuantized(100, 200, 64.0f, 1.0f, false); },
         bitsOf(75.0f / 64.0f)},
        {"sampleQuantized(100, 200, 64, 1, sigmoid)", 2,
         [](const NoiseField& f) { return f.sampleQuantized(100, 200, 64.0f, 1.0f, true); },
         bitsOf(63.0f / 64.0f)},
    };
    for (const KnownValue& c : cases) {
        const NoiseField field = defaultField(c.octaves);
        EXPECT_EQ(hex(bitsOf(c.compute(field))), hex(c.expectedBits)) << c.what;
    }
}

TEST(NoiseFieldKnownValues, SampleIntTruncatesAndMayExceedN) {
    const NoiseField field = defaultField();
    EXPECT_EQ(field.sampleInt(30, 30, 1000), 1316);
    // The noise view's grey at the frame centre.
    EXPECT_EQ(static_cast<int32_t>(field.sampleSpan(960, 540, 256.0f, 1.0f)), 82);
}

TEST(NoiseFieldKnownValues, TimeIsDoubledThenScaledBySpeed) {
    EXPECT_EQ(makeField({.speed = 50.0f, .timeSeconds = 0.5f}).zTime, 50.0f);
    EXPECT_EQ(makeField({.speed = 0.0f, .timeSeconds = 1234.5f}).zTime, 0.0f);
    EXPECT_EQ(makeField({.speed = 50.0f, .timeSeconds = 0.0f}).zTime, 0.0f);
    // (0.1 * 2) * 3 rounds differently from 0.1 * (2 * 3).
    EXPECT_EQ(bitsOf(makeField({.speed = 3.0f, .timeSeconds = 0.1f}).zTime),
              bitsOf((0.1f * 2.0f) * 3.0f));
}

// ---------------------------------------------------------------------------
// The sampling operations' own rules

TEST(NoiseFieldOperations, ZeroOctavesGiveOneHalfEverywhere) {
    const NoiseField field = defaultField(0);
    for (int32_t x : {0, 960, -551, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(field.fbm(x, 7, 123.0f), 0.5f);
        EXPECT_EQ(field.sample(x, 7), 0.5f);
        EXPECT_EQ(field.sampleTimeScaled(x, 7, 3.0f), 0.5f);
        EXPECT_EQ(field.sampleInt(x, 7, 1000), 500);
        EXPECT_EQ(field.sampleSpan(x, 7, 256.0f, 1.0f), 128.0f);
        EXPECT_EQ(field.sampleQuantized(x, 7, 2.0f, 1.0f, false), 0.5f);
        EXPECT_EQ(field.sampleQuantized(x, 7, 2.0f, 1.0f, true), 0.0f);  // tanh(0)
        EXPECT_EQ(field.wiggle(x, 64.0f, 5.0f), 0.0f);                   // (12 * 0.5 - 6) / 6
    }
}

// Finds, among the field's values near the origin, one for which want(v)
// holds, and returns its coordinates.
bool findSample(const NoiseField& field, const std::function<bool(float)>& want, int32_t* foundX,
                int32_t* foundY) {
    for (int32_t y = -300; y <= 300; y += 7) {
        for (int32_t x = -300; x <= 300; x += 7) {
            if (want(field.sample(x, y))) {
                *foundX = x;
                *foundY = y;
                return true;
            }
        }
    }
    return false;
}

TEST(NoiseFieldOperations, QuantizationTruncatesTowardZero) {
    // Two octaves at gain 1.5 reach well below 0, so each band is found.
    const NoiseField field = defaultField();
    struct Band {
        float low, high;  // v in [low, high)
        float expected;   // with 2 steps
    };
    const Band bands[] = {
        {-0.5f, 0.0f, 0.0f},    // e.g. -0.3 -> 0, not -0.5
        {-1.0f, -0.5f, -0.5f},  // e.g. -0.6 -> -0.5, not -1
        {0.5f, 1.0f, 0.5f},     // e.g. 0.7 -> 0.5
        {1.0f, 1.5f, 1.0f},     // beyond 1: no clamping
    };
    for (const Band& band : bands) {
        int32_t x = 0, y = 0;
        ASSERT_TRUE(findSample(
            field, [&](float v) { return v >= band.low && v < band.high && v * 2.0f != band.low * 2.0f; },
            &x, &y))
            << "no sample in [" << band.low << ", " << band.high << ")";
        EXPECT_EQ(field.sampleQuantized(x, y, 2.0f, 1.0f, false), band.expected)
            << "v = " << field.sample(x, y) << " at (" << x << ", " << y << ")";
    }
}

TEST(NoiseFieldOperations, SigmoidFlagBendsIntoMinusOneToOne) {
    const NoiseField field = defaultField();
    int sawBeyondOne = 0;
    for (int32_t y = -200; y <= 200; y += 13) {
        for (int32_t x = -200; x <= 200; x += 13) {
            const float v = field.sample(x, y);
            const float plain = field.sampleQuantized(x, y, 64.0f, 1.0f, false);
            const float bent = field.sampleQuantized(x, y, 64.0f, 1.0f, true);
            const float s = static_cast<float>(std::tanh((static_cast<double>(v) - 0.5) * 4.0));
            EXPECT_EQ(bent, std::trunc(s * 64.0f) / 64.0f) << "at (" << x << ", " << y << ")";
            EXPECT_EQ(plain, std::trunc(v * 64.0f) / 64.0f) << "at (" << x << ", " << y << ")";
            EXPECT_GE(bent, -1.0f);
            EXPECT_LE(bent, 1.0f);
            sawBeyondOne += std::fabs(plain) > 1.0f;
        }
    }
    EXPECT_GT(sawBeyondOne, 0) << "the plain values should leave -1 .. 1 with two octaves";
}

TEST(NoiseFieldOperations, WiggleIsQuantizedAndUnclampedWithTwoOctaves) {
    const NoiseField field = defaultField();
    float lowest = 0.0f, highest = 0.0f;
    for (int32_t a = -20000; a <= 20000; a += 97) {
        const float w = field.wiggle(a, 64.0f, 5.0f);
        EXPECT_EQ(w * 64.0f, std::trunc(w * 64.0f)) << "wiggle(" << a << ") = " << w;
        lowest = std::min(lowest, w);
        highest = std::max(highest, w);
    }
    EXPECT_LT(lowest, -1.0f);
    EXPECT_GT(highest, 1.0f);

    // With one octave the average stays within -1 .. 1.
    const NoiseField single = defaultField(1);
    for (int32_t a = -20000; a <= 20000; a += 97) {
        const float w = single.wiggle(a, 64.0f, 5.0f);
        EXPECT_GE(w, -1.0f);
        EXPECT_LE(w, 1.0f);
    }
}

TEST(NoiseFieldOperations, SampleSpanTruncatesIntoTheSpan) {
    // Gain 5 pushes fbm far outside 0 .. 1, so both hard limits are reached.
    // Values that reach the extent become extent - 1; values just below it
    // pass, so it is the truncated value that lies in 0 .. extent - 1.
    const NoiseField field = makeField({.gain = 5.0f, .octaves = 3});
    bool sawTop = false, sawBottom = false;
    for (int32_t y = -400; y <= 400; y += 9) {
        for (int32_t x = -400; x <= 400; x += 9) {
            const float v = field.sampleSpan(x, y, 256.0f, 1.0f);
            ASSERT_GE(v, 0.0f);
            ASSERT_LT(v, 256.0f);
            ASSERT_LE(static_cast<int32_t>(v), 255);
            sawTop |= v == 255.0f && field.sample(x, y) * 256.0f > 256.0f;
            sawBottom |= v == 0.0f;
        }
    }
    EXPECT_TRUE(sawTop);
    EXPECT_TRUE(sawBottom);
}

TEST(NoiseFieldOperations, SampleSpanSoftensTheTopAndBottomTenths) {
    // One octave stays inside 0.013 .. 0.987, so only the knees act.
    const NoiseField field = defaultField(1);
    const float lowKnee = 256.0f * std::bit_cast<float>(0x3DCCCCD0u);
    const float highKnee = 256.0f * 0.9f;
    int knees = 0;
    for (int32_t y = -600; y <= 600; y += 11) {
        for (int32_t x = -600; x <= 600; x += 11) {
            const float raw = field.sample(x, y) * 256.0f;
            const float v = field.sampleSpan(x, y, 256.0f, 1.0f);
            if (raw > highKnee) {
                EXPECT_EQ(v, raw * 0.2f + highKnee * 0.8f);
                ++knees;
            } else if (raw < lowKnee) {
                EXPECT_EQ(v, raw * 0.2f + lowKnee * 0.8f);
                ++knees;
            } else {
                EXPECT_EQ(v, raw);
            }
        }
    }
    EXPECT_GT(knees, 0);
}

TEST(NoiseFieldOperations, NegativeCoordinatesContinueTheField) {
    // Neighbouring pixels differ by little everywhere, across zero too: a
    // lattice cell picked by plain truncation for negative coordinates
    // would break the field up around the axes.
    const NoiseField field = defaultField(1);
    for (int32_t y = -40; y <= 40; ++y) {
        for (int32_t x = -40; x <= 40; ++x) {
            EXPECT_LT(std::fabs(field.sample(x + 1, y) - field.sample(x, y)), 0.01f)
                << "between (" << x << ", " << y << ") and its right neighbour";
            EXPECT_LT(std::fabs(field.sample(x, y + 1) - field.sample(x, y)), 0.01f)
                << "between (" << x << ", " << y << ") and the pixel below";
        }
    }
    // And the negative half is not a mirror image of the positive half.
    EXPECT_NE(field.wiggle(-551, 64.0f, 5.0f), field.wiggle(551, 64.0f, 5.0f));
}

TEST(NoiseFieldOperations, SpeedZeroFreezesTheField) {
    const NoiseField early = makeField({.speed = 0.0f, .timeSeconds = 1.0f});
    const NoiseField late = makeField({.speed = 0.0f, .timeSeconds = 900.0f});
    const NoiseField moving = makeField({.speed = 50.0f, .timeSeconds = 900.0f});
    EXPECT_EQ(bitsOf(early.sample(960, 540)), bitsOf(late.sample(960, 540)));
    EXPECT_EQ(bitsOf(early.wiggle(3338, 64.0f, 5.0f)), bitsOf(late.wiggle(3338, 64.0f, 5.0f)));
    EXPECT_NE(bitsOf(early.sample(960, 540)), bitsOf(moving.sample(960, 540)));
}

TEST(NoiseFieldOperations, ZeroHeightIsTakenAsOneRow) {
    // A height of 0 would make the base frequency infinite and every value NaN.
    const NoiseField zero = makeField({.height = 0});
    const NoiseField one = makeField({.height = 1});
    EXPECT_EQ(zero.height, 1);
    EXPECT_TRUE(std::isfinite(zero.sample(3, 4)));
    EXPECT_EQ(bitsOf(zero.sample(3, 4)), bitsOf(one.sample(3, 4)));
    EXPECT_TRUE(std::isfinite(zero.wiggle(3338, 64.0f, 5.0f)));
}

// ---------------------------------------------------------------------------
// A direct transcription of the field's definition, with the modulo, the
// per-call division and 64-bit lattice sums. The production code takes the
// gradient from a table, the base frequency from set-up and wraps its sums
// in 32 bits; it must agree bit for bit.

int32_t referenceTrunc(float v) {
    if (!(v >= -2147483648.0f && v < 2147483648.0f)) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(v);
}

int32_t referenceFloor(float v) {
    const int64_t t = referenceTrunc(v);
    return static_cast<int32_t>(static_cast<uint32_t>(v >= 0.0f ? t : t - 1));
}

float referenceSimplex(const NoiseField& n, float X, float Y, float Z) {
    static const float grad[12][3] = {{1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0},
                                      {1, 0, 1}, {-1, 0, 1}, {1, 0, -1}, {-1, 0, -1},
                                      {0, 1, 1}, {0, -1, 1}, {0, 1, -1}, {0, -1, -1}};
    const float F = 1.0f / 3.0f, G = 1.0f / 6.0f;
    const float s = ((X + Y) + Z) * F;
    const int32_t i = referenceFloor(X + s), j = referenceFloor(Y + s), k = referenceFloor(Z + s);
    const int64_t sum = int64_t{i} + j + k;
    const float t = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(sum))) * G;
    const float x0 = (X - static_cast<float>(i)) + t;
    const float y0 = (Y - static_cast<float>(j)) + t;
    const float z0 = (Z - static_cast<float>(k)) + t;
    int i1, j1, k1, i2, j2, k2;
    if (x0 >= y0) {
        if (y0 >= z0) {
            i1 = 1, j1 = 0, k1 = 0, i2 = 1, j2 = 1, k2 = 0;
        } else if (x0 >= z0) {
            i1 = 1, j1 = 0, k1 = 0, i2 = 1, j2 = 0, k2 = 1;
        } else {
            i1 = 0, j1 = 0, k1 = 1, i2 = 1, j2 = 0, k2 = 1;
        }
    } else {
        if (y0 < z0) {
            i1 = 0, j1 = 0, k1 = 1, i2 = 0, j2 = 1, k2 = 1;
        } else if (x0 < z0) {
            i1 = 0, j1 = 1, k1 = 0, i2 = 0, j2 = 1, k2 = 1;
        } else {
            i1 = 0, j1 = 1, k1 = 0, i2 = 1, j2 = 1, k2 = 0;
        }
    }
    const float offsets[4][3] = {
        {x0, y0, z0},
        {(x0 - i1) + G, (y0 - j1) + G, (z0 - k1) + G},
        {(x0 - i2) + G * 2, (y0 - j2) + G * 2, (z0 - k2) + G * 2},
        {(x0 - 1) + G * 3, (y0 - 1) + G * 3, (z0 - 1) + G * 3},
    };
    const int ii = i & 255, jj = j & 255, kk = k & 255;
    const int g[4] = {
        n.perm[ii + n.perm[jj + n.perm[kk]]] % 12,
        n.perm[ii + i1 + n.perm[jj + j1 + n.perm[kk + k1]]] % 12,
        n.perm[ii + i2 + n.perm[jj + j2 + n.perm[kk + k2]]] % 12,
        n.perm[ii + 1 + n.perm[jj + 1 + n.perm[kk + 1]]] % 12,
    };
    float w[4];
    for (int c = 0; c < 4; ++c) {
        const float a = offsets[c][0], b = offsets[c][1], cc = offsets[c][2];
        const float q = ((0.6f - a * a) - b * b) - cc * cc;
        if (q < 0) {
            w[c] = 0;
        } else {
            const float q2 = q * q, q4 = q2 * q2;
            w[c] = ((b * grad[g[c]][1] + a * grad[g[c]][0]) + cc * grad[g[c]][2]) * q4;
        }
    }
    return ((w[1] + w[0]) + w[2]) + w[3];
}

float referenceFbm(const NoiseField& n, int32_t x, int32_t y, float z) {
    if (!(n.octaves > 0)) {
        return 0.5f;
    }
    float f = 1.0f / static_cast<float>(n.height), amp = 1, total = 0;
    int o = 0;
    do {
        total = total + referenceSimplex(n, static_cast<float>(y) * f, static_cast<float>(x) * f,
                                         f * z) * amp;
        f = f * n.lacunarity;
        amp = amp * n.gain;
        o = o + 1;
    } while (static_cast<float>(o) < n.octaves);
    return (total * 8) * 2 + 0.5f;
}

TEST(NoiseFieldReference, AgreesWithTheDefinitionEverywhere) {
    struct Setting {
        FieldSettings field;
        int32_t step;   // pixel spacing of the probe grid
        float z;
    };
    const Setting settings[] = {
        {{}, 37, 50.0f},
        {{.octaves = 1}, 37, 50.0f},
        {{.seed = 32768, .gain = 5.0f, .lacunarity = 30.0f, .octaves = 16}, 4111, 7.2e6f},
        {{.seed = 12345, .gain = 0.5f, .lacunarity = 2.0f, .octaves = 5}, 53, -13.0f},
        // Height 1 and z 0 put many samples exactly on lattice planes and
        // simplex faces, where the floor rule and the ties between the
        // corner comparisons decide the result.
        {{.seed = 7, .height = 1, .gain = 1.0f, .lacunarity = 1.0f, .octaves = 1}, 1, 0.0f},
        {{.seed = 7, .height = 3, .gain = 1.0f, .lacunarity = 0.5f, .octaves = 3}, 1, 3.0f},
    };
    for (const Setting& s : settings) {
        const NoiseField field = makeField(s.field);
        int mismatches = 0;
        for (int32_t y = -40 * s.step; y <= 40 * s.step && mismatches < 5; y += s.step) {
            for (int32_t x = -40 * s.step; x <= 40 * s.step && mismatches < 5; x += s.step) {
                const float expected = referenceFbm(field, x, y, s.z);
                const float actual = field.fbm(x, y, s.z);
                if (bitsOf(expected) != bitsOf(actual)) {
                    ++mismatches;
                    ADD_FAILURE() << "fbm(" << x << ", " << y << ", " << s.z << ") = " << actual
                                  << ", the definition gives " << expected << " (seed "
                                  << s.field.seed << ", octaves " << s.field.octaves << ")";
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Purity

std::vector<uint32_t> sampleGrid(const NoiseField& field, bool reversed) {
    std::vector<uint32_t> out;
    for (int32_t n = 0; n < 400; ++n) {
        const int32_t i = reversed ? 399 - n : n;
        const int32_t x = (i % 20) * 97 - 900, y = (i / 20) * 61 - 600;
        out.push_back(bitsOf(field.sample(x, y)));
        out.push_back(bitsOf(field.sampleSpan(x, y, 256.0f, 1.0f)));
        out.push_back(bitsOf(field.wiggle(x, 64.0f, 5.0f)));
    }
    if (reversed) {
        // Put the triples back in forward order for comparison.
        std::vector<uint32_t> forward(out.size());
        for (size_t n = 0; n < 400; ++n) {
            for (size_t k = 0; k < 3; ++k) {
                forward[(399 - n) * 3 + k] = out[n * 3 + k];
            }
        }
        return forward;
    }
    return out;
}

TEST(NoiseFieldPurity, SameInputsGiveSameBitsInAnyOrderAndFromManyThreads) {
    const NoiseField field = defaultField();
    const std::vector<uint32_t> forward = sampleGrid(field, false);
    EXPECT_EQ(sampleGrid(field, true), forward);
    EXPECT_EQ(sampleGrid(defaultField(), false), forward) << "a second set-up differs";

    std::vector<std::vector<uint32_t>> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&, t] { results[t] = sampleGrid(field, t % 2 == 1); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::vector<uint32_t>& result : results) {
        EXPECT_EQ(result, forward);
    }
}

TEST(NoiseFieldPurity, SetUpIgnoresTheCLibraryGenerator) {
    const NoiseField before = makeField({.seed = 0});
    std::srand(12345);
    for (int n = 0; n < 17; ++n) {
        (void)std::rand();
    }
    const NoiseField after = makeField({.seed = 0});
    EXPECT_EQ(after.perm[0], 187);
    EXPECT_TRUE(std::equal(std::begin(before.perm), std::end(before.perm), std::begin(after.perm)));

    // Concurrent set-ups do not disturb each other either.
    std::vector<NoiseField> fields(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < fields.size(); ++t) {
        threads.emplace_back([&, t] { fields[t] = makeField({.seed = static_cast<int32_t>(t)}); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t t = 0; t < fields.size(); ++t) {
        const NoiseField alone = makeField({.seed = static_cast<int32_t>(t)});
        EXPECT_TRUE(std::equal(std::begin(alone.perm), std::end(alone.perm), std::begin(fields[t].perm)))
            << "seed " << t;
    }
}

TEST(NoiseFieldPurity, EverySeedOfTheSliderGivesItsOwnPermutation) {
    std::set<std::array<uint8_t, 256>> permutations;
    NoiseField field;
    for (int32_t seed = 0; seed <= 32768; ++seed) {
        field.init(seed, 50.0f, 0.5f, 1080, 1.5f, 10.0f, 2);
        std::array<uint8_t, 256> p;
        for (int32_t i = 0; i < 256; ++i) {
            p[i] = static_cast<uint8_t>(field.perm[i]);
        }
        EXPECT_TRUE(permutations.insert(p).second) << "seed " << seed << " repeats a permutation";
    }
}

// ---------------------------------------------------------------------------
// Sweep over the whole parameter range: finite results and, in the
// sanitizer build, no undefined behaviour (lattice coordinates reach ~1e27
// with 16 octaves at lacunarity 30, far beyond int32).

TEST(NoiseFieldSweep, WholeParameterRangeStaysFiniteAndDefined) {
    const int32_t seeds[] = {0, 1, 4097, 20011, 32768};
    const float lacunarities[] = {0.0f, 0.5f, 1.0f, 10.0f, 30.0f};
    const float gains[] = {0.0f, 1.5f, 5.0f};
    const float times[] = {0.0f, 0.5f, 3600.25f, 36000.0f};  // up to 10 hours
    const float speeds[] = {0.0f, 50.0f, 100.0f};
    const int32_t heights[] = {1, 1080, 4320};
    const int32_t coordinates[] = {0,    -1,    1,     959,    -551,   1919,
                                   1079, 33333, -77777, 100000, -100000};
    int64_t checked = 0;
    for (int32_t octaves = 0; octaves <= 16; ++octaves) {
        for (size_t n = 0; n < std::size(lacunarities) * std::size(gains); ++n) {
            FieldSettings s;
            s.octaves = octaves;
            s.lacunarity = lacunarities[n % std::size(lacunarities)];
            s.gain = gains[n / std::size(lacunarities)];
            // The remaining settings rotate with the combination so every
            // value meets every octave count without multiplying the work.
            s.seed = seeds[(n + octaves) % std::size(seeds)];
            s.timeSeconds = times[(n + 2 * octaves) % std::size(times)];
            s.speed = speeds[(n / 2 + octaves) % std::size(speeds)];
            s.height = heights[(n + octaves / 2) % std::size(heights)];
            const NoiseField field = makeField(s);
            for (int32_t y : coordinates) {
                for (int32_t x : coordinates) {
                    const float values[] = {
                        field.sample(x, y),
                        field.sampleTimeScaled(x, y, 40.0f),
                        field.sampleQuantized(x, y, 64.0f, 8.0f, false),
                        field.sampleQuantized(x, y, 1.0f, 8.0f, true),
                        field.sampleSpan(x, y, 256.0f, 1.0f),
                    };
                    for (float v : values) {
                        ASSERT_TRUE(std::isfinite(v))
                            << "at (" << x << ", " << y << "), octaves " << octaves << ", lacunarity "
                            << s.lacunarity << ", gain " << s.gain;
                    }
                    (void)field.sampleInt(x, y, 1000);
                    checked += 6;
                }
                ASSERT_TRUE(std::isfinite(field.wiggle(y, 64.0f, 300.0f)));
            }
        }
    }
    EXPECT_GT(checked, 0);
}

TEST(NoiseFieldSweep, ExtremeIntegerInputsAreDefined) {
    // Offsets near the ends of int32 make the wiggle's column offsets and the
    // lattice sums wrap; sampleInt's product leaves int32 range.
    const NoiseField field = makeField({.gain = 5.0f, .lacunarity = 30.0f, .octaves = 16});
    for (int32_t a : {INT32_MIN, INT32_MIN + 1, -1, INT32_MAX - 100, INT32_MAX}) {
        EXPECT_TRUE(std::isfinite(field.wiggle(a, 64.0f, 5.0f)));
        EXPECT_TRUE(std::isfinite(field.sample(a, a)));
        (void)field.sampleInt(a, a, INT32_MAX);
        (void)field.sampleInt(a, a, INT32_MIN);
    }
    const NoiseField negativeHeight = makeField({.height = INT32_MIN});
    EXPECT_TRUE(std::isfinite(negativeHeight.sample(INT32_MAX, INT32_MIN)));
    // Non-finite settings must not be undefined either: out-of-range
    // truncations give INT32_MIN, and the result is allowed to be NaN.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf}) {
        const NoiseField field2 = makeField({.speed = bad});
        (void)field2.sampleInt(5, 5, 100);
        (void)field2.wiggle(5, 64.0f, 1.0f);
        (void)field2.sampleQuantized(5, 5, 64.0f, 1.0f, true);
        (void)field2.sampleSpan(5, 5, 256.0f, 1.0f);
        (void)field.sampleQuantized(5, 5, bad, 1.0f, false);
    }
}

}  // namespace
