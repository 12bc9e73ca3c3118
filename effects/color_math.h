// Colour conversions and the nine combine functions of the channel split.
//
// A combine function takes a pixel p and its partner q and returns p with one
// component taken from q. The conversions work on the normalised r, g, b
// (byte / 255, divided in double and rounded to float); their integer results
// keep only the low 8 bits, so values outside 0..255 wrap instead of clamping.
#pragma once

#include "sdk/pf_types.h"

struct YCbCr {
    float y, cb, cr;
};
struct Hsv {
    float h, s, v;   // h in degrees, -1 for black
};

typedef PF_Pixel8 (*SplitCombineFn)(const PF_Pixel8* p, const PF_Pixel8* q);

YCbCr rgbToYCbCr(const PF_Pixel8* pixel);
// Returns alpha 0 with the converted colour; the caller supplies the alpha.
PF_Pixel8 yCbCrToRgb(float y, float cb, float cr);
Hsv rgbToHsv(const PF_Pixel8* pixel);
PF_Pixel8 hsvToRgb(float h, float s, float v);

PF_Pixel8 combineRedCyan(const PF_Pixel8* p, const PF_Pixel8* q);
PF_Pixel8 combineGreenMagenta(const PF_Pixel8* p, const PF_Pixel8* q);
PF_Pixel8 combineBlueYellow(const PF_Pixel8* p, const PF_Pixel8* q);
PF_Pixel8 combineLuma(const PF_Pixel8* p, const PF_Pixel8* q);
PF_Pixel8 combineCb(const PF_Pixel8* p, const PF_Pixel8* q);
PF_Pixel8 combineCr(const PF_Pixel8* p, const PF_Pixel8* q);
PF_Pixel8 combineHue(const PF_Pixel8* p, const PF_Pixel8* q);
PF_Pixel8 combineSaturation(const PF_Pixel8* p, const PF_Pixel8* q);
PF_Pixel8 combineValue(const PF_Pixel8* p, const PF_Pixel8* q);

// The normalised channel of every byte, byte / 255 rounded to float.
const float* normalisedChannels();

// The Hue, Saturation and Value combines for a run of pixel pairs at once
// (pixels as their four bytes in one word), with the bytes combineHue,
// combineSaturation and combineValue give one pair at a time. The plain
// entry picks the widest vector form the processor has.
enum class HsvComponent { kHue, kSaturation, kValue };
void combineHsvRun(HsvComponent from, const uint32_t* own, const uint32_t* partner, int32_t count,
                   uint32_t* out);
void combineHsvRunSse2(HsvComponent from, const uint32_t* own, const uint32_t* partner,
                       int32_t count, uint32_t* out);
void combineHsvRunAvx2(HsvComponent from, const uint32_t* own, const uint32_t* partner,
                       int32_t count, uint32_t* out);
