// Runs one glitch stage alone on the input layer, for looking at a stage's
// own result (`corvexel render --stage NAME`).
//
// The command-line tool links the plug-in's code and calls this in-process
// with the embedded host's records: the module keeps EntryPointFunc as its
// only export, and a full render still goes through the loaded module.
#pragma once

#include "sdk/pf_types.h"

// Names: transition, channel-split, channel-scale, color-glitch,
// pixel-streak, glitch-slice, glitch-block, compression.
bool isStageName(const char* name);

// The input layer becomes the working frame (no transform, no transition),
// the noise field is set up as a render of this frame and time sets it up,
// and the stage's own result is copied into `output`: the frame it changed
// for in-place stages, its destination frame (cleared, before any
// composite) for the others. Returns the stage's or a host call's error;
// PF_Err_INVALID_INDEX for an unknown name.
PF_Err runStageAlone(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                     PF_LayerDef* output, const char* name);
