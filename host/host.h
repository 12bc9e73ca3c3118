// The embedded host: everything a plug-in module needs from the application
// that loads it, so the effect can run, be tested and be used outside it.
//
// A Host owns one PF_InData / PF_OutData pair, the utility callbacks, the
// basic suite with its registry of suites, the worlds and handles it hands
// out, a pool of worker threads that lives as long as it does, and the books
// that let a test assert that every suite, world and handle came back. Fault
// injection lets a test take a suite away, refuse a handle or make a chosen
// call fail. On request it also keeps the time of every kind of host call.
//
// Host callbacks that carry no context argument (the handle suite,
// iterate_generic) find their Host through a thread-local pointer that send()
// sets on the calling thread and the worker pool sets on its threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sdk/pf_types.h"

namespace corvexel::host {

// Faults a test can inject.
struct FaultPlan {
    std::set<std::string> missingSuites;   // suite names AcquireSuite refuses
    int64_t failHandleNumber = -1;         // this handle request (0-based count) returns null
    std::string failCall;                  // host call name that fails: "new_world", "fill",
                                           // "copy", "iterate", "iterate_generic",
                                           // "subpixel_sample", "transform_world",
                                           // "transfer_rect", "copy_hq", "add_param", ...
    int64_t failCallOccurrence = 0;        // which call of that name fails (0 = the first)
    PF_Err failError = PF_Err_NONE;        // the error it returns
};

struct HostOptions {
    int32_t threads = 0;          // iteration worker threads; 0 = one per hardware thread
    int32_t rowPadding = 0;       // extra bytes after every row of a world from new_world
    FaultPlan faults;
    bool recordGeometry = false;  // keep the arguments of every geometry call (geometryCalls)
    bool timeCalls = false;       // keep Host::timings()
    bool keepCallLog = true;      // keep callLog(); a front end that renders for hours turns
                                  // it off, since the log grows with every call
};

// The arguments of one geometry call the plug-in made, transform_world or
// transfer_rect, as the host received them: what a test checks to know
// exactly where and how the plug-in asked for a picture to be drawn.
struct GeometryCall {
    std::string name;                     // "transform_world" or "transfer_rect"
    PF_EffectWorld src{};                 // copies of the worlds' records as they were
    PF_EffectWorld dst{};                 // (zero when the pointer was null)
    bool hasRect = false;                 // false when the rectangle pointer was null
    PF_Rect rect{};                       // transfer_rect: the source rectangle;
                                          // transform_world: the destination rectangle
    A_long destX = 0;                     // transfer_rect: where the rectangle's corner lands
    A_long destY = 0;
    bool hasMatrix = false;
    PF_FloatMatrix matrix{};              // transform_world: the first matrix
    A_long matrixCount = 0;
    PF_Boolean sourceToDestination = 0;
    bool hasMode = false;
    PF_CompositeMode mode{};
    PF_Quality quality = 0;
    PF_ModeFlags modeFlags = 0;
};

// Outstanding resources after a command; all zero when the plug-in cleaned up.
struct Books {
    std::map<std::string, int64_t> suitesHeld;   // acquisitions minus releases, by suite
    int64_t suiteAcquisitions = 0;               // every successful AcquireSuite
    int64_t worldsHeld = 0;                      // new_world minus dispose_world
    int64_t worldsCreated = 0;
    int64_t handlesHeld = 0;                     // new handles minus disposed
    int64_t handlesLocked = 0;                   // locks minus unlocks
    int64_t handlesCreated = 0;
    int64_t worldBytesHeld = 0;                  // bytes of the worlds held now
    int64_t keptWorldBytes = 0;                  // bytes of disposed worlds kept for reuse
    int64_t peakWorldBytes = 0;                  // most bytes of worlds held and kept at
                                                 // any one time
    bool clean() const;
    std::string describe() const;                // what is left behind, "" when clean
};

// Where the time of the commands went, kept while HostOptions::timeCalls is
// on. All times are wall-clock nanoseconds.
//
// The host's time is the time spent in its services: every host call the
// plug-in makes on the command's thread (new_world, dispose_world, fill, copy,
// copy_hq, transform_world, transfer_rect, sampling, handles, suites) from
// entry to return, and the services the plug-in's functions call from inside
// an iteration, at the share of that iteration's wall time that they took of
// its workers' busy time. iterate and iterate_generic are timed too but count
// as the plug-in's: the pixel, line and block functions they run are the
// plug-in's own work. The ANSI callbacks (a few library maths calls) are not
// timed. The plug-in's time is the rest of the commands' time.
struct CallTiming {
    int64_t calls = 0;
    int64_t nanoseconds = 0;
};
struct Timings {
    int64_t commands = 0;                        // commands sent
    int64_t commandNanoseconds = 0;              // time inside send()
    std::map<std::string, CallTiming> byCall;    // "fill", "transfer_rect IN_FRONT", "iterate", ...
    int64_t hostNanoseconds() const;             // byCall without the iterations
    int64_t pluginNanoseconds() const;           // commandNanoseconds - hostNanoseconds()
};

class Host {
public:
    explicit Host(HostOptions options = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    PF_InData* inData();
    PF_OutData* outData();

    // Sends one command to an entry point (the in-process EntryPointFunc or a
    // loaded module's) with this host's records. Clears out_data's return_msg
    // and out_flags first only for commands that expect it (none: the host
    // keeps out_data as it is, as the real host does).
    PF_Err send(PF_EntryPointFunc entry, PF_Cmd cmd, PF_ParamDef* params[], PF_LayerDef* output);

    // Frame time handed to the plug-in as current_time / time_scale.
    void setTime(int32_t currentTime, uint32_t timeScale);
    void setQuality(PF_Quality quality);

    // Parameters declared through add_param, in order.
    const std::vector<PF_ParamDef>& declaredParams() const;

    // Every host call the plug-in made, by name, in order ("new_world",
    // "fill", "AcquireSuite:PF ANSI Suite", "transfer_rect", ...).
    std::vector<std::string> callLog() const;
    void clearCallLog();   // clears the geometry calls too

    // The geometry calls made since the log was last cleared, in order
    // (empty unless HostOptions::recordGeometry is on).
    std::vector<GeometryCall> geometryCalls() const;

    Books books() const;
    HostOptions& options();

    Timings timings() const;      // empty unless HostOptions::timeCalls is on
    void clearTimings();

    // The host keeps up to three disposed worlds for the next worlds of the
    // same size, so the frames of a sequence reuse memory that is already
    // mapped. A front end that renders no more for a while, or needs the
    // memory between frames (to write a picture, say), lets them go here.
    void releaseKeptWorlds();

    struct State;                 // the host's internals (host/host_state.h)
    State* state();

private:
    std::unique_ptr<State> state_;
};

// A frame owned by the caller (an input layer, an output), laid out as the
// host lays out its worlds: rows of width pixels, rowbytes apart.
struct Frame {
    Frame(int32_t width, int32_t height, int32_t rowPadding = 0);
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    PF_Pixel8& at(int32_t x, int32_t y);
    const PF_Pixel8& at(int32_t x, int32_t y) const;
    void fill(PF_Pixel8 colour);

    PF_LayerDef world{};
    std::vector<uint8_t> bytes;
};

// The parameter array of a render: entry 0 is the input layer, entries 1..101
// the declared parameters at their defaults (points converted from percent of
// the layer to 16.16 layer pixels, as the host does).
struct ParamValues {
    ParamValues(const std::vector<PF_ParamDef>& declared, const PF_LayerDef& input);
    ParamValues(const ParamValues&) = delete;
    ParamValues& operator=(const ParamValues&) = delete;

    PF_ParamDef** array();
    PF_ParamDef& at(int32_t id);
    void setFloat(int32_t id, double value);
    void setInt(int32_t id, int32_t value);
    void setPopup(int32_t id, int32_t item);
    void setCheckbox(int32_t id, bool on);
    void setPoint(int32_t id, PF_Fixed x, PF_Fixed y);   // 16.16 layer pixels

    std::vector<PF_ParamDef> defs;
    std::vector<PF_ParamDef*> pointers;
};

// Runs PF_Cmd_PARAMS_SETUP on `entry` with a fresh host and returns the
// declarations (throws std::runtime_error if the command fails).
std::vector<PF_ParamDef> declareParams(PF_EntryPointFunc entry);

// A plug-in module loaded from a file (dlopen here, LoadLibrary on Windows).
class PluginModule {
public:
    // Returns null and sets `error` when the file cannot be loaded or has no
    // EntryPointFunc.
    static std::unique_ptr<PluginModule> load(const std::string& path, std::string* error);
    ~PluginModule();
    PF_EntryPointFunc entry() const { return entry_; }

private:
    PluginModule() = default;
    void* handle_ = nullptr;
    PF_EntryPointFunc entry_ = nullptr;
};

}  // namespace corvexel::host
