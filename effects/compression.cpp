// Not built yet: the stages leave the frame as it is.
#include "effects/stages.h"

PF_Err runCompression(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_EffectWorld*, SuiteCache*) {
    return PF_Err_NONE;
}

PF_Err runDither(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_EffectWorld*, SuiteCache*) {
    return PF_Err_NONE;
}
