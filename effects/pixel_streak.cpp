// Not built yet: the stage leaves the frame as it is.
#include "effects/stages.h"

PF_Err runPixelStreak(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_EffectWorld*, SuiteCache*,
                      const NoiseField*) {
    return PF_Err_NONE;
}
