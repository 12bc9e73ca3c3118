// A full render at the defaults through the loaded module and the embedded
// host, at full HD and at UHD, with what the codec and the host took of it.
//
// The glitch slice's WebP round trip is the one piece of work a render cannot
// do without, so it is timed inside the same renders: this program defines
// WebPPictureImportRGBA, WebPEncode and WebPDecodeRGBAInto itself and
// exports them, so the module's calls bind to these; they time the call and
// hand it on to libwebp's own, found with dlsym(RTLD_NEXT). The codec sees
// the very band the render sends.
//
// Counters, per frame of a sequence (one render before the timed ones, so
// the first frame's set-up is not counted):
//   codec_ms           encode + decode of the glitch slice's band
//   render_per_codec   the render's wall time over the codec's
//   host_ms            the host's services (Timings::hostNanoseconds)
//   plugin_ms          the rest: the plug-in's own work, as a user of the
//                      shipped plug-in in the real host feels it
//   plugin_share       plugin_ms over the render's time
//   page_faults        minor page faults of the process
//   world_MB           most memory of worlds the host held (and kept for reuse)
// BM_RenderDefaultsByCall adds one counter per kind of host call, in
// milliseconds per frame ("transfer_rect IN_FRONT", "fill", "iterate", ...;
// the iterations hold the plug-in's functions).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/resource.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "host/host.h"

namespace {

std::atomic<int64_t> gCodecNanoseconds{0};

int64_t now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <typename Fn>
Fn nextDefinition(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// The encoder's two steps as the glitch slice takes them: the band imported
// into a picture, then encoded (with libwebp's own threads, so this is the
// wall time of the whole encode).
extern "C" int WebPPictureImportRGBA(WebPPicture* picture, const uint8_t* rgba, int stride) {
    static const auto real =
        nextDefinition<int (*)(WebPPicture*, const uint8_t*, int)>("WebPPictureImportRGBA");
    const int64_t start = now();
    const int ok = real(picture, rgba, stride);
    gCodecNanoseconds += now() - start;
    return ok;
}

extern "C" int WebPEncode(const WebPConfig* config, WebPPicture* picture) {
    static const auto real =
        nextDefinition<int (*)(const WebPConfig*, WebPPicture*)>("WebPEncode");
    const int64_t start = now();
    const int ok = real(config, picture);
    gCodecNanoseconds += now() - start;
    return ok;
}

extern "C" uint8_t* WebPDecodeRGBAInto(const uint8_t* data, size_t dataSize, uint8_t* output,
                                       size_t outputSize, int outputStride) {
    static const auto real =
        nextDefinition<uint8_t* (*)(const uint8_t*, size_t, uint8_t*, size_t, int)>(
            "WebPDecodeRGBAInto");
    const int64_t start = now();
    uint8_t* result = real(data, dataSize, output, outputSize, outputStride);
    gCodecNanoseconds += now() - start;
    return result;
}

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

int64_t minorPageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

void renderDefaults(benchmark::State& state, bool byCall) {
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
    HostOptions options;
    options.timeCalls = true;
    Host host(options);
    host.setTime(1, 2);
    auto render = [&] {
        return host.send(module->entry(), PF_Cmd_RENDER, values.array(), &output.world);
    };
    if (render() != PF_Err_NONE) {
        state.SkipWithError("render failed");
        return;
    }
    host.clearTimings();
    gCodecNanoseconds = 0;
    const int64_t faultsBefore = minorPageFaults();
    for (auto _ : state) {
        if (render() != PF_Err_NONE) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(output.bytes.data());
    }
    const double frames = static_cast<double>(state.iterations());
    const Timings timings = host.timings();
    const double renderMs = static_cast<double>(timings.commandNanoseconds) / 1e6 / frames;
    const double codecMs = static_cast<double>(gCodecNanoseconds.load()) / 1e6 / frames;
    const double hostMs = static_cast<double>(timings.hostNanoseconds()) / 1e6 / frames;
    const double pluginMs = static_cast<double>(timings.pluginNanoseconds()) / 1e6 / frames;
    state.counters["codec_ms"] = codecMs;
    state.counters["render_per_codec"] = codecMs > 0 ? renderMs / codecMs : 0.0;
    state.counters["host_ms"] = hostMs;
    state.counters["plugin_ms"] = pluginMs;
    state.counters["plugin_share"] = renderMs > 0 ? pluginMs / renderMs : 0.0;
    state.counters["page_faults"] =
        static_cast<double>(minorPageFaults() - faultsBefore) / frames;
    state.counters["world_MB"] = static_cast<double>(host.books().peakWorldBytes) / 1048576.0;
    if (byCall) {
        for (const auto& [name, timing] : timings.byCall) {
            state.counters[name] = static_cast<double>(timing.nanoseconds) / 1e6 / frames;
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t{width} * height);
}

void BM_RenderDefaults(benchmark::State& state) { renderDefaults(state, false); }
void BM_RenderDefaultsByCall(benchmark::State& state) { renderDefaults(state, true); }

BENCHMARK(BM_RenderDefaults)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RenderDefaultsByCall)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
