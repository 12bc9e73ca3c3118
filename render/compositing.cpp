// Translation of the "Transfer Mode" popups into host compositing, and the
// one place where a finished frame is laid over another.
#include <cstring>

#include "noise/int_conversion.h"
#include "render/render.h"
#include "shell/param_set.h"

namespace {

// Host transfer mode for each popup item, indexed by the 1-based item number.
// Separators ("(-") sit at 5, 12, 20, 28, 34, 39 and 44 and map to In Front.
constexpr PF_TransferMode kModeByItem[47] = {
    PF_Xfer_IN_FRONT,                  // 0: not an item
    PF_Xfer_IN_FRONT,                  // 1 Normal
    PF_Xfer_COPY,                      // 2 Copy
    PF_Xfer_BEHIND,                    // 3 Behind
    PF_Xfer_IN_FRONT,                  // 4 In Front
    PF_Xfer_IN_FRONT,                  // 5 separator
    PF_Xfer_DARKEN,                    // 6 Darken
    PF_Xfer_MULTIPLY,                  // 7 Multiply
    PF_Xfer_COLOR_BURN2,               // 8 Color Burn
    PF_Xfer_COLOR_BURN,                // 9 Classic Color Burn
    PF_Xfer_LINEAR_BURN,               // 10 Linear Burn
    PF_Xfer_DARKER_COLOR,              // 11 Darker Color
    PF_Xfer_IN_FRONT,                  // 12 separator
    PF_Xfer_ADD,                       // 13 Add
    PF_Xfer_LIGHTEN,                   // 14 Lighten
    PF_Xfer_SCREEN,                    // 15 Screen
    PF_Xfer_COLOR_DODGE2,              // 16 Color Dodge
    PF_Xfer_COLOR_DODGE,               // 17 Classic Color Dodge
    PF_Xfer_LINEAR_DODGE,              // 18 Linear Dodge
    PF_Xfer_LIGHTER_COLOR,             // 19 Lighter Color
    PF_Xfer_IN_FRONT,                  // 20 separator
    PF_Xfer_OVERLAY,                   // 21 Overlay
    PF_Xfer_SOFT_LIGHT,                // 22 Soft Light
    PF_Xfer_HARD_LIGHT,                // 23 Hard Light
    PF_Xfer_LINEAR_LIGHT,              // 24 Linear Light
    PF_Xfer_VIVID_LIGHT,               // 25 Vidid Light
    PF_Xfer_PIN_LIGHT,                 // 26 Pin Light
    PF_Xfer_HARD_MIX,                  // 27 Hard Mix
    PF_Xfer_IN_FRONT,                  // 28 separator
    PF_Xfer_DIFFERENCE2,               // 29 Difference
    PF_Xfer_DIFFERENCE,                // 30 Classic Difference
    PF_Xfer_EXCLUSION,                 // 31 Exclusion
    PF_Xfer_SUBTRACT,                  // 32 Subtract
    PF_Xfer_DIVIDE,                    // 33 Divide
    PF_Xfer_IN_FRONT,                  // 34 separator
    PF_Xfer_HUE,                       // 35 Hue
    PF_Xfer_SATURATION,                // 36 Saturation
    PF_Xfer_COLOR,                     // 37 Color
    PF_Xfer_LUMINOSITY,                // 38 Luminosity
    PF_Xfer_IN_FRONT,                  // 39 separator
    PF_Xfer_MULTIPLY_ALPHA,            // 40 Stencil Alpha
    PF_Xfer_MULTIPLY_ALPHA_LUMA,       // 41 Stencil Luma
    PF_Xfer_MULTIPLY_NOT_ALPHA,        // 42 Silhouette Alpha
    PF_Xfer_MULTIPLY_NOT_ALPHA_LUMA,   // 43 Silhouette Luma
    PF_Xfer_IN_FRONT,                  // 44 separator
    PF_Xfer_ADDITIVE_PREMUL,           // 45 Additive Premultiply
    PF_Xfer_ALPHA_ADD,                 // 46 Alpha Add
};

// Full opacity as the popups' opacity sliders express it at 100: 254 and
// 32767, one short of the host's own maxima.
constexpr A_u_char kFullOpacity8 = 254;
constexpr A_u_short kFullOpacity16 = 32767;

}  // namespace

PF_TransferMode transferModeFromPopup(int32_t item) {
    if (item < 0 || item >= static_cast<int32_t>(sizeof kModeByItem / sizeof kModeByItem[0])) {
        return PF_Xfer_IN_FRONT;
    }
    return kModeByItem[item];
}

void fillCompositeMode(PF_CompositeMode* mode, int32_t item, double opacity) {
    std::memset(mode, 0, sizeof *mode);
    mode->xfer = transferModeFromPopup(item);
    // Low bits of the truncated products; the slider keeps them in range, and
    // truncToInt32 keeps a stray value defined.
    mode->opacity = static_cast<A_u_char>(truncToInt32((opacity / 100.0) * 254.0));
    mode->opacitySu = static_cast<A_u_short>(truncToInt32((opacity / 100.0) * 32767.0));
}

void fillCompositeModeFull(PF_CompositeMode* mode, int32_t item) {
    std::memset(mode, 0, sizeof *mode);
    mode->xfer = transferModeFromPopup(item);
    mode->opacity = kFullOpacity8;
    mode->opacitySu = kFullOpacity16;
}

namespace {

// Half the distance between two extent edges, as the host's fabs gives it.
int32_t halfEdgeOffset(const PF_ANSICallbacksSuite1* ansi, int32_t outputEdge,
                       int32_t sourceEdge) {
    double distance = ansi->fabs(static_cast<double>(outputEdge) - static_cast<double>(sourceEdge));
    return truncToInt32(distance) / 2;
}

}  // namespace

PF_Err compositeWorld(PF_InData* in_data, PF_LayerDef* output, PF_EffectWorld* src,
                      PF_EffectWorld* dst, const PF_CompositeMode* mode, SuiteCache* suites) {
    const PF_ANSICallbacksSuite1* ansi = suites->ansi();
    const PF_WorldTransformSuite1* transform = suites->worldTransform();
    // Offsets are always measured against the output, whichever frame receives.
    int32_t dy = halfEdgeOffset(ansi, output->extent_hint.bottom, src->extent_hint.bottom);
    int32_t dx = halfEdgeOffset(ansi, output->extent_hint.right, src->extent_hint.right);
    return transform->transfer_rect(in_data->effect_ref, in_data->quality, PF_MF_Alpha_STRAIGHT,
                                    in_data->field, &src->extent_hint, src, mode, nullptr, dx,
                                    dy, dst);
}
