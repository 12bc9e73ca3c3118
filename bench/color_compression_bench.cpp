// Full-HD colour glitch, and compression plus dither at full strength and at
// the defaults, through a minimal single-threaded host.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "effects/compression.h"
#include "effects/stages.h"
#include "noise/cpu_features.h"
#include "noise/noise_field.h"
#include "shell/param_set.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

struct BenchWorld {
    BenchWorld() : bytes(static_cast<size_t>(kWidth) * kHeight * 4) {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + i / 7777);
        world.width = kWidth;
        world.height = kHeight;
        world.rowbytes = kWidth * 4;
        world.data = reinterpret_cast<PF_Pixel8*>(bytes.data());
    }
    std::vector<uint8_t> bytes;
    PF_EffectWorld world{};
};

PF_Err copyWorld(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect*, PF_Rect*) {
    std::memcpy(dst->data, src->data, static_cast<size_t>(src->rowbytes) * src->height);
    return PF_Err_NONE;
}

PF_Err iterate(PF_InData*, A_long, A_long, PF_EffectWorld* src, const PF_Rect*, void* refcon,
               PF_IteratePixel8Func fn, PF_EffectWorld* dst) {
    for (int32_t y = 0; y < src->height; ++y) {
        PF_Pixel8* in = reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(src->data) + y * src->rowbytes);
        PF_Pixel8* out = reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(dst->data) + y * dst->rowbytes);
        for (int32_t x = 0; x < src->width; ++x)
            if (PF_Err err = fn(refcon, x, y, in + x, out + x)) return err;
    }
    return PF_Err_NONE;
}

PF_Err iterateGeneric(A_long count, void* refcon, PF_IterateGenericFunc fn) {
    for (A_long i = 0; i < count; ++i)
        if (PF_Err err = fn(refcon, 0, i, count)) return err;
    return PF_Err_NONE;
}

PF_Handle newHandle(A_HandleSize size) {
    void** h = static_cast<void**>(std::malloc(sizeof(void*)));
    *h = std::malloc(size);
    return h;
}
void* lockHandle(PF_Handle h) { return *h; }
void unlockHandle(PF_Handle) {}
void disposeHandle(PF_Handle h) { std::free(*h); std::free(h); }

const PF_Iterate8Suite1 kIterate = {iterate, nullptr, nullptr, nullptr, iterateGeneric};
const PF_HandleSuite1 kHandles = {newHandle, lockHandle, unlockHandle, disposeHandle, nullptr, nullptr};

SPErr acquire(const char* name, int32_t, const void** suite) {
    if (std::strcmp(name, "PF Handle Suite") == 0) { *suite = &kHandles; return 0; }
    if (std::strcmp(name, "PF Iterate8 Suite") == 0) { *suite = &kIterate; return 0; }
    return 1;
}
SPErr release(const char*, int32_t) { return 0; }
SPBasicSuite gBasic = {acquire, release, nullptr, nullptr, nullptr, nullptr, nullptr};

double hostCos(double v) { return std::cos(v); }

struct BenchParams {
    BenchParams() : defs(kParamCount + 1) { for (PF_ParamDef& d : defs) pointers.push_back(&d); }
    void set(int32_t id, double v) { defs[id].u.fs_d.value = v; }
    std::vector<PF_ParamDef> defs;
    std::vector<PF_ParamDef*> pointers;
};

void BM_ColorGlitch(benchmark::State& state) {
    BenchWorld src, dst;
    BenchParams p;
    p.set(kParamColorOffset, 5);
    p.set(kParamColorAmount, 50);
    p.set(kParamCorvexelAmount, 50);
    NoiseField noise;
    noise.init(1, 1.0f, 0.0f, kHeight, 0.5f, 2.0f, 4);
    PF_UtilCallbacks utils{};
    utils.copy = copyWorld;
    PF_InData in_data{};
    in_data.utils = &utils;
    for (auto _ : state)
        runColorGlitch(&in_data, nullptr, p.pointers.data(), &src.world, &dst.world, nullptr, &noise);
    state.SetBytesProcessed(state.iterations() * int64_t(kWidth) * kHeight * 4);
}
BENCHMARK(BM_ColorGlitch)->Unit(benchmark::kMillisecond);

void BM_CompressionAndDither(benchmark::State& state) {
    double amount = static_cast<double>(state.range(0));
    BenchParams p;
    for (int32_t id : {kParamJpegAmount, kParamCompressionMultiplier, kParamCorvexelAmount,
                       kParamDitherAmount})
        p.set(id, amount);
    PF_UtilCallbacks utils{};
    utils.ansi.cos = hostCos;
    PF_InData in_data{};
    in_data.utils = &utils;
    SuiteCache suites(&gBasic);
    BenchWorld pristine;
    BenchWorld frame;
    for (auto _ : state) {
        state.PauseTiming();
        frame.bytes = pristine.bytes;
        state.ResumeTiming();
        runCompression(&in_data, nullptr, p.pointers.data(), &frame.world, &suites);
        runDither(&in_data, nullptr, p.pointers.data(), &frame.world, &suites);
    }
}
BENCHMARK(BM_CompressionAndDither)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);

// The DCT damage of one 8x8 block alone, at the quantiser of the defaults
// (d = 1.1375), in the plain form and the vector forms, over the blocks of
// a detailed test picture (the first 1024 of its full-HD frame).
using DctDamage = void (*)(double*, double*, const double*, double);

void dctDamageBench(benchmark::State& state, DctDamage damage) {
    double cosines[64];
    for (int32_t f = 0; f < 8; ++f)
        for (int32_t p = 0; p < 8; ++p) cosines[f * 8 + p] = std::cos((2 * p + 1) * f * 3.141592653589793 / 16.0);
    BenchWorld picture;
    constexpr int32_t kBlocks = 1024;
    std::vector<double> samples(kBlocks * 64);
    for (int32_t i = 0; i < kBlocks; ++i)
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x)
                samples[i * 64 + y * 8 + x] =
                    picture.bytes[((i / 240 * 8 + y) * kWidth + i % 240 * 8 + x) * 4 + 1] - 128.0;
    double s[64], F[64];
    int32_t i = 0;
    for (auto _ : state) {
        std::memcpy(s, &samples[i * 64], sizeof s);
        damage(s, F, cosines, 1.1375);
        benchmark::DoNotOptimize(F);
        i = (i + 1) % kBlocks;
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_DctDamagePlain(benchmark::State& state) { dctDamageBench(state, dctDamageReference); }
void BM_DctDamageSse2(benchmark::State& state) { dctDamageBench(state, dctDamageSse2); }
void BM_DctDamageAvx2(benchmark::State& state) {
    if (!cpuHasAvx2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    dctDamageBench(state, dctDamageAvx2);
}
BENCHMARK(BM_DctDamagePlain);
BENCHMARK(BM_DctDamageSse2);
BENCHMARK(BM_DctDamageAvx2);

}  // namespace

BENCHMARK_MAIN();
