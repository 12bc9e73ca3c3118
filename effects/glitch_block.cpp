// Not built yet: the stage leaves its destination as it is.
#include "effects/stages.h"

PF_Err runGlitchBlock(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_EffectWorld*, PF_EffectWorld*,
           SuiteCache*, const NoiseField*) {
    return PF_Err_NONE;
}
