// Internal interface between the parts of the embedded host: how a host
// callback finds its Host, records itself and meets injected faults, how
// work is spread over the worker pool, and how calls are timed. Not for
// plug-in code.
#pragma once

#include <atomic>
#include <functional>

#include "host/host.h"

namespace corvexel::host {

// The host behind an effect_ref handed out by Host::inData().
Host::State* stateFromRef(PF_ProgPtr ref);

// The host of the calling thread: set by Host::send() on the command's thread
// and by the worker pool on its threads while they work for that host.
Host::State* currentState();

// Records a host call by name in the call log and returns the error injected
// for this occurrence of it (PF_Err_NONE when none is).
PF_Err enterCall(Host::State* state, const char* name);

// Whether the host keeps the arguments of geometry calls, and keeping them.
bool recordsGeometry(const Host::State* state);
void recordGeometry(Host::State* state, const GeometryCall& call);

// Runs body(index, threadIndex) for every index in [0, count) on the host's
// worker threads. Stops handing out work after the first non-zero result and
// returns it (the lowest index's error when several fail). threadIndex is in
// [0, number of workers).
PF_Err parallelFor(Host::State* state, int32_t count,
                   const std::function<PF_Err(int32_t index, int32_t threadIndex)>& body);

// ------------------------------------------------------------ call timing

// The kinds of host call whose time the host keeps (HostOptions::timeCalls).
// transform_world and transfer_rect are kept per transfer mode as well.
enum class CallKind : int32_t {
    kNewWorld,
    kDisposeWorld,
    kFill,
    kCopy,
    kCopyHq,
    kSubpixelSample,
    kNearestSample,
    kHandle,
    kSuite,
    kIterate,
    kIterateGeneric,
    kTransformWorld,   // then one slot per transfer mode
    kTransferRect = kTransformWorld + 1,
};

// Counters of one host's timings, or of the host calls made inside one
// iteration by the plug-in's functions.
struct CallTimes {
    static constexpr int32_t kModeSlots = 38;   // supportedTransferModes()
    static constexpr int32_t kSlots =
        static_cast<int32_t>(CallKind::kTransformWorld) + 2 * kModeSlots;
    std::atomic<int64_t> calls[kSlots] = {};
    std::atomic<int64_t> nanoseconds[kSlots] = {};
    std::atomic<int64_t> commands{0};
    std::atomic<int64_t> commandNanoseconds{0};
};

// The slot of a call kind (and, for the two compositing calls, its mode).
int32_t timingSlot(CallKind kind, PF_TransferMode mode = PF_Xfer_IN_FRONT);
// The name Host::timings() reports for a slot: "fill", "transfer_rect IN_FRONT".
std::string timingSlotName(int32_t slot);

// The host's counters when it keeps timings, otherwise null.
CallTimes* callTimesOf(Host::State* state);

// A steady clock in nanoseconds.
int64_t nowNanoseconds();

// Times one host service from its construction to the end of its scope.
// Made on the command's thread it adds its wall time to the host's books;
// made inside an iteration, from the plug-in's functions, it adds to that
// iteration's counters, which IterationTiming turns into wall time. Costs one
// test when the host keeps no timings.
class CallTimer {
public:
    CallTimer(Host::State* state, CallKind kind, PF_TransferMode mode = PF_Xfer_IN_FRONT);
    ~CallTimer();
    CallTimer(const CallTimer&) = delete;
    CallTimer& operator=(const CallTimer&) = delete;

private:
    CallTimes* times_;
    int32_t slot_;
    int64_t start_;
};

// The timing of one iterate or iterate_generic call. The plug-in's functions
// run inside it and their time is the plug-in's; the host services they call
// are the host's, at the share of the iteration's wall time that they took of
// the workers' busy time.
class IterationTiming {
public:
    IterationTiming(Host::State* state, CallKind kind);
    ~IterationTiming();
    IterationTiming(const IterationTiming&) = delete;
    IterationTiming& operator=(const IterationTiming&) = delete;

    // Runs one piece of the plug-in's work (on any worker), timed.
    template <typename Work>
    PF_Err run(const Work& work) {
        if (times_ == nullptr) return work();
        CallTimes* outer = nullptr;
        const int64_t start = begin(&outer);
        const PF_Err err = work();
        end(start, outer);
        return err;
    }

private:
    // Makes this iteration's counters the calling thread's, keeping the ones
    // they replace (those of an iteration this one runs inside, if any).
    int64_t begin(CallTimes** outer);
    void end(int64_t start, CallTimes* outer);

    CallTimes* times_;
    int32_t slot_;
    int64_t start_;
    CallTimes nested_;
    std::atomic<int64_t> busy_{0};
};

}  // namespace corvexel::host
