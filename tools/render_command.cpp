// `corvexel render`: renders a still, an animation or one stage alone through
// the embedded host.
//
// A full render goes through the loaded module's EntryPointFunc. `--stage`
// runs one stage in-process: the tool links the plug-in's code for that, so
// the module keeps EntryPointFunc as its only export; the host still supplies
// every record and suite through the same send() path.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

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
#include "tools/rgba_frame.h"
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
    int32_t threads = 0;      // threads that render each frame; 0 = chosen below
    int32_t jobs = 0;         // frames of a sequence rendered at once; 0 = chosen below
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
            opt == "--extent" || opt == "--preset" || opt == "--jobs") {
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
        if (opt == "--jobs") {
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 1 || n > 256) {
                return badInput("malformed job count: " + v);
            }
            req->jobs = static_cast<int32_t>(n);
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
    if (req->jobs != 0 && frames.empty()) return badInput("--jobs applies only to --frames");
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

// The stage a --stage render runs, set once before any frame is rendered and
// only read afterwards (by every renderer of a sequence).
std::string gStageName;

PF_Err stageEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                  PF_LayerDef* output, void* /*extra*/) {
    if (cmd != PF_Cmd_RENDER) return PF_Err_NONE;
    return runStageAlone(in_data, out_data, params, output, gStageName.c_str());
}

// Asks the plug-in for one frame at `time` into `output`.
PF_Err sendRender(Host* host, PF_EntryPointFunc entry, ParamValues* values, Frame* output,
                  const RenderTime& time) {
    host->setTime(time.currentTime, time.timeScale);
    host->outData()->return_msg[0] = '\0';
    return host->send(entry, PF_Cmd_RENDER, values->array(), &output->world);
}

// Why a render failed: the error's name and code, and the plug-in's own
// message when it left one.
std::string renderFailure(Host* host, PF_Err err) {
    PF_OutData* out = host->outData();
    out->return_msg[sizeof out->return_msg - 1] = '\0';
    const std::string msg = out->return_msg[0] != '\0' ? std::string(": ") + out->return_msg : "";
    return std::string("render failed with ") + errorName(err) + " (" + std::to_string(err) + ")" +
           msg;
}

int writePicture(const std::string& path, const RgbaImage& picture, const OutputOptions& options) {
    std::string error;
    IoStatus status = writeImage(path, picture, options, &error);
    if (status != IoStatus::kOk) return fail(exitCodeFor(status), error);
    return kExitSuccess;
}

// What every frame of a render shares: the module's entry, the input layer
// (read only), the settings and the frame layout.
struct FrameSetup {
    PF_EntryPointFunc entry;
    const std::vector<PF_ParamDef>* declared;
    const ParamValues* settings;
    const Frame* input;
    const RenderRequest* req;
    OutputOptions output;
};

// A frame of the output's layout, with the extent hint the request gives.
void prepareOutput(const FrameSetup& setup, Frame* output) {
    if (setup.req->extentGiven) {
        const int32_t* e = setup.req->extent;
        output->world.extent_hint = PF_Rect{e[0], e[1], e[2], e[3]};
    }
}

// A copy of the settings for one renderer, its layer entry on the shared input.
void copySettings(const FrameSetup& setup, ParamValues* values) {
    for (size_t id = 1; id < values->defs.size(); ++id) {
        values->defs[id].u = setup.settings->defs[id].u;
    }
}

HostOptions hostOptionsFor(const RenderRequest& req, int32_t threads) {
    HostOptions options;
    options.keepCallLog = false;   // a sequence may run for hours
    options.threads = threads;
    options.rowPadding = req.rowPadding;
    return options;
}

int renderStill(const FrameSetup& setup) {
    const RenderRequest& req = *setup.req;
    Host host(hostOptionsFor(req, req.threads));
    ParamValues values(*setup.declared, setup.input->world);
    copySettings(setup, &values);
    Frame output(setup.input->world.width, setup.input->world.height, req.rowPadding);
    prepareOutput(setup, &output);
    if (PF_Err err = sendRender(&host, setup.entry, &values, &output, req.time)) {
        return fail(kExitRenderError, renderFailure(&host, err));
    }
    // The frames the host keeps for a next render are not needed while the
    // picture is written.
    host.releaseKeptWorlds();
    return writePicture(req.output, frameToRgba(output), setup.output);
}

// ---------------------------------------------------------------- sequences
//
// Frames of a sequence are rendered by several renderers at once, each with
// its own host and output frame, and written strictly in order: a renderer
// that has finished frame n waits until frame n - 1 is on disk. The first
// failure (in frame order) stops the sequence; the frames before it are all
// written, none after it. Every frame's time depends on its number alone,
// so any split of a range gives the same files.

struct SequenceState {
    std::mutex lock;
    std::condition_variable turn;
    int64_t nextToRender;
    int64_t nextToWrite;
    int exitCode = kExitSuccess;   // of the first frame that failed
    bool stopped = false;
};

bool stderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// One line per written frame; on a terminal one line that keeps itself up to date.
void reportProgress(const RenderRequest& req, int64_t n, const std::string& path, bool terminal) {
    const int64_t count = req.lastFrame - req.firstFrame + 1;
    const int64_t done = n - req.firstFrame + 1;
    if (terminal) {
        std::fprintf(stderr, "\r%s: frame %lld written (%lld of %lld, %lld%%)\x1b[K", kPrefix,
                     static_cast<long long>(n), static_cast<long long>(done),
                     static_cast<long long>(count), static_cast<long long>(done * 100 / count));
        if (n == req.lastFrame) std::fputc('\n', stderr);
        std::fflush(stderr);
        return;
    }
    const std::string progress = "frame " + std::to_string(n) + " written (" +
                                 std::to_string(done) + " of " + std::to_string(count) +
                                 "): " + path;
    std::fprintf(stderr, "%s\n", escapeControlCharacters(progress).c_str());
}

// Waits until frame n may be written (true), or the sequence has stopped.
bool waitForTurn(SequenceState* state, int64_t n) {
    std::unique_lock<std::mutex> guard(state->lock);
    state->turn.wait(guard, [&] { return state->stopped || state->nextToWrite == n; });
    return !state->stopped;
}

void finishTurn(SequenceState* state, int64_t n, int code) {
    std::lock_guard<std::mutex> guard(state->lock);
    if (code != kExitSuccess) {
        state->exitCode = code;
        state->stopped = true;
    }
    state->nextToWrite = n + 1;
    state->turn.notify_all();
}

// Stops the sequence from a renderer that cannot go on (out of memory, no
// thread): frames already in order are kept, the rest are abandoned.
void abandonSequence(SequenceState* state, int code, const std::string& why) {
    std::lock_guard<std::mutex> guard(state->lock);
    if (!state->stopped) {
        fail(code, why);
        state->exitCode = code;
        state->stopped = true;
    }
    state->turn.notify_all();
}

void renderFrames(const FrameSetup& setup, int32_t threads, SequenceState* state,
                  bool terminal) {
    const RenderRequest& req = *setup.req;
    try {
        Host host(hostOptionsFor(req, threads));
        ParamValues values(*setup.declared, setup.input->world);
        copySettings(setup, &values);
        Frame output(setup.input->world.width, setup.input->world.height, req.rowPadding);
        prepareOutput(setup, &output);
        for (;;) {
            int64_t n = 0;
            {
                std::lock_guard<std::mutex> guard(state->lock);
                if (state->stopped || state->nextToRender > req.lastFrame) return;
                n = state->nextToRender++;
            }
            // The same fraction, in lowest terms, as the video-tool module
            // hands the plug-in for frame n at this rate.
            FrameTime exact;
            frameTimeAt(n, req.rateNumerator, req.rateScale, &exact);   // checked with the range
            const RenderTime time{exact.currentTime, exact.timeScale};
            PF_Err err = PF_Err_NONE;
            bool outOfMemory = false;
            RgbaImage picture;
            try {
                err = sendRender(&host, setup.entry, &values, &output, time);
                if (err == PF_Err_NONE) picture = frameToRgba(output);
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
            }
            // A failure is reported in its turn, so messages and files come
            // out in frame order.
            if (!waitForTurn(state, n)) return;
            int code = kExitSuccess;
            // A message after a progress line that keeps itself up to date
            // starts on a line of its own.
            const bool failing = outOfMemory || err != PF_Err_NONE;
            if (failing && terminal && n > req.firstFrame) std::fputc('\n', stderr);
            try {
                if (outOfMemory) {
                    code = fail(kExitRenderError, "out of memory");
                } else if (err != PF_Err_NONE) {
                    code = fail(kExitRenderError, renderFailure(&host, err));
                } else {
                    const std::string path = formatFrameName(req.output, n);
                    code = writePicture(path, picture, setup.output);
                    if (code == kExitSuccess) reportProgress(req, n, path, terminal);
                }
            } catch (const std::bad_alloc&) {
                code = fail(kExitRenderError, "out of memory");
            }
            finishTurn(state, n, code);
            if (code != kExitSuccess) return;
        }
    } catch (const std::bad_alloc&) {
        abandonSequence(state, kExitRenderError, "out of memory");
    } catch (const std::system_error& e) {
        abandonSequence(state, kExitRenderError, std::string("cannot start a thread: ") + e.what());
    }
}

int32_t processorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int32_t>(std::min(n, 256u));
}

int renderSequence(const FrameSetup& setup) {
    const RenderRequest& req = *setup.req;
    const int64_t count = req.lastFrame - req.firstFrame + 1;
    // Every core busy: by default one renderer per core, each frame on one
    // thread; --threads gives each frame more threads and fewer renderers.
    const int32_t cores = processorCount();
    int32_t threads = req.threads;
    int32_t jobs = req.jobs;
    if (jobs == 0) jobs = std::max(1, cores / std::max(1, threads));
    jobs = static_cast<int32_t>(std::min<int64_t>(jobs, count));
    if (threads == 0) threads = std::max(1, cores / jobs);
    FrameSetup perFrame = setup;
    perFrame.output.threads = threads;

    SequenceState state;
    state.nextToRender = req.firstFrame;
    state.nextToWrite = req.firstFrame;
    const bool terminal = stderrIsTerminal();
    std::vector<std::thread> renderers;
    try {
        for (int32_t j = 1; j < jobs; ++j) {
            renderers.emplace_back(renderFrames, std::cref(perFrame), threads, &state, terminal);
        }
    } catch (const std::system_error& e) {
        abandonSequence(&state, kExitRenderError, std::string("cannot start a thread: ") + e.what());
    }
    renderFrames(perFrame, threads, &state, terminal);
    for (std::thread& renderer : renderers) renderer.join();
    return state.exitCode;
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
    }
    FrameSetup setup{module->entry(), &declared, &values, &input, &req, OutputOptions{}};
    if (!req.stage.empty()) {
        gStageName = req.stage;
        setup.entry = stageEntry;
    }
    setup.output.overwrite = req.overwrite;
    setup.output.threads = req.threads;
    return req.animate ? renderSequence(setup) : renderStill(setup);
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
