// Four single-precision lanes on SSE2, which every x86-64 processor has.
//
// Each operation is the lane-wise form of one scalar operation (IEEE add,
// subtract, multiply, divide, ordered comparison, truncating conversion), so
// a lane computes exactly what the scalar code computes for its input. There
// is no reciprocal estimate, no fused multiply-add and no reassociation.
//
// Everything here has internal linkage: a file compiled for a wider vector
// unit includes its own lane header, and no inline function compiled with
// other instruction-set flags can be shared between the two.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace {

struct Sse2Lanes {
    static constexpr int kCount = 4;
    struct F {
        __m128 v;
    };
    struct I {
        __m128i v;
    };

    static F splat(float a) { return {_mm_set1_ps(a)}; }
    static I splat(int32_t a) { return {_mm_set1_epi32(a)}; }
    static F load(const float* p) { return {_mm_loadu_ps(p)}; }
    static I load(const int32_t* p) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))};
    }
    static void store(float* p, F a) { _mm_storeu_ps(p, a.v); }
    static void store(int32_t* p, I a) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), a.v); }
    // 0, 1, 2, 3 added to `first`, wrapping as 32-bit adds do.
    static I ramp(int32_t first) {
        return {_mm_add_epi32(_mm_set1_epi32(first), _mm_setr_epi32(0, 1, 2, 3))};
    }

    // Ordered comparisons: a lane is all ones where the comparison holds,
    // and all zeros where it fails, NaN included.
    static F greaterEqual(F a, F b) { return {_mm_cmpge_ps(a.v, b.v)}; }
    static F greater(F a, F b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
    static F less(F a, F b) { return {_mm_cmplt_ps(a.v, b.v)}; }
    static F equal(F a, F b) { return {_mm_cmpeq_ps(a.v, b.v)}; }
    // The larger and smaller of two lanes; only for values that are never NaN.
    static F max(F a, F b) { return {_mm_max_ps(a.v, b.v)}; }
    static F min(F a, F b) { return {_mm_min_ps(a.v, b.v)}; }
    // (SSE2 has no 32-bit integer maximum: compare and pick.)
    static I maxInt(I a, I b) { return select(less(a, b), b, a); }
    static I minInt(I a, I b) { return select(less(a, b), a, b); }
    static I less(I a, I b) { return {_mm_cmplt_epi32(a.v, b.v)}; }
    static I equal(I a, I b) { return {_mm_cmpeq_epi32(a.v, b.v)}; }

    // Lane-wise `mask ? a : b`.
    static F select(F mask, F a, F b) {
        return {_mm_or_ps(_mm_and_ps(mask.v, a.v), _mm_andnot_ps(mask.v, b.v))};
    }
    static I select(I mask, I a, I b) {
        return {_mm_or_si128(_mm_and_si128(mask.v, a.v), _mm_andnot_si128(mask.v, b.v))};
    }
    static F bitAnd(F a, F b) { return {_mm_and_ps(a.v, b.v)}; }
    static F bitOr(F a, F b) { return {_mm_or_ps(a.v, b.v)}; }
    // a & ~b.
    static F bitAndNot(F a, F b) { return {_mm_andnot_ps(b.v, a.v)}; }
    static I bitAnd(I a, I b) { return {_mm_and_si128(a.v, b.v)}; }
    static I asInt(F a) { return {_mm_castps_si128(a.v)}; }
    static F asFloat(I a) { return {_mm_castsi128_ps(a.v)}; }

    // Truncation toward zero; INT32_MIN for NaN and anything outside the
    // int32 range, as truncToInt32 gives.
    static I truncate(F a) { return {_mm_cvttps_epi32(a.v)}; }
    static F toFloat(I a) { return {_mm_cvtepi32_ps(a.v)}; }

    static int32_t firstLane(I a) { return _mm_cvtsi128_si32(a.v); }
    // True when every lane of a, of b and of c equals that vector's first lane.
    static bool uniform(I a, I b, I c) {
        const __m128i sameA = _mm_cmpeq_epi32(a.v, _mm_shuffle_epi32(a.v, 0));
        const __m128i sameB = _mm_cmpeq_epi32(b.v, _mm_shuffle_epi32(b.v, 0));
        const __m128i sameC = _mm_cmpeq_epi32(c.v, _mm_shuffle_epi32(c.v, 0));
        return _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(sameA, sameB), sameC)) == 0xFFFF;
    }

    // table[index] for every lane (SSE2 has no gather instruction).
    static I gather(const int32_t* table, I index) {
        alignas(16) int32_t at[kCount];
        store(at, index);
        return {_mm_setr_epi32(table[at[0]], table[at[1]], table[at[2]], table[at[3]])};
    }
    static F gather(const float* table, I index) {
        alignas(16) int32_t at[kCount];
        store(at, index);
        return {_mm_setr_ps(table[at[0]], table[at[1]], table[at[2]], table[at[3]])};
    }
    static I shiftRight(I a, int32_t bits) { return {_mm_srli_epi32(a.v, bits)}; }
    static I shiftLeft(I a, int32_t bits) { return {_mm_slli_epi32(a.v, bits)}; }
    static I bitOr(I a, I b) { return {_mm_or_si128(a.v, b.v)}; }

    // table[index] for an index 0..7 in every lane.
    static F lookup8(const float* table, I index) {
        alignas(16) int32_t at[kCount];
        store(at, index);
        return {_mm_setr_ps(table[at[0]], table[at[1]], table[at[2]], table[at[3]])};
    }
};

inline Sse2Lanes::F operator+(Sse2Lanes::F a, Sse2Lanes::F b) { return {_mm_add_ps(a.v, b.v)}; }
inline Sse2Lanes::F operator-(Sse2Lanes::F a, Sse2Lanes::F b) { return {_mm_sub_ps(a.v, b.v)}; }
inline Sse2Lanes::F operator*(Sse2Lanes::F a, Sse2Lanes::F b) { return {_mm_mul_ps(a.v, b.v)}; }
inline Sse2Lanes::F operator/(Sse2Lanes::F a, Sse2Lanes::F b) { return {_mm_div_ps(a.v, b.v)}; }
inline Sse2Lanes::I operator+(Sse2Lanes::I a, Sse2Lanes::I b) { return {_mm_add_epi32(a.v, b.v)}; }
inline Sse2Lanes::I operator-(Sse2Lanes::I a, Sse2Lanes::I b) { return {_mm_sub_epi32(a.v, b.v)}; }

}  // namespace
