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
#include <functional>
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

// A source alpha and a destination alpha.
struct AlphaPair {
    uint8_t source;
    uint8_t destination;
};

// Everything one compositing call needs, prepared once per call. In a
// per-channel mode, every channel of the result depends only on the two
// alphas, the opacity and that channel's two values; so for alpha pairs that
// cover much of the area (in a frame a call sees only a few) it also holds
// tables of results, one byte for every pair of channel values, computed by
// the row function itself: taking a result from a table gives exactly the
// bytes the row function would.
struct Compositor {
    CompositeRowFn row = nullptr;
    uint32_t opacity = 0;
    std::vector<uint8_t> tableOf;        // [αs × 256 + αb]: 1 + table number, 0 = none,
                                         // 255 = the destination stays as it is
    std::vector<uint8_t> tables;         // table t: [t × 65536 + Cs × 256 + Cb]
    std::vector<uint8_t> tableAlpha;     // the result alpha of table t's pair
};

// Runs body(i) for every i in [0, count), possibly on several threads at once.
using ForEach = std::function<void(int32_t count, const std::function<void(int32_t)>& body)>;

// The compositor for a call that will composite about pixelCount pixels: for
// a large area in a per-channel mode, with a table for opaque pixels over
// opaque pixels (the common case in a frame). opacity above 255 is taken as 255.
Compositor makeCompositor(PF_TransferMode mode, uint32_t opacity, int64_t pixelCount);

// The compositor with a table for each of the given alpha pairs (at most
// kMaxPairTables; none in modes that are not per-channel). The tables are
// built through forEach (one call per row of a table), which may spread the
// work over threads; null builds them on the calling thread.
constexpr int32_t kMaxPairTables = 8;
Compositor makeCompositor(PF_TransferMode mode, uint32_t opacity, std::span<const AlphaPair> pairs,
                          const ForEach* forEach);

// The alpha pairs worth a table in a call that composites the given rows:
// those whose count, estimated from every 16th row, reaches the pixels a
// table costs to build many times over. sourceRow(y) and destinationRow(y)
// give the first pixel of row y; pairs with a transparent source are left
// out (the row functions pass those over quickly anyway).
template <typename SourceRow, typename DestinationRow>
std::vector<AlphaPair> frequentAlphaPairs(const SourceRow& sourceRow,
                                          const DestinationRow& destinationRow, int32_t rows,
                                          int32_t width);

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

// ------------------------------------------------------------ inline parts

// A pair gets a table when about this many of its pixels are composited: a
// table takes 65536 results of the row function to build.
constexpr int64_t kPairTablePixels = int64_t{1} << 17;
constexpr int32_t kPairSampleStep = 16;

template <typename SourceRow, typename DestinationRow>
std::vector<AlphaPair> frequentAlphaPairs(const SourceRow& sourceRow,
                                          const DestinationRow& destinationRow, int32_t rows,
                                          int32_t width) {
    std::vector<AlphaPair> pairs;
    if (static_cast<int64_t>(rows) * width < kPairTablePixels) return pairs;
    std::vector<uint32_t> counts(65536, 0);
    for (int32_t y = 0; y < rows; y += kPairSampleStep) {
        const PF_Pixel8* s = sourceRow(y);
        const PF_Pixel8* d = destinationRow(y);
        for (int32_t x = 0; x < width; ++x) ++counts[s[x].alpha * 256 + d[x].alpha];
    }
    for (int32_t pair = 256; pair < 65536 && pairs.size() < size_t(kMaxPairTables); ++pair) {
        if (int64_t{counts[pair]} * kPairSampleStep >= kPairTablePixels) {
            pairs.push_back({static_cast<uint8_t>(pair >> 8), static_cast<uint8_t>(pair)});
        }
    }
    return pairs;
}

}  // namespace corvexel::host
