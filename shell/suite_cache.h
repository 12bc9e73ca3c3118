// Per-command holder of the host suites the plug-in uses.
//
// A command that needs host services creates one SuiteCache on entry, passes
// it by pointer to everything it calls, and destroys it on return. Each suite
// is acquired from the host's basic suite the first time it is asked for and
// released when the cache is destroyed. A suite the host cannot supply throws
// the error code PF_Err_BAD_CALLBACK_PARAM (516) as a plain PF_Err; the entry
// point catches it for the command as a whole, and callbacks the host runs on
// its own threads catch it with guardCallback.
#pragma once

#include <atomic>
#include <mutex>

#include "sdk/pf_types.h"

// Thrown (as a plain PF_Err) when the host lacks a suite.
inline constexpr PF_Err kMissingSuiteError = PF_Err_BAD_CALLBACK_PARAM;

struct SuiteCache {
    explicit SuiteCache(SPBasicSuite* basic);
    ~SuiteCache();
    SuiteCache(const SuiteCache&) = delete;
    SuiteCache& operator=(const SuiteCache&) = delete;

    const PF_ANSICallbacksSuite1* ansi();
    const PF_WorldTransformSuite1* worldTransform();
    const PF_Iterate8Suite1* iterate8();
    const PF_Sampling8Suite1* sampling8();
    const PF_HandleSuite1* handles();

    SPBasicSuite* basic;
    // Slots are filled at most once. Readers load them without a lock; the
    // first fill takes fillLock so that threads asking at the same moment
    // make exactly one acquisition.
    std::atomic<const PF_ANSICallbacksSuite1*> ansiSlot{nullptr};
    std::atomic<const PF_WorldTransformSuite1*> worldTransformSlot{nullptr};
    std::atomic<const PF_Iterate8Suite1*> iterate8Slot{nullptr};
    std::atomic<const PF_Sampling8Suite1*> sampling8Slot{nullptr};
    std::atomic<const PF_HandleSuite1*> handlesSlot{nullptr};
    std::mutex fillLock;
};

// Runs a callback body that may meet the missing-suite error and turns that
// error into the callback's PF_Err, so no exception crosses into the host.
template <typename Body>
PF_Err guardCallback(Body&& body) noexcept {
    try {
        return body();
    } catch (PF_Err err) {
        return err;
    }
}
