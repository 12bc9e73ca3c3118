// The transform glitch: the input layer drawn into the working frame, moved,
// scaled and cropped by noise-driven wiggles, with one transform_world call.
#include <algorithm>

#include "noise/int_conversion.h"
#include "render/render.h"
#include "shell/param_set.h"

namespace {

// Noise offsets of the seven wiggles, one per moving quantity, so each
// jumps independently of the others.
constexpr int32_t kWigglePositionX = 3338;
constexpr int32_t kWigglePositionY = 8333;
constexpr int32_t kWiggleCropX1 = 1987;
constexpr int32_t kWiggleCropY1 = 3987;
constexpr int32_t kWiggleCropX2 = 5987;
constexpr int32_t kWiggleCropY2 = 7987;
constexpr int32_t kWiggleScale = -551;

struct WiggleSettings {
    float steps;   // quantisation levels of every wiggle
    float speed;   // time factor k
};

double wiggleAt(const NoiseField* noise, const WiggleSettings& settings, int32_t offset) {
    return static_cast<double>(noise->wiggle(offset, settings.steps, settings.speed));
}

}  // namespace

// Rounds a 16.16 coordinate to the nearest whole pixel, halves up. Done in
// 64 bits: the 32-bit sum overflows for points within half a pixel of the
// top of the 16.16 range, and everywhere else the result is the same.
int32_t roundFixedToPixel(PF_Fixed v) {
    return static_cast<int32_t>((static_cast<int64_t>(v) + 0x8000) >> 16);
}

// Adds a crop wiggle to a corner coordinate with 32-bit wrap-around, so an
// absurd wiggle never becomes undefined behaviour.
int32_t addWrapping(int32_t corner, int32_t wiggle) {
    return static_cast<int32_t>(static_cast<uint32_t>(corner) + static_cast<uint32_t>(wiggle));
}

PF_Rect transformCropRect(PF_ParamDef* params[], const NoiseField* noise, int32_t frameWidth,
                          double amount, float steps, float speed) {
    const WiggleSettings settings{steps, speed};
    const PF_PointDef& first = params[kParamCropFirst]->u.td;
    const PF_PointDef& second = params[kParamCropSecond]->u.td;
    // The frame width sizes the jumps on both axes.
    double cropWiggle = (floatParam(params, kParamCropWiggle) / 100.0) * frameWidth * amount;
    int32_t x1 = addWrapping(roundFixedToPixel(first.x_value),
                             truncToInt32(wiggleAt(noise, settings, kWiggleCropX1) * cropWiggle));
    int32_t y1 = addWrapping(roundFixedToPixel(first.y_value),
                             truncToInt32(wiggleAt(noise, settings, kWiggleCropY1) * cropWiggle));
    int32_t x2 = addWrapping(roundFixedToPixel(second.x_value),
                             truncToInt32(wiggleAt(noise, settings, kWiggleCropX2) * cropWiggle));
    int32_t y2 = addWrapping(roundFixedToPixel(second.y_value),
                             truncToInt32(wiggleAt(noise, settings, kWiggleCropY2) * cropWiggle));
    PF_Rect rect;
    rect.left = std::min(x1, x2);
    rect.top = std::min(y1, y2);
    rect.right = std::max(x1, x2);
    rect.bottom = std::max(y1, y2);
    return rect;
}

PF_Err runTransformGlitch(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output,
                          PF_EffectWorld* working, const NoiseField* noise,
                          const PF_CompositeMode* mode, SuiteCache* suites) {
    const double W = static_cast<double>(output->width);
    const double H = static_cast<double>(output->height);
    const float speed = static_cast<float>(
        (floatParam(params, kParamTransformSpeed) * floatParam(params, kParamCorvexelSpeed)) * 0.1);
    const float steps = static_cast<float>(floatParam(params, kParamWiggleSteps));
    const WiggleSettings settings{steps, speed};
    const double amount = floatParam(params, kParamCorvexelAmount) / 100.0;

    // Position: where the layer's centre goes, minus the position wiggle.
    const PF_PointDef& position = params[kParamPosition]->u.td;
    const double px = position.x_value / 65536.0;
    const double py = position.y_value / 65536.0;
    const double positionWiggle = (floatParam(params, kParamPositionWiggle) / 100.0) * amount;
    const double bx = -(((wiggleAt(noise, settings, kWigglePositionX) * positionWiggle) * W - px) +
                        W * 0.5);
    const double by = -(((wiggleAt(noise, settings, kWigglePositionY) * positionWiggle) * H - py) +
                        H * 0.5);

    const PF_Rect crop = transformCropRect(params, noise, working->width, amount, steps, speed);

    // Uniform scale about the frame centre.
    const double s = floatParam(params, kParamScale) / 100.0 +
                     (floatParam(params, kParamScaleWiggle) / 100.0) * amount *
                         wiggleAt(noise, settings, kWiggleScale);
    const double tx = bx - (s - 1.0) * (W * 0.5);
    const double ty = by - (s - 1.0) * (H * 0.5);

    // Row-vector convention: (x, y, 1) x matrix, so the translation is row 2.
    PF_FloatMatrix matrix = {{{s, 0.0, 0.0}, {0.0, s, 0.0}, {tx, ty, 1.0}}};
    const PF_WorldTransformSuite1* transform = suites->worldTransform();
    return transform->transform_world(in_data->effect_ref, in_data->quality, PF_MF_Alpha_STRAIGHT,
                                      in_data->field, inputLayer(params), mode, nullptr, &matrix,
                                      1, 1, &crop, working);
}
