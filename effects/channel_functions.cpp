// The channel functions: each reads one value 0..255 out of a pixel with
// 32-bit integer arithmetic, divisions truncating toward zero. The
// transition, the channel scale and the pixel sort share them.
#include "effects/channel_functions.h"

#include "effects/stages.h"

int32_t channelRed(const PF_Pixel8* p) { return p->red; }
int32_t channelGreen(const PF_Pixel8* p) { return p->green; }
int32_t channelBlue(const PF_Pixel8* p) { return p->blue; }
int32_t channelAlpha(const PF_Pixel8* p) { return p->alpha; }
int32_t channelLightness(const PF_Pixel8* p) { return lightnessOf(*p); }
int32_t channelLuminance(const PF_Pixel8* p) { return luminanceOf(*p); }
int32_t channelSaturation(const PF_Pixel8* p) { return saturationOf(*p); }
int32_t channelHue(const PF_Pixel8* p) { return hueOf(*p); }
