// Seeded 3-D simplex gradient noise summed over octaves.
//
// Every value must come out with the same bits on every compiler and
// platform, so each single-precision operation below is written in the order
// it must be rounded, nothing may be fused (the build uses
// -ffp-contract=off), and every float-to-int conversion goes through
// truncToInt32, which is defined for every input. Lattice arithmetic on the
// resulting integers is done in uint32_t, so it wraps exactly as 32-bit
// machine adds do instead of overflowing a signed int.
#include "noise/noise_field.h"

#include "noise/cpu_features.h"
#include "noise/int_conversion.h"
#include "noise/lanes_sse2.h"
#include "noise/noise_constants.h"
#include "noise/noise_lanes.h"
#include "noise/noise_rows.h"

#include <bit>
#include <cmath>

namespace {

// The linear congruential generator the shuffle is defined by. It is seeded
// right before the shuffle and used by nothing else, so the permutation
// depends on the seed alone (the C library's rand would share its state with
// whatever else calls it, and differs between C libraries).
struct ShuffleRandom {
    uint32_t state;

    int32_t draw() {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFFu);
    }
};

// Lattice cell of a skewed coordinate: truncation, one lower for negative
// values (so -3.0 lies in cell -4). Out-of-range values truncate to INT32_MIN
// and the step down wraps, as it does on the reference machine.
inline int32_t latticeFloor(float v) {
    const int32_t t = truncToInt32(v);
    return v >= 0.0f ? t : static_cast<int32_t>(static_cast<uint32_t>(t) - 1u);
}

// Wrapping 32-bit add: the coordinates may be anywhere in int32.
inline int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// The gradient contribution of one simplex corner at offset (a, b, c).
inline float cornerContribution(float a, float b, float c, uint32_t g) {
    const float q = ((kKernelRadius2 - a * a) - b * b) - c * c;
    const float q2 = q * q;
    const float q4 = q2 * q2;
    const float dot = (b * kGradY[g] + a * kGradX[g]) + c * kGradZ[g];
    return q < 0.0f ? 0.0f : dot * q4;
}

// Simplex noise S(X, Y, Z), within about +-0.0305.
float simplexNoise(const NoiseField& field, float X, float Y, float Z) {
    const float s = ((X + Y) + Z) * kSkew;
    const int32_t i = latticeFloor(X + s);
    const int32_t j = latticeFloor(Y + s);
    const int32_t k = latticeFloor(Z + s);
    const float t = static_cast<float>(wrapAdd(wrapAdd(i, j), k)) * kUnskew;
    const float x0 = (X - static_cast<float>(i)) + t;
    const float y0 = (Y - static_cast<float>(j)) + t;
    const float z0 = (Z - static_cast<float>(k)) + t;

    // Which of the six simplices of the cube holds the point: the corner
    // offsets of its second and third corners. Plain branches: samples taken
    // in pixel order mostly stay in one simplex, so they predict well (a
    // branch-free form measured slower).
    uint32_t i1, j1, k1, i2, j2, k2;
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

    const float x1 = (x0 - static_cast<float>(i1)) + kUnskew;
    const float y1 = (y0 - static_cast<float>(j1)) + kUnskew;
    const float z1 = (z0 - static_cast<float>(k1)) + kUnskew;
    const float x2 = (x0 - static_cast<float>(i2)) + kUnskew2;
    const float y2 = (y0 - static_cast<float>(j2)) + kUnskew2;
    const float z2 = (z0 - static_cast<float>(k2)) + kUnskew2;
    const float x3 = (x0 - 1.0f) + kUnskew3;
    const float y3 = (y0 - 1.0f) + kUnskew3;
    const float z3 = (z0 - 1.0f) + kUnskew3;

    // perm repeats itself, so these sums (at most 511) need no wrap.
    const uint32_t ii = static_cast<uint32_t>(i) & 255u;
    const uint32_t jj = static_cast<uint32_t>(j) & 255u;
    const uint32_t kk = static_cast<uint32_t>(k) & 255u;
    const int32_t* perm = field.perm;
    const int32_t* grad = field.gradientIndex;
    const uint32_t g0 = grad[ii + perm[jj + perm[kk]]];
    const uint32_t g1 = grad[ii + i1 + perm[jj + j1 + perm[kk + k1]]];
    const uint32_t g2 = grad[ii + i2 + perm[jj + j2 + perm[kk + k2]]];
    const uint32_t g3 = grad[ii + 1 + perm[jj + 1 + perm[kk + 1]]];

    const float w0 = cornerContribution(x0, y0, z0, g0);
    const float w1 = cornerContribution(x1, y1, z1, g1);
    const float w2 = cornerContribution(x2, y2, z2, g2);
    const float w3 = cornerContribution(x3, y3, z3, g3);
    return ((w1 + w0) + w2) + w3;
}

// Quantise toward zero to a multiple of 1 / steps.
inline float quantizeTowardZero(float v, float steps) {
    return static_cast<float>(truncToInt32(v * steps)) / steps;
}

}  // namespace

void NoiseField::init(int32_t seedValue, float speed, float timeSeconds, int32_t frameHeight,
                      float gainFactor, float lacunarityFactor, int32_t octaveCount) {
    ShuffleRandom random{static_cast<uint32_t>(seedValue)};
    for (int32_t i = 0; i < 256; ++i) {
        perm[i] = i;
    }
    for (int32_t t = 1; t < 256; ++t) {
        const int32_t r = random.draw() % (t + 1);
        const int32_t swapped = perm[t];
        perm[t] = perm[r];
        perm[r] = swapped;
    }
    for (int32_t i = 0; i < 256; ++i) {
        perm[256 + i] = perm[i];
    }

    // A frame is at least one row high; a height of 0 would make the base
    // frequency infinite and every sample NaN.
    height = frameHeight < 1 ? 1 : frameHeight;
    gain = gainFactor;
    lacunarity = lacunarityFactor;
    octaves = static_cast<float>(octaveCount);
    zTime = (timeSeconds * 2.0f) * speed;

    seed = seedValue;
    baseFrequency = 1.0f / static_cast<float>(height);
    for (int32_t i = 0; i < 512; ++i) {
        gradientIndex[i] = perm[i] % 12;
    }
}

NoiseFieldKey NoiseField::key() const {
    return NoiseFieldKey{seed,
                         height,
                         std::bit_cast<uint32_t>(gain),
                         std::bit_cast<uint32_t>(lacunarity),
                         std::bit_cast<uint32_t>(octaves),
                         std::bit_cast<uint32_t>(zTime)};
}

float NoiseField::fbm(int32_t x, int32_t y, float z) const {
    if (!(octaves > 0.0f)) {
        return kOutputOffset;
    }
    const float row = static_cast<float>(y);
    const float column = static_cast<float>(x);
    float f = baseFrequency;
    float amp = 1.0f;
    float total = 0.0f;
    // 64-bit so that no octaves value can overflow the count.
    int64_t o = 0;
    do {
        // The row goes on the lattice's first axis, the column on the second.
        total = total + simplexNoise(*this, row * f, column * f, f * z) * amp;
        f = f * lacunarity;
        amp = amp * gain;
        o = o + 1;
    } while (static_cast<float>(o) < octaves);
    return (total * 8.0f) * 2.0f + kOutputOffset;
}

float NoiseField::sample(int32_t x, int32_t y) const {
    return fbm(x, y, zTime);
}

int32_t NoiseField::sampleInt(int32_t x, int32_t y, int32_t n) const {
    return truncToInt32(fbm(x, y, zTime) * static_cast<float>(n));
}

float NoiseField::sampleTimeScaled(int32_t x, int32_t y, float k) const {
    return fbm(x, y, k * zTime);
}

float NoiseField::sampleQuantized(int32_t x, int32_t y, float steps, float k,
                                  bool sigmoid) const {
    float v = fbm(x, y, k * zTime);
    if (sigmoid) {
        v = static_cast<float>(std::tanh((static_cast<double>(v) - 0.5) * 4.0));
    }
    return quantizeTowardZero(v, steps);
}

float NoiseField::wiggle(int32_t a, float steps, float k) const {
    const float zz = zTime * k;
    float total = 0.0f;
    for (int32_t m = 0; m < 12; ++m) {
        total = total + fbm(a, wrapAdd(a, 30 * m), zz);
    }
    const float v = (total - 6.0f) / 6.0f;
    return quantizeTowardZero(v, steps);
}

float NoiseField::sampleSpan(int32_t x, int32_t y, float extent, float k) const {
    const float lo = extent * kSpanLowKnee;
    const float hi = extent * kSpanHighKnee;
    float v = fbm(x, y, k * zTime) * extent;
    // Soft knees: the top and bottom tenth keep a fifth of their slope.
    if (v > hi) {
        v = v * 0.2f + hi * 0.8f;
    }
    if (v < lo) {
        v = v * 0.2f + lo * 0.8f;
    }
    if (!(v < extent)) {
        v = extent - 1.0f;
    }
    if (v < 0.0f) {
        v = 0.0f;
    }
    return v;
}

void fbmRowSse2(const NoiseField& field, int32_t x0, int32_t y, float z, int32_t count,
                float* out) {
    NoiseLanes<Sse2Lanes>::fbmRow(field, x0, y, z, count, out);
}

void sampleSpanRowSse2(const NoiseField& field, int32_t x0, int32_t y, float extent, float k,
                       int32_t count, float* out) {
    NoiseLanes<Sse2Lanes>::sampleSpanRow(field, x0, y, extent, k, count, out);
}

void NoiseField::fbmRow(int32_t x0, int32_t y, float z, int32_t count, float* out) const {
    if (cpuHasAvx2()) {
        fbmRowAvx2(*this, x0, y, z, count, out);
    } else {
        fbmRowSse2(*this, x0, y, z, count, out);
    }
}

void NoiseField::sampleSpanRow(int32_t x0, int32_t y, float extent, float k, int32_t count,
                               float* out) const {
    if (cpuHasAvx2()) {
        sampleSpanRowAvx2(*this, x0, y, extent, k, count, out);
    } else {
        sampleSpanRowSse2(*this, x0, y, extent, k, count, out);
    }
}
