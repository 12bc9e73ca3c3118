#include "tools/test_card.h"

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

// Eight saturated bars, as on a broadcast card.
constexpr Rgba kBars[8] = {{255, 255, 255, 255}, {255, 255, 0, 255}, {0, 255, 255, 255},
                           {0, 255, 0, 255},     {255, 0, 255, 255}, {255, 0, 0, 255},
                           {0, 0, 255, 255},     {16, 16, 16, 255}};

uint8_t ramp(int64_t position, int64_t length) {
    return static_cast<uint8_t>(length > 1 ? (position * 255) / (length - 1) : 0);
}

Rgba cardPixel(int32_t x, int32_t y, int32_t width, int32_t height) {
    const int64_t band = (static_cast<int64_t>(y) * 4) / height;
    if (band == 0) {
        // Hard-edged colour bars.
        return kBars[(static_cast<int64_t>(x) * 8) / width];
    }
    if (band == 1) {
        // Horizontal hue-like gradient over a vertical brightness ramp.
        uint8_t across = ramp(x, width);
        uint8_t down = ramp(y - height / 4, height / 4);
        return {across, static_cast<uint8_t>(255 - across), down, 255};
    }
    if (band == 2) {
        // Discs and squares on grey; the right third is see-through.
        const int32_t cell = height / 4 > 0 ? height / 4 : 1;
        const int32_t cx = x % cell - cell / 2;
        const int32_t cy = (y - 2 * (height / 4)) - cell / 2;
        const bool disc = static_cast<int64_t>(cx) * cx + static_cast<int64_t>(cy) * cy <=
                          static_cast<int64_t>(cell / 3) * (cell / 3);
        const bool odd = (x / cell) % 2 == 1;
        Rgba shape = odd ? Rgba{240, 120, 20, 255} : Rgba{30, 200, 240, 255};
        Rgba ground = {128, 128, 128, 255};
        Rgba p = disc ? shape : ground;
        if (static_cast<int64_t>(x) * 3 >= static_cast<int64_t>(width) * 2) {
            p.a = disc ? 255 : 0;
        }
        return p;
    }
    // Grey ramp whose alpha fades out towards the bottom right.
    uint8_t grey = ramp(x, width);
    uint8_t alpha = static_cast<uint8_t>(255 - ramp(x, width) / 2);
    return {grey, grey, grey, alpha};
}

}  // namespace

RgbaImage makeTestCard(int32_t width, int32_t height) {
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    size_t i = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            Rgba p = cardPixel(x, y, width, height);
            image.pixels[i++] = p.r;
            image.pixels[i++] = p.g;
            image.pixels[i++] = p.b;
            image.pixels[i++] = p.a;
        }
    }
    return image;
}
