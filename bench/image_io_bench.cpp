// Writing a glitched full-HD frame as PNG: the frame `corvexel render`
// writes at the defaults (the test card through the module), which
// compresses far worse than a clean picture. Encoding to memory on one
// thread and on every core, and the whole write to a file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host/host.h"
#include "tools/image_io.h"
#include "tools/rgba_frame.h"
#include "tools/test_card.h"

namespace {

using namespace corvexel::host;

// The default 1920x1080 render, made once.
const RgbaImage& glitchedFrame() {
    static const RgbaImage frame = [] {
        RgbaImage card = makeTestCard(1920, 1080);
        std::string error;
        std::unique_ptr<PluginModule> module = PluginModule::load(CORVEXEL_MODULE_PATH, &error);
        if (!module) return RgbaImage();
        std::vector<PF_ParamDef> declared = declareParams(module->entry());
        Frame input(card.width, card.height);
        rgbaToFrame(card, &input);
        Frame output(card.width, card.height);
        ParamValues values(declared, input.world);
        Host host;
        host.setTime(0, 1);
        if (host.send(module->entry(), PF_Cmd_RENDER, values.array(), &output.world) != PF_Err_NONE) {
            return RgbaImage();
        }
        return frameToRgba(output);
    }();
    return frame;
}

void BM_EncodeGlitchedFrame(benchmark::State& state) {
    const RgbaImage& frame = glitchedFrame();
    if (frame.pixels.empty()) {
        state.SkipWithError("the render failed");
        return;
    }
    std::vector<uint8_t> png;
    std::string reason;
    for (auto _ : state) {
        if (encodePng(frame, static_cast<int>(state.range(0)), &png, &reason) != IoStatus::kOk) {
            state.SkipWithError(reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["png_bytes"] = static_cast<double>(png.size());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame.pixels.size()));
}
// 0: one thread per core, as `corvexel render` does by default.
BENCHMARK(BM_EncodeGlitchedFrame)->ArgName("threads")->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteGlitchedFrameFile(benchmark::State& state) {
    const RgbaImage& frame = glitchedFrame();
    if (frame.pixels.empty()) {
        state.SkipWithError("the render failed");
        return;
    }
    const std::string path = "corvexel_image_io_bench.png";
    std::string error;
    for (auto _ : state) {
        if (writeImage(path, frame, OutputOptions(), &error) != IoStatus::kOk) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_WriteGlitchedFrameFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
