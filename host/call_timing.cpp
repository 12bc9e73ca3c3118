// Timing of host calls (HostOptions::timeCalls): where a command's time went,
// split between the host's services and the plug-in's own work.
#include <chrono>
#include <string>

#include "host/blend_modes.h"
#include "host/host_state.h"

namespace corvexel::host {
namespace {

// The counters of the iteration whose plug-in work the calling thread is
// doing, if any: host services called from there are timed into them.
thread_local CallTimes* tlsIterationTimes = nullptr;

constexpr const char* kKindNames[] = {
    "new_world",       "dispose_world",  "fill",   "copy",    "copy_hq",
    "subpixel_sample", "nn_sample",      "handle", "suite",   "iterate",
    "iterate_generic",
};
static_assert(sizeof(kKindNames) / sizeof(kKindNames[0]) ==
              static_cast<size_t>(CallKind::kTransformWorld));

int32_t modeIndex(PF_TransferMode mode) {
    const auto modes = supportedTransferModes();
    for (size_t i = 0; i < modes.size(); ++i) {
        if (modes[i] == mode) return static_cast<int32_t>(i);
    }
    return modeIndex(PF_Xfer_IN_FRONT);   // how the host composites an unknown mode
}

}  // namespace

int32_t timingSlot(CallKind kind, PF_TransferMode mode) {
    const int32_t first = static_cast<int32_t>(CallKind::kTransformWorld);
    if (kind == CallKind::kTransformWorld) return first + modeIndex(mode);
    if (kind == CallKind::kTransferRect) return first + CallTimes::kModeSlots + modeIndex(mode);
    return static_cast<int32_t>(kind);
}

std::string timingSlotName(int32_t slot) {
    const int32_t first = static_cast<int32_t>(CallKind::kTransformWorld);
    if (slot < first) return kKindNames[slot];
    const int32_t mode = (slot - first) % CallTimes::kModeSlots;
    const char* call = slot - first < CallTimes::kModeSlots ? "transform_world " : "transfer_rect ";
    return call + std::string(transferModeName(supportedTransferModes()[size_t(mode)]));
}

int64_t nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CallTimer::CallTimer(Host::State* state, CallKind kind, PF_TransferMode mode)
    : times_(callTimesOf(state)), slot_(0), start_(0) {
    if (times_ == nullptr) return;
    slot_ = timingSlot(kind, mode);
    start_ = nowNanoseconds();
}

CallTimer::~CallTimer() {
    if (times_ == nullptr) return;
    const int64_t elapsed = nowNanoseconds() - start_;
    times_->calls[slot_].fetch_add(1, std::memory_order_relaxed);
    CallTimes* into = tlsIterationTimes != nullptr ? tlsIterationTimes : times_;
    into->nanoseconds[slot_].fetch_add(elapsed, std::memory_order_relaxed);
}

IterationTiming::IterationTiming(Host::State* state, CallKind kind)
    : times_(callTimesOf(state)), slot_(timingSlot(kind)), start_(0) {
    if (times_ != nullptr) start_ = nowNanoseconds();
}

int64_t IterationTiming::begin(CallTimes** outer) {
    *outer = tlsIterationTimes;
    tlsIterationTimes = &nested_;
    return nowNanoseconds();
}

void IterationTiming::end(int64_t start, CallTimes* outer) {
    busy_.fetch_add(nowNanoseconds() - start, std::memory_order_relaxed);
    tlsIterationTimes = outer;
}

IterationTiming::~IterationTiming() {
    if (times_ == nullptr) return;
    const int64_t wall = nowNanoseconds() - start_;
    times_->calls[slot_].fetch_add(1, std::memory_order_relaxed);
    times_->nanoseconds[slot_].fetch_add(wall, std::memory_order_relaxed);
    const int64_t busy = busy_.load();
    if (busy <= 0) return;
    // The services' share of the workers' busy time, as wall time.
    for (int32_t slot = 0; slot < CallTimes::kSlots; ++slot) {
        const int64_t spent = nested_.nanoseconds[slot].load();
        if (spent == 0) continue;
        const double share = static_cast<double>(spent) / static_cast<double>(busy);
        times_->nanoseconds[slot].fetch_add(static_cast<int64_t>(share * wall),
                                            std::memory_order_relaxed);
    }
}

}  // namespace corvexel::host
