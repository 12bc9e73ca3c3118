#include "frei0r/instance.h"

#include "frei0r/frei0r_api.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "frei0r/settings_string.h"
#include "shell/entry.h"
#include "tools/frame_time.h"
#include "tools/settings.h"

namespace corvexel::frei0r {

using corvexel::host::Frame;
using corvexel::host::Host;
using corvexel::host::HostOptions;
using corvexel::host::ParamValues;

namespace {

// Largest frame side the embedded host creates worlds for.
constexpr uint32_t kMaxSide = 65536;

// A slider value from the host's 0 .. 1 position, in the steps the effect
// shows (two decimals; whole numbers for integer sliders). Hosts write the
// value a user picked divided by the slider's range, some with six
// significant digits; the steps bring back exactly the value picked.
double sliderValue(const ModuleParam& p, double position) {
    const double raw = p.sliderMin + position * (p.sliderMax - p.sliderMin);
    const double clamped = std::fmin(std::fmax(raw, p.validMin), p.validMax);
    const double steps = std::pow(10.0, p.decimals);
    return std::nearbyint(clamped * steps) / steps;
}

double sliderPosition(const ModuleParam& p, double value) {
    const double span = p.sliderMax - p.sliderMin;
    return span == 0 ? 0 : (value - p.sliderMin) / span;
}

}  // namespace

Instance::Instance(const ModuleInfo& module, uint32_t width, uint32_t height)
    : module_(module), width_(width), height_(height) {
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        failure_ = "frame size " + std::to_string(width) + "x" + std::to_string(height) +
                   " not supported (1 .. " + std::to_string(kMaxSide) + " pixels a side)";
        return;
    }
    try {
        input_ = std::make_unique<Frame>(static_cast<int32_t>(width), static_cast<int32_t>(height));
        output_ = std::make_unique<Frame>(static_cast<int32_t>(width), static_cast<int32_t>(height));
        defaults_ = std::make_unique<ParamValues>(module_.declared, input_->world);
        settingsValues_ = std::make_unique<ParamValues>(module_.declared, input_->world);
        values_ = std::make_unique<ParamValues>(module_.declared, input_->world);
    } catch (const std::bad_alloc&) {
        input_.reset();
        output_.reset();
        failure_ = "not enough memory for " + std::to_string(width) + "x" +
                   std::to_string(height) + " frames";
    }
}

void Instance::report(const std::string& reason) {
    if (reported_.insert(reason).second) {
        std::fprintf(stderr, "corvexel (frei0r): %s\n", reason.c_str());
    }
}

Host& Instance::host() {
    if (!host_ || hostThreads_ != threads_) {
        host_.reset();   // its worker threads end before the new host starts its own
        HostOptions options;
        options.threads = threads_;
        options.keepCallLog = false;   // a clip may run for hours
        host_ = std::make_unique<Host>(options);
        hostThreads_ = threads_;
    }
    return *host_;
}

void Instance::applySettings(const std::string& text) {
    if (text == settings_ || !failure_.empty()) return;
    // The whole string is applied onto fresh defaults and only taken when
    // every part of it is good, so a bad string leaves the previous one in force.
    ParsedSettings parsed;
    auto values = std::make_unique<ParamValues>(module_.declared, input_->world);
    std::string error = parseSettingsString(text, module_.catalog, values.get(), &parsed);
    if (!error.empty()) {
        report("settings not applied, the previous ones stay in force: " + error);
        return;
    }
    settingsValues_ = std::move(values);
    for (size_t id = 1; id < values_->defs.size(); ++id) {
        const int32_t key = static_cast<int32_t>(id);
        auto host = hostValues_.find(key);
        values_->at(key).u = host != hostValues_.end() ? host->second : settingsValues_->at(key).u;
    }
    unit_ = parsed.milliseconds ? TimeUnit::Milliseconds : TimeUnit::Seconds;
    threads_ = parsed.threads;
    settings_ = text;
}

bool Instance::isDefault(const ModuleParam& p, const PF_ParamDefUnion& value) {
    const PF_ParamDefUnion& dflt = defaults_->at(p.id).u;
    switch (p.kind) {
    case ParamKind::Float: return value.fs_d.value == dflt.fs_d.value;
    case ParamKind::Int: return value.sd.value == dflt.sd.value;
    case ParamKind::Checkbox: return value.bd.value == dflt.bd.value;
    case ParamKind::Popup: return value.pd.value == dflt.pd.value;
    case ParamKind::Point:
        return value.td.x_value == dflt.td.x_value && value.td.y_value == dflt.td.y_value;
    default: return false;
    }
}

void Instance::setEffectParam(const ModuleParam& p, const void* param) {
    const double x = *static_cast<const double*>(param);
    if (p.kind != ParamKind::Point && !std::isfinite(x)) {
        report("ignored a value that is not a number for \"" + p.name + "\"");
        return;
    }
    PF_ParamDefUnion value = values_->at(p.id).u;
    switch (p.kind) {
    case ParamKind::Float: value.fs_d.value = sliderValue(p, x); break;
    case ParamKind::Int: value.sd.value = static_cast<int32_t>(std::lround(sliderValue(p, x))); break;
    case ParamKind::Checkbox: value.bd.value = x >= 0.5 ? 1 : 0; break;
    case ParamKind::Popup: {
        const ParamInfo& info = module_.catalog[static_cast<size_t>(p.id - 1)];
        const double item = std::nearbyint(x);
        if (item < 1 || item > static_cast<double>(info.items.size()) ||
            info.items[static_cast<size_t>(item) - 1] == "(-") {
            report("ignored item " + std::to_string(x) + " for \"" + p.name + "\" (no such item)");
            return;
        }
        value.pd.value = static_cast<int32_t>(item);
        break;
    }
    case ParamKind::Point: {
        const auto* position = static_cast<const f0r_param_position_t*>(param);
        const double limit = 32767.0;   // layer pixels a point may lie away from the frame
        if (!std::isfinite(position->x) || !std::isfinite(position->y) ||
            std::fabs(position->x) * width_ > limit || std::fabs(position->y) * height_ > limit) {
            report("ignored a position too far outside the frame for \"" + p.name + "\"");
            return;
        }
        value.td.x_value = pointPercentToFixed(position->x * 100.0, static_cast<int32_t>(width_));
        value.td.y_value = pointPercentToFixed(position->y * 100.0, static_cast<int32_t>(height_));
        break;
    }
    default: return;
    }
    if (isDefault(p, value)) {
        hostValues_.erase(p.id);
        values_->at(p.id).u = settingsValues_->at(p.id).u;
    } else {
        hostValues_[p.id] = value;
        values_->at(p.id).u = value;
    }
}

void Instance::setParam(const void* param, int index) {
    std::lock_guard<std::mutex> guard(lock_);
    if (param == nullptr || index < 0 || static_cast<size_t>(index) >= module_.params.size()) {
        return;
    }
    const ModuleParam& p = module_.params[static_cast<size_t>(index)];
    if (p.kind == ParamKind::Settings) {
        const char* text = *static_cast<const char* const*>(param);
        applySettings(text == nullptr ? "" : text);
    } else if (p.kind == ParamKind::Threads) {
        const double n = *static_cast<const double*>(param);
        if (!std::isfinite(n) || n < 0 || n > kMaxRenderThreads) {
            report("ignored a thread count outside 0 .. " + std::to_string(kMaxRenderThreads));
            return;
        }
        threads_ = static_cast<int32_t>(std::lround(n));
    } else if (failure_.empty()) {
        setEffectParam(p, param);
    }
}

void Instance::getParam(void* param, int index) {
    std::lock_guard<std::mutex> guard(lock_);
    if (param == nullptr || index < 0 || static_cast<size_t>(index) >= module_.params.size()) {
        return;
    }
    const ModuleParam& p = module_.params[static_cast<size_t>(index)];
    auto* number = static_cast<double*>(param);
    if (p.kind == ParamKind::Settings) {
        *static_cast<const char**>(param) = settings_.c_str();
        return;
    }
    if (p.kind == ParamKind::Threads) {
        *number = threads_;
        return;
    }
    // An instance that cannot render still answers with the defaults.
    const PF_ParamDef& def = values_ ? values_->at(p.id) : module_.declared[static_cast<size_t>(p.id - 1)];
    switch (p.kind) {
    case ParamKind::Float: *number = sliderPosition(p, def.u.fs_d.value); break;
    case ParamKind::Int: *number = sliderPosition(p, def.u.sd.value); break;
    case ParamKind::Checkbox: *number = def.u.bd.value != 0 ? 1.0 : 0.0; break;
    case ParamKind::Popup: *number = def.u.pd.value; break;
    case ParamKind::Point: {
        auto* position = static_cast<f0r_param_position_t*>(param);
        if (values_) {
            position->x = def.u.td.x_value / 65536.0 / width_;
            position->y = def.u.td.y_value / 65536.0 / height_;
        } else {
            position->x = def.u.td.x_dephault / 65536.0 / 100.0;
            position->y = def.u.td.y_dephault / 65536.0 / 100.0;
        }
        break;
    }
    default: break;
    }
}

void Instance::copyThrough(const uint32_t* in, uint32_t* out) {
    if (in != nullptr && out != nullptr && in != out) {
        std::memmove(out, in, static_cast<size_t>(width_) * height_ * 4);
    }
}

bool Instance::render(double time, const uint32_t* in, uint32_t* out) {
    FrameTime at;
    const double seconds = unit_ == TimeUnit::Milliseconds ? time / 1000.0 : time;
    if (!frameTimeFromSeconds(seconds, &at)) {
        report("frame time " + std::to_string(time) + " cannot be handed to the effect");
        return false;
    }
    // frei0r's RGBA8888 is the bytes R, G, B, A; the effect's pixels are A, R, G, B.
    const size_t pixels = static_cast<size_t>(width_) * height_;
    const auto* source = reinterpret_cast<const uint8_t*>(in);
    auto* argb = reinterpret_cast<PF_Pixel8*>(input_->bytes.data());
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = source + i * 4;
        argb[i] = PF_Pixel8{p[3], p[0], p[1], p[2]};
    }
    Host& renderer = host();
    renderer.setTime(at.currentTime, at.timeScale);
    PF_OutData* outData = renderer.outData();
    outData->return_msg[0] = '\0';
    const PF_Err err = renderer.send(EntryPointFunc, PF_Cmd_RENDER, values_->array(), &output_->world);
    if (err != PF_Err_NONE) {
        outData->return_msg[sizeof outData->return_msg - 1] = '\0';
        report("the frame could not be rendered (error " + std::to_string(err) + ")" +
               (outData->return_msg[0] != '\0' ? std::string(": ") + outData->return_msg : ""));
        return false;
    }
    const auto* rendered = reinterpret_cast<const PF_Pixel8*>(output_->bytes.data());
    auto* target = reinterpret_cast<uint8_t*>(out);
    for (size_t i = 0; i < pixels; ++i) {
        const PF_Pixel8& p = rendered[i];
        uint8_t* q = target + i * 4;
        q[0] = p.red;
        q[1] = p.green;
        q[2] = p.blue;
        q[3] = p.alpha;
    }
    return true;
}

void Instance::update(double time, const uint32_t* in, uint32_t* out) {
    std::lock_guard<std::mutex> guard(lock_);
    if (out == nullptr) return;
    if (in == nullptr) {
        report("no input frame given");
        return;
    }
    if (!failure_.empty()) {
        report(failure_);
        copyThrough(in, out);
        return;
    }
    bool rendered = false;
    try {
        rendered = render(time, in, out);
    } catch (const std::bad_alloc&) {
        report("not enough memory to render a frame");
    } catch (const std::exception& e) {
        report(std::string("the frame could not be rendered: ") + e.what());
    }
    if (!rendered) copyThrough(in, out);
}

}  // namespace corvexel::frei0r
