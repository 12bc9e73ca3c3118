// Moving a picture between the file side (RgbaImage: bytes R, G, B, A) and
// the host's frames (PF_Pixel8: alpha, red, green, blue), for every caller
// that feeds a picture to the plug-in or keeps what it rendered.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host.h"
#include "tools/image_io.h"

// Copies `image` into `frame`, which has the image's size.
inline void rgbaToFrame(const RgbaImage& image, corvexel::host::Frame* frame) {
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
            frame->at(x, y) = PF_Pixel8{p[3], p[0], p[1], p[2]};
        }
    }
}

// The frame's pixels as a packed RGBA picture.
inline RgbaImage frameToRgba(const corvexel::host::Frame& frame) {
    RgbaImage image;
    image.width = frame.world.width;
    image.height = frame.world.height;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height * 4);
    size_t i = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const PF_Pixel8& p = frame.at(x, y);
            image.pixels[i++] = p.red;
            image.pixels[i++] = p.green;
            image.pixels[i++] = p.blue;
            image.pixels[i++] = p.alpha;
        }
    }
    return image;
}
