// One frei0r instance: a frame size, the settings in force and its own
// embedded host, whose worker threads render each frame.
//
// Values in force: the defaults, then the settings string, then every frei0r
// parameter a host has set away from its default. A parameter at its default
// leaves the settings string's value in force, because some hosts
// (GStreamer; Kdenlive with its effect description) set every parameter on
// every frame.
//
// Instances share nothing that changes. Each one takes its own lock in every
// call, so a host may use one instance from different threads in turn (and
// even at once: the calls then wait for each other).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "frei0r/module_params.h"
#include "host/host.h"

namespace corvexel::frei0r {

enum class TimeUnit { Seconds, Milliseconds };

class Instance {
public:
    Instance(const ModuleInfo& module, uint32_t width, uint32_t height);

    // `param` points to the frei0r value of parameter `index` (double,
    // position or char*), as f0r_set_param_value / f0r_get_param_value pass it.
    void setParam(const void* param, int index);
    void getParam(void* param, int index);

    // Renders one frame of width x height RGBA pixels at `time` in the
    // instance's time unit. On any error the output is a copy of the input
    // and the reason goes to stderr, once per reason.
    void update(double time, const uint32_t* in, uint32_t* out);

private:
    void applySettings(const std::string& text);
    void setEffectParam(const ModuleParam& p, const void* param);
    bool isDefault(const ModuleParam& p, const PF_ParamDefUnion& value);
    bool render(double time, const uint32_t* in, uint32_t* out);
    void copyThrough(const uint32_t* in, uint32_t* out);
    void report(const std::string& reason);
    corvexel::host::Host& host();

    std::mutex lock_;
    const ModuleInfo& module_;
    uint32_t width_, height_;
    std::string failure_;   // why this instance cannot render at all, "" if it can
    std::unique_ptr<corvexel::host::Frame> input_, output_;
    std::unique_ptr<corvexel::host::ParamValues> defaults_;   // the declared defaults
    std::unique_ptr<corvexel::host::ParamValues> settingsValues_;   // defaults + settings string
    std::map<int32_t, PF_ParamDefUnion> hostValues_;          // set by frei0r parameters, by id
    std::unique_ptr<corvexel::host::ParamValues> values_;     // in force
    std::unique_ptr<corvexel::host::Host> host_;
    int32_t hostThreads_ = -1;
    std::string settings_;  // the settings string in force
    TimeUnit unit_ = TimeUnit::Seconds;
    int32_t threads_ = 0;   // 0 = one per processor
    std::set<std::string> reported_;
};

}  // namespace corvexel::frei0r
