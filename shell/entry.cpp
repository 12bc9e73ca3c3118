#include "shell/entry.h"

#include <new>

#include "render/render.h"
#include "shell/param_set.h"
#include "shell/suite_cache.h"
#include "shell/ui_strings.h"

PF_Err About(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[],
             PF_LayerDef* /*output*/) {
    SuiteCache suites(in_data->pica_basicP);
    // The host's sprintf writes the message; every text in it comes from our
    // own table and fits the 256-byte return_msg (checked by the tests).
    suites.ansi()->sprintf(out_data->return_msg, "%s v%d.%d.%d\r%s",
                           uiString(kUiStringEffectName), 1, 0, 0,
                           uiString(kUiStringDescription));
    return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_InData* /*in_data*/, PF_OutData* out_data, PF_ParamDef* /*params*/[],
                   PF_LayerDef* /*output*/) {
    out_data->my_version = kCorvexelVersion;
    out_data->out_flags |= kCorvexelOutFlags;   // keep whatever the host set already
    return PF_Err_NONE;
}

namespace {

PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output) {
    switch (cmd) {
    case PF_Cmd_ABOUT:
        return About(in_data, out_data, params, output);
    case PF_Cmd_GLOBAL_SETUP:
        return GlobalSetup(in_data, out_data, params, output);
    case PF_Cmd_PARAMS_SETUP:
        return ParamsSetup(in_data, out_data, params, output);
    case PF_Cmd_RENDER:
        return Render(in_data, out_data, params, output);
    default:
        return PF_Err_NONE;   // nothing to do: no global, sequence or frame data
    }
}

}  // namespace

PF_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                PF_ParamDef* params[], PF_LayerDef* output, void* /*extra*/) {
    // A missing host suite is thrown as a plain PF_Err and becomes the
    // command's result. No other exception is expected, but none may cross
    // into the host either, so the last two handlers are a safety net.
    try {
        return dispatch(cmd, in_data, out_data, params, output);
    } catch (PF_Err err) {
        return err;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}
