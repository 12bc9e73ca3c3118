#include "host/blend_modes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvexel::host {
namespace {

// A straight colour with channels 0 .. 1.
struct Rgb {
    float r;
    float g;
    float b;
};

// A blend function B(Cb, Cs): backdrop and source colour to the blended colour.
typedef Rgb (*BlendFn)(Rgb cb, Rgb cs);

// v / 255 for every byte, so that every channel converts to the same float
// everywhere (the division is done once, by the compiler).
struct UnitTable {
    float v[256];
    constexpr UnitTable() : v() {
        for (int32_t i = 0; i < 256; ++i) v[i] = static_cast<float>(i) / 255.0f;
    }
};
constexpr UnitTable kUnit;

Rgb unitRgb(PF_Pixel8 p) { return {kUnit.v[p.red], kUnit.v[p.green], kUnit.v[p.blue]}; }

float minf(float a, float b) { return a < b ? a : b; }
float maxf(float a, float b) { return a > b ? a : b; }
float clampUnit(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// ------------------------------------------------------------ separable blend functions

// B = Cs
float normal(float, float cs) { return cs; }
// B = min(1, Cb + Cs)
float add(float cb, float cs) { return minf(1.0f, cb + cs); }
// B = Cb × Cs
float multiply(float cb, float cs) { return cb * cs; }
// B = Cb + Cs − Cb × Cs
float screen(float cb, float cs) { return cb + cs - cb * cs; }
// B = Cs ≤ 0.5 ? Cb × 2Cs : Screen(Cb, 2Cs − 1)
float hardLight(float cb, float cs) {
    return cs <= 0.5f ? multiply(cb, 2.0f * cs) : screen(cb, 2.0f * cs - 1.0f);
}
// B = HardLight(Cs, Cb), the hard light with the layers' roles swapped
float overlay(float cb, float cs) { return hardLight(cs, cb); }
// D(x) = x ≤ 0.25 ? ((16x − 12)x + 4)x : sqrt(x), the soft light's lightening curve
float softLightCurve(float x) {
    return x <= 0.25f ? ((16.0f * x - 12.0f) * x + 4.0f) * x : std::sqrt(x);
}
// B = Cs ≤ 0.5 ? Cb − (1 − 2Cs)Cb(1 − Cb) : Cb + (2Cs − 1)(D(Cb) − Cb)
float softLight(float cb, float cs) {
    if (cs <= 0.5f) return cb - (1.0f - 2.0f * cs) * cb * (1.0f - cb);
    return cb + (2.0f * cs - 1.0f) * (softLightCurve(cb) - cb);
}
// B = min(Cb, Cs)
float darken(float cb, float cs) { return minf(cb, cs); }
// B = max(Cb, Cs)
float lighten(float cb, float cs) { return maxf(cb, cs); }
// B = |Cb − Cs| (the classic and the current difference are the same function)
float difference(float cb, float cs) { return cb > cs ? cb - cs : cs - cb; }
// B = Cb + Cs − 2 × Cb × Cs
float exclusion(float cb, float cs) { return cb + cs - 2.0f * cb * cs; }
// B = Cb == 0 ? 0 : Cs == 1 ? 1 : min(1, Cb / (1 − Cs))
float colorDodge(float cb, float cs) {
    if (cb == 0.0f) return 0.0f;
    if (cs >= 1.0f) return 1.0f;
    return minf(1.0f, cb / (1.0f - cs));
}
// B = Cb == 1 ? 1 : Cs == 0 ? 0 : 1 − min(1, (1 − Cb) / Cs)
float colorBurn(float cb, float cs) {
    if (cb >= 1.0f) return 1.0f;
    if (cs <= 0.0f) return 0.0f;
    return 1.0f - minf(1.0f, (1.0f - cb) / cs);
}
// Classic dodge, without the black-backdrop rule: B = Cs == 1 ? 1 : min(1, Cb / (1 − Cs))
float classicColorDodge(float cb, float cs) {
    if (cs >= 1.0f) return 1.0f;
    return minf(1.0f, cb / (1.0f - cs));
}
// Classic burn, without the white-backdrop rule: B = Cs == 0 ? 0 : 1 − min(1, (1 − Cb) / Cs)
float classicColorBurn(float cb, float cs) {
    if (cs <= 0.0f) return 0.0f;
    return 1.0f - minf(1.0f, (1.0f - cb) / cs);
}
// B = max(0, Cb + Cs − 1)
float linearBurn(float cb, float cs) { return maxf(0.0f, cb + cs - 1.0f); }
// B = clamp(Cb + 2Cs − 1, 0, 1)
float linearLight(float cb, float cs) { return clampUnit(cb + 2.0f * cs - 1.0f); }
// B = Cs ≤ 0.5 ? ColorBurn(Cb, 2Cs) : ColorDodge(Cb, 2Cs − 1)
float vividLight(float cb, float cs) {
    return cs <= 0.5f ? colorBurn(cb, 2.0f * cs) : colorDodge(cb, 2.0f * cs - 1.0f);
}
// B = Cs ≤ 0.5 ? min(Cb, 2Cs) : max(Cb, 2Cs − 1)
float pinLight(float cb, float cs) {
    return cs <= 0.5f ? minf(cb, 2.0f * cs) : maxf(cb, 2.0f * cs - 1.0f);
}
// B = Cb + Cs ≥ 1 ? 1 : 0. Byte sums are whole multiples of 1/255, so the test
// is made half a step below 1, where float rounding of k / 255 cannot flip it.
float hardMix(float cb, float cs) { return cb + cs >= 1.0f - 0.5f / 255.0f ? 1.0f : 0.0f; }
// B = max(0, Cb − Cs)
float subtract(float cb, float cs) { return maxf(0.0f, cb - cs); }
// B = Cb == 0 ? 0 : Cs == 0 ? 1 : min(1, Cb / Cs)
float divide(float cb, float cs) {
    if (cb == 0.0f) return 0.0f;
    if (cs == 0.0f) return 1.0f;
    return minf(1.0f, cb / cs);
}

template <float (*F)(float, float)>
Rgb perChannel(Rgb cb, Rgb cs) {
    return {F(cb.r, cs.r), F(cb.g, cs.g), F(cb.b, cs.b)};
}

// ------------------------------------------------------------ non-separable blend functions

// Lum(C) = 0.3 R + 0.59 G + 0.11 B
float lum(Rgb c) { return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b; }

// ClipColor(C): pulls out-of-range channels towards Lum(C), keeping Lum(C).
Rgb clipColor(Rgb c) {
    const float l = lum(c);
    const float n = minf(c.r, minf(c.g, c.b));
    const float x = maxf(c.r, maxf(c.g, c.b));
    if (n < 0.0f && l - n > 0.0f) {
        c = {l + (c.r - l) * l / (l - n), l + (c.g - l) * l / (l - n),
             l + (c.b - l) * l / (l - n)};
    }
    if (x > 1.0f && x - l > 0.0f) {
        c = {l + (c.r - l) * (1.0f - l) / (x - l), l + (c.g - l) * (1.0f - l) / (x - l),
             l + (c.b - l) * (1.0f - l) / (x - l)};
    }
    return c;
}

// SetLum(C, l) = ClipColor(C + (l − Lum(C)))
Rgb setLum(Rgb c, float l) {
    const float d = l - lum(c);
    return clipColor({c.r + d, c.g + d, c.b + d});
}

// Sat(C) = max(C) − min(C)
float sat(Rgb c) { return maxf(c.r, maxf(c.g, c.b)) - minf(c.r, minf(c.g, c.b)); }

// SetSat(C, s): the largest channel becomes s, the smallest 0, the middle one
// keeps its place between them; a grey becomes black.
Rgb setSat(Rgb c, float s) {
    float* ch[3] = {&c.r, &c.g, &c.b};
    // Sort the three channel pointers by value: ch[0] min, ch[1] mid, ch[2] max.
    if (*ch[0] > *ch[1]) std::swap(ch[0], ch[1]);
    if (*ch[1] > *ch[2]) std::swap(ch[1], ch[2]);
    if (*ch[0] > *ch[1]) std::swap(ch[0], ch[1]);
    if (*ch[2] > *ch[0]) {
        *ch[1] = ((*ch[1] - *ch[0]) * s) / (*ch[2] - *ch[0]);
        *ch[2] = s;
    } else {
        *ch[1] = 0.0f;
        *ch[2] = 0.0f;
    }
    *ch[0] = 0.0f;
    return c;
}

// B = SetLum(SetSat(Cs, Sat(Cb)), Lum(Cb))
Rgb hue(Rgb cb, Rgb cs) { return setLum(setSat(cs, sat(cb)), lum(cb)); }
// B = SetLum(SetSat(Cb, Sat(Cs)), Lum(Cb))
Rgb saturation(Rgb cb, Rgb cs) { return setLum(setSat(cb, sat(cs)), lum(cb)); }
// B = SetLum(Cs, Lum(Cb))
Rgb color(Rgb cb, Rgb cs) { return setLum(cs, lum(cb)); }
// B = SetLum(Cb, Lum(Cs))
Rgb luminosity(Rgb cb, Rgb cs) { return setLum(cb, lum(cs)); }
// B = Lum(Cs) < Lum(Cb) ? Cs : Cb
Rgb darkerColor(Rgb cb, Rgb cs) { return lum(cs) < lum(cb) ? cs : cb; }
// B = Lum(Cs) > Lum(Cb) ? Cs : Cb
Rgb lighterColor(Rgb cb, Rgb cs) { return lum(cs) > lum(cb) ? cs : cb; }

// ------------------------------------------------------------ source-over with a blend function

// One channel of the source-over composite, straight result 0 .. 1 before
// rounding; keep = 1 − as, inverse = 1 / ao.
template <BlendFn B>
float sourceOverChannel(float cs, float cb, float blended, float as, float ab, float keep,
                        float inverse) {
    // For IN_FRONT B = Cs, and Cs' = (1 − ab) × Cs + ab × Cs is Cs itself.
    const float mixed = B == &perChannel<normal> ? cs : (1.0f - ab) * cs + ab * blended;
    const float co = as * mixed + (ab * cb) * keep;
    return co * inverse;
}

template <BlendFn B>
PF_Pixel8 sourceOverPixel(PF_Pixel8 s, PF_Pixel8 d, float opacity) {
    const float as = kUnit.v[s.alpha] * opacity;
    const float ab = kUnit.v[d.alpha];
    const float keep = 1.0f - as;
    const float ao = as + ab * keep;
    if (!(ao > 0.0f)) return {0, 0, 0, 0};
    const float inverse = 1.0f / ao;
    const Rgb cs = unitRgb(s);
    const Rgb cb = unitRgb(d);
    const Rgb blended = B(cb, cs);
    PF_Pixel8 out;
    out.alpha = unitToByte(ao);
    out.red = unitToByte(sourceOverChannel<B>(cs.r, cb.r, blended.r, as, ab, keep, inverse));
    out.green = unitToByte(sourceOverChannel<B>(cs.g, cb.g, blended.g, as, ab, keep, inverse));
    out.blue = unitToByte(sourceOverChannel<B>(cs.b, cb.b, blended.b, as, ab, keep, inverse));
    return out;
}

template <BlendFn B>
void sourceOverRow(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count, uint32_t opacity) {
    if (opacity == 0) return;
    const float op = kUnit.v[opacity];
    for (int32_t i = 0; i < count; ++i) {
        const PF_Pixel8 s = src[i];
        if (s.alpha == 0) continue;   // as = 0: the formula gives the destination back
        PF_Pixel8& d = dst[i];
        // An opaque source at full opacity over an empty destination: ab = 0
        // makes Cs' = Cs and ao = 1 exactly, so the result is the source.
        if (opacity == 255 && s.alpha == 255 && (d.alpha == 0 || B == &perChannel<normal>)) {
            d = s;
            continue;
        }
        d = sourceOverPixel<B>(s, d, op);
    }
}

#if defined(__SSE2__)
// IN_FRONT four pixels at a time. Every lane takes exactly the steps of
// sourceOverRow<perChannel<normal>> for its pixel: the same IEEE
// single-precision operations in the same order (v / 255 by division, as
// kUnit is made; no fused operations), and the same choices made with masks,
// so it writes the same bytes. The pixels left over go through the plain row.
namespace sse2 {

// The channel at `shift` of four pixels, as v / 255.
__m128 unitChannel(__m128i pixels, int shift) {
    const __m128i bytes = _mm_and_si128(_mm_srli_epi32(pixels, shift), _mm_set1_epi32(0xFF));
    return _mm_div_ps(_mm_cvtepi32_ps(bytes), _mm_set1_ps(255.0f));
}

__m128i select(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// unitToByte of four values.
__m128i unitToBytes(__m128 v) {
    const __m128i rounded = _mm_cvttps_epi32(
        _mm_add_ps(_mm_mul_ps(v, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
    const __m128i whole = _mm_castps_si128(_mm_cmpge_ps(v, _mm_set1_ps(1.0f)));
    const __m128i positive = _mm_castps_si128(_mm_cmpgt_ps(v, _mm_setzero_ps()));
    return _mm_and_si128(select(whole, _mm_set1_epi32(255), rounded), positive);
}

void inFrontRow(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count, uint32_t opacity) {
    if (opacity == 0) return;
    const __m128 op = _mm_set1_ps(kUnit.v[opacity]);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128i alphaMask = _mm_set1_epi32(0xFF);
    // An opaque source at full opacity is copied as it is.
    const __m128i fullOpacity = _mm_set1_epi32(opacity == 255 ? -1 : 0);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i sAlpha = _mm_and_si128(s, alphaMask);
        const __m128i transparent = _mm_cmpeq_epi32(sAlpha, _mm_setzero_si128());
        if (_mm_movemask_epi8(transparent) == 0xFFFF) continue;
        const __m128 as = _mm_mul_ps(unitChannel(s, 0), op);
        const __m128 ab = unitChannel(d, 0);
        const __m128 keep = _mm_sub_ps(one, as);
        const __m128 ao = _mm_add_ps(as, _mm_mul_ps(ab, keep));
        const __m128 inverse = _mm_div_ps(one, ao);
        __m128i out = unitToBytes(ao);
        for (int shift = 8; shift < 32; shift += 8) {
            const __m128 co = _mm_add_ps(_mm_mul_ps(as, unitChannel(s, shift)),
                                         _mm_mul_ps(_mm_mul_ps(ab, unitChannel(d, shift)), keep));
            out = _mm_or_si128(out, _mm_slli_epi32(unitToBytes(_mm_mul_ps(co, inverse)), shift));
        }
        out = _mm_and_si128(out, _mm_castps_si128(_mm_cmpgt_ps(ao, _mm_setzero_ps())));
        const __m128i copied = _mm_and_si128(fullOpacity, _mm_cmpeq_epi32(sAlpha, alphaMask));
        out = select(copied, s, out);
        out = select(transparent, d, out);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
    }
    sourceOverRow<perChannel<normal>>(src + i, dst + i, count - i, opacity);
}

}  // namespace sse2
#endif

// The row function of IN_FRONT: the vector one where there is one.
void inFrontRow(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count, uint32_t opacity) {
#if defined(__SSE2__)
    sse2::inFrontRow(src, dst, count, opacity);
#else
    sourceOverRow<perChannel<normal>>(src, dst, count, opacity);
#endif
}

// ------------------------------------------------------------ the other modes

// COPY: the source replaces the destination; below full opacity the two are
// mixed in premultiplied terms, with o = opacity / 255:
//   ao = o × αs + (1 − o) × αb;  co = (o × αs) × Cs + ((1 − o) × αb) × Cb;  C = co / ao.
// At full opacity the source pixel is copied as it is.
void copyRow(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count, uint32_t opacity) {
    if (opacity == 0 || count <= 0) return;
    if (opacity == 255) {
        std::memmove(dst, src, static_cast<size_t>(count) * sizeof(PF_Pixel8));
        return;
    }
    const float o = kUnit.v[opacity];
    for (int32_t i = 0; i < count; ++i) {
        const PF_Pixel8 s = src[i];
        PF_Pixel8& d = dst[i];
        const float ws = o * kUnit.v[s.alpha];
        const float wb = (1.0f - o) * kUnit.v[d.alpha];
        const float ao = ws + wb;
        if (!(ao > 0.0f)) {
            d = {0, 0, 0, 0};
            continue;
        }
        const Rgb cs = unitRgb(s);
        const Rgb cb = unitRgb(d);
        d.alpha = unitToByte(ao);
        d.red = unitToByte((ws * cs.r + wb * cb.r) / ao);
        d.green = unitToByte((ws * cs.g + wb * cb.g) / ao);
        d.blue = unitToByte((ws * cs.b + wb * cb.b) / ao);
    }
}

// BEHIND: the source is drawn under the destination (destination-over):
//   ao = ab + as × (1 − ab);  co = ab × Cb + (as × Cs) × (1 − ab);  C = co / ao.
void behindRow(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count, uint32_t opacity) {
    if (opacity == 0) return;
    const float op = kUnit.v[opacity];
    for (int32_t i = 0; i < count; ++i) {
        const PF_Pixel8 s = src[i];
        PF_Pixel8& d = dst[i];
        if (s.alpha == 0 || d.alpha == 255) continue;   // nothing shows through
        const float as = kUnit.v[s.alpha] * op;
        const float ab = kUnit.v[d.alpha];
        const float ao = ab + as * (1.0f - ab);
        const Rgb cs = unitRgb(s);
        const Rgb cb = unitRgb(d);
        d.alpha = unitToByte(ao);
        d.red = unitToByte((ab * cb.r + (as * cs.r) * (1.0f - ab)) / ao);
        d.green = unitToByte((ab * cb.g + (as * cs.g) * (1.0f - ab)) / ao);
        d.blue = unitToByte((ab * cb.b + (as * cs.b) * (1.0f - ab)) / ao);
    }
}

// Y = 0.299 R + 0.587 G + 0.114 B of a straight colour.
float luma(Rgb c) { return (0.299f * c.r + 0.587f * c.g) + 0.114f * c.b; }

// The share k of the destination alpha that a stencil or silhouette removes at
// full opacity; the destination alpha becomes αb × (1 − o × k), colours stay.
// Stencil alpha: k = 1 − αs
float stencilAlphaCut(PF_Pixel8 s) { return 1.0f - kUnit.v[s.alpha]; }
// Stencil luma: k = 1 − Y × αs
float stencilLumaCut(PF_Pixel8 s) { return 1.0f - luma(unitRgb(s)) * kUnit.v[s.alpha]; }
// Silhouette alpha: k = αs
float silhouetteAlphaCut(PF_Pixel8 s) { return kUnit.v[s.alpha]; }
// Silhouette luma: k = Y × αs
float silhouetteLumaCut(PF_Pixel8 s) { return luma(unitRgb(s)) * kUnit.v[s.alpha]; }

template <float (*Cut)(PF_Pixel8)>
void alphaMatteRow(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count, uint32_t opacity) {
    if (opacity == 0) return;
    const float op = kUnit.v[opacity];
    for (int32_t i = 0; i < count; ++i) {
        PF_Pixel8& d = dst[i];
        if (d.alpha == 0) continue;
        d.alpha = unitToByte(kUnit.v[d.alpha] * (1.0f - op * Cut(src[i])));
    }
}

// ADDITIVE_PREMUL: the source colour counts as already premultiplied, so it is
// added on top instead of being weighted by the source alpha:
//   ao = as + ab × (1 − as);  co = o × Cs + (ab × Cb) × (1 − as);  C = min(1, co / ao).
void additivePremulRow(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count, uint32_t opacity) {
    if (opacity == 0) return;
    const float o = kUnit.v[opacity];
    for (int32_t i = 0; i < count; ++i) {
        const PF_Pixel8 s = src[i];
        PF_Pixel8& d = dst[i];
        if (s.alpha == 0 && s.red == 0 && s.green == 0 && s.blue == 0) continue;
        const float as = kUnit.v[s.alpha] * o;
        const float ab = kUnit.v[d.alpha];
        const float ao = as + ab * (1.0f - as);
        if (!(ao > 0.0f)) {
            d = {0, 0, 0, 0};
            continue;
        }
        const Rgb cs = unitRgb(s);
        const Rgb cb = unitRgb(d);
        d.alpha = unitToByte(ao);
        d.red = unitToByte((o * cs.r + (ab * cb.r) * (1.0f - as)) / ao);
        d.green = unitToByte((o * cs.g + (ab * cb.g) * (1.0f - as)) / ao);
        d.blue = unitToByte((o * cs.b + (ab * cb.b) * (1.0f - as)) / ao);
    }
}

// ALPHA_ADD: the colour of IN_FRONT, and the alphas added: ao = min(1, as + ab),
// C = (as × Cs + (ab × Cb) × (1 − as)) / (as + ab × (1 − as)). Two mattes that
// complement each other so join without a seam.
void alphaAddRow(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count, uint32_t opacity) {
    if (opacity == 0) return;
    const float op = kUnit.v[opacity];
    for (int32_t i = 0; i < count; ++i) {
        const PF_Pixel8 s = src[i];
        if (s.alpha == 0) continue;
        PF_Pixel8& d = dst[i];
        const float as = kUnit.v[s.alpha] * op;
        const float ab = kUnit.v[d.alpha];
        const PF_Pixel8 over = sourceOverPixel<perChannel<normal>>(s, d, op);
        d = over;
        d.alpha = unitToByte(minf(1.0f, as + ab));
    }
}

// ------------------------------------------------------------ the table

struct TransferModeEntry {
    PF_TransferMode mode;
    const char* name;
    CompositeRowFn row;        // the plain scalar row function
    bool perChannel;   // each colour channel of the result depends on that channel alone
};

constexpr TransferModeEntry kModes[] = {
    {PF_Xfer_COPY, "COPY", copyRow, false},
    {PF_Xfer_BEHIND, "BEHIND", behindRow, false},
    {PF_Xfer_IN_FRONT, "IN_FRONT", sourceOverRow<perChannel<normal>>, true},
    {PF_Xfer_ADD, "ADD", sourceOverRow<perChannel<add>>, true},
    {PF_Xfer_MULTIPLY, "MULTIPLY", sourceOverRow<perChannel<multiply>>, true},
    {PF_Xfer_SCREEN, "SCREEN", sourceOverRow<perChannel<screen>>, true},
    {PF_Xfer_OVERLAY, "OVERLAY", sourceOverRow<perChannel<overlay>>, true},
    {PF_Xfer_SOFT_LIGHT, "SOFT_LIGHT", sourceOverRow<perChannel<softLight>>, true},
    {PF_Xfer_HARD_LIGHT, "HARD_LIGHT", sourceOverRow<perChannel<hardLight>>, true},
    {PF_Xfer_DARKEN, "DARKEN", sourceOverRow<perChannel<darken>>, true},
    {PF_Xfer_LIGHTEN, "LIGHTEN", sourceOverRow<perChannel<lighten>>, true},
    {PF_Xfer_DIFFERENCE, "DIFFERENCE", sourceOverRow<perChannel<difference>>, true},
    {PF_Xfer_HUE, "HUE", sourceOverRow<hue>, false},
    {PF_Xfer_SATURATION, "SATURATION", sourceOverRow<saturation>, false},
    {PF_Xfer_COLOR, "COLOR", sourceOverRow<color>, false},
    {PF_Xfer_LUMINOSITY, "LUMINOSITY", sourceOverRow<luminosity>, false},
    {PF_Xfer_MULTIPLY_ALPHA, "MULTIPLY_ALPHA", alphaMatteRow<stencilAlphaCut>, false},
    {PF_Xfer_MULTIPLY_ALPHA_LUMA, "MULTIPLY_ALPHA_LUMA", alphaMatteRow<stencilLumaCut>, false},
    {PF_Xfer_MULTIPLY_NOT_ALPHA, "MULTIPLY_NOT_ALPHA", alphaMatteRow<silhouetteAlphaCut>, false},
    {PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA, "MULTIPLY_NOT_ALPHA_LUMA",
     alphaMatteRow<silhouetteLumaCut>, false},
    {PF_Xfer_ADDITIVE_PREMUL, "ADDITIVE_PREMUL", additivePremulRow, false},
    {PF_Xfer_ALPHA_ADD, "ALPHA_ADD", alphaAddRow, false},
    {PF_Xfer_COLOR_DODGE, "COLOR_DODGE", sourceOverRow<perChannel<classicColorDodge>>, true},
    {PF_Xfer_COLOR_BURN, "COLOR_BURN", sourceOverRow<perChannel<classicColorBurn>>, true},
    {PF_Xfer_EXCLUSION, "EXCLUSION", sourceOverRow<perChannel<exclusion>>, true},
    {PF_Xfer_DIFFERENCE2, "DIFFERENCE2", sourceOverRow<perChannel<difference>>, true},
    {PF_Xfer_COLOR_DODGE2, "COLOR_DODGE2", sourceOverRow<perChannel<colorDodge>>, true},
    {PF_Xfer_COLOR_BURN2, "COLOR_BURN2", sourceOverRow<perChannel<colorBurn>>, true},
    {PF_Xfer_LINEAR_DODGE, "LINEAR_DODGE", sourceOverRow<perChannel<add>>, true},
    {PF_Xfer_LINEAR_BURN, "LINEAR_BURN", sourceOverRow<perChannel<linearBurn>>, true},
    {PF_Xfer_LINEAR_LIGHT, "LINEAR_LIGHT", sourceOverRow<perChannel<linearLight>>, true},
    {PF_Xfer_VIVID_LIGHT, "VIVID_LIGHT", sourceOverRow<perChannel<vividLight>>, true},
    {PF_Xfer_PIN_LIGHT, "PIN_LIGHT", sourceOverRow<perChannel<pinLight>>, true},
    {PF_Xfer_HARD_MIX, "HARD_MIX", sourceOverRow<perChannel<hardMix>>, true},
    {PF_Xfer_LIGHTER_COLOR, "LIGHTER_COLOR", sourceOverRow<lighterColor>, false},
    {PF_Xfer_DARKER_COLOR, "DARKER_COLOR", sourceOverRow<darkerColor>, false},
    {PF_Xfer_SUBTRACT, "SUBTRACT", sourceOverRow<perChannel<subtract>>, true},
    {PF_Xfer_DIVIDE, "DIVIDE", sourceOverRow<perChannel<divide>>, true},
};
static_assert(kModes[2].mode == PF_Xfer_IN_FRONT, "entryFor's fallback");
constexpr int32_t kModeCount = static_cast<int32_t>(sizeof(kModes) / sizeof(kModes[0]));
static_assert(kModeCount == 38, "every host transfer mode but DISSOLVE");

constexpr std::array<PF_TransferMode, kModeCount> modeList() {
    std::array<PF_TransferMode, kModeCount> list{};
    for (int32_t i = 0; i < kModeCount; ++i) list[i] = kModes[i].mode;
    return list;
}
constexpr std::array<PF_TransferMode, kModeCount> kModeList = modeList();

const TransferModeEntry& entryFor(PF_TransferMode mode) {
    for (const TransferModeEntry& entry : kModes) {
        if (entry.mode == mode) return entry;
    }
    return kModes[2];
}

}  // namespace

uint8_t unitToByte(float v) {
    if (!(v > 0.0f)) return 0;   // also NaN
    if (v >= 1.0f) return 255;
    return static_cast<uint8_t>(v * 255.0f + 0.5f);
}

// The row function a mode composites with: its vector one where it has one.
CompositeRowFn rowOf(const TransferModeEntry& entry) {
    return entry.mode == PF_Xfer_IN_FRONT ? inFrontRow : entry.row;
}

CompositeRowFn compositeRowFor(PF_TransferMode mode) { return rowOf(entryFor(mode)); }

CompositeRowFn plainCompositeRowFor(PF_TransferMode mode) { return entryFor(mode).row; }

// Below this many pixels building the opaque-pair table (65536 results) costs
// more than it saves.
constexpr int64_t kOpaqueTablePixels = int64_t{1} << 19;

Compositor makeCompositor(PF_TransferMode mode, uint32_t opacity, int64_t pixelCount) {
    const AlphaPair opaque{255, 255};
    return makeCompositor(mode, opacity,
                          std::span<const AlphaPair>(&opaque, pixelCount < kOpaqueTablePixels ? 0 : 1),
                          nullptr);
}

namespace {

// The mark in Compositor::tableOf of pairs whose pixels stay as they are.
constexpr uint8_t kUnchanged = 255;

// Row cs of table t: the row function over the pair's alphas with source
// channels cs and every destination channel value.
void fillTableRow(Compositor* compositor, AlphaPair pair, int32_t t, int32_t cs) {
    PF_Pixel8 src[256];
    PF_Pixel8 dst[256];
    const uint8_t c = static_cast<uint8_t>(cs);
    for (int32_t cb = 0; cb < 256; ++cb) {
        const uint8_t b = static_cast<uint8_t>(cb);
        src[cb] = {pair.source, c, c, c};
        dst[cb] = {pair.destination, b, b, b};
    }
    compositor->row(src, dst, 256, compositor->opacity);
    uint8_t* out = compositor->tables.data() + (static_cast<size_t>(t) * 256 + cs) * 256;
    for (int32_t cb = 0; cb < 256; ++cb) out[cb] = dst[cb].red;
    // The alpha depends on the two alphas alone: every row writes the same.
    if (cs == 0) compositor->tableAlpha[t] = dst[0].alpha;
}

}  // namespace

Compositor makeCompositor(PF_TransferMode mode, uint32_t opacity, std::span<const AlphaPair> pairs,
                          const ForEach* forEach) {
    const TransferModeEntry& entry = entryFor(mode);
    Compositor compositor;
    compositor.row = rowOf(entry);
    compositor.opacity = opacity < 255 ? opacity : 255;
    const size_t count = std::min(pairs.size(), static_cast<size_t>(kMaxPairTables));
    if (!entry.perChannel || compositor.opacity == 0 || count == 0) return compositor;
    compositor.tableOf.assign(65536, 0);
    // Every per-channel mode leaves the destination as it is under a
    // transparent source.
    std::fill_n(compositor.tableOf.begin(), 256, kUnchanged);
    compositor.tables.resize(count * 65536);
    compositor.tableAlpha.resize(count);
    for (size_t t = 0; t < count; ++t) {
        compositor.tableOf[pairs[t].source * 256 + pairs[t].destination] =
            static_cast<uint8_t>(t + 1);
    }
    const std::function<void(int32_t)> fillRow = [&](int32_t i) {
        fillTableRow(&compositor, pairs[size_t(i / 256)], i / 256, i % 256);
    };
    const int32_t rows = static_cast<int32_t>(count) * 256;
    if (forEach != nullptr) {
        (*forEach)(rows, fillRow);
    } else {
        for (int32_t i = 0; i < rows; ++i) fillRow(i);
    }
    return compositor;
}

#if defined(__SSE2__)
namespace {
namespace sse2 {

static_assert(std::endian::native == std::endian::little, "pixels read as little-endian words");

// Four pixels whose alpha pairs all have the same table (or all stay as they
// are), looked up together: interleaving the destination's bytes with the
// source's makes every 16-bit lane a table index, Cs × 256 + Cb (and the
// alpha lane the pair's, αs × 256 + αb). The results are the table's bytes,
// the same the pixel-by-pixel loop takes. False, with nothing written, when
// the four do not share a table.
bool tableFour(const uint8_t* tableOf, const uint8_t* tables, const uint8_t* alphas,
               const PF_Pixel8* src, PF_Pixel8* dst) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
    const __m128i lo = _mm_unpacklo_epi8(d, s);   // pixels 0 and 1
    const __m128i hi = _mm_unpackhi_epi8(d, s);   // pixels 2 and 3
    const uint32_t t = tableOf[_mm_extract_epi16(lo, 0)];
    if (t == 0 || tableOf[_mm_extract_epi16(lo, 4)] != t ||
        tableOf[_mm_extract_epi16(hi, 0)] != t || tableOf[_mm_extract_epi16(hi, 4)] != t) {
        return false;
    }
    if (t == kUnchanged) return true;
    const uint8_t* table = tables + static_cast<size_t>(t - 1) * 65536;
    const uint32_t alpha = alphas[t - 1];
    const auto pixel = [&](uint32_t red, uint32_t green, uint32_t blue) {
        return static_cast<int>(alpha | uint32_t{table[red]} << 8 | uint32_t{table[green]} << 16 |
                                uint32_t{table[blue]} << 24);
    };
    const int p0 = pixel(_mm_extract_epi16(lo, 1), _mm_extract_epi16(lo, 2), _mm_extract_epi16(lo, 3));
    const int p1 = pixel(_mm_extract_epi16(lo, 5), _mm_extract_epi16(lo, 6), _mm_extract_epi16(lo, 7));
    const int p2 = pixel(_mm_extract_epi16(hi, 1), _mm_extract_epi16(hi, 2), _mm_extract_epi16(hi, 3));
    const int p3 = pixel(_mm_extract_epi16(hi, 5), _mm_extract_epi16(hi, 6), _mm_extract_epi16(hi, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_set_epi32(p3, p2, p1, p0));
    return true;
}

}  // namespace sse2
}  // namespace
#endif

void compositeRow(const Compositor& compositor, const PF_Pixel8* src, PF_Pixel8* dst,
                  int32_t count) {
    const CompositeRowFn row = compositor.row;
    const uint32_t opacity = compositor.opacity;
    if (compositor.tableOf.empty()) {
        row(src, dst, count, opacity);
        return;
    }
    // Locals, so that writing pixels cannot make the compiler read these again.
    const uint8_t* const tableOf = compositor.tableOf.data();
    const uint8_t* const tables = compositor.tables.data();
    const uint8_t* const alphas = compositor.tableAlpha.data();
    int32_t i = 0;
    while (i < count) {
        // A run of pixels the tables answer (or that stay as they are).
        for (; i < count; ++i) {
#if defined(__SSE2__)
            // Four at a time while the four share one table.
            while (i + 4 <= count && sse2::tableFour(tableOf, tables, alphas, src + i, dst + i)) {
                i += 4;
            }
            if (i == count) break;
#endif
            const PF_Pixel8 s = src[i];
            const PF_Pixel8 d = dst[i];
            const uint32_t t = tableOf[s.alpha * 256 + d.alpha];
            if (t == 0) break;
            if (t == kUnchanged) continue;
            const uint8_t* table = tables + static_cast<size_t>(t - 1) * 65536;
            dst[i] = {alphas[t - 1], table[s.red * 256 + d.red], table[s.green * 256 + d.green],
                      table[s.blue * 256 + d.blue]};
        }
        // Then a run for the row function.
        int32_t end = i;
        while (end < count && tableOf[src[end].alpha * 256 + dst[end].alpha] == 0) ++end;
        if (end > i) row(src + i, dst + i, end - i, opacity);
        i = end;
    }
}

PF_Pixel8 compositePixel(PF_TransferMode mode, PF_Pixel8 src, PF_Pixel8 dst, uint8_t opacity) {
    compositeRowFor(mode)(&src, &dst, 1, opacity);
    return dst;
}

std::span<const PF_TransferMode> supportedTransferModes() { return kModeList; }

const char* transferModeName(PF_TransferMode mode) { return entryFor(mode).name; }

}  // namespace corvexel::host
