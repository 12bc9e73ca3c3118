// A render's worth of surroundings for calling one image stage directly:
// the embedded host, the plug-in's declared parameters at their defaults,
// a suite cache and a noise field.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/host.h"
#include "noise/noise_field.h"
#include "shell/entry.h"
#include "shell/param_set.h"
#include "shell/suite_cache.h"

namespace corvexel::test {

// The host answers suite and handle requests only while a command runs, so
// stage calls are made from inside a render command sent to this entry.
inline std::function<PF_Err(PF_InData*)>*& currentBody() {
    static std::function<PF_Err(PF_InData*)>* body = nullptr;
    return body;
}

inline PF_Err bodyEntry(PF_Cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                        void*) {
    return (*currentBody())(in_data);
}

inline const std::vector<PF_ParamDef>& defaultParams() {
    static const std::vector<PF_ParamDef> declared = host::declareParams(&EntryPointFunc);
    return declared;
}

struct StageFixture {
    explicit StageFixture(int32_t width, int32_t height, int32_t threads = 1,
                          host::FaultPlan faults = {})
        : host(host::HostOptions{threads, 0, faults}),
          input(width, height),
          output(width, height),
          params(defaultParams(), input.world) {
        reseed(1, 0.0f);
    }
    void reseed(int32_t seed, float timeSeconds) {
        noise.init(seed, 1.0f, timeSeconds, input.world.height, 0.5f, 2.0f, 4);
    }
    // Runs `stage` (given the command's records and a fresh suite cache)
    // inside a render command and returns its error.
    template <typename Stage>
    PF_Err run(Stage stage) {
        std::function<PF_Err(PF_InData*)> body = [&](PF_InData* in_data) {
            SuiteCache suites(in_data->pica_basicP);
            return stage(in_data, host.outData(), &suites);
        };
        currentBody() = &body;
        PF_Err err = host.send(&bodyEntry, PF_Cmd_RENDER, params.array(), &output.world);
        currentBody() = nullptr;
        return err;
    }
    host::Host host;
    host::Frame input;
    host::Frame output;
    host::ParamValues params;
    NoiseField noise{};
};

// A detailed picture: gradients, a checkerboard, hashed speckle and a
// transparent corner, so codecs and sorts have real work to do.
inline void paintDetailed(host::Frame* frame) {
    for (int32_t y = 0; y < frame->world.height; ++y) {
        for (int32_t x = 0; x < frame->world.width; ++x) {
            uint32_t h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
            PF_Pixel8& p = frame->at(x, y);
            p.red = static_cast<uint8_t>(x * 3 + ((h >> 7) & 15));
            p.green = static_cast<uint8_t>(y * 2 + (((x / 8 + y / 8) & 1) ? 60 : 0));
            p.blue = static_cast<uint8_t>((x ^ y) + ((h >> 13) & 31));
            p.alpha = (x < 10 && y < 10) ? 0 : static_cast<uint8_t>(200 + (h & 55));
        }
    }
}

}  // namespace corvexel::test
