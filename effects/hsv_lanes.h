// The channel split's Hue, Saturation and Value combines for several pixel
// pairs at once, one pair per vector lane.
//
// Included by hsv_lanes.cpp with the SSE2 lanes and by hsv_lanes_avx2.cpp
// with the AVX2 lanes. Every lane performs the single-precision operations
// of rgbToHsv and hsvToRgb (color_math.cpp) in their order; their branches
// become masks that pick among results computed for every case, each test
// equivalent to the comparison the scalar code makes. Lanes whose case
// divides by zero compute a value that is never picked. The tests hold both
// widths to the scalar combines for every colour.
#pragma once

#include <cstdint>

#include "effects/color_math.h"

namespace {

constexpr bool floatQuotientsAreTheNormalisedChannels() {
    for (int32_t byte = 0; byte < 256; ++byte) {
        if (static_cast<float>(byte) / 255.0f !=
            static_cast<float>(static_cast<double>(byte) / 255.0)) {
            return false;
        }
    }
    return true;
}
static_assert(floatQuotientsAreTheNormalisedChannels());

template <class L>
struct HsvLanes {
    using F = typename L::F;
    using I = typename L::I;
    static constexpr int kCount = L::kCount;

    struct Hsv {
        F h, s, v;
    };

    static F notMask(F m) { return L::bitAndNot(L::asFloat(L::splat(int32_t{-1})), m); }

    // The byte at `shift` of every lane's pixel word (alpha 0, red 8,
    // green 16, blue 24).
    static I byteAt(I pixels, int32_t shift) {
        return L::bitAnd(L::shiftRight(pixels, shift), L::splat(int32_t{255}));
    }

    // The normalised channel of every lane: byte / 255 in single precision,
    // which for every byte is the double quotient rounded to float that
    // rgbToHsv reads from its table (checked for all 256 at compile time
    // below), and cheaper than a gather.
    static F normalised(I bytes) { return L::toFloat(bytes) / L::splat(255.0f); }

    // The parts of rgbToHsv a combine needs: hue, saturation, value.
    enum Parts { kHue = 1, kSaturation = 2, kValue = 4 };

    // rgbToHsv, computing only `parts` (the others are left 0). The
    // normalised channels only compare and subtract here, and normalising
    // keeps the order of bytes, so the maximum, minimum and which channel is
    // the largest are found on the bytes; only the values the formulas use
    // are normalised.
    static Hsv toHsv(I pixels, int parts) {
        const I red = byteAt(pixels, 8), green = byteAt(pixels, 16), blue = byteAt(pixels, 24);
        const I largest = L::maxInt(red, L::maxInt(green, blue));
        const I smallest = L::minInt(red, L::minInt(green, blue));
        const F v = normalised(largest);
        const F delta = v - normalised(smallest);
        const F zero = L::splat(0.0f);
        const F black = L::equal(v, zero);
        Hsv out{zero, zero, zero};
        if (parts & kValue) out.v = v;
        if (parts & kSaturation) out.s = L::select(black, zero, delta / v);
        if (parts & kHue) {
            // r == v, else g == v, else b: (g - b) / delta, (b - r) / delta + 2,
            // (r - g) / delta + 4.
            const F redLargest = L::asFloat(L::equal(red, largest));
            const F greenLargest = L::asFloat(L::equal(green, largest));
            const I first = L::select(L::asInt(redLargest), green,
                                      L::select(L::asInt(greenLargest), blue, red));
            const I second = L::select(L::asInt(redLargest), blue,
                                       L::select(L::asInt(greenLargest), red, green));
            const F quotient = (normalised(first) - normalised(second)) / delta;
            F h = L::select(redLargest, quotient,
                            quotient + L::select(greenLargest, L::splat(2.0f), L::splat(4.0f)));
            h = h * L::splat(60.0f);
            h = L::select(L::less(h, zero), h + L::splat(360.0f), h);
            h = L::select(L::equal(delta, zero), zero, h);   // grey
            out.h = L::select(black, L::splat(-1.0f), h);
        }
        return out;
    }

    // wrappedByte(double(x * 255)): the truncation of the product, low 8
    // bits kept; a product beyond int32 (or NaN) truncates to INT32_MIN,
    // whose low bits are 0, as truncToInt32 gives.
    static I wrappedByte(F x) {
        return L::bitAnd(L::truncate(x * L::splat(255.0f)), L::splat(int32_t{255}));
    }

    // hsvToRgb, packed with the given alpha bytes as pixel words.
    static I toPixels(const Hsv& c, I alpha) {
        const F one = L::splat(1.0f);
        const F sector = c.h / L::splat(60.0f);
        const I whole = L::truncate(sector);
        const I i = L::select(L::asInt(L::less(sector, L::splat(0.0f))),
                              whole - L::splat(int32_t{1}), whole);
        const F f = sector - L::toFloat(i);
        const F pp = c.v * (one - c.s);
        const F qq = c.v * (one - f * c.s);
        const F tt = c.v * (one - (one - f) * c.s);
        const auto is = [&](int32_t k) { return L::asFloat(L::equal(i, L::splat(k))); };
        const F i0 = is(0), i1 = is(1), i2 = is(2), i3 = is(3), i4 = is(4);
        // Sectors 0..4, then every other i.
        F red = L::select(i0, c.v, L::select(i1, qq, L::select(i2, pp, L::select(i3, pp,
                          L::select(i4, tt, c.v)))));
        F green = L::select(i0, tt, L::select(i1, c.v, L::select(i2, c.v, L::select(i3, qq,
                            L::select(i4, pp, pp)))));
        F blue = L::select(i0, pp, L::select(i1, pp, L::select(i2, tt, L::select(i3, c.v,
                           L::select(i4, c.v, qq)))));
        // No saturation (s == 0, NaN excluded): grey at v.
        const F grey = L::equal(c.s, L::splat(0.0f));
        red = L::select(grey, c.v, red);
        green = L::select(grey, c.v, green);
        blue = L::select(grey, c.v, blue);
        return L::bitOr(L::bitOr(alpha, L::shiftLeft(wrappedByte(red), 8)),
                        L::bitOr(L::shiftLeft(wrappedByte(green), 16),
                                 L::shiftLeft(wrappedByte(blue), 24)));
    }

    // out[n] = combineHue / combineSaturation / combineValue (own[n], partner[n]).
    static void combineRun(HsvComponent from, const uint32_t* own, const uint32_t* partner,
                           int32_t count, uint32_t* out) {
        for (int32_t n = 0; n < count; n += kCount) {
            alignas(32) uint32_t p[kCount] = {}, q[kCount] = {}, result[kCount];
            const int32_t lanes = count - n < kCount ? count - n : kCount;
            for (int32_t m = 0; m < lanes; ++m) {
                p[m] = own[n + m];
                q[m] = partner[n + m];
            }
            const I ownPixels = L::load(reinterpret_cast<const int32_t*>(p));
            const I partnerPixels = L::load(reinterpret_cast<const int32_t*>(q));
            const int taken = from == HsvComponent::kHue          ? kHue
                              : from == HsvComponent::kSaturation ? kSaturation
                                                                  : kValue;
            const Hsv theirs = toHsv(partnerPixels, taken);
            Hsv mixed = toHsv(ownPixels, (kHue | kSaturation | kValue) & ~taken);
            if (taken == kHue) mixed.h = theirs.h;
            if (taken == kSaturation) mixed.s = theirs.s;
            if (taken == kValue) mixed.v = theirs.v;
            L::store(reinterpret_cast<int32_t*>(result), toPixels(mixed, byteAt(ownPixels, 0)));
            for (int32_t m = 0; m < lanes; ++m) out[n + m] = result[m];
        }
    }
};

}  // namespace
