// Compression glitch, first step: JPEG-style block damage. The frame is
// turned into Y, Cb, Cr in place, the luma of every whole 8x8 block goes
// through a DCT, a coarse quantiser and back, and the frame returns to RGB.
#include <cstdint>

#include "effects/block_dct.h"
#include "effects/compression.h"
#include "effects/stages.h"
#include "noise/cpu_features.h"
#include "shell/param_set.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr A_HandleSize kBlockBytes = 64 * sizeof(double);

inline uint8_t storeByte(double value) {
    if (!(value >= 0.0)) return 0;   // below 0, or not a number
    if (value > 255.0) return 255;
    return static_cast<uint8_t>(value);
}

inline PF_Pixel8* pixelAt(PF_EffectWorld* world, int32_t x, int32_t y) {
    return reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(world->data) +
                                        static_cast<intptr_t>(y) * world->rowbytes) + x;
}

// Two 512-byte scratch arrays from the host; on any failure what was
// obtained is given back and the block is left as it is.
struct BlockScratch {
    PF_Handle sampleHandle;
    PF_Handle coeffHandle;
    double* s;
    double* F;
};

void releaseScratch(const PF_HandleSuite1* handles, BlockScratch* scratch) {
    if (scratch->coeffHandle) {
        if (scratch->F) handles->host_unlock_handle(scratch->coeffHandle);
        handles->host_dispose_handle(scratch->coeffHandle);
    }
    if (scratch->sampleHandle) {
        if (scratch->s) handles->host_unlock_handle(scratch->sampleHandle);
        handles->host_dispose_handle(scratch->sampleHandle);
    }
}

bool acquireScratch(const PF_HandleSuite1* handles, BlockScratch* scratch) {
    *scratch = BlockScratch{nullptr, nullptr, nullptr, nullptr};
    scratch->sampleHandle = handles->host_new_handle(kBlockBytes);
    if (scratch->sampleHandle)
        scratch->s = static_cast<double*>(handles->host_lock_handle(scratch->sampleHandle));
    if (scratch->s) scratch->coeffHandle = handles->host_new_handle(kBlockBytes);
    if (scratch->coeffHandle)
        scratch->F = static_cast<double*>(handles->host_lock_handle(scratch->coeffHandle));
    if (scratch->F) return true;
    releaseScratch(handles, scratch);
    return false;
}

bool blockIsTransparent(PF_EffectWorld* world, int32_t x0, int32_t y0, int32_t bw, int32_t bh) {
    return pixelAt(world, x0, y0)->alpha == 0 &&
           pixelAt(world, x0 + bw - 1, y0 + bh - 1)->alpha == 0;
}

PF_Err damageBlock(const CompressionRefcon* ref, A_long i) {
    int32_t nb = ref->W / kBlockSize;
    // Only indices the host was asked to iterate name a whole block.
    if (nb <= 0 || i < 0 || i >= nb * (ref->H / kBlockSize)) return PF_Err_BAD_CALLBACK_PARAM;
    int32_t x0 = kBlockSize * (i % nb);
    int32_t y0 = kBlockSize * (i / nb);
    int32_t bw = ref->W - x0 < kBlockSize ? ref->W - x0 : kBlockSize;
    int32_t bh = ref->H - y0 < kBlockSize ? ref->H - y0 : kBlockSize;
    if (blockIsTransparent(ref->world, x0, y0, bw, bh)) return PF_Err_NONE;

    const PF_HandleSuite1* handles = ref->suites->handles();
    BlockScratch scratch;
    if (!acquireScratch(handles, &scratch)) return PF_Err_OUT_OF_MEMORY;

    for (int32_t k = 0; k < 64; ++k) scratch.s[k] = 0.0;
    for (int32_t y = 0; y < bh; ++y)
        for (int32_t x = 0; x < bw; ++x)
            scratch.s[y * 8 + x] = pixelAt(ref->world, x0 + x, y0 + y)->red - 128.0;

    if (cpuHasAvx2()) {
        dctDamageAvx2(scratch.s, scratch.F, ref->cosines, ref->d);
    } else {
        dctDamageSse2(scratch.s, scratch.F, ref->cosines, ref->d);
    }

    for (int32_t y = 0; y < bh; ++y)
        for (int32_t x = 0; x < bw; ++x)
            pixelAt(ref->world, x0 + x, y0 + y)->red = storeByte(scratch.F[y * 8 + x] + 128.0);

    releaseScratch(handles, &scratch);
    return PF_Err_NONE;
}

PF_Err convertFrame(PF_InData* in_data, SuiteCache* suites, PF_EffectWorld* world,
                    PF_IteratePixel8Func convert) {
    return suites->iterate8()->iterate(in_data, 0, world->height, world, nullptr, nullptr,
                                       convert, world);
}

}  // namespace

void dctDamageReference(double s[64], double F[64], const double cosines[64], double d) {
    dctDamagePlain(s, F, cosines, d);
}

void dctDamageSse2(double s[64], double F[64], const double cosines[64], double d) {
    dctDamageLanes<TwoLanes>(s, F, cosines, d);
}

// The host's cosine, evaluated once per render for the 64 angles both
// transforms use; (2p + 1) f is formed first, as in the direct definition.
void fillCompressionCosines(PF_InData* in_data, double table[64]) {
    for (int32_t f = 0; f < kBlockSize; ++f)
        for (int32_t p = 0; p < kBlockSize; ++p)
            table[f * kBlockSize + p] =
                in_data->utils->ansi.cos(static_cast<double>((2 * p + 1) * f) * kPi / 16.0);
}

// Byte 1 carries Y, byte 2 Cb, byte 3 Cr while the block step runs.
PF_Err toYCbCrPixel(void*, A_long, A_long, PF_Pixel8* in, PF_Pixel8* out) {
    double R = in->red, G = in->green, B = in->blue;
    out->alpha = in->alpha;
    out->red = storeByte((G * 0.587 + R * 0.299) + B * 0.114);
    out->green = storeByte(((128.0 - R * 0.16874) - G * 0.33126) + B * 0.5);
    out->blue = storeByte(((R * 0.5 + 128.0) - G * 0.41869) - B * 0.08131);
    return PF_Err_NONE;
}

PF_Err toRgbPixel(void*, A_long, A_long, PF_Pixel8* in, PF_Pixel8* out) {
    double Y = in->red;
    double cb = static_cast<int32_t>(in->green) - 128;
    double cr = static_cast<int32_t>(in->blue) - 128;
    out->alpha = in->alpha;
    out->red = storeByte(cr * 1.402 + Y);
    out->green = storeByte((Y - cb * 0.34414) - cr * 0.71414);
    out->blue = storeByte(cb * 1.772 + Y);
    return PF_Err_NONE;
}

PF_Err compressBlock(void* refcon, A_long, A_long i, A_long) {
    return guardCallback([&]() -> PF_Err {
        if (!refcon) return PF_Err_INVALID_CALLBACK;
        return damageBlock(static_cast<const CompressionRefcon*>(refcon), i);
    });
}

PF_Err runCompression(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[],
                      PF_EffectWorld* world, SuiteCache* suites) {
    double c = 100.0 - floatParam(params, kParamJpegAmount) *
                           floatParam(params, kParamCompressionMultiplier) / 100.0 *
                           floatParam(params, kParamCorvexelAmount) / 100.0;
    if (c < 0.0 || c >= 100.0) return PF_Err_NONE;
    double d = c < 50.0 ? 300.0 / (c + 16.0) : 9.1 - c * 0.091;

    double cosines[64];
    fillCompressionCosines(in_data, cosines);
    CompressionRefcon refcon{params, suites, c, d, world->width, world->height,
                             world, in_data, cosines};

    const bool avx2 = cpuHasAvx2();
    PF_Err err = convertFrame(in_data, suites, world, avx2 ? toYCbCrPixelAvx2 : toYCbCrPixel);
    if (err) return err;
    A_long blocks = (refcon.W / kBlockSize) * (refcon.H / kBlockSize);
    err = suites->iterate8()->iterate_generic(blocks, &refcon, compressBlock);
    if (err) return err;
    return convertFrame(in_data, suites, world, avx2 ? toRgbPixelAvx2 : toRgbPixel);
}
