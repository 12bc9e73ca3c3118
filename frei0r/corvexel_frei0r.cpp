// The frei0r entry points of corvexel.so: the effect as a frei0r filter for
// FFmpeg, MLT (melt, Kdenlive, Shotcut) and GStreamer. The plug-in's own code
// is linked in and driven through the embedded host, in-process, so users
// install this one file.
//
// frei0r has no way to report an error: a call that cannot do its work
// leaves the output a copy of the input and says why once on stderr.
#include "frei0r/frei0r_api.h"

#include <cstdio>
#include <exception>
#include <mutex>
#include <new>
#include <string>

#include "frei0r/instance.h"
#include "frei0r/module_params.h"

using corvexel::frei0r::Instance;
using corvexel::frei0r::moduleInfo;

namespace {

const char* const kExplanation =
    "Seeded, time-animated digital glitch: transform jitter, channel split and "
    "scale, colour corruption, pixel streaks, WebP slices, displaced blocks and "
    "JPEG-style damage, the same pixels for the same settings and time";

void reportOnce(const std::string& reason) {
    static std::once_flag once;
    std::call_once(once, [&] { std::fprintf(stderr, "corvexel (frei0r): %s\n", reason.c_str()); });
}

}  // namespace

extern "C" {

int f0r_init(void) {
    std::string error;
    if (moduleInfo(&error) == nullptr) {
        reportOnce("the effect did not declare its parameters: " + error);
        return 0;
    }
    return 1;
}

void f0r_deinit(void) {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (info == nullptr) return;
    const auto* module = moduleInfo(nullptr);
    info->name = "corvexel";
    info->author = "Torvanel";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = module != nullptr ? static_cast<int>(module->params.size()) : 0;
    info->explanation = kExplanation;
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    const auto* module = moduleInfo(nullptr);
    if (info == nullptr || module == nullptr || param_index < 0 ||
        static_cast<size_t>(param_index) >= module->params.size()) {
        return;
    }
    const auto& param = module->params[static_cast<size_t>(param_index)];
    info->name = param.name.c_str();
    info->type = param.type;
    info->explanation = param.explanation.c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    std::string error;
    const auto* module = moduleInfo(&error);
    if (module == nullptr) {
        reportOnce("the effect did not declare its parameters: " + error);
        return nullptr;
    }
    try {
        return new Instance(*module, width, height);
    } catch (const std::exception& e) {
        reportOnce(std::string("cannot create an instance: ") + e.what());
        return nullptr;
    }
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    if (instance == nullptr) return;
    try {
        static_cast<Instance*>(instance)->setParam(param, param_index);
    } catch (const std::exception& e) {
        reportOnce(std::string("a parameter could not be set: ") + e.what());
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    if (instance == nullptr) return;
    static_cast<Instance*>(instance)->getParam(param, param_index);
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                uint32_t* outframe) {
    if (instance == nullptr) return;
    static_cast<Instance*>(instance)->update(time, inframe, outframe);
}

}  // extern "C"
