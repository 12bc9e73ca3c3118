// The 8x8 luma damage of the compression glitch: forward DCT, quantisation
// toward zero and inverse DCT, each written as the sums that define it.
//
// Two forms of the same arithmetic live here. The plain form computes one
// output at a time, term after term, exactly as the sums are written. The
// lane form computes four outputs side by side in vector lanes (and keeps
// several groups in flight so the adds overlap), but every lane still
// multiplies and adds its own terms in the plain form's order, so each
// output gets the same bits. The tests hold the two equal.
//
// Included by compression.cpp (built for the x86-64 baseline) and by
// block_dct_avx2.cpp (built for AVX2); everything has internal linkage so
// the two builds never share a function.
#pragma once

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr int32_t kBlockSize = 8;
constexpr double kDcScale = 0.707106781;   // C(0), kept at nine digits on purpose

// JPEG luminance quantisation table: row = vertical, column = horizontal frequency.
constexpr double kLumaQuant[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
};

inline double dcScale(int32_t frequency) { return frequency == 0 ? kDcScale : 1.0; }

// ---------------------------------------------------------------- plain form

// F[a][b] = C(a) C(b) / 4 * sum over x (outer), y (inner) of
// cos[a][y] * s[y][x] * cos[b][x], with cosines[f * 8 + p] = cos((2p + 1) f pi / 16).
inline void forwardDctPlain(const double* s, double* F, const double* cosines) {
    for (int32_t a = 0; a < kBlockSize; ++a) {
        for (int32_t b = 0; b < kBlockSize; ++b) {
            double sum = 0.0;
            for (int32_t x = 0; x < kBlockSize; ++x)
                for (int32_t y = 0; y < kBlockSize; ++y)
                    sum += cosines[a * 8 + y] * s[y * 8 + x] * cosines[b * 8 + x];
            F[a * 8 + b] = dcScale(a) * dcScale(b) * 0.25 * sum;
        }
    }
}

// Quantise toward zero and scale back, leaving the result in s.
inline void quantisePlain(const double* F, double* s, double d) {
    for (int32_t i = 0; i < 64; ++i) {
        double step = kLumaQuant[i] * d;
        double level = std::trunc(F[i] / step);
        s[i] = step * level;
    }
}

// F[y][x] = 1/4 * sum over v (outer), u (inner) of
// cos[u][x] * s[v][u] * cos[v][y] * (C(v) C(u)).
inline void inverseDctPlain(const double* s, double* F, const double* cosines) {
    for (int32_t y = 0; y < kBlockSize; ++y) {
        for (int32_t x = 0; x < kBlockSize; ++x) {
            double sum = 0.0;
            for (int32_t v = 0; v < kBlockSize; ++v)
                for (int32_t u = 0; u < kBlockSize; ++u)
                    sum += cosines[u * 8 + x] * s[v * 8 + u] * cosines[v * 8 + y] *
                           (dcScale(v) * dcScale(u));
            F[y * 8 + x] = 0.25 * sum;
        }
    }
}

// ---------------------------------------------------------------- lane form

// Vectors of doubles, one output per lane: two lanes fill an SSE2 register,
// four an AVX2 one. Every operator works lane by lane with IEEE rounding,
// a scalar operand standing for copies of itself in every lane.
typedef double TwoLanes __attribute__((vector_size(16)));
typedef double FourLanes __attribute__((vector_size(32)));

// Loads lanes from consecutive doubles. (Vectors are handed back through a
// reference: returning a 32-byte one by value from code built without AVX
// would change the calling convention.)
template <typename V>
inline void loadLanes(V& v, const double* p) {
    std::memcpy(&v, p, sizeof v);
}

// The forward sums with rows a in the lanes. For one (x, y) the lane
// products P[a] = cos[a][y] * s[y][x] are formed once, and each of the
// eight columns b multiplies them by its own cos[b][x] and adds them to its
// own sums: every output (a, b) takes its terms in the plain order. The
// eight sums of a group of rows are independent, so the adds do not wait on
// each other.
template <typename V>
inline void forwardDctLanes(const double* s, double* F, const double* cosines) {
    constexpr int32_t kLanes = sizeof(V) / sizeof(double);
    for (int32_t a0 = 0; a0 < kBlockSize; a0 += kLanes) {
        // rowCosines[y] lane i holds cos[a0 + i][y].
        V rowCosines[kBlockSize];
        for (int32_t y = 0; y < kBlockSize; ++y)
            for (int32_t i = 0; i < kLanes; ++i) rowCosines[y][i] = cosines[(a0 + i) * 8 + y];
        V sum[kBlockSize] = {};   // sum[b] lane i: output (a0 + i, b)
        for (int32_t x = 0; x < kBlockSize; ++x) {
            for (int32_t y = 0; y < kBlockSize; ++y) {
                const V p = rowCosines[y] * s[y * 8 + x];
                for (int32_t b = 0; b < kBlockSize; ++b) sum[b] = sum[b] + p * cosines[b * 8 + x];
            }
        }
        for (int32_t i = 0; i < kLanes; ++i) {
            const int32_t a = a0 + i;
            for (int32_t b = 0; b < kBlockSize; ++b)
                F[a * 8 + b] = dcScale(a) * dcScale(b) * 0.25 * sum[b][i];
        }
    }
}

// std::trunc of every lane. AVX has it as one instruction (rounding toward
// zero, which keeps the sign of a zero and passes NaN on, as trunc does);
// SSE2 has none, so there each lane is truncated on its own.
template <typename V>
inline void truncateLanes(V& v) {
    for (int32_t i = 0; i < static_cast<int32_t>(sizeof(V) / sizeof(double)); ++i)
        v[i] = std::trunc(v[i]);
}
#if defined(__AVX__)
inline void truncateLanes(FourLanes& v) {
    v = reinterpret_cast<FourLanes>(_mm256_round_pd(reinterpret_cast<__m256d>(v),
                                                    _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
}
#endif

template <typename V>
inline void quantiseLanes(const double* F, double* s, double d) {
    constexpr int32_t kLanes = sizeof(V) / sizeof(double);
    for (int32_t i = 0; i < 64; i += kLanes) {
        V step, coefficient;
        loadLanes(step, kLumaQuant + i);
        loadLanes(coefficient, F + i);
        step = step * d;
        V level = coefficient / step;
        truncateLanes(level);
        const V result = step * level;
        std::memcpy(s + i, &result, sizeof result);
    }
}

// The inverse sums with columns x in the lanes: for one coefficient (v, u)
// the products cos[u][x] * s[v][u] are shared by every row y, and each lane
// x carries them on through its own multiplications and its own sum. Four
// rows y at a time keep several sums in flight.
//
// Two shortcuts leave every byte as the plain form makes it. A coefficient
// of exactly zero (most of them, once quantised) contributes terms of +-0;
// adding +-0 leaves any non-zero sum as it is and at most turns -0 into +0,
// and a sum of +-0 ends as the byte of 128 either way. And C(v) C(u) is
// exactly 1 unless v or u is 0, and multiplying by 1 changes nothing.
template <typename V>
inline void inverseDctLanes(const double* s, double* F, const double* cosines) {
    constexpr int32_t kLanes = sizeof(V) / sizeof(double);
    constexpr int32_t kParts = kBlockSize / kLanes;   // vectors across a row
    constexpr int32_t kRows = 4;
    for (int32_t y0 = 0; y0 < kBlockSize; y0 += kRows) {
        V sum[kRows][kParts] = {};
        for (int32_t v = 0; v < kBlockSize; ++v) {
            for (int32_t u = 0; u < kBlockSize; ++u) {
                const double coefficient = s[v * 8 + u];
                if (coefficient == 0.0) continue;
                const double scale = dcScale(v) * dcScale(u);
                V shared[kParts];
                for (int32_t part = 0; part < kParts; ++part) {
                    loadLanes(shared[part], cosines + u * 8 + part * kLanes);
                    shared[part] = shared[part] * coefficient;
                }
                for (int32_t i = 0; i < kRows; ++i) {
                    const double rowCosine = cosines[v * 8 + y0 + i];
                    for (int32_t part = 0; part < kParts; ++part) {
                        V term = shared[part] * rowCosine;
                        if (scale != 1.0) term = term * scale;
                        sum[i][part] = sum[i][part] + term;
                    }
                }
            }
        }
        for (int32_t i = 0; i < kRows; ++i)
            for (int32_t x = 0; x < kBlockSize; ++x)
                F[(y0 + i) * 8 + x] = 0.25 * sum[i][x / kLanes][x % kLanes];
    }
}

// The whole damage of one block: samples s (Y - 128, row by row) in, the
// damaged samples out in F; s ends holding the dequantised coefficients.
inline void dctDamagePlain(double* s, double* F, const double* cosines, double d) {
    forwardDctPlain(s, F, cosines);
    quantisePlain(F, s, d);
    inverseDctPlain(s, F, cosines);
}

template <typename V>
inline void dctDamageLanes(double* s, double* F, const double* cosines, double d) {
    forwardDctLanes<V>(s, F, cosines);
    quantiseLanes<V>(F, s, d);
    inverseDctLanes<V>(s, F, cosines);
}

}  // namespace
