// Compression glitch, second step: posterise R, G and B to a coarse step and
// diffuse each rounding error onto the pixels not visited yet.
#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "effects/stages.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

namespace {

inline PF_Pixel8* pixelAt(PF_EffectWorld* world, int32_t x, int32_t y) {
    return reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(world->data) +
                                        static_cast<intptr_t>(y) * world->rowbytes) + x;
}

// Every error share is added to a neighbour and held at 255 at once. The
// shares are never negative, so holding the sum at 255 after each addition
// or once after all of them gives the same byte; each pixel therefore takes
// the shares of the row above in one addition, made as soon as the last of
// them is known.
inline A_u_char heldAt255(int32_t sum) { return static_cast<A_u_char>(sum > 255 ? 255 : sum); }

// The posterisation of a channel value v that has just taken its share from
// the left neighbour (so v runs past 255 by at most that share), read off
// tables instead of dividing: the quantised value, the error and the 7/16
// share of the error passed on to the right, all for v held at 255.
struct Posteriser {
    // Errors are below the step and at most 255.
    static constexpr int32_t kLargestCarry = 7 * 255 / 16;
    uint8_t quantised[256 + kLargestCarry + 1];
    uint8_t error[256 + kLargestCarry + 1];
    uint8_t rightShare[256 + kLargestCarry + 1];

    explicit Posteriser(int32_t step) {
        for (int32_t v = 0; v <= 255 + kLargestCarry; ++v) {
            const int32_t held = v > 255 ? 255 : v;
            const int32_t q = step * (held / step);
            quantised[v] = static_cast<uint8_t>(q);
            error[v] = static_cast<uint8_t>(held - q);
            rightShare[v] = static_cast<uint8_t>(7 * (held - q) / 16);
        }
    }
};

// The quantisation errors of a stretch of one row, four bytes a pixel in
// the pixel's own layout (the alpha byte's error is always 0), with room for
// the two pixels before the stretch.
constexpr int32_t kStretch = 256;

struct RowErrors {
    uint8_t bytes[(kStretch + 2) * 4];
    uint8_t* pixel(int32_t n) { return bytes + (n + 2) * 4; }   // n = -2 .. kStretch - 1
};

// Quantises pixels first .. first + count - 1 of a row, left to right: each
// channel takes the share its left neighbour passed on (carry) before it is
// quantised, and passes its own on. Records the errors.
void posteriseStretch(const Posteriser& table, PF_Pixel8* row, int32_t first, int32_t count,
                      int32_t carry[3], RowErrors* errors) {
    for (int32_t n = 0; n < count; ++n) {
        A_u_char* channels[3] = {&row[first + n].red, &row[first + n].green, &row[first + n].blue};
        uint8_t* error = errors->pixel(n);
        error[0] = 0;
        for (int32_t c = 0; c < 3; ++c) {
            const int32_t v = *channels[c] + carry[c];
            *channels[c] = table.quantised[v];
            error[1 + c] = table.error[v];
            carry[c] = table.rightShare[v];
        }
    }
}

// The shares of the row above that reach one byte: 1/16 from its upper
// left, 5/16 from straight above and 3/16 from its upper right, each
// truncated on its own.
inline int32_t sharesFromAbove(int32_t upperLeft, int32_t above, int32_t upperRight) {
    return upperLeft / 16 + 5 * above / 16 + 3 * upperRight / 16;
}

// Adds the shares of the row above to count bytes of the next row: byte b
// of below pixel m takes them from byte b of pixels m - 1, m and m + 1 above,
// whose errors are at upperLeft[b], upperLeft[b + 4] and upperLeft[b + 8].
void addSharesPlain(uint8_t* target, const uint8_t* upperLeft, int32_t count) {
    for (int32_t b = 0; b < count; ++b) {
        target[b] = heldAt255(target[b] +
                              sharesFromAbove(upperLeft[b], upperLeft[b + 4], upperLeft[b + 8]));
    }
}

// The same, sixteen bytes (four pixels) at a time: the shares in 16-bit
// lanes, truncated one by one as above, and a saturating byte add, which is
// the addition held at 255.
void addShares(uint8_t* target, const uint8_t* upperLeft, int32_t count) {
    const __m128i zero = _mm_setzero_si128();
    int32_t b = 0;
    for (; b + 16 <= count; b += 16) {
        __m128i shares[2];
        for (int32_t half = 0; half < 2; ++half) {
            const auto widen = [&](int32_t offset) {
                const __m128i bytes = _mm_loadu_si128(
                    reinterpret_cast<const __m128i*>(upperLeft + b + offset));
                return half == 0 ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpackhi_epi8(bytes, zero);
            };
            const __m128i left = widen(0), above = widen(4), right = widen(8);
            const __m128i five = _mm_add_epi16(_mm_slli_epi16(above, 2), above);
            const __m128i three = _mm_add_epi16(_mm_slli_epi16(right, 1), right);
            shares[half] = _mm_add_epi16(_mm_add_epi16(_mm_srli_epi16(left, 4),
                                                       _mm_srli_epi16(five, 4)),
                                         _mm_srli_epi16(three, 4));
        }
        __m128i* bytes = reinterpret_cast<__m128i*>(target + b);
        _mm_storeu_si128(bytes, _mm_adds_epu8(_mm_loadu_si128(bytes),
                                              _mm_packus_epi16(shares[0], shares[1])));
    }
    addSharesPlain(target + b, upperLeft + b, count - b);
}

// Hands the errors of a stretch down to the next row: below pixel m takes
// its shares from pixels m - 1, m and m + 1 of the stretch's row, so the
// pixels below first - 1 .. first + count - 2 are complete once the stretch
// is quantised (the errors of pixels first - 2 and first - 1 are kept in
// front). The row's first pixel has no pixel below-left of it.
void shareStretchDown(RowErrors* errors, PF_Pixel8* below, int32_t first, int32_t count) {
    const int32_t skip = first == 0 ? 1 : 0;
    uint8_t* target = reinterpret_cast<uint8_t*>(below + first - 1 + skip);
    addShares(target, errors->pixel(skip - 2), (count - skip) * 4);
}

// Dithers row y, a stretch at a time.
void ditherRow(PF_EffectWorld* world, int32_t y, const Posteriser& table) {
    const int32_t width = world->width;
    PF_Pixel8* row = pixelAt(world, 0, y);
    PF_Pixel8* below = y + 1 < world->height ? pixelAt(world, 0, y + 1) : nullptr;
    RowErrors errors;
    std::memset(errors.bytes, 0, 8);   // no pixels before the row's first
    int32_t carry[3] = {0, 0, 0};
    for (int32_t first = 0; first < width; first += kStretch) {
        const int32_t count = std::min(kStretch, width - first);
        posteriseStretch(table, row, first, count, carry, &errors);
        if (below != nullptr) shareStretchDown(&errors, below, first, count);
        // The last two pixels' errors stay in front for the next stretch.
        std::memmove(errors.bytes, errors.pixel(count - 2), 8);
    }
    if (below != nullptr) {
        // The last pixel below has no upper right neighbour.
        uint8_t* target = reinterpret_cast<uint8_t*>(below + width - 1);
        const uint8_t* upperLeft = errors.pixel(-2);
        const uint8_t* above = errors.pixel(-1);
        for (int32_t b = 0; b < 4; ++b) {
            target[b] = heldAt255(target[b] + sharesFromAbove(upperLeft[b], above[b], 0));
        }
    }
}

}  // namespace

PF_Err runDither(PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_EffectWorld* world,
                 SuiteCache*) {
    int32_t step = truncToInt32(floatParam(params, kParamDitherAmount) *
                                floatParam(params, kParamCompressionMultiplier) / 100.0 *
                                floatParam(params, kParamCorvexelAmount) / 100.0);
    if (step <= 0) return PF_Err_NONE;
    const Posteriser table(step);
    for (int32_t y = 0; y < world->height; ++y) ditherRow(world, y, table);
    return PF_Err_NONE;
}
