// The decoders behind loadImage/decodeImage, one per format, and the bytes
// they read from: a file or a block of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/image_io.h"

struct ImageSource {
    std::FILE* file = nullptr;     // read from here when set,
    const uint8_t* data = nullptr;  // else from data[0 .. size)
    size_t size = 0;
    size_t position = 0;

    // Copies up to `count` bytes; returns how many it copied (0 at the end).
    size_t read(uint8_t* out, size_t count);
};

// Each decoder starts at the beginning of its source; `reason` is set on failure.
IoStatus decodePng(ImageSource* source, RgbaImage* image, std::string* reason);
IoStatus decodeJpeg(ImageSource* source, RgbaImage* image, std::string* reason);

// Reserves (without touching) room for the pixels of image->width x
// image->height, a size the caller has checked, so the rows can be appended
// as they are decoded; false when there is not enough memory.
bool reservePicture(RgbaImage* image);
