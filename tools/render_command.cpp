// `corvexel render`: renders a still, an animation or one stage alone through
// the embedded host.
//
// A full render goes through the loaded module's EntryPointFunc. `--stage`
// runs one stage in-process: the tool links the plug-in's code for that, so
// the module keeps EntryPointFunc as its only export; the host still supplies
// every record and suite through the same send() path.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "host/host.h"
#include "render/stage_runner.h"
#include "tools/cli.h"
#include "tools/frame_time.h"
#include "tools/image_io.h"
#include "tools/image_limits.h"
#include "tools/messages.h"
#include "tools/param_catalog.h"
#include "tools/plugin_loader.h"
#include "tools/presets.h"
#include "tools/render_options.h"
#include "tools/settings.h"
#include "tools/test_card.h"

namespace {

using corvexel::host::Frame;
using corvexel::host::Host;
using corvexel::host::HostOptions;
using corvexel::host::ParamValues;

constexpr const char* kPrefix = "corvexel render";
// --row-padding: extra bytes after every row of every frame, to check that a
// render honours rowbytes as a host with padded rows would lay them out.
constexpr long kMaxRowPadding = 4096;

struct RenderRequest {
    std::string input;
    std::string output;
    RenderTime time;
    std::vector<std::string> presets;                             // settings files, applied first
    std::vector<std::pair<std::string, std::string>> settings;   // key (id or path), value
    int64_t width = 1280;
    int64_t height = 720;
    bool sizeGiven = false;
    int32_t threads = 0;
    int32_t rowPadding = 0;
    bool extentGiven = false;
    int32_t extent[4] = {0, 0, 0, 0};   // the output's extent hint: left, top, right, bottom
    std::string stage;
    bool overwrite = false;
    bool animate = false;
    int64_t firstFrame = 0;
    int64_t lastFrame = 0;
    uint32_t rateNumerator = 0;
    uint32_t rateScale = 1;
};

// Reports a failure in one line and returns the exit code.
int fail(int code, const std::string& message) {
    printMessage(kPrefix, message);
    return code;
}

int badInput(const std::string& message) { return fail(kExitUsage, message); }

int exitCodeFor(IoStatus status) {
    switch (status) {
        case IoStatus::kOk: return kExitSuccess;
        case IoStatus::kBadInput: return kExitUsage;
        case IoStatus::kOutOfMemory: return kExitRenderError;
        case IoStatus::kWriteFailed: return kExitWriteFailed;
    }
    return kExitFailure;
}

// Parses the arguments after the verb; returns 0 or an exit code.
int parseRequest(const std::vector<std::string>& args, RenderRequest* req) {
    std::string frames, fps;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& opt = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        if (opt == "--overwrite") {
            req->overwrite = true;
            continue;
        }
        std::string v;
        if (opt == "-i" || opt == "-o" || opt == "--time" || opt == "--param" ||
            opt == "--set" || opt == "--size" || opt == "--threads" || opt == "--stage" ||
            opt == "--frames" || opt == "--fps" || opt == "--row-padding" ||
            opt == "--extent" || opt == "--preset") {
            if (!value(&v)) return badInput("option " + opt + " needs a value");
        } else {
            return badInput("unknown option: " + opt);
        }
        if ((opt == "-i" || opt == "-o") && v.empty()) return badInput(opt + " needs a file name");
        if (opt == "--stage" && v.empty()) return badInput("--stage needs a stage name");
        if (opt == "-i") req->input = v;
        if (opt == "-o") req->output = v;
        if (opt == "--time" && !parseTime(v, &req->time)) return badInput("malformed time: " + v);
        if (opt == "--size") {
            if (!parseSize(v, &req->width, &req->height)) return badInput("malformed size: " + v);
            std::string problem = pictureSizeProblem(req->width, req->height);
            if (!problem.empty()) return badInput("size too large: " + problem);
            req->sizeGiven = true;
        }
        if (opt == "--threads") {
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 1 || n > 256) {
                return badInput("malformed thread count: " + v);
            }
            req->threads = static_cast<int32_t>(n);
        }
        if (opt == "--row-padding") {
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 0 || n > kMaxRowPadding) {
                return badInput("malformed row padding: " + v);
            }
            req->rowPadding = static_cast<int32_t>(n);
        }
        if (opt == "--extent") {
            if (!parseExtent(v, req->extent)) return badInput("malformed extent: " + v);
            req->extentGiven = true;
        }
        if (opt == "--param" || opt == "--set") {
            std::string key, val;
            if (!splitSetting(v, &key, &val)) return badInput("malformed setting: " + v);
            req->settings.emplace_back(key, val);
        }
        if (opt == "--preset") req->presets.push_back(v);
        if (opt == "--stage") req->stage = v;
        if (opt == "--frames") frames = v;
        if (opt == "--fps") fps = v;
    }
    if (req->output.empty()) return badInput("no output given (-o OUTPUT)");
    if (!req->input.empty() && req->sizeGiven) {
        return badInput("--size applies only to the built-in test card");
    }
    if (!req->stage.empty() && !isStageName(req->stage.c_str())) {
        return badInput("stage not available: " + req->stage);
    }
    if (frames.empty() != fps.empty()) return badInput("--frames and --fps go together");
    if (!frames.empty()) {
        if (!parseFrameRange(frames, &req->firstFrame, &req->lastFrame)) {
            return badInput("malformed frame range: " + frames);
        }
        if (!parseFrameRate(fps, &req->rateNumerator, &req->rateScale)) {
            return badInput("malformed frame rate: " + fps);
        }
        const int64_t inexpressible = firstInexpressibleFrame(
            req->firstFrame, req->lastFrame, req->rateNumerator, req->rateScale);
        if (inexpressible >= 0) {
            return badInput("frame " + std::to_string(inexpressible) + " at " + fps +
                            " fps lies at a time the plug-in cannot be given (its current_time "
                            "/ time_scale must fit in 32 bits)");
        }
        if (!isFramePattern(req->output)) {
            return badInput("output needs exactly one frame number conversion such as %04d: " +
                            req->output);
        }
        req->animate = true;
    }
    return 0;
}

void rgbaToFrame(const RgbaImage& image, Frame* frame) {
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
            frame->at(x, y) = PF_Pixel8{p[3], p[0], p[1], p[2]};
        }
    }
}

RgbaImage frameToRgba(const Frame& frame) {
    RgbaImage image;
    image.width = frame.world.width;
    image.height = frame.world.height;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height * 4);
    size_t i = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const PF_Pixel8& p = frame.at(x, y);
            image.pixels[i++] = p.red;
            image.pixels[i++] = p.green;
            image.pixels[i++] = p.blue;
            image.pixels[i++] = p.alpha;
        }
    }
    return image;
}

const char* errorName(PF_Err err) {
    switch (err) {
        case PF_Err_OUT_OF_MEMORY: return "PF_Err_OUT_OF_MEMORY";
        case PF_Err_INTERNAL_STRUCT_DAMAGED: return "PF_Err_INTERNAL_STRUCT_DAMAGED";
        case PF_Err_INVALID_INDEX: return "PF_Err_INVALID_INDEX";
        case PF_Err_UNRECOGNIZED_PARAM_TYPE: return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
        case PF_Err_INVALID_CALLBACK: return "PF_Err_INVALID_CALLBACK";
        case PF_Err_BAD_CALLBACK_PARAM: return "PF_Err_BAD_CALLBACK_PARAM";
        case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT: return "PF_Err_CANNOT_PARSE_KEYFRAME_TEXT";
        default: return "error";
    }
}

// The stage a --stage render runs; the tool renders one frame at a time on
// one thread, so a plain variable carries it into the entry function.
std::string gStageName;

PF_Err stageEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                  PF_LayerDef* output, void* /*extra*/) {
    if (cmd != PF_Cmd_RENDER) return PF_Err_NONE;
    return runStageAlone(in_data, out_data, params, output, gStageName.c_str());
}

int renderFrame(Host* host, PF_EntryPointFunc entry, ParamValues* values, Frame* output,
                const RenderTime& time, const std::string& path, const OutputOptions& options) {
    host->setTime(time.currentTime, time.timeScale);
    PF_OutData* out = host->outData();
    out->return_msg[0] = '\0';
    PF_Err err = host->send(entry, PF_Cmd_RENDER, values->array(), &output->world);
    if (err != PF_Err_NONE) {
        out->return_msg[sizeof out->return_msg - 1] = '\0';
        std::string msg = out->return_msg[0] != '\0' ? std::string(": ") + out->return_msg : "";
        return fail(kExitRenderError, std::string("render failed with ") + errorName(err) + " (" +
                                          std::to_string(err) + ")" + msg);
    }
    std::string error;
    IoStatus status = writeImage(path, frameToRgba(*output), options, &error);
    if (status != IoStatus::kOk) return fail(exitCodeFor(status), error);
    return kExitSuccess;
}

int renderRequest(const RenderRequest& req, const PluginOptions& pluginOptions) {
    std::string error;
    auto module = loadPlugin(pluginOptions, &error);
    if (!module) return fail(kExitFailure, error);
    RgbaImage picture;
    if (req.input.empty()) {
        picture = makeTestCard(static_cast<int32_t>(req.width), static_cast<int32_t>(req.height));
    } else if (IoStatus status = loadImage(req.input, &picture, &error); status != IoStatus::kOk) {
        return fail(exitCodeFor(status), error);
    }

    std::vector<PF_ParamDef> declared;
    try {
        declared = corvexel::host::declareParams(module->entry());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        return fail(kExitFailure, e.what());
    }
    std::vector<ParamInfo> catalog = buildParamCatalog(declared);
    Frame input(picture.width, picture.height, req.rowPadding);
    rgbaToFrame(picture, &input);
    picture = RgbaImage();   // the input frame holds it now
    ParamValues values(declared, input.world);
    for (const std::string& preset : req.presets) {
        std::string reason = applyPresetFile(catalog, &values, preset);
        if (!reason.empty()) return badInput(reason);
    }
    for (const auto& [key, text] : req.settings) {
        std::string reason = applySetting(catalog, &values, key, text);
        if (!reason.empty()) return badInput(reason);
    }

    HostOptions hostOptions;
    hostOptions.keepCallLog = false;   // a sequence may run for hours
    hostOptions.threads = req.threads;
    hostOptions.rowPadding = req.rowPadding;
    Host host(hostOptions);
    Frame output(input.world.width, input.world.height, req.rowPadding);
    if (req.extentGiven) {
        // Hosts may hand an output whose extent hint is smaller than the
        // frame; the hint has to lie inside it.
        if (req.extent[2] > input.world.width || req.extent[3] > input.world.height) {
            return badInput("extent " + std::to_string(req.extent[0]) + "," +
                            std::to_string(req.extent[1]) + "," + std::to_string(req.extent[2]) +
                            "," + std::to_string(req.extent[3]) + " lies outside the " +
                            std::to_string(input.world.width) + "x" +
                            std::to_string(input.world.height) + " frame");
        }
        output.world.extent_hint = PF_Rect{req.extent[0], req.extent[1], req.extent[2],
                                           req.extent[3]};
    }
    PF_EntryPointFunc entry = module->entry();
    if (!req.stage.empty()) {
        gStageName = req.stage;
        entry = stageEntry;
    }
    OutputOptions outputOptions;
    outputOptions.overwrite = req.overwrite;
    outputOptions.threads = req.threads;
    if (!req.animate) {
        return renderFrame(&host, entry, &values, &output, req.time, req.output, outputOptions);
    }
    const int64_t count = req.lastFrame - req.firstFrame + 1;
    for (int64_t n = req.firstFrame;; ++n) {
        // The same fraction, in lowest terms, as the video-tool module hands
        // the plug-in for frame n at this rate.
        FrameTime exact;
        frameTimeAt(n, req.rateNumerator, req.rateScale, &exact);   // fits: checked with the range
        RenderTime time;
        time.currentTime = exact.currentTime;
        time.timeScale = exact.timeScale;
        std::string path = formatFrameName(req.output, n);
        if (int code = renderFrame(&host, entry, &values, &output, time, path, outputOptions)) {
            return code;
        }
        const std::string progress = "frame " + std::to_string(n) + " written (" +
                                     std::to_string(n - req.firstFrame + 1) + " of " +
                                     std::to_string(count) + "): " + path;
        std::fprintf(stderr, "%s\n", escapeControlCharacters(progress).c_str());
        if (n == req.lastFrame) break;
    }
    return kExitSuccess;
}

}  // namespace

int runRender(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    PluginOptions pluginOptions;
    std::string error;
    if (!takeModuleOption(&args, &pluginOptions, &error)) return badInput(error);
    RenderRequest req;
    if (int code = parseRequest(args, &req)) return code;
    // Running out of memory or threads anywhere (the test card, decoding,
    // frames, encoding) ends the command with one line, not an abort.
    try {
        return renderRequest(req, pluginOptions);
    } catch (const std::bad_alloc&) {
        return fail(kExitRenderError, "out of memory");
    } catch (const std::system_error& e) {
        return fail(kExitRenderError, std::string("cannot start a thread: ") + e.what());
    }
}
