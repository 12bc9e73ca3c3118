// Colour glitch: every pixel byte gains a scaled echo of the byte `off`
// positions before it, walking the frame's bytes in place so echoes carry
// earlier echoes. The distance is counted in bytes, so channels mix.
#include <algorithm>
#include <cstdint>

#include "effects/stages.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

namespace {

// A position in the run of pixel bytes: the run visits each row's
// width x 4 pixel bytes and steps over the row padding, so padded worlds
// never feed bytes that no pixel owns into the echo chain.
struct ByteCursor {
    uint8_t* rowStart;
    int32_t column;
    int32_t rowLength;   // pixel bytes per row
    int32_t rowBytes;    // the world's row stride
};

ByteCursor cursorAt(PF_EffectWorld* world, int32_t position) {
    int32_t rowLength = world->width * 4;
    ByteCursor cursor;
    cursor.rowStart = reinterpret_cast<uint8_t*>(world->data) +
                      static_cast<intptr_t>(position / rowLength) * world->rowbytes;
    cursor.column = position % rowLength;
    cursor.rowLength = rowLength;
    cursor.rowBytes = world->rowbytes;
    return cursor;
}

// Moves a cursor `span` bytes on; the span never passes the end of its row.
inline void advance(ByteCursor* cursor, int32_t span) {
    cursor->column += span;
    if (cursor->column == cursor->rowLength) {
        cursor->column = 0;
        cursor->rowStart += cursor->rowBytes;
    }
}

// The low 8 bits of trunc(b x k) for every signed byte b, in double
// precision as the echo needs it; only the low 8 bits reach a byte, and
// looking them up keeps the pass free of per-byte conversions.
void fillEchoTable(double k, uint8_t table[256]) {
    for (int32_t stored = 0; stored < 256; ++stored) {
        double signedByte = static_cast<double>(static_cast<int8_t>(static_cast<uint8_t>(stored)));
        table[stored] = static_cast<uint8_t>(static_cast<uint32_t>(truncToInt32(signedByte * k)));
    }
}

// The byte walk, a stretch at a time: each stretch runs to the nearer end
// of the reading and the writing row, so the inner loop is a plain walk
// over two byte ranges. It reads each byte as the walk has left it (the
// ranges overlap whenever `off` is shorter than a stretch), in order.
void echoBytes(PF_EffectWorld* world, int32_t off, int64_t count, const uint8_t echo[256]) {
    ByteCursor from = cursorAt(world, 0);
    ByteCursor to = cursorAt(world, off);
    while (count > 0) {
        const int64_t span = std::min<int64_t>(
            {count, from.rowLength - from.column, to.rowLength - to.column});
        const uint8_t* source = from.rowStart + from.column;
        uint8_t* target = to.rowStart + to.column;
        for (int64_t j = 0; j < span; ++j) {
            target[j] = static_cast<uint8_t>(target[j] + echo[source[j]]);
        }
        advance(&from, static_cast<int32_t>(span));
        advance(&to, static_cast<int32_t>(span));
        count -= span;
    }
}

}  // namespace

PF_Err runColorGlitch(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[],
                      PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache*,
                      const NoiseField* noise) {
    int32_t off = truncToInt32(floatParam(params, kParamColorOffset) * 80.0);
    double n = static_cast<double>(noise->sample(50, 50));
    double k = (n * 0.2 + 0.8) *
               (((floatParam(params, kParamColorAmount) / 100.0) *
                 floatParam(params, kParamCorvexelAmount)) / 100.0);
    int64_t total = static_cast<int64_t>(dst->height) * dst->width * 4;

    PF_Err err = in_data->utils->copy(in_data->effect_ref, src, dst, nullptr, nullptr);

    int64_t count = total - off;
    if (count <= 0 || off < 0) return err;
    uint8_t echo[256];
    fillEchoTable(k, echo);
    echoBytes(dst, off, count, echo);
    return err;
}
