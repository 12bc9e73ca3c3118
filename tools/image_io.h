// Reading input pictures and writing output pictures for `corvexel render`.
//
// Input is PNG (every colour type and bit depth, palette and transparency
// included) or JPEG (baseline and progressive; grey, colour and CMYK), read
// with libpng and libjpeg-turbo. Every file is treated as untrusted: its
// size is checked against the picture limits (image_limits.h) from the
// header, before a row is decoded, and damaged data is an error, not a
// half-decoded picture.
//
// Output is an 8-bit RGBA PNG with straight alpha, or raw RGBA for a name
// ending in ".rgba". It is written to a new temporary file in the output's
// folder and renamed over the output only once complete, so a failed write
// leaves an existing file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An 8-bit picture, rows packed, bytes R, G, B, A, straight alpha.
struct RgbaImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

// Reduces a 16-bit channel value to 8 bits, rounding to nearest.
inline uint8_t reduce16To8(uint16_t v) {
    return static_cast<uint8_t>((static_cast<uint32_t>(v) * 255u + 32767u) / 65535u);
}

// How reading or writing a picture ended; the command turns each into its
// own exit code.
enum class IoStatus {
    kOk,
    kBadInput,      // unreadable, damaged, unsupported or too large input;
                    // an output that may not be replaced
    kOutOfMemory,
    kWriteFailed,   // the output could not be written
};

// Reads a picture file. On failure `error` is one line naming the file and
// the reason ("cannot read x.gif: GIF pictures are not supported (PNG or
// JPEG)").
IoStatus loadImage(const std::string& path, RgbaImage* image, std::string* error);

// Decodes a PNG or JPEG held in memory; on failure `reason` says why.
IoStatus decodeImage(const uint8_t* data, size_t size, RgbaImage* image, std::string* reason);

// Encodes an 8-bit RGBA PNG, compressing on up to `threads` threads (0: one
// per core). The bytes do not depend on the number of threads.
IoStatus encodePng(const RgbaImage& image, int threads, std::vector<uint8_t>* png,
                   std::string* reason);

// True for a name ending in ".rgba": the picture is written as raw 8-bit RGBA,
// rows packed, top row first, with no header (for piping into other tools and
// for comparing pixels without any file format in between).
bool isRawRgbaName(const std::string& path);

struct OutputOptions {
    bool overwrite = false;   // replace an existing read-only file too
    int threads = 0;          // for the PNG compression (0: one per core)
};

// Writes the picture as raw RGBA (isRawRgbaName) or as a PNG. An existing
// read-only output is refused (kBadInput) unless options.overwrite is set.
IoStatus writeImage(const std::string& path, const RgbaImage& image,
                    const OutputOptions& options, std::string* error);
