// The glitch stages and the channel functions they share.
//
// Every stage is one function named run<Stage>, taking the host's records,
// its frame or frames, the command's SuiteCache and (where it uses noise)
// the frame's NoiseField, and returning a PF_Err. The render pipeline calls
// them in a fixed order over its working frame.
#pragma once

#include "noise/noise_field.h"
#include "sdk/pf_types.h"
#include "shell/suite_cache.h"

// ---------------------------------------------------------------- channel functions
// Each reads one value 0..255 out of a pixel (32-bit integer arithmetic,
// divisions truncating toward zero).
typedef int32_t (*ChannelFn)(const PF_Pixel8* pixel);

int32_t channelRed(const PF_Pixel8* pixel);
int32_t channelGreen(const PF_Pixel8* pixel);
int32_t channelBlue(const PF_Pixel8* pixel);
int32_t channelAlpha(const PF_Pixel8* pixel);
int32_t channelLightness(const PF_Pixel8* pixel);    // (R + G + B) / 3
int32_t channelLuminance(const PF_Pixel8* pixel);    // (299 R + 587 G + 114 B) / 1000
int32_t channelHue(const PF_Pixel8* pixel);
int32_t channelSaturation(const PF_Pixel8* pixel);

// ---------------------------------------------------------------- stages
PF_Err runTransition(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                     PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                     const NoiseField* noise);
PF_Err runChannelSplit(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                       PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                       const NoiseField* noise);
PF_Err runChannelScale(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                       PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                       const NoiseField* noise);
PF_Err runColorGlitch(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                      const NoiseField* noise);
PF_Err runPixelStreak(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_EffectWorld* world, SuiteCache* suites, const NoiseField* noise);
PF_Err runGlitchSlice(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                      const NoiseField* noise);
PF_Err runGlitchBlock(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                      const NoiseField* noise);
PF_Err runCompression(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_EffectWorld* world, SuiteCache* suites);
PF_Err runDither(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                 PF_EffectWorld* world, SuiteCache* suites);
