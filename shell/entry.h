// The plug-in's single export and the commands it answers outside rendering.
#pragma once

#include "sdk/pf_types.h"

// The version word reported at global set-up; the PiPL's eVER carries the same.
inline constexpr uint32_t kCorvexelVersion = PF_VERSION(1, 0, 0, PF_Stage_DEVELOP, 0);
static_assert(kCorvexelVersion == 0x80000u);

// Global out flags reported at global set-up; the PiPL's eGLO carries the same.
inline constexpr PF_OutFlags kCorvexelOutFlags = PF_OutFlag_NON_PARAM_VARY;

// Writes "Corvexel v1.0.0", a carriage return and the description into
// out_data->return_msg (PF_Cmd_ABOUT).
PF_Err About(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
             PF_LayerDef* output);

// Reports the version word and global out flags (PF_Cmd_GLOBAL_SETUP).
PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output);

PF_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                PF_ParamDef* params[], PF_LayerDef* output, void* extra);
