// Pixel streak: runs of similar, visible neighbours are sorted brightest
// first along every row (or every column with Vertical Sort on). Hard edges
// and transparent pixels end a run, so the soft parts smear into streaks
// while the edges stay where they are.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "effects/channel_functions.h"
#include "effects/stages.h"
#include "shell/param_set.h"

bool brighterFirst(uint32_t a, uint32_t b);
PF_Err streakRow(void* refcon, A_long thread, A_long i, A_long iterations);
PF_Err streakColumn(void* refcon, A_long thread, A_long i, A_long iterations);

namespace {

struct StreakRefcon {
    PF_ParamDef** params;
    int32_t W;
    int32_t H;
    PF_InData* in_data;
    PF_LayerDef* input;
    PF_EffectWorld* world;
    double T;
    SuiteCache* suites;
    const NoiseField* noise;
};

uint32_t pixelBits(const PF_Pixel8& p) {
    uint32_t bits;
    std::memcpy(&bits, &p, sizeof bits);
    return bits;
}

// A line whose noise value is below the cutoff is left alone.
bool lineGatedOff(const StreakRefcon* r, int32_t x, int32_t y) {
    if (!checkboxParam(r->params, kParamUseNoise)) return false;
    return r->noise->sampleInt(x, y, 100) < intParam(r->params, kParamNoiseCutoff);
}

// A pixel with its luminance, for sorting. Its assignment is written out so
// that std::sort shifts short stretches element by element instead of
// calling memmove for a few bytes; moving is still plain copying.
struct LitPixel {
    int32_t luminance;
    uint32_t bits;

    LitPixel() = default;
    LitPixel(int32_t lum, uint32_t pixel) : luminance(lum), bits(pixel) {}
    LitPixel(const LitPixel& other) : luminance(other.luminance), bits(other.bits) {}
    LitPixel& operator=(const LitPixel& other) {
        luminance = other.luminance;
        bits = other.bits;
        return *this;
    }
};

// Runs up to this long (a UHD row) are sorted as (luminance, pixel) pairs
// held on the stack (32 KiB); longer ones in place with the comparator.
constexpr int32_t kPairedRun = 4096;

// Sorts the run p[0 .. count - 1] brightest first; pairs[k] holds p[k] and
// its luminance, when the run fits the pairs. std::sort's steps depend only
// on the answers of the comparator, so sorting the pairs by luminance, with
// the answers brighterFirst gives, moves every pixel exactly where sorting
// the pixels themselves would.
void sortRun(PF_Pixel8* p, LitPixel* pairs, int32_t count) {
    if (count < 2) return;
    if (count > kPairedRun) {
        std::sort(p, p + count, [](const PF_Pixel8& a, const PF_Pixel8& b) {
            return brighterFirst(pixelBits(a), pixelBits(b));
        });
        return;
    }
    std::sort(pairs, pairs + count,
              [](const LitPixel& a, const LitPixel& b) { return a.luminance > b.luminance; });
    for (int32_t k = 0; k < count; ++k) {
        std::memcpy(&p[k], &pairs[k].bits, sizeof pairs[k].bits);
    }
}

// Sorts every run but its last pixel, which holds the edge that ended it.
// Neighbours join a run while both are visible and their luminances differ
// by at most T; each pixel's luminance is worked out once, on the way.
void sortRuns(PF_Pixel8* p, int32_t n, double T) {
    LitPixel pairs[kPairedRun];
    int32_t s = 0;
    int32_t current = n > 0 ? luminanceOf(p[0]) : 0;   // luminance of p[e]
    while (s < n) {
        int32_t e = s;
        while (e + 1 < n) {
            if (e - s < kPairedRun) pairs[e - s] = LitPixel(current, pixelBits(p[e]));
            const int32_t next = luminanceOf(p[e + 1]);
            const bool joins = p[e].alpha != 0 && p[e + 1].alpha != 0 &&
                               static_cast<double>(std::abs(current - next)) <= T;
            current = next;
            if (!joins) break;
            ++e;
        }
        // `current` is now the luminance of p[e + 1], which starts the next
        // run (the sort below leaves it where it is).
        sortRun(p + s, pairs, e - s);
        s = e + 1;
    }
}

PF_Pixel8* pixelAt(PF_EffectWorld* world, int32_t x, int32_t y) {
    char* row = reinterpret_cast<char*>(world->data) + static_cast<intptr_t>(y) * world->rowbytes;
    return reinterpret_cast<PF_Pixel8*>(row) + x;
}

PF_Err streakOneRow(const StreakRefcon* r, int32_t row) {
    if (row < 0 || row >= r->H) return PF_Err_NONE;
    if (lineGatedOff(r, 1, row)) return PF_Err_NONE;
    sortRuns(pixelAt(r->world, 0, row), r->W, r->T);
    return PF_Err_NONE;
}

// Columns are gathered into a contiguous scratch handle so the sort never
// strides across rows, then scattered back.
PF_Err streakOneColumn(const StreakRefcon* r, int32_t col) {
    if (col < 0 || col >= r->W) return PF_Err_NONE;
    if (lineGatedOff(r, col, 1)) return PF_Err_NONE;
    const PF_HandleSuite1* handles = r->suites->handles();
    PF_Handle scratch = handles->host_new_handle(static_cast<A_HandleSize>(r->H) * 4);
    if (!scratch) return PF_Err_OUT_OF_MEMORY;
    PF_Pixel8* line = static_cast<PF_Pixel8*>(handles->host_lock_handle(scratch));
    if (!line) {
        handles->host_dispose_handle(scratch);
        return PF_Err_OUT_OF_MEMORY;
    }
    for (int32_t y = 0; y < r->H; ++y) line[y] = *pixelAt(r->world, col, y);
    sortRuns(line, r->H, r->T);
    for (int32_t y = 0; y < r->H; ++y) *pixelAt(r->world, col, y) = line[y];
    handles->host_unlock_handle(scratch);
    handles->host_dispose_handle(scratch);
    return PF_Err_NONE;
}

}  // namespace

bool brighterFirst(uint32_t a, uint32_t b) {
    PF_Pixel8 pa;
    PF_Pixel8 pb;
    std::memcpy(&pa, &a, sizeof pa);
    std::memcpy(&pb, &b, sizeof pb);
    return luminanceOf(pa) > luminanceOf(pb);
}

PF_Err streakRow(void* refcon, A_long, A_long i, A_long) {
    return guardCallback([&]() -> PF_Err {
        if (!refcon) return PF_Err_INVALID_CALLBACK;
        return streakOneRow(static_cast<const StreakRefcon*>(refcon), i);
    });
}

PF_Err streakColumn(void* refcon, A_long, A_long i, A_long) {
    return guardCallback([&]() -> PF_Err {
        if (!refcon) return PF_Err_INVALID_CALLBACK;
        return streakOneColumn(static_cast<const StreakRefcon*>(refcon), i);
    });
}

PF_Err runPixelStreak(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[],
                      PF_EffectWorld* world, SuiteCache* suites, const NoiseField* noise) {
    double wide = floatParam(params, kParamPixelStreak) * 40.0 / 100.0 *
                  floatParam(params, kParamCorvexelAmount) / 100.0;
    float T = static_cast<float>(wide);
    if (!(T > 0.0f)) return PF_Err_NONE;

    // The extent hint gives the line counts; they are kept inside the world
    // so a hint larger than the buffer can never send a line out of bounds.
    int32_t W = world->extent_hint.right - world->extent_hint.left;
    int32_t H = world->extent_hint.bottom - world->extent_hint.top;
    W = std::clamp<int32_t>(W, 0, world->width);
    H = std::clamp<int32_t>(H, 0, world->height);

    StreakRefcon refcon{params, W, H, in_data, inputLayer(params), world,
                        static_cast<double>(T), suites, noise};
    const PF_Iterate8Suite1* iterate = suites->iterate8();
    if (!checkboxParam(params, kParamVerticalSort))
        return iterate->iterate_generic(H, &refcon, streakRow);
    return iterate->iterate_generic(W, &refcon, streakColumn);
}
