// The frame render pipeline, transfer-mode compositing and the transform glitch.
#pragma once

#include "noise/noise_field.h"
#include "sdk/pf_types.h"
#include "shell/suite_cache.h"

// Renders one frame (PF_Cmd_RENDER).
PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output);

// Maps a "Transfer Mode" popup item (1-based, separators counted) to the
// host's transfer mode; anything unlisted gives PF_Xfer_IN_FRONT.
PF_TransferMode transferModeFromPopup(int32_t item);

// Fills a composite-mode record from a popup item and an opacity slider value
// (0..100); fillCompositeModeFull uses full opacity.
void fillCompositeMode(PF_CompositeMode* mode, int32_t item, double opacity);
void fillCompositeModeFull(PF_CompositeMode* mode, int32_t item);

// Lays `src` over `dst` with the host's transfer_rect, offset against the
// output's extent hint.
PF_Err compositeWorld(PF_InData* in_data, PF_LayerDef* output, PF_EffectWorld* src,
                      PF_EffectWorld* dst, const PF_CompositeMode* mode, SuiteCache* suites);

// Draws the input layer into the working frame, moved, scaled and cropped by
// noise-driven wiggles.
PF_Err runTransformGlitch(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output,
                          PF_EffectWorld* working, const NoiseField* noise,
                          const PF_CompositeMode* mode, SuiteCache* suites);

// Pieces of the transform glitch, exposed for tests.
// Rounds a 16.16 coordinate to whole pixels, halves up, without overflow.
int32_t roundFixedToPixel(PF_Fixed v);
// Adds with 32-bit wrap-around.
int32_t addWrapping(int32_t corner, int32_t wiggle);
// The destination (crop) rectangle of the transform glitch.
PF_Rect transformCropRect(PF_ParamDef* params[], const NoiseField* noise, int32_t frameWidth,
                          double amount, float steps, float speed);

// Writes the noise field as an opaque grey picture into `output`.
void drawNoisePreview(const NoiseField* noise, PF_LayerDef* output);

// Sets up the render's noise field from the parameters, the frame time and
// the frame height.
void initRenderNoise(NoiseField* noise, const PF_InData* in_data, PF_ParamDef* params[],
                     int32_t height);
