// Glitch slice: one horizontal band of the frame goes through lossy WebP,
// one bit of the compressed stream is flipped, and whatever decodes is
// written back at the band's place in the destination.
#include <webp/decode.h>
#include <webp/encode.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "effects/glitch_slice.h"
#include "noise/int_conversion.h"
#include "shell/param_set.h"

namespace {

constexpr int32_t kLargestWebpDimension = 16383;
constexpr char kTooBigMessage[] = "Dimensions too big for webP.";

PF_Pixel8* pixelAt(PF_EffectWorld* world, int32_t x, int32_t y) {
    char* row = reinterpret_cast<char*>(world->data) + static_cast<intptr_t>(y) * world->rowbytes;
    return reinterpret_cast<PF_Pixel8*>(row) + x;
}

void reportTooBig(PF_OutData* out_data) {
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    std::memcpy(out_data->return_msg, kTooBigMessage, sizeof kTooBigMessage);
}

// A pixel's four bytes read as one little-endian word: alpha, red, green,
// blue in the frame, red, green, blue, alpha in the codec's buffer. One is
// the other turned by a byte.
inline uint32_t frameToCodec(uint32_t argb) { return argb >> 8 | argb << 24; }
inline uint32_t codecToFrame(uint32_t rgba) { return rgba << 8 | rgba >> 24; }

void gatherBand(PF_EffectWorld* src, const SliceSpec& band, uint8_t* rgba) {
    for (int32_t i = 0; i < band.rows; ++i) {
        const uint8_t* row = reinterpret_cast<const uint8_t*>(pixelAt(src, band.x0, band.y0 + i));
        uint8_t* out = rgba + static_cast<size_t>(i) * band.width * 4;
        for (int32_t j = 0; j < band.width; ++j) {
            uint32_t word;
            std::memcpy(&word, row + j * 4, sizeof word);
            word = frameToCodec(word);
            std::memcpy(out + j * 4, &word, sizeof word);
        }
    }
}

void scatterBand(PF_EffectWorld* dst, const SliceSpec& band, const uint8_t* rgba) {
    for (int32_t i = 0; i < band.rows; ++i) {
        uint8_t* row = reinterpret_cast<uint8_t*>(pixelAt(dst, band.x0, band.y0 + i));
        const uint8_t* in = rgba + static_cast<size_t>(i) * band.width * 4;
        for (int32_t j = 0; j < band.width; ++j) {
            uint32_t word;
            std::memcpy(&word, in + j * 4, sizeof word);
            word = codecToFrame(word);
            std::memcpy(row + j * 4, &word, sizeof word);
        }
    }
}

// Inverts one bit among the stream's first 256 bytes, chosen by the noise
// and the stream size so the same frame is damaged the same way every time.
void flipOneBit(const NoiseField* noise, uint8_t* stream, size_t n) {
    int32_t g = noise->sampleInt(30, 30, static_cast<int32_t>(n - 1));
    size_t k = static_cast<size_t>(static_cast<uint32_t>(g) & 0xFFu) % n;
    stream[k] ^= static_cast<uint8_t>(1u << (k % 8));
}

// Encodes, damages and decodes the band in place in `rgba`. The decoder is
// given the scratch size, so a damaged header claiming other dimensions is
// refused rather than written past the buffer; pixels it does not reach
// keep their gathered values.
void damageThroughWebp(const NoiseField* noise, const SliceSpec& band, uint8_t* rgba,
                       size_t size) {
    uint8_t* encoded = nullptr;
    int32_t stride = band.width * 4;
    size_t n = encodeBandWebp(rgba, band.width, band.rows, stride, band.quality, &encoded);
    if (n != 0) {
        if (band.flip) flipOneBit(noise, encoded, n);
        WebPDecodeRGBAInto(encoded, n, rgba, size, stride);
    }
    WebPFree(encoded);
}

}  // namespace

// WebPEncodeRGBA's own steps (the default preset at this quality, lossy,
// the picture imported from RGBA, written to memory), with one setting
// added: thread_level 1. With it libwebp compresses the alpha plane on a
// second thread while the colour is encoded, and analyses the two halves of
// the picture side by side, merging their counts; the steps, and so the
// stream's bytes, are the same.
size_t encodeBandWebp(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride,
                      float quality, uint8_t** output) {
    *output = nullptr;
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, quality) || !WebPPictureInit(&picture)) {
        return 0;
    }
    config.lossless = 0;
    config.thread_level = 1;
    picture.use_argb = 0;
    picture.width = width;
    picture.height = height;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const bool ok = WebPPictureImportRGBA(&picture, rgba, stride) && WebPEncode(&config, &picture);
    WebPPictureFree(&picture);
    if (!ok) {
        WebPMemoryWriterClear(&writer);
        return 0;
    }
    *output = writer.mem;
    return writer.size;
}

PF_Err webpRoundTrip(PF_InData*, PF_OutData* out_data, PF_ParamDef*[], PF_EffectWorld* src,
                     PF_EffectWorld* dst, SuiteCache* suites, const NoiseField* noise,
                     const SliceSpec& band) {
    if (band.width > kLargestWebpDimension || band.rows > kLargestWebpDimension) {
        reportTooBig(out_data);
        return PF_Err_INVALID_CALLBACK;
    }
    // An empty band changes nothing; asking the host for 0 bytes could fail
    // the whole render for an ordinary setting.
    if (band.width <= 0 || band.rows <= 0) return PF_Err_NONE;

    size_t size = static_cast<size_t>(band.width) * band.rows * 4;
    const PF_HandleSuite1* handles = suites->handles();
    PF_Handle scratch = handles->host_new_handle(size);
    if (!scratch) return PF_Err_OUT_OF_MEMORY;
    uint8_t* rgba = static_cast<uint8_t*>(handles->host_lock_handle(scratch));
    if (!rgba) {
        handles->host_dispose_handle(scratch);
        return PF_Err_OUT_OF_MEMORY;
    }
    gatherBand(src, band, rgba);
    damageThroughWebp(noise, band, rgba, size);
    scatterBand(dst, band, rgba);
    handles->host_unlock_handle(scratch);
    handles->host_dispose_handle(scratch);
    return PF_Err_NONE;
}

namespace {

// The band's top row: Position plus the noise jump, mirrored when the jump
// would leave the frame, and held inside it.
int32_t bandTop(int32_t P, int32_t S, float w, int32_t H) {
    float d = w * static_cast<float>(S);
    float y = static_cast<float>(P) + d;
    if (y >= 0.0f && y < static_cast<float>(H)) return truncToInt32(y);
    int32_t y0 = truncToInt32(static_cast<float>(P) - d);
    if (y0 < 0) return 0;
    if (y0 >= H) return H - 1;
    return y0;
}

}  // namespace

bool planSliceBand(PF_ParamDef* const params[], int32_t W, int32_t H, float w, SliceSpec* band) {
    float q = static_cast<float>(100.0 - floatParam(params, kParamSliceQuality));
    if (!(q >= 0.0f && q <= 100.0f)) return false;
    double b = floatParam(params, kParamSliceAmount) / 100.0 *
               floatParam(params, kParamCorvexelAmount) / 100.0;
    if (!(b > 0.0) || H <= 0) return false;

    int32_t P = truncToInt32(floatParam(params, kParamSlicePosition) / 100.0 * (H - 1));
    float m = static_cast<float>(floatParam(params, kParamSliceMaxShift) / 100.0 * H);
    int32_t S = truncToInt32((1.0 - b * b) * m);
    int32_t y0 = bandTop(P, S, w, H);
    int32_t rows = truncToInt32(H * b);
    // The band stops one row above the bottom edge.
    if (static_cast<int64_t>(y0) + rows >= H) rows = H - y0 - 1;
    *band = SliceSpec{W, rows, 0, y0, q, true};
    return true;
}

PF_Err runGlitchSlice(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_EffectWorld* src, PF_EffectWorld* dst, SuiteCache* suites,
                      const NoiseField* noise) {
    float w = noise->wiggle(44, static_cast<float>(floatParam(params, kParamSliceSteps)), 4.0f);
    SliceSpec band{};
    if (!planSliceBand(params, src->width, src->height, w, &band)) return PF_Err_NONE;
    return webpRoundTrip(in_data, out_data, params, src, dst, suites, noise, band);
}
