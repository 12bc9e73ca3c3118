// Reading input pictures and writing output PNGs for `corvexel render`.
#pragma once

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

// Reads a PNG (8 or 16 bits; grey, grey+alpha, RGB, RGBA) or a JPEG. Returns
// false with a one-line reason in `error` when it cannot.
bool loadImage(const std::string& path, RgbaImage* image, std::string* error);

// Writes an 8-bit RGBA PNG. The file is written beside its final name and
// renamed into place, so a failure never leaves a partial file behind.
bool writePng(const std::string& path, const RgbaImage& image, std::string* error);

// True for a name ending in ".rgba": the picture is written as raw 8-bit RGBA,
// rows packed, top row first, with no header (for piping into other tools and
// for comparing pixels without any file format in between).
bool isRawRgbaName(const std::string& path);

// Writes the picture as raw RGBA (isRawRgbaName) or as a PNG, replacing the
// file in one step as writePng does.
bool writeImage(const std::string& path, const RgbaImage& image, std::string* error);
