// Channel split: every output pixel takes one component from its partner a
// fixed distance (dx, dy) away and everything else from itself. The distance
// is set by the amounts and wobbles over time with the noise field.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "effects/channel_stages.h"
#include "effects/color_math.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

struct ChannelSplitRefcon {
    int32_t width;
    int32_t height;
    PF_InData* in_data;
    PF_EffectWorld* src;   // partners are read from here
    PF_EffectWorld* dst;
    SplitCombineFn combine;
    int32_t dx;
    int32_t dy;
    // For the Hue, Saturation and Value combines: the component taken from
    // the partner, so a run of pixels can be combined at once, and a number
    // no other stage call shares, naming the runs this call computed.
    bool hsv;
    HsvComponent hsvComponent;
    uint64_t call;
};

namespace {

const PF_Pixel8* sourcePixel(const PF_EffectWorld* world, int32_t x, int32_t y) {
    const char* row = reinterpret_cast<const char*>(world->data) +
                      static_cast<intptr_t>(y) * world->rowbytes;
    return reinterpret_cast<const PF_Pixel8*>(row) + x;
}

// Nearest position inside 0 .. size - 1.
int32_t clampToFrame(int64_t position, int32_t size) {
    if (position < 0) {
        return 0;
    }
    return position >= size ? size - 1 : static_cast<int32_t>(position);
}

// The Hue, Saturation and Value combines convert both pixels through HSV,
// which is far cheaper for a run of neighbouring pixels in vector lanes
// (combineHsvRun) than one pixel at a time; but the host hands the pixel
// function one pixel at a time. So each host thread keeps the run of 64
// pixels of the row it is walking through, with the stage call that made
// it: within one call the source frame does not change, so a column's
// partner is the same whenever it is asked for. A call takes its result
// from the run when the run is its stage call's, covers its column and row,
// and holds its own input pixel bit for bit; otherwise the run is filled
// afresh from the call's own column, reading the pixels from the source
// frame (and a host whose input pixel is not the source pixel gets the
// one-pair combine).
constexpr int32_t kCombineRun = 64;

struct CombineRun {
    uint64_t call;   // 0: holds nothing
    int32_t y;
    int32_t x0;
    int32_t count;
    uint32_t own[kCombineRun];
    uint32_t result[kCombineRun];
};

thread_local CombineRun tCombineRun{};
std::atomic<uint64_t> gNextCall{1};

uint32_t wordOf(const PF_Pixel8& pixel) {
    uint32_t word;
    std::memcpy(&word, &pixel, sizeof word);
    return word;
}

PF_Pixel8 pixelOf(uint32_t word) {
    PF_Pixel8 pixel;
    std::memcpy(&pixel, &word, sizeof pixel);
    return pixel;
}

bool runHolds(const CombineRun& run, const ChannelSplitRefcon* rc, int32_t x, int32_t y,
              uint32_t own) {
    const int64_t lane = static_cast<int64_t>(x) - run.x0;
    return run.call == rc->call && run.y == y && lane >= 0 && lane < run.count &&
           run.own[lane] == own;
}

// Fills the thread's run from column x of row y (both inside the frame):
// each column's own pixel and partner, clamped to the frame (a partner
// outside it, which splitPixel leaves uncombined, is clamped too and its
// result never used), and their combines.
void fillRun(CombineRun* run, const ChannelSplitRefcon* rc, int32_t x, int32_t y) {
    const int32_t count = std::min(rc->width - x, kCombineRun);
    const PF_Pixel8* ownRow = sourcePixel(rc->src, 0, y);
    const PF_Pixel8* partnerRow =
        sourcePixel(rc->src, 0, clampToFrame(static_cast<int64_t>(y) + rc->dy, rc->height));
    uint32_t partner[kCombineRun];
    std::memcpy(run->own, ownRow + x, sizeof(uint32_t) * count);
    const int64_t partnerFirst = static_cast<int64_t>(x) + rc->dx;
    if (partnerFirst >= 0 && partnerFirst + count <= rc->width) {
        std::memcpy(partner, partnerRow + partnerFirst, sizeof(uint32_t) * count);
    } else {
        for (int32_t n = 0; n < count; ++n) {
            partner[n] = wordOf(partnerRow[clampToFrame(partnerFirst + n, rc->width)]);
        }
    }
    combineHsvRun(rc->hsvComponent, run->own, partner, count, run->result);
    run->call = rc->call;
    run->y = y;
    run->x0 = x;
    run->count = count;
}

// Combines pixel (x, y), whose run the thread does not hold, with its
// partner: from a fresh run where (x, y) is a source pixel.
PF_Pixel8 combineAfterMiss(const ChannelSplitRefcon* rc, int32_t x, int32_t y,
                           const PF_Pixel8& own, const PF_Pixel8* partner) {
    if (x < 0 || x >= rc->width || y < 0 || y >= rc->height) {
        return rc->combine(&own, partner);   // not a pixel of the source
    }
    CombineRun& run = tCombineRun;
    fillRun(&run, rc, x, y);
    if (!runHolds(run, rc, x, y, wordOf(own))) {
        return rc->combine(&own, partner);
    }
    return pixelOf(run.result[0]);
}

template <bool kRepeatEdges>
PF_Err splitOnePixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
    const ChannelSplitRefcon* rc = static_cast<const ChannelSplitRefcon*>(refcon);
    const int64_t px = static_cast<int64_t>(x) + rc->dx;
    const int64_t py = static_cast<int64_t>(y) + rc->dy;
    if (!kRepeatEdges && (px < 0 || px >= rc->width || py < 0 || py >= rc->height)) {
        *out = *in;   // no partner: the pixel stays as it is
        return PF_Err_NONE;
    }
    const PF_Pixel8 p = *in;
    if (rc->hsv) {
        const CombineRun& run = tCombineRun;
        if (runHolds(run, rc, x, y, wordOf(p))) {
            *out = pixelOf(run.result[x - run.x0]);
            return PF_Err_NONE;
        }
    }
    const PF_Pixel8* partner =
        sourcePixel(rc->src, clampToFrame(px, rc->width), clampToFrame(py, rc->height));
    *out = rc->hsv ? combineAfterMiss(rc, x, y, p, partner) : rc->combine(&p, partner);
    return PF_Err_NONE;
}

}  // namespace

// A partner outside the frame leaves the pixel as it is. The sums are formed
// in 64 bits so that an extreme distance cannot overflow.
PF_Err splitPixel(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
    return guardCallback([&]() -> PF_Err { return splitOnePixel<false>(refcon, x, y, in, out); });
}

// A partner outside the frame is taken from the nearest edge pixel.
PF_Err splitPixelRepeat(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
    return guardCallback([&]() -> PF_Err { return splitOnePixel<true>(refcon, x, y, in, out); });
}

namespace {

// Popup items: Red-Cyan|Green-Magenta|Blue-Yellow|(-|Y'|Cb|Cr|(-|Hue|Saturation|Value.
// Separators and unknown values read Red-Cyan.
SplitCombineFn splitCombine(int32_t item) {
    switch (item) {
        case 2: return combineGreenMagenta;
        case 3: return combineBlueYellow;
        case 5: return combineLuma;
        case 6: return combineCb;
        case 7: return combineCr;
        case 9: return combineHue;
        case 10: return combineSaturation;
        case 11: return combineValue;
        default: return combineRedCyan;
    }
}

// The distance along one axis: amount × master, scaled by a factor that
// follows the noise more closely the higher the speed.
int32_t splitDistance(double noiseValue, double decay, double amount, double master) {
    return truncToInt32((1.0 - (1.0 - decay) * ((noiseValue - 0.5) * 2.0)) * amount * master);
}

}  // namespace

PF_Err runChannelSplit(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[],
                       PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                       const NoiseField* noise) {
    const double master = floatParam(params, kParamCorvexelAmount) / 100.0;
    const double horizontal = floatParam(params, kParamSplitHorizontal);
    const double vertical = floatParam(params, kParamSplitVertical);
    const double speed = floatParam(params, kParamSplitSpeed);
    const float k = static_cast<float>(0.4 * speed);
    const double nh = noise->sampleTimeScaled(1234, 5678, k);
    const double nv = noise->sampleTimeScaled(5678, 1234, k);
    const double decay = in_data->utils->ansi.exp(-1.0 * (0.4 * speed));

    ChannelSplitRefcon refcon;
    refcon.width = src->width;
    refcon.height = src->height;
    refcon.in_data = in_data;
    refcon.src = src;
    refcon.dst = dst;
    refcon.combine = splitCombine(popupParam(params, kParamSplitChannel));
    refcon.hsv = refcon.combine == combineHue || refcon.combine == combineSaturation ||
                 refcon.combine == combineValue;
    refcon.hsvComponent = refcon.combine == combineHue          ? HsvComponent::kHue
                          : refcon.combine == combineSaturation ? HsvComponent::kSaturation
                                                                : HsvComponent::kValue;
    refcon.call = gNextCall.fetch_add(1, std::memory_order_relaxed);
    refcon.dx = splitDistance(nh, decay, horizontal, master);
    refcon.dy = splitDistance(nv, decay, vertical, master);
    const PF_IteratePixel8Func pixelFn =
        checkboxParam(params, kParamRepeatEdgePixels) ? splitPixelRepeat : splitPixel;
    const PF_Iterate8Suite1* iterate8 = suites->iterate8();
    return iterate8->iterate(in_data, 0, src->width, src, nullptr, &refcon, pixelFn, dst);
}
