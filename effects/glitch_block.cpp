// Glitch block: the frame is cut into a grid of blocks; blocks whose noise
// value reaches the threshold take the content of a block up to three blocks
// away. Only displaced blocks are written; the rest of the destination stays
// transparent so the pipeline's composite changes only those blocks.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "effects/glitch_block.h"
#include "effects/stages.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

namespace {

struct BlockRefcon {
    PF_ParamDef** params;
    int32_t bw;
    int32_t bh;
    int32_t W;
    int32_t H;
    int32_t nx;
    int32_t ny;
    double G;
    double T;
    double s;
    PF_InData* in_data;
    PF_EffectWorld* src;
    PF_EffectWorld* dst;
    SuiteCache* suites;
    const NoiseField* noise;
};

// Width (or height) of a block starting at `start`, cut at the frame edge.
int32_t limitedExtent(int32_t start, int32_t size, int32_t frameSize) {
    return start + size < frameSize ? size : frameSize - start;
}

// Clips one axis of a source span [sx, sx + len) to [0, frameSize), moving
// the destination start by the same amount so each copied pixel lands where
// it would have without clipping. Returns false when nothing is left.
bool clipSpan(int32_t* sx, int32_t* dx, int32_t* len, int32_t frameSize) {
    if (*sx < 0) {
        int32_t cut = -*sx;
        *sx = 0;
        *dx += cut;
        *len -= cut;
    }
    if (*sx + *len > frameSize) *len = frameSize - *sx;
    return *len > 0;
}

PF_Err displaceBlock(const BlockRefcon* r, int32_t i) {
    int32_t col = i % r->nx;
    int32_t row = i / r->nx;
    int32_t x0 = col * r->bw;
    int32_t y0 = row * r->bh;

    float v = r->noise->sampleSpan(truncToInt32(x0 * r->G), truncToInt32(y0 * r->G), 100.0f,
                                   static_cast<float>(r->s));
    if (r->T > v) return PF_Err_NONE;

    BlockSource source = glitchBlockSource(v, i, r->nx, r->bw, r->bh,
                                           popupParam(r->params, kParamBlockDirection));
    int32_t sx = source.x;
    int32_t sy = source.y;

    int32_t w = std::min(limitedExtent(sx, r->bw, r->W), limitedExtent(x0, r->bw, r->W));
    int32_t h = std::min(limitedExtent(sy, r->bh, r->H), limitedExtent(y0, r->bh, r->H));
    if (w < 0 || h < 0) return PF_Err_NONE;

    // Sources reaching outside the frame (left of the first column, above the
    // top row) are clipped so the host copy only ever reads inside the world.
    int32_t dx = x0;
    int32_t dy = y0;
    if (!clipSpan(&sx, &dx, &w, r->W) || !clipSpan(&sy, &dy, &h, r->H)) return PF_Err_NONE;

    PF_Rect srcRect{sx, sy, sx + w, sy + h};
    PF_Rect dstRect{dx, dy, dx + w, dy + h};
    return r->suites->worldTransform()->copy_hq(r->in_data->effect_ref, r->src, r->dst, &srcRect,
                                                &dstRect);
}

}  // namespace

// The horizontal source is counted along the linear block index, so it wraps
// around the row of blocks, except for the first blocks of the top row whose
// index goes negative (the remainder keeps the sign); the vertical one never
// wraps.
BlockSource glitchBlockSource(float v, int32_t i, int32_t nx, int32_t bw, int32_t bh,
                              int32_t direction) {
    int32_t k = truncToInt32(v / 5.0f);
    int32_t row = i / nx;
    BlockSource source{(i % nx) * bw, row * bh};
    if (direction == 1 || direction == 3) source.x = ((i - 3 + (k % 6)) % nx) * bw;
    if (direction == 2 || direction == 3) source.y = (row - 3 + ((k + 4) % 6)) * bh;
    return source;
}

PF_Err glitchBlockCell(void* refcon, A_long, A_long i, A_long) {
    return guardCallback([&]() -> PF_Err {
        if (!refcon) return PF_Err_INVALID_CALLBACK;
        return displaceBlock(static_cast<const BlockRefcon*>(refcon), i);
    });
}

PF_Err runGlitchBlock(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_EffectWorld* src,
                      PF_EffectWorld* dst, SuiteCache* suites, const NoiseField* noise) {
    double c = floatParam(params, kParamBlockAmount) * floatParam(params, kParamCorvexelAmount) / 100.0;
    if (c == 0.0) return PF_Err_NONE;
    double T = (1.0 - (c / 100.0) * (c / 100.0)) * 100.0;

    int32_t W = dst->width;
    int32_t H = dst->height;
    double width = floatParam(params, kParamBlockWidth);
    double height = floatParam(params, kParamBlockHeight);
    // A size below one pixel has no grid: nothing is displaced.
    if (!(width >= 1.0) || !(height >= 1.0) || W <= 0 || H <= 0) return PF_Err_NONE;
    int32_t bw = truncToInt32(std::min(width, static_cast<double>(W)));
    int32_t bh = truncToInt32(std::min(height, static_cast<double>(H)));
    int32_t nx = truncToInt32(std::ceil(static_cast<double>(W) / bw));
    int32_t ny = truncToInt32(std::ceil(static_cast<double>(H) / bh));
    int64_t blocks = static_cast<int64_t>(nx) * ny;
    if (blocks > INT32_MAX) return PF_Err_OUT_OF_MEMORY;

    BlockRefcon refcon{params, bw, bh, W, H, nx, ny, floatParam(params, kParamGroupingFactor), T,
                       floatParam(params, kParamBlockSpeed) / 25.0, in_data, src, dst, suites,
                       noise};
    return suites->iterate8()->iterate_generic(static_cast<A_long>(blocks), &refcon,
                                               glitchBlockCell);
}
