// PNG input through libpng: every colour type and bit depth becomes 8-bit
// RGBA. Palettes and grey are expanded, tRNS becomes alpha, and 16-bit
// samples are scaled to 8 bits with rounding (libpng's scale_16, which
// equals reduce16To8 for every value). Gamma and colour profiles are not
// applied: the samples are used as they are stored.
#include <png.h>

#include <csetjmp>
#include <cstdlib>

#include "tools/image_decoders.h"
#include "tools/image_limits.h"

namespace {

// Ancillary chunks that are compressed or may be large and that a render
// never needs: skipped unread, so they cost neither time nor memory.
constexpr png_byte kIgnoredChunks[] = {
    'i', 'C', 'C', 'P', '\0', 'i', 'T', 'X', 't', '\0', 'z', 'T', 'X', 't', '\0',
    't', 'E', 'X', 't', '\0', 's', 'P', 'L', 'T', '\0', 'e', 'X', 'I', 'f', '\0',
    'h', 'I', 'S', 'T', '\0',
};
// Largest ancillary chunk libpng may hold in memory.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

// What the error callbacks report back to decodePng.
struct PngReadState {
    ImageSource* source = nullptr;
    // After the last row is asked for, libpng inflates whatever compressed
    // data is left to find the stream's end. A legitimate file has only the
    // last row and a few bytes of trailer there; a bomb has gigabytes.
    bool readingLastRow = false;
    size_t bytesAfterLastRow = 0;
    size_t lastRowBudget = 0;
    std::string reason;
    bool outOfMemory = false;
};

void onError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngReadState*>(png_get_error_ptr(png));
    if (state->reason.empty()) state->reason = message != nullptr ? message : "";
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {
    // Warnings (an ancillary chunk with a bad CRC, a profile libpng dislikes)
    // concern data a render does not use.
}

png_voidp allocate(png_structp png, png_alloc_size_t size) {
    png_voidp block = std::malloc(size);
    if (block == nullptr) {
        static_cast<PngReadState*>(png_get_mem_ptr(png))->outOfMemory = true;
    }
    return block;
}

void release(png_structp, png_voidp block) { std::free(block); }

void readBytes(png_structp png, png_bytep out, size_t count) {
    auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
    if (state->readingLastRow) {
        state->bytesAfterLastRow += count;
        if (state->bytesAfterLastRow > state->lastRowBudget) {
            png_error(png, "more compressed data than the picture holds");
        }
    }
    if (state->source->read(out, count) != count) {
        png_error(png, "the file ends before the picture does");
    }
}

// Asks libpng for 8-bit RGBA rows whatever the file holds; returns the
// number of interlace passes.
int requestRgba8(png_structp png, png_infop info) {
    const int colourType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (transparency) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_scale_16(png);
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    if ((colourType & PNG_COLOR_MASK_ALPHA) == 0 && !transparency) {
        png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return passes;
}

// Decodes the rows into image->pixels. Plain files grow the picture row by
// row, so a file that claims a large size but holds little data fails
// before much memory is touched; interlaced files need every row at once,
// and libpng merges each pass into the rows. (libpng may leave by longjmp:
// nothing here has a destructor.)
void readRows(png_structp png, int passes, PngReadState* state, RgbaImage* image) {
    const size_t rowBytes = static_cast<size_t>(image->width) * 4;
    // The last row's data (at worst stored: a little more than the row at
    // the file's own depth, at most 8 bytes a pixel) and a few 8 KiB reads.
    state->lastRowBudget = 2 * rowBytes + 32 * 1024;
    if (passes == 1) {
        for (int32_t y = 0; y < image->height; ++y) {
            image->pixels.resize(image->pixels.size() + rowBytes);
            state->readingLastRow = y == image->height - 1;
            png_read_row(png, image->pixels.data() + static_cast<size_t>(y) * rowBytes, nullptr);
        }
        return;
    }
    image->pixels.resize(rowBytes * static_cast<size_t>(image->height));
    for (int pass = 0; pass < passes; ++pass) {
        for (int32_t y = 0; y < image->height; ++y) {
            state->readingLastRow = pass == passes - 1 && y == image->height - 1;
            png_read_row(png, image->pixels.data() + static_cast<size_t>(y) * rowBytes, nullptr);
        }
    }
}

// Reads the header, checks the size, then the rows. libpng leaves this by
// longjmp: nothing here has a destructor.
IoStatus readPicture(png_structp png, png_infop info, PngReadState* state, RgbaImage* image) {
    png_set_read_fn(png, state, readBytes);
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                                static_cast<int>(sizeof kIgnoredChunks / 5));
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    state->reason = pictureSizeProblem(width, height);
    if (!state->reason.empty()) return IoStatus::kBadInput;
    const int passes = requestRgba8(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) {
        png_error(png, "unexpected row layout after conversion to RGBA");
    }
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->pixels.clear();
    if (!reservePicture(image)) {
        state->outOfMemory = true;
        return IoStatus::kOutOfMemory;
    }
    readRows(png, passes, state, image);
    return IoStatus::kOk;
}

}  // namespace

IoStatus decodePng(ImageSource* source, RgbaImage* image, std::string* reason) {
    PngReadState state;
    state.source = source;
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &state, onError, onWarning,
                                               &state, allocate, release);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        *reason = "out of memory";
        return IoStatus::kOutOfMemory;
    }
    // libpng leaves readPicture by longjmp on any error.
    IoStatus status;
    if (setjmp(png_jmpbuf(png)) == 0) {
        status = readPicture(png, info, &state, image);
    } else {
        status = state.outOfMemory ? IoStatus::kOutOfMemory : IoStatus::kBadInput;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (status != IoStatus::kOk) {
        *image = RgbaImage();
        *reason = state.outOfMemory      ? "out of memory"
                  : state.reason.empty() ? "damaged PNG data"
                                         : state.reason;
    }
    return status;
}
