// A full render at the defaults through the loaded module and the embedded
// host, at full HD and at UHD.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "host/host.h"

namespace {

using namespace corvexel::host;

void fillGradient(Frame* frame) {
    for (int32_t y = 0; y < frame->world.height; ++y) {
        for (int32_t x = 0; x < frame->world.width; ++x) {
            frame->at(x, y) = PF_Pixel8{255, static_cast<A_u_char>(x), static_cast<A_u_char>(y),
                                        static_cast<A_u_char>(x ^ y)};
        }
    }
}

void BM_RenderDefaults(benchmark::State& state) {
    std::string error;
    std::unique_ptr<PluginModule> module = PluginModule::load(CORVEXEL_MODULE_PATH, &error);
    if (!module) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int32_t width = static_cast<int32_t>(state.range(0));
    const int32_t height = static_cast<int32_t>(state.range(1));
    std::vector<PF_ParamDef> declared = declareParams(module->entry());
    Frame input(width, height);
    fillGradient(&input);
    Frame output(width, height);
    ParamValues values(declared, input.world);
    Host host;
    host.setTime(1, 2);
    for (auto _ : state) {
        PF_Err err = host.send(module->entry(), PF_Cmd_RENDER, values.array(), &output.world);
        if (err != PF_Err_NONE) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(output.bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{width} * height);
}

BENCHMARK(BM_RenderDefaults)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

}  // namespace
