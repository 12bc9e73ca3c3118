// JPEG input through libjpeg-turbo: baseline and progressive files, grey,
// YCbCr, RGB and CMYK/YCCK, all become 8-bit RGBA (alpha 255).
//
// Hostile files meet three limits: the size from the header (checked
// before decompression starts), at most kMaxScans scans (libjpeg-turbo's
// own scan limit for untrusted input; a progressive file with thousands of
// tiny scans would otherwise cost minutes), and no decoding past damaged
// data: libjpeg-turbo's warnings about corrupt data end the decode, except
// for stray bytes between markers, which many cameras write.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

#include "tools/image_decoders.h"
#include "tools/image_limits.h"

namespace {

constexpr int kMaxScans = 500;
constexpr size_t kReadChunk = 64 * 1024;

struct JpegReadState {
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    jpeg_source_mgr sourceManager{};
    std::jmp_buf jump{};
    ImageSource* source = nullptr;
    JOCTET buffer[kReadChunk];
    std::string reason;
    bool outOfMemory = false;
};

JpegReadState* stateOf(j_common_ptr cinfo) {
    return static_cast<JpegReadState*>(cinfo->client_data);
}

[[noreturn]] void fail(j_common_ptr cinfo) {
    JpegReadState* state = stateOf(cinfo);
    if (state->reason.empty()) {
        char message[JMSG_LENGTH_MAX] = {};
        (*cinfo->err->format_message)(cinfo, message);
        state->reason = message;
    }
    if (cinfo->err->msg_code == JERR_OUT_OF_MEMORY) state->outOfMemory = true;
    std::longjmp(state->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level) {
    // Level -1 is a warning about damaged data; higher levels are trace output.
    if (level == -1 && cinfo->err->msg_code != JWRN_EXTRANEOUS_DATA) fail(cinfo);
}

void onProgress(j_common_ptr cinfo) {
    auto* decoder = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decoder->input_scan_number > kMaxScans) {
        stateOf(cinfo)->reason = "more than " + std::to_string(kMaxScans) + " scans";
        std::longjmp(stateOf(cinfo)->jump, 1);
    }
}

// A source manager over ImageSource, for files and memory alike.
void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo) {
    JpegReadState* state = stateOf(reinterpret_cast<j_common_ptr>(cinfo));
    const size_t count = state->source->read(state->buffer, kReadChunk);
    if (count == 0) {
        state->reason = "the file ends before the picture does";
        std::longjmp(state->jump, 1);
    }
    state->sourceManager.next_input_byte = state->buffer;
    state->sourceManager.bytes_in_buffer = count;
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    while (count > 0) {
        if (src->bytes_in_buffer == 0) fillInput(cinfo);
        const size_t step = std::min(static_cast<size_t>(count), src->bytes_in_buffer);
        src->next_input_byte += step;
        src->bytes_in_buffer -= step;
        count -= static_cast<long>(step);
    }
}

void termSource(j_decompress_ptr) {}

// CMYK as Adobe writes it (inverted, saw_Adobe_marker) or plain, to RGB.
void cmykRowToRgba(uint8_t* row, int32_t width, bool inverted) {
    for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = row + static_cast<size_t>(x) * 4;
        const unsigned k = inverted ? p[3] : 255u - p[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? p[c] : 255u - p[c];
            p[c] = static_cast<uint8_t>((ink * k + 127) / 255);
        }
        p[3] = 255;
    }
}

// The decode itself; libjpeg leaves it by longjmp, so nothing here has a
// destructor.
IoStatus decodeRows(j_decompress_ptr cinfo, JpegReadState* state, RgbaImage* image) {
    jpeg_read_header(cinfo, TRUE);
    state->reason = pictureSizeProblem(cinfo->image_width, cinfo->image_height);
    if (!state->reason.empty()) return IoStatus::kBadInput;
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    image->width = static_cast<int32_t>(cinfo->image_width);
    image->height = static_cast<int32_t>(cinfo->image_height);
    if (!reservePicture(image)) {
        state->outOfMemory = true;
        return IoStatus::kOutOfMemory;
    }
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 4 ||
        cinfo->output_width != cinfo->image_width || cinfo->output_height != cinfo->image_height) {
        state->reason = "unexpected output layout";
        return IoStatus::kBadInput;
    }
    const size_t rowBytes = static_cast<size_t>(image->width) * 4;
    while (cinfo->output_scanline < cinfo->output_height) {
        const size_t offset = image->pixels.size();
        image->pixels.resize(offset + rowBytes);
        JSAMPROW row = image->pixels.data() + offset;
        jpeg_read_scanlines(cinfo, &row, 1);
        if (cmyk) cmykRowToRgba(row, image->width, cinfo->saw_Adobe_marker);
    }
    jpeg_finish_decompress(cinfo);
    return IoStatus::kOk;
}

}  // namespace

IoStatus decodeJpeg(ImageSource* source, RgbaImage* image, std::string* reason) {
    auto state = std::make_unique<JpegReadState>();
    state->source = source;
    jpeg_decompress_struct cinfo{};
    cinfo.err = jpeg_std_error(&state->errors);
    cinfo.client_data = state.get();
    state->errors.error_exit = [](j_common_ptr c) { fail(c); };
    state->errors.emit_message = onMessage;
    state->progress.progress_monitor = onProgress;

    IoStatus status = IoStatus::kBadInput;
    if (setjmp(state->jump) == 0) {
        jpeg_create_decompress(&cinfo);
        cinfo.progress = &state->progress;
        state->sourceManager.init_source = initSource;
        state->sourceManager.fill_input_buffer = fillInput;
        state->sourceManager.skip_input_data = skipInput;
        state->sourceManager.resync_to_restart = jpeg_resync_to_restart;
        state->sourceManager.term_source = termSource;
        cinfo.src = &state->sourceManager;
        status = decodeRows(&cinfo, state.get(), image);
    } else {
        status = state->outOfMemory ? IoStatus::kOutOfMemory : IoStatus::kBadInput;
    }
    jpeg_destroy_decompress(&cinfo);
    if (status != IoStatus::kOk) {
        *image = RgbaImage();
        *reason = state->outOfMemory     ? "out of memory"
                  : state->reason.empty() ? "damaged JPEG data"
                                          : state->reason;
    }
    return status;
}
