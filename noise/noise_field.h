// The seeded, time-animated fractal noise field that drives every glitch.
//
// A NoiseField is set up once per render with NoiseField::init and is then
// read-only, so the stages' pixel and line functions may sample it from
// several threads at once. Every operation is single precision, rounded in a
// fixed order and never fused, so a field gives the same bits on every
// platform and compiler. x is always the pixel column and y the pixel row.
#pragma once

#include <cstdint>

// Everything a field's samples depend on, compared bit for bit: two fields
// with equal keys give the same value at every point.
struct NoiseFieldKey {
    int32_t seed;
    int32_t height;
    uint32_t gain;
    uint32_t lacunarity;
    uint32_t octaves;
    uint32_t zTime;

    bool operator==(const NoiseFieldKey&) const = default;
};

struct NoiseField {
    int32_t perm[512];   // permutation of 0..255, repeated so indices up to 511 need no wrap
    int32_t height;      // frame height: the base frequency is 1 / height on both axes
    float gain;          // amplitude factor from one octave to the next
    float lacunarity;    // frequency factor from one octave to the next
    float octaves;       // whole number of octaves, held as a float
    float zTime;         // time coordinate: (time * 2) * speed

    // Derived by init from the fields above so that sampling repeats no work.
    // They add nothing to the field's definition; callers never set them.
    float baseFrequency;          // 1 / float(height)
    int32_t gradientIndex[512];   // perm[i] mod 12: the gradient a lattice corner uses
    int32_t seed;                 // the seed perm was shuffled with

    void init(int32_t seed, float speed, float timeSeconds, int32_t height,
              float gain, float lacunarity, int32_t octaves);

    // The field's identity, for keeping samples from one render apart from
    // another's.
    NoiseFieldKey key() const;

    // Fractal noise at (x, y, z); centred on 0.5, not clamped.
    float fbm(int32_t x, int32_t y, float z) const;
    // fbm(x, y, zTime).
    float sample(int32_t x, int32_t y) const;
    // trunc(fbm(x, y, zTime) * n).
    int32_t sampleInt(int32_t x, int32_t y, int32_t n) const;
    // fbm(x, y, k * zTime).
    float sampleTimeScaled(int32_t x, int32_t y, float k) const;
    // fbm (optionally through a tanh sigmoid) quantised toward zero to multiples of 1 / steps.
    float sampleQuantized(int32_t x, int32_t y, float steps, float k, bool sigmoid) const;
    // Average of twelve fbm samples along a column, recentred on 0 and quantised.
    float wiggle(int32_t a, float steps, float k) const;
    // fbm scaled to 0 .. extent - 1 with soft knees in the top and bottom tenths.
    float sampleSpan(int32_t x, int32_t y, float extent, float k) const;

    // Runs of `count` columns x0, x0 + 1, .. of row y at once, with the same
    // bits as the operations above one column at a time: out[n] is
    // fbm(x0 + n, y, z) and sampleSpan(x0 + n, y, extent, k). Several columns
    // go through the vector unit together, which is what makes per-pixel
    // noise cheap.
    void fbmRow(int32_t x0, int32_t y, float z, int32_t count, float* out) const;
    void sampleSpanRow(int32_t x0, int32_t y, float extent, float k, int32_t count,
                       float* out) const;
};
