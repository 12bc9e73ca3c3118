// The largest picture `corvexel render` accepts, from a file or as --size:
// the embedded host makes no frame wider or taller than 65536 pixels, and a
// render holds several frames of the picture's size at once, so the area is
// bounded too (2^28 pixels: 1 GiB per 8-bit RGBA frame).
#pragma once

#include <cstdint>
#include <string>

inline constexpr int64_t kMaxPictureSide = 65536;
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 28;

// "" when a width x height picture can be rendered, else the reason it
// cannot ("70000x1 is wider than 65536 pixels").
inline std::string pictureSizeProblem(int64_t width, int64_t height) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width < 1 || height < 1) return size + " has no pixels";
    if (width > kMaxPictureSide) {
        return size + " is wider than " + std::to_string(kMaxPictureSide) + " pixels";
    }
    if (height > kMaxPictureSide) {
        return size + " is taller than " + std::to_string(kMaxPictureSide) + " pixels";
    }
    if (width * height > kMaxPicturePixels) {
        return size + " has more than " + std::to_string(kMaxPicturePixels) + " pixels";
    }
    return "";
}
