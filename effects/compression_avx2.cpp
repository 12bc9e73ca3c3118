// The compression glitch's colour conversions built for AVX2: the three
// results of a pixel side by side in one register. Only this file (with the
// other *_avx2.cpp files) is compiled with -mavx2; runCompression hands
// these pixel functions to the host only where cpuHasAvx2().
//
// Each lane does its own result's multiplications and additions in the
// order toYCbCrPixel and toRgbPixel write them: a subtraction is the
// addition of the negated product (IEEE arithmetic rounds both alike), a
// leading 0 + x is x, and a trailing product 0 leaves a result that is
// never -0 as it is. The store clamps to 0 .. 255 and truncates, as
// storeByte does for the never-NaN results. The AllColours tests check
// every colour against the plain formulas.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "effects/compression.h"

namespace {

// Four 32-bit values (alpha, then the three results) as the pixel's bytes.
void storePixel(PF_Pixel8* out, __m128i alpha, __m128i results) {
    const __m128i values = _mm_or_si128(_mm_slli_si128(results, 4), alpha);
    const __m128i words = _mm_packs_epi32(values, values);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(out, &bytes, sizeof bytes);
}

// The byte store of four results at once.
__m128i storeBytes(__m256d v) {
    const __m256d held = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(held);
}

// The pixel's alpha, red, green, blue as four 32-bit values.
__m128i pixelValues(const PF_Pixel8* in) {
    int32_t bytes;
    std::memcpy(&bytes, in, sizeof bytes);
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(bytes));
}

__m128i alphaOnly(__m128i values) { return _mm_and_si128(values, _mm_setr_epi32(-1, 0, 0, 0)); }

}  // namespace

// Lanes Y, Cb, Cr (and a fourth that is dropped):
//   Y  = ((0 + G * 0.587) + R * 0.299) + B * 0.114
//   Cb = ((128 + R * -0.16874) + G * -0.33126) + B * 0.5
//   Cr = ((128 + R * 0.5) + G * -0.41869) + B * -0.08131
PF_Err toYCbCrPixelAvx2(void*, A_long, A_long, PF_Pixel8* in, PF_Pixel8* out) {
    const __m128i values = pixelValues(in);
    const __m256d argb = _mm256_cvtepi32_pd(values);   // lanes A, R, G, B
    const __m256d first = _mm256_permute4x64_pd(argb, _MM_SHUFFLE(0, 1, 1, 2));    // G R R A
    const __m256d second = _mm256_permute4x64_pd(argb, _MM_SHUFFLE(0, 2, 2, 1));   // R G G A
    const __m256d third = _mm256_permute4x64_pd(argb, _MM_SHUFFLE(0, 3, 3, 3));    // B B B A
    __m256d sum = _mm256_add_pd(_mm256_setr_pd(0.0, 128.0, 128.0, 0.0),
                                _mm256_mul_pd(first, _mm256_setr_pd(0.587, -0.16874, 0.5, 0.0)));
    sum = _mm256_add_pd(sum, _mm256_mul_pd(second, _mm256_setr_pd(0.299, -0.33126, -0.41869, 0.0)));
    sum = _mm256_add_pd(sum, _mm256_mul_pd(third, _mm256_setr_pd(0.114, 0.5, -0.08131, 0.0)));
    storePixel(out, alphaOnly(values), storeBytes(sum));
    return PF_Err_NONE;
}

// Lanes R, G, B (and a fourth that is dropped), with cb = Cb - 128 and
// cr = Cr - 128:
//   R = (Y + cr * 1.402) + cr * 0
//   G = (Y + cb * -0.34414) + cr * -0.71414
//   B = (Y + cb * 1.772) + cr * 0
PF_Err toRgbPixelAvx2(void*, A_long, A_long, PF_Pixel8* in, PF_Pixel8* out) {
    const __m128i values = pixelValues(in);
    const __m128i centred = _mm_sub_epi32(values, _mm_setr_epi32(0, 0, 128, 128));
    const __m256d ayc = _mm256_cvtepi32_pd(centred);   // lanes A, Y, cb, cr
    const __m256d luma = _mm256_permute4x64_pd(ayc, _MM_SHUFFLE(0, 1, 1, 1));     // Y Y Y A
    const __m256d first = _mm256_permute4x64_pd(ayc, _MM_SHUFFLE(0, 2, 2, 3));    // cr cb cb A
    const __m256d second = _mm256_permute4x64_pd(ayc, _MM_SHUFFLE(0, 3, 3, 3));   // cr cr cr A
    __m256d sum = _mm256_add_pd(luma, _mm256_mul_pd(first, _mm256_setr_pd(1.402, -0.34414, 1.772, 0.0)));
    sum = _mm256_add_pd(sum, _mm256_mul_pd(second, _mm256_setr_pd(0.0, -0.71414, 0.0, 0.0)));
    storePixel(out, alphaOnly(values), storeBytes(sum));
    return PF_Err_NONE;
}
