// Internal interface between the parts of the embedded host: how a host
// callback finds its Host, records itself and meets injected faults, and how
// work is spread over the worker pool. Not for plug-in code.
#pragma once

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

}  // namespace corvexel::host
