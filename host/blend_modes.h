// The embedded host's compositing: one source pixel laid over one destination
// pixel with a host transfer mode and an 8-bit opacity, over straight alpha.
//
// Channel values are taken as v / 255 in single precision. With
//   as = (source alpha / 255) × (opacity / 255),  ab = destination alpha / 255,
//   Cs, Cb = the straight source and destination colours,
// the blending modes composite source-over with mixing (W3C Compositing and
// Blending, section 5.1 and 10):
//   Cs' = (1 − ab) × Cs + ab × B(Cb, Cs)
//   ao  = as + ab × (1 − as)
//   co  = as × Cs' + (ab × Cb) × (1 − as)        (premultiplied)
//   C   = co × (1 / ao)                            (straight; 0 when ao is 0)
// evaluated in this order, with (1 − as) and 1 / ao computed once per pixel.
// B is the mode's blend function (blend_modes.cpp gives each one); for
// IN_FRONT, B = Cs and Cs' is taken as Cs itself. The other
// modes (copy, behind, the stencils and silhouettes, additive premultiply,
// alpha add) are defined next to their code. Every result is rounded to 8 bits
// the same way: clamp to 0 .. 1, then trunc(v × 255 + 0.5), i.e. round to
// nearest with halves up. Only IEEE single-precision +, −, ×, / and sqrt are
// used (no fused operations, no libm), so the bytes are the same on every
// platform and compiler that keeps to IEEE arithmetic.
//
// Opacity 0 leaves the destination unchanged in every mode, and a fully
// transparent source leaves it unchanged in every blending mode.
// Any mode value outside the table (DISSOLVE among them) composites as
// PF_Xfer_IN_FRONT.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sdk/pf_types.h"

namespace corvexel::host {

// Composites count source pixels onto count destination pixels in place.
// opacity is 0 .. 255.
typedef void (*CompositeRowFn)(const PF_Pixel8* src, PF_Pixel8* dst, int32_t count,
                               uint32_t opacity);

// The row function of a transfer mode (IN_FRONT's for modes not in the table).
CompositeRowFn compositeRowFor(PF_TransferMode mode);

// The plain scalar row function of a mode, which compositeRowFor's (a vector
// one for some modes) must equal byte for byte.
CompositeRowFn plainCompositeRowFor(PF_TransferMode mode);

// Everything one compositing call needs, prepared once per call. For a large
// area in a per-channel mode it also holds, for every pair of channel values,
// the result of an opaque source over an opaque destination (the common case
// in a frame), computed by the row function itself, so taking a result from
// it gives exactly the bytes the row function would.
struct Compositor {
    CompositeRowFn row = nullptr;
    uint32_t opacity = 0;
    std::vector<uint8_t> opaqueResult;   // [Cs × 256 + Cb]; empty when not worth building
    uint8_t opaqueAlpha = 0;
};

// The compositor for a call that will composite about pixelCount pixels.
// opacity above 255 is taken as 255.
Compositor makeCompositor(PF_TransferMode mode, uint32_t opacity, int64_t pixelCount);

// Composites count source pixels onto count destination pixels in place.
void compositeRow(const Compositor& compositor, const PF_Pixel8* src, PF_Pixel8* dst,
                  int32_t count);

// One pixel through compositeRowFor(mode); for tests and single pixels.
PF_Pixel8 compositePixel(PF_TransferMode mode, PF_Pixel8 src, PF_Pixel8 dst, uint8_t opacity);

// The transfer modes the table implements, in host value order (38 modes:
// 0 .. 38 without DISSOLVE).
std::span<const PF_TransferMode> supportedTransferModes();

// The mode's name as the host's constant spells it ("IN_FRONT", "COLOR_DODGE2"),
// "IN_FRONT" for modes not in the table.
const char* transferModeName(PF_TransferMode mode);

// The documented rounding of a 0 .. 1 value to 8 bits (NaN gives 0).
uint8_t unitToByte(float v);

}  // namespace corvexel::host
