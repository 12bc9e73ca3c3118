// Eight single-precision lanes on AVX2, with the same operations as the
// SSE2 lanes (lanes_sse2.h): each is the lane-wise form of one scalar IEEE
// operation, so both lane widths give the scalar code's bits.
//
// Only files compiled with -mavx2 include this, and only processors that
// report AVX2 run them. Internal linkage throughout, for the reason given in
// lanes_sse2.h.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace {

struct Avx2Lanes {
    static constexpr int kCount = 8;
    struct F {
        __m256 v;
    };
    struct I {
        __m256i v;
    };

    static F splat(float a) { return {_mm256_set1_ps(a)}; }
    static I splat(int32_t a) { return {_mm256_set1_epi32(a)}; }
    static F load(const float* p) { return {_mm256_loadu_ps(p)}; }
    static I load(const int32_t* p) {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))};
    }
    static void store(float* p, F a) { _mm256_storeu_ps(p, a.v); }
    static void store(int32_t* p, I a) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a.v);
    }
    static I ramp(int32_t first) {
        return {_mm256_add_epi32(_mm256_set1_epi32(first),
                                 _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7))};
    }

    // Ordered, non-signalling comparisons: false wherever a NaN takes part,
    // as the scalar comparisons are.
    static F greaterEqual(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GE_OQ)}; }
    static F greater(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)}; }
    static F less(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LT_OQ)}; }
    static F equal(F a, F b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)}; }
    // The larger and smaller of two lanes; only for values that are never NaN.
    static F max(F a, F b) { return {_mm256_max_ps(a.v, b.v)}; }
    static F min(F a, F b) { return {_mm256_min_ps(a.v, b.v)}; }
    static I maxInt(I a, I b) { return {_mm256_max_epi32(a.v, b.v)}; }
    static I minInt(I a, I b) { return {_mm256_min_epi32(a.v, b.v)}; }
    static I less(I a, I b) { return {_mm256_cmpgt_epi32(b.v, a.v)}; }
    static I equal(I a, I b) { return {_mm256_cmpeq_epi32(a.v, b.v)}; }

    static F select(F mask, F a, F b) { return {_mm256_blendv_ps(b.v, a.v, mask.v)}; }
    static I select(I mask, I a, I b) { return {_mm256_blendv_epi8(b.v, a.v, mask.v)}; }
    static F bitAnd(F a, F b) { return {_mm256_and_ps(a.v, b.v)}; }
    static F bitOr(F a, F b) { return {_mm256_or_ps(a.v, b.v)}; }
    static F bitAndNot(F a, F b) { return {_mm256_andnot_ps(b.v, a.v)}; }
    static I bitAnd(I a, I b) { return {_mm256_and_si256(a.v, b.v)}; }
    static I asInt(F a) { return {_mm256_castps_si256(a.v)}; }
    static F asFloat(I a) { return {_mm256_castsi256_ps(a.v)}; }

    static I truncate(F a) { return {_mm256_cvttps_epi32(a.v)}; }
    static F toFloat(I a) { return {_mm256_cvtepi32_ps(a.v)}; }

    static int32_t firstLane(I a) { return _mm256_cvtsi256_si32(a.v); }
    static bool uniform(I a, I b, I c) {
        const __m256i first = _mm256_setzero_si256();
        const __m256i sameA = _mm256_cmpeq_epi32(a.v, _mm256_permutevar8x32_epi32(a.v, first));
        const __m256i sameB = _mm256_cmpeq_epi32(b.v, _mm256_permutevar8x32_epi32(b.v, first));
        const __m256i sameC = _mm256_cmpeq_epi32(c.v, _mm256_permutevar8x32_epi32(c.v, first));
        return _mm256_movemask_epi8(_mm256_and_si256(_mm256_and_si256(sameA, sameB), sameC)) == -1;
    }

    // table[index] for every lane.
    static I gather(const int32_t* table, I index) {
        return {_mm256_i32gather_epi32(table, index.v, 4)};
    }
    static F gather(const float* table, I index) {
        return {_mm256_i32gather_ps(table, index.v, 4)};
    }
    static I shiftRight(I a, int32_t bits) { return {_mm256_srli_epi32(a.v, bits)}; }
    static I shiftLeft(I a, int32_t bits) { return {_mm256_slli_epi32(a.v, bits)}; }
    static I bitOr(I a, I b) { return {_mm256_or_si256(a.v, b.v)}; }

    // table[index] for an index 0..7 in every lane: a shuffle, no memory access.
    static F lookup8(const float* table, I index) {
        return {_mm256_permutevar8x32_ps(_mm256_loadu_ps(table), index.v)};
    }
};

inline Avx2Lanes::F operator+(Avx2Lanes::F a, Avx2Lanes::F b) { return {_mm256_add_ps(a.v, b.v)}; }
inline Avx2Lanes::F operator-(Avx2Lanes::F a, Avx2Lanes::F b) { return {_mm256_sub_ps(a.v, b.v)}; }
inline Avx2Lanes::F operator*(Avx2Lanes::F a, Avx2Lanes::F b) { return {_mm256_mul_ps(a.v, b.v)}; }
inline Avx2Lanes::F operator/(Avx2Lanes::F a, Avx2Lanes::F b) { return {_mm256_div_ps(a.v, b.v)}; }
inline Avx2Lanes::I operator+(Avx2Lanes::I a, Avx2Lanes::I b) {
    return {_mm256_add_epi32(a.v, b.v)};
}
inline Avx2Lanes::I operator-(Avx2Lanes::I a, Avx2Lanes::I b) {
    return {_mm256_sub_epi32(a.v, b.v)};
}

}  // namespace
