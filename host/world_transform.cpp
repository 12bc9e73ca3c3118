// "PF World Transform Suite" 1: transform_world, transfer_rect and copy_hq.
//
// Worlds are 8-bit, straight alpha. Rectangles are {left, top, right, bottom}
// with right and bottom exclusive; every rectangle is clipped to the worlds it
// touches, with 64-bit arithmetic so no coordinate can overflow. Pixel (x, y)
// covers the square [x, x + 1) × [y, y + 1); transforms map pixel centres.
//
// The big calls (transfer_rect, transform_world) spread bands of rows over the
// host's workers. Each destination pixel is computed from its own source
// pixels only, so the result does not depend on the number of threads. They
// are meant for the render thread: the plug-in never calls them from inside a
// host iteration. copy_hq, which the plug-in does call from inside
// iterate_generic, always runs on the calling thread.
#include "host/world_transform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/blend_modes.h"
#include "host/host_state.h"

namespace corvexel::host {
namespace {

// ------------------------------------------------------------ worlds and rectangles

// A read-only view of a world's pixels (or of a private copy of them).
struct PixelView {
    const uint8_t* data;
    int64_t rowbytes;
    int32_t width;
    int32_t height;

    const PF_Pixel8* row(int32_t y) const {
        return reinterpret_cast<const PF_Pixel8*>(data + y * rowbytes);
    }
};

PF_Pixel8* worldRow(const PF_EffectWorld* world, int32_t y) {
    return reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(world->data) +
                                        static_cast<int64_t>(y) * world->rowbytes);
}

// A world the calls can use: a non-negative size, and rows that hold their
// pixels whenever there are any.
bool usableWorld(const PF_EffectWorld* world) {
    if (world == nullptr || world->width < 0 || world->height < 0) return false;
    if (world->width == 0 || world->height == 0) return true;
    return world->data != nullptr &&
           static_cast<int64_t>(world->rowbytes) >= static_cast<int64_t>(world->width) * 4;
}

// Bytes from the first pixel to just past the last one.
int64_t worldSpan(const PF_EffectWorld* world) {
    if (world->width == 0 || world->height == 0) return 0;
    return static_cast<int64_t>(world->height - 1) * world->rowbytes +
           static_cast<int64_t>(world->width) * 4;
}

bool worldsShareMemory(const PF_EffectWorld* a, const PF_EffectWorld* b) {
    const int64_t spanA = worldSpan(a);
    const int64_t spanB = worldSpan(b);
    if (spanA == 0 || spanB == 0) return false;
    const uintptr_t startA = reinterpret_cast<uintptr_t>(a->data);
    const uintptr_t startB = reinterpret_cast<uintptr_t>(b->data);
    return startA < startB + static_cast<uintptr_t>(spanB) &&
           startB < startA + static_cast<uintptr_t>(spanA);
}

// The source as it is, or, when it shares memory with the destination, a
// private copy of it, so that writing the destination cannot change pixels
// that are still to be read.
PixelView sourceView(const PF_EffectWorld* src, const PF_EffectWorld* dst,
                     std::vector<PF_Pixel8>* privateCopy) {
    PixelView view{reinterpret_cast<const uint8_t*>(src->data), src->rowbytes, src->width,
                   src->height};
    if (!worldsShareMemory(src, dst)) return view;
    privateCopy->resize(static_cast<size_t>(src->width) * static_cast<size_t>(src->height));
    for (int32_t y = 0; y < src->height; ++y) {
        std::memcpy(privateCopy->data() + static_cast<size_t>(y) * src->width, view.row(y),
                    static_cast<size_t>(src->width) * sizeof(PF_Pixel8));
    }
    view.data = reinterpret_cast<const uint8_t*>(privateCopy->data());
    view.rowbytes = static_cast<int64_t>(src->width) * 4;
    return view;
}

// A rectangle in 64-bit coordinates, right and bottom exclusive.
struct Box {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;
    bool empty() const { return right <= left || bottom <= top; }
};

Box boxOf(const PF_Rect* rect, const PF_EffectWorld* world) {
    if (rect == nullptr) return {0, 0, world->width, world->height};
    return {rect->left, rect->top, rect->right, rect->bottom};
}

Box clipToWorld(Box box, const PF_EffectWorld* world) {
    return {std::max<int64_t>(box.left, 0), std::max<int64_t>(box.top, 0),
            std::min<int64_t>(box.right, world->width),
            std::min<int64_t>(box.bottom, world->height)};
}

// A same-size copy between two worlds: w × h pixels from (sx, sy) to (dx, dy).
struct RectPair {
    int64_t sx;
    int64_t sy;
    int64_t dx;
    int64_t dy;
    int64_t w;
    int64_t h;
};

// Cuts both ends of the pair to the part whose source and destination pixels
// both lie inside their worlds; each kept pixel stays at its own place.
RectPair clipPair(RectPair p, const PF_EffectWorld* src, const PF_EffectWorld* dst) {
    const auto cutLeading = [&p](int64_t* a, int64_t* b, int64_t* size) {
        const int64_t cut = std::max<int64_t>(std::max<int64_t>(-*a, -*b), 0);
        *a += cut;
        *b += cut;
        *size -= cut;
    };
    cutLeading(&p.sx, &p.dx, &p.w);
    cutLeading(&p.sy, &p.dy, &p.h);
    p.w = std::min<int64_t>(p.w, std::min<int64_t>(src->width - p.sx, dst->width - p.dx));
    p.h = std::min<int64_t>(p.h, std::min<int64_t>(src->height - p.sy, dst->height - p.dy));
    return p;
}

// ------------------------------------------------------------ running rows

// Areas smaller than this are not worth handing to the workers.
constexpr int64_t kParallelPixels = 16384;
constexpr int32_t kRowsPerBand = 8;

// Calls rowFn(y) for every y in [0, rows), on the host's workers when the
// area is large enough. rowFn must write only its own row.
template <typename RowFn>
PF_Err forEachRow(Host::State* state, int32_t rows, int64_t width, const RowFn& rowFn) {
    if (static_cast<int64_t>(rows) * width < kParallelPixels) {
        for (int32_t y = 0; y < rows; ++y) rowFn(y);
        return PF_Err_NONE;
    }
    const int32_t bands = (rows + kRowsPerBand - 1) / kRowsPerBand;
    return parallelFor(state, bands, [&rowFn, rows](int32_t band, int32_t) {
        const int32_t end = std::min(rows, (band + 1) * kRowsPerBand);
        for (int32_t y = band * kRowsPerBand; y < end; ++y) rowFn(y);
        return PF_Err_NONE;
    });
}

// The compositor of a call, with tables for the alpha pairs that rows
// sourceRow(y) over destinationRow(y), y in [0, rows), show often, built on
// the host's workers.
template <typename SourceRow, typename DestinationRow>
Compositor compositorFor(Host::State* state, const PF_CompositeMode* mode,
                         const SourceRow& sourceRow, const DestinationRow& destinationRow,
                         int64_t rows, int64_t width) {
    std::vector<AlphaPair> pairs;
    if (rows > 0 && width > 0) {
        pairs = frequentAlphaPairs(sourceRow, destinationRow, static_cast<int32_t>(rows),
                                   static_cast<int32_t>(width));
    }
    const ForEach forEach = [state](int32_t count, const std::function<void(int32_t)>& body) {
        parallelFor(state, count, [&body](int32_t i, int32_t) {
            body(i);
            return PF_Err_NONE;
        });
    };
    return makeCompositor(mode->xfer, mode->opacity, pairs, &forEach);
}

// The host behind effect_ref, with the call logged (and a fault injected if
// a test asked for one).
PF_Err beginCall(PF_ProgPtr effectRef, const char* name, Host::State** state) {
    *state = stateFromRef(effectRef);
    if (*state == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return enterCall(*state, name);
}

// What every compositing call needs: straight alpha (the only kind this host
// composites) and no mask (this host draws none).
bool usableComposite(PF_ModeFlags modeFlags, const PF_CompositeMode* mode,
                     const PF_MaskWorld* mask) {
    return modeFlags == PF_MF_Alpha_STRAIGHT && mode != nullptr && mask == nullptr;
}

// ------------------------------------------------------------ recording

// What both geometry calls record alike: their worlds, the rectangle they
// were given, the transfer mode and the quality flags.
GeometryCall geometryCall(const char* name, PF_Quality quality, PF_ModeFlags modeFlags,
                          const PF_EffectWorld* srcWorld, const PF_EffectWorld* dstWorld,
                          const PF_Rect* rect, const PF_CompositeMode* mode) {
    GeometryCall call;
    call.name = name;
    if (srcWorld != nullptr) call.src = *srcWorld;
    if (dstWorld != nullptr) call.dst = *dstWorld;
    call.hasRect = rect != nullptr;
    if (rect != nullptr) call.rect = *rect;
    call.hasMode = mode != nullptr;
    if (mode != nullptr) call.mode = *mode;
    call.quality = quality;
    call.modeFlags = modeFlags;
    return call;
}

void recordTransferRect(Host::State* state, PF_Quality quality, PF_ModeFlags modeFlags,
                        const PF_Rect* srcRect, const PF_EffectWorld* srcWorld,
                        const PF_CompositeMode* mode, A_long destX, A_long destY,
                        const PF_EffectWorld* dstWorld) {
    if (!recordsGeometry(state)) return;
    GeometryCall call =
        geometryCall("transfer_rect", quality, modeFlags, srcWorld, dstWorld, srcRect, mode);
    call.destX = destX;
    call.destY = destY;
    recordGeometry(state, call);
}

void recordTransformWorld(Host::State* state, PF_Quality quality, PF_ModeFlags modeFlags,
                          const PF_EffectWorld* srcWorld, const PF_CompositeMode* mode,
                          const PF_FloatMatrix* matrices, A_long matrixCount,
                          PF_Boolean sourceToDestination, const PF_Rect* destRect,
                          const PF_EffectWorld* dstWorld) {
    if (!recordsGeometry(state)) return;
    GeometryCall call =
        geometryCall("transform_world", quality, modeFlags, srcWorld, dstWorld, destRect, mode);
    call.hasMatrix = matrices != nullptr && matrixCount >= 1;
    if (call.hasMatrix) call.matrix = matrices[0];
    call.matrixCount = matrixCount;
    call.sourceToDestination = sourceToDestination;
    recordGeometry(state, call);
}

// ------------------------------------------------------------ transfer_rect

PF_Err transferRect(PF_ProgPtr effectRef, PF_Quality quality, PF_ModeFlags modeFlags, PF_Field,
                    const PF_Rect* srcRect, const PF_EffectWorld* srcWorld,
                    const PF_CompositeMode* mode, const PF_MaskWorld* mask, A_long destX,
                    A_long destY, PF_EffectWorld* dstWorld) {
    CallTimer timer(stateFromRef(effectRef), CallKind::kTransferRect,
                    mode != nullptr ? mode->xfer : PF_Xfer_IN_FRONT);
    Host::State* state = nullptr;
    if (const PF_Err err = beginCall(effectRef, "transfer_rect", &state)) return err;
    recordTransferRect(state, quality, modeFlags, srcRect, srcWorld, mode, destX, destY,
                       dstWorld);
    if (!usableWorld(srcWorld) || !usableWorld(dstWorld) ||
        !usableComposite(modeFlags, mode, mask)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const Box box = boxOf(srcRect, srcWorld);
    if (box.empty()) return PF_Err_NONE;
    const RectPair pair = clipPair(
        {box.left, box.top, destX, destY, box.right - box.left, box.bottom - box.top}, srcWorld,
        dstWorld);
    if (pair.w <= 0 || pair.h <= 0) return PF_Err_NONE;

    std::vector<PF_Pixel8> privateCopy;
    const PixelView src = sourceView(srcWorld, dstWorld, &privateCopy);
    const auto sourceRow = [&](int32_t y) {
        return src.row(static_cast<int32_t>(pair.sy + y)) + pair.sx;
    };
    const auto destinationRow = [&](int32_t y) {
        return worldRow(dstWorld, static_cast<int32_t>(pair.dy + y)) + pair.dx;
    };
    const Compositor compositor =
        compositorFor(state, mode, sourceRow, destinationRow, pair.h, pair.w);
    return forEachRow(state, static_cast<int32_t>(pair.h), pair.w, [&](int32_t y) {
        compositeRow(compositor, sourceRow(y), destinationRow(y), static_cast<int32_t>(pair.w));
    });
}

// ------------------------------------------------------------ copy_hq (and copy)

// Copies the source rectangle into the destination rectangle pixel for pixel.
// The rectangles should have the same size; if they do not, the top-left part
// common to both is copied. Parts outside either world are left out, and the
// rest lands where it would have landed unclipped.
PF_Err copyRect(PF_ProgPtr effectRef, const char* callName, PF_EffectWorld* srcWorld,
                PF_EffectWorld* dstWorld, PF_Rect* srcRect, PF_Rect* dstRect) {
    CallTimer timer(stateFromRef(effectRef),
                    std::strcmp(callName, "copy") == 0 ? CallKind::kCopy : CallKind::kCopyHq);
    Host::State* state = nullptr;
    if (const PF_Err err = beginCall(effectRef, callName, &state)) return err;
    if (!usableWorld(srcWorld) || !usableWorld(dstWorld)) return PF_Err_BAD_CALLBACK_PARAM;
    const Box from = boxOf(srcRect, srcWorld);
    const Box to = boxOf(dstRect, dstWorld);
    if (from.empty() || to.empty()) return PF_Err_NONE;
    const RectPair pair =
        clipPair({from.left, from.top, to.left, to.top,
                  std::min(from.right - from.left, to.right - to.left),
                  std::min(from.bottom - from.top, to.bottom - to.top)},
                 srcWorld, dstWorld);
    if (pair.w <= 0 || pair.h <= 0) return PF_Err_NONE;

    std::vector<PF_Pixel8> privateCopy;
    const PixelView src = sourceView(srcWorld, dstWorld, &privateCopy);
    for (int64_t y = 0; y < pair.h; ++y) {
        std::memcpy(worldRow(dstWorld, static_cast<int32_t>(pair.dy + y)) + pair.dx,
                    src.row(static_cast<int32_t>(pair.sy + y)) + pair.sx,
                    static_cast<size_t>(pair.w) * sizeof(PF_Pixel8));
    }
    return PF_Err_NONE;
}

PF_Err copyHq(PF_ProgPtr effectRef, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* srcRect,
              PF_Rect* dstRect) {
    return copyRect(effectRef, "copy_hq", src, dst, srcRect, dstRect);
}

PF_Err copyPlain(PF_ProgPtr effectRef, PF_EffectWorld* src, PF_EffectWorld* dst,
                 PF_Rect* srcRect, PF_Rect* dstRect) {
    return copyRect(effectRef, "copy", src, dst, srcRect, dstRect);
}

// ------------------------------------------------------------ transform_world

// How a destination point goes back into the source.
//  - kDivide: the source-to-destination matrix only scales each axis and
//    translates; x = (X − m20) / m00, y = (Y − m21) / m11, which keeps whole
//    pixel moves and reflections exact.
//  - kHomogeneous: (x', y', w') = (X, Y, 1) × n, x = x' / w', y = y' / w'.
struct BackMap {
    enum Kind { kNothing, kDivide, kHomogeneous } kind;
    double n[3][3];
};

bool finiteMatrix(const double m[3][3]) {
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t c = 0; c < 3; ++c) {
            if (!std::isfinite(m[r][c])) return false;
        }
    }
    return true;
}

// The inverse of m up to a factor (which the homogeneous divide removes), or
// false when m is singular. m is first scaled so that its largest entry is 1,
// so neither huge nor tiny entries overflow the determinant.
bool invertProjective(const double in[3][3], double out[3][3]) {
    double largest = 0.0;
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t c = 0; c < 3; ++c) largest = std::max(largest, std::fabs(in[r][c]));
    }
    if (!(largest > 0.0)) return false;
    double m[3][3];
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t c = 0; c < 3; ++c) m[r][c] = in[r][c] / largest;
    }
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    if (det == 0.0 || !std::isfinite(det)) return false;
    out[0][0] = c00 / det;
    out[1][0] = c01 / det;
    out[2][0] = c02 / det;
    out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return finiteMatrix(out);
}

BackMap backMapOf(const PF_FloatMatrix& matrix, bool sourceToDestination) {
    BackMap map{BackMap::kNothing, {}};
    const double(&m)[3][3] = matrix.mat;
    if (!finiteMatrix(m)) return map;
    if (!sourceToDestination) {
        std::memcpy(map.n, m, sizeof(map.n));
        map.kind = BackMap::kHomogeneous;
        return map;
    }
    const bool scaleAndMove = m[0][1] == 0.0 && m[1][0] == 0.0 && m[0][2] == 0.0 &&
                              m[1][2] == 0.0 && m[2][2] == 1.0;
    if (scaleAndMove) {
        if (m[0][0] == 0.0 || m[1][1] == 0.0) return map;   // everything lands on a line
        std::memcpy(map.n, m, sizeof(map.n));
        map.kind = BackMap::kDivide;
        return map;
    }
    if (invertProjective(m, map.n)) map.kind = BackMap::kHomogeneous;
    return map;
}

// The source point of the destination point (X, Y); false when there is none
// (a point at infinity).
bool sourcePoint(const BackMap& map, double X, double Y, double* x, double* y) {
    const double(&n)[3][3] = map.n;
    if (map.kind == BackMap::kDivide) {
        *x = (X - n[2][0]) / n[0][0];
        *y = (Y - n[2][1]) / n[1][1];
        return true;
    }
    const double xh = X * n[0][0] + Y * n[1][0] + n[2][0];
    const double yh = X * n[0][1] + Y * n[1][1] + n[2][1];
    const double wh = X * n[0][2] + Y * n[1][2] + n[2][2];
    if (wh == 0.0 || !std::isfinite(wh)) return false;
    *x = xh / wh;
    *y = yh / wh;
    return true;
}

constexpr PF_Pixel8 kTransparent{0, 0, 0, 0};

// A map that only moves by whole pixels: scale exactly 1 on both axes and
// whole-number offsets (dx, dy). Each destination pixel (X, Y) then takes the
// source pixel (X − dx, Y − dy), or a transparent one outside the source, at
// either quality: the nearest sample lands on it, and the bilinear one sits
// exactly on its centre, so its weights are 1 and 0.
bool wholePixelMove(const BackMap& map, int64_t* dx, int64_t* dy) {
    if (map.kind != BackMap::kDivide || map.n[0][0] != 1.0 || map.n[1][1] != 1.0) return false;
    const double x = map.n[2][0];
    const double y = map.n[2][1];
    constexpr double kLimit = 1e9;   // keeps X + 0.5 − dx exact and the casts in range
    if (!(x > -kLimit && x < kLimit && y > -kLimit && y < kLimit)) return false;
    *dx = static_cast<int64_t>(x);
    *dy = static_cast<int64_t>(y);
    return static_cast<double>(*dx) == x && static_cast<double>(*dy) == y;
}

// The pixel whose square holds the point; transparent outside the source.
// The range test comes before any conversion, so huge or NaN coordinates never
// reach an integer cast.
PF_Pixel8 nearestSample(const PixelView& src, double x, double y) {
    if (!(x >= 0.0 && x < src.width && y >= 0.0 && y < src.height)) return kTransparent;
    return src.row(static_cast<int32_t>(y))[static_cast<int32_t>(x)];
}

PF_Pixel8 pixelOrTransparent(const PixelView& src, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= src.width || y >= src.height) return kTransparent;
    return src.row(y)[x];
}

// floor(v) for v in (−1, INT32_MAX): truncation corrected for negatives,
// without a library call.
int32_t floorInRange(double v) {
    const int32_t t = static_cast<int32_t>(v);
    return t > v ? t - 1 : t;
}

// Bilinear interpolation between the four pixel centres around the point,
// with transparent pixels outside the source (so edges fade out over half a
// pixel). The position between the centres is taken to 1/256 of a pixel on
// each axis, so the four weights are whole numbers summing to 65536 and the
// rest is exact integer arithmetic. Colours are weighted by their alpha, as
// straight alpha needs:
//   A = Σ w·α,  alpha = round(A / 65536),  C = round(Σ w·α·C / A).
// Where all four pixels are opaque this is C = round(Σ w·C / 65536). Rounding
// is to nearest, halves up. A point exactly on a pixel centre gives that pixel.
PF_Pixel8 bilinearSample(const PixelView& src, double x, double y) {
    const double qx = x - 0.5;
    const double qy = y - 0.5;
    if (!(qx > -1.0 && qx < src.width && qy > -1.0 && qy < src.height)) return kTransparent;
    const int32_t x0 = floorInRange(qx);
    const int32_t y0 = floorInRange(qy);
    const uint32_t fx = static_cast<uint32_t>((qx - x0) * 256.0 + 0.5);   // 0 .. 256
    const uint32_t fy = static_cast<uint32_t>((qy - y0) * 256.0 + 0.5);
    if (fx == 0 && fy == 0) return pixelOrTransparent(src, x0, y0);

    PF_Pixel8 p[4];
    if (x0 >= 0 && y0 >= 0 && x0 + 1 < src.width && y0 + 1 < src.height) {
        const PF_Pixel8* top = src.row(y0) + x0;
        const PF_Pixel8* bottom = src.row(y0 + 1) + x0;
        p[0] = top[0];
        p[1] = top[1];
        p[2] = bottom[0];
        p[3] = bottom[1];
    } else {
        p[0] = pixelOrTransparent(src, x0, y0);
        p[1] = pixelOrTransparent(src, x0 + 1, y0);
        p[2] = pixelOrTransparent(src, x0, y0 + 1);
        p[3] = pixelOrTransparent(src, x0 + 1, y0 + 1);
    }
    const uint32_t w[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
    if ((p[0].alpha & p[1].alpha & p[2].alpha & p[3].alpha) == 255) {
        uint32_t red = 32768;
        uint32_t green = 32768;
        uint32_t blue = 32768;
        for (int32_t k = 0; k < 4; ++k) {
            red += w[k] * p[k].red;
            green += w[k] * p[k].green;
            blue += w[k] * p[k].blue;
        }
        return {255, static_cast<uint8_t>(red >> 16), static_cast<uint8_t>(green >> 16),
                static_cast<uint8_t>(blue >> 16)};
    }
    // Σ w·α ≤ 65536 × 255, and Σ w·α·C ≤ 65536 × 255 × 255 fits 32 bits;
    // 64 bits leave room for the rounding term.
    uint32_t alpha = 0;
    uint64_t red = 0;
    uint64_t green = 0;
    uint64_t blue = 0;
    for (int32_t k = 0; k < 4; ++k) {
        const uint32_t wa = w[k] * p[k].alpha;
        alpha += wa;
        red += static_cast<uint64_t>(wa) * p[k].red;
        green += static_cast<uint64_t>(wa) * p[k].green;
        blue += static_cast<uint64_t>(wa) * p[k].blue;
    }
    if (alpha == 0) return kTransparent;
    const uint64_t half = alpha / 2;
    return {static_cast<uint8_t>((alpha + 32768) >> 16),
            static_cast<uint8_t>((red + half) / alpha),
            static_cast<uint8_t>((green + half) / alpha),
            static_cast<uint8_t>((blue + half) / alpha)};
}

PF_Err transformWorld(PF_ProgPtr effectRef, PF_Quality quality, PF_ModeFlags modeFlags,
                      PF_Field, const PF_EffectWorld* srcWorld, const PF_CompositeMode* mode,
                      const PF_MaskWorld* mask, const PF_FloatMatrix* matrices,
                      A_long matrixCount, PF_Boolean sourceToDestination,
                      const PF_Rect* destRect, PF_EffectWorld* dstWorld) {
    CallTimer timer(stateFromRef(effectRef), CallKind::kTransformWorld,
                    mode != nullptr ? mode->xfer : PF_Xfer_IN_FRONT);
    Host::State* state = nullptr;
    if (const PF_Err err = beginCall(effectRef, "transform_world", &state)) return err;
    recordTransformWorld(state, quality, modeFlags, srcWorld, mode, matrices, matrixCount,
                         sourceToDestination, destRect, dstWorld);
    if (!usableWorld(srcWorld) || !usableWorld(dstWorld) ||
        !usableComposite(modeFlags, mode, mask) || matrices == nullptr || matrixCount < 1) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // More matrices would ask for motion blur; the first one is the frame's.
    const BackMap map = backMapOf(matrices[0], sourceToDestination != 0);
    if (map.kind == BackMap::kNothing) return PF_Err_NONE;   // singular: nothing to draw
    const Box area = clipToWorld(boxOf(destRect, dstWorld), dstWorld);
    if (area.empty()) return PF_Err_NONE;

    std::vector<PF_Pixel8> privateCopy;
    const PixelView src = sourceView(srcWorld, dstWorld, &privateCopy);
    const int64_t areaPixels = (area.right - area.left) * (area.bottom - area.top);
    const bool bilinear = quality >= PF_Quality_HI;
    const int32_t width = static_cast<int32_t>(area.right - area.left);
    int64_t moveX = 0;
    int64_t moveY = 0;
    if (wholePixelMove(map, &moveX, &moveY)) {
        // Rows are composited straight from the source; the parts of a row
        // outside the source composite a transparent source, as they would
        // pixel by pixel. Source pixels land in columns [left, right) of
        // rows [top, bottom).
        const int64_t left = std::clamp<int64_t>(moveX, area.left, area.right);
        const int64_t right = std::clamp<int64_t>(moveX + src.width, left, area.right);
        const int64_t top = std::clamp<int64_t>(moveY, area.top, area.bottom);
        const int64_t bottom = std::clamp<int64_t>(moveY + src.height, top, area.bottom);
        const Compositor compositor = compositorFor(
            state, mode,
            [&](int32_t r) { return src.row(static_cast<int32_t>(top + r - moveY)) + (left - moveX); },
            [&](int32_t r) { return worldRow(dstWorld, static_cast<int32_t>(top + r)) + left; },
            bottom - top, right - left);
        const std::vector<PF_Pixel8> transparent(static_cast<size_t>(width), kTransparent);
        return forEachRow(state, static_cast<int32_t>(area.bottom - area.top), width,
                          [&](int32_t r) {
            const int64_t Y = area.top + r;
            PF_Pixel8* out = worldRow(dstWorld, static_cast<int32_t>(Y));
            const int64_t sy = Y - moveY;
            const bool inside = Y >= top && Y < bottom;
            const int64_t from = inside ? left : area.left;
            const int64_t to = inside ? right : area.left;
            compositeRow(compositor, transparent.data(), out + area.left,
                         static_cast<int32_t>(from - area.left));
            if (to > from) {
                compositeRow(compositor, src.row(static_cast<int32_t>(sy)) + (from - moveX),
                             out + from, static_cast<int32_t>(to - from));
            }
            compositeRow(compositor, transparent.data(), out + to,
                         static_cast<int32_t>(area.right - to));
        });
    }
    const Compositor compositor = makeCompositor(mode->xfer, mode->opacity, areaPixels);
    // A scale-and-move map gives every column its own source x once for all
    // rows (the same division sourcePoint would do per pixel).
    std::vector<double> columnX;
    if (map.kind == BackMap::kDivide) {
        columnX.resize(static_cast<size_t>(width));
        double unusedY = 0.0;
        for (int32_t i = 0; i < width; ++i) {
            sourcePoint(map, static_cast<double>(area.left + i) + 0.5, 0.5, &columnX[i], &unusedY);
        }
    }
    return forEachRow(state, static_cast<int32_t>(area.bottom - area.top), width, [&](int32_t r) {
        const int32_t Y = static_cast<int32_t>(area.top) + r;
        // One row of samples per thread, kept from row to row.
        thread_local std::vector<PF_Pixel8> samples;
        samples.resize(static_cast<size_t>(width));
        double rowY = 0.0;
        if (!columnX.empty()) {
            double unusedX = 0.0;
            sourcePoint(map, 0.5, Y + 0.5, &unusedX, &rowY);
        }
        for (int32_t i = 0; i < width; ++i) {
            double x = 0.0;
            double y = rowY;
            const int32_t X = static_cast<int32_t>(area.left) + i;
            if (!columnX.empty()) {
                x = columnX[i];
            } else if (!sourcePoint(map, X + 0.5, Y + 0.5, &x, &y)) {
                samples[i] = kTransparent;
                continue;
            }
            samples[i] = bilinear ? bilinearSample(src, x, y) : nearestSample(src, x, y);
        }
        compositeRow(compositor, samples.data(), worldRow(dstWorld, Y) + area.left, width);
    });
}

const PF_WorldTransformSuite1 kSuite = {
    nullptr,   // composite_rect: not offered by this host
    nullptr,   // blend
    nullptr,   // convolve
    copyPlain, copyHq, transferRect, transformWorld,
};

}  // namespace

const PF_WorldTransformSuite1* worldTransformSuite() { return &kSuite; }

}  // namespace corvexel::host
