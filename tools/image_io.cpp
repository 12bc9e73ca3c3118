// stb does the decoding and encoding; this file holds its one implementation.
#include "tools/image_io.h"

#include <cstdio>
#include <cstdlib>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO_WARNINGS
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

// Widest picture we accept, so width * height * 4 stays well inside memory.
constexpr int64_t kMaxPixels = int64_t{1} << 28;

bool sizeIsAcceptable(int width, int height) {
    return width > 0 && height > 0 && static_cast<int64_t>(width) * height <= kMaxPixels;
}

// 16-bit files are reduced here, with rounding, rather than by stb's own
// truncating conversion.
bool load16(const std::string& path, RgbaImage* image, std::string* error) {
    int width = 0, height = 0, channels = 0;
    stbi_us* data = stbi_load_16(path.c_str(), &width, &height, &channels, 4);
    if (data == nullptr) {
        *error = "cannot decode " + path + ": " + stbi_failure_reason();
        return false;
    }
    if (!sizeIsAcceptable(width, height)) {
        stbi_image_free(data);
        *error = "image too large: " + path;
        return false;
    }
    image->width = width;
    image->height = height;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    image->pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        image->pixels[i] = reduce16To8(data[i]);
    }
    stbi_image_free(data);
    return true;
}

}  // namespace

bool loadImage(const std::string& path, RgbaImage* image, std::string* error) {
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr) {
        *error = "cannot read input: " + path;
        return false;
    }
    std::fclose(probe);
    if (stbi_is_16_bit(path.c_str())) {
        return load16(path, image, error);
    }
    int width = 0, height = 0, channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (data == nullptr) {
        *error = "cannot decode " + path + ": " + stbi_failure_reason();
        return false;
    }
    if (!sizeIsAcceptable(width, height)) {
        stbi_image_free(data);
        *error = "image too large: " + path;
        return false;
    }
    image->width = width;
    image->height = height;
    image->pixels.assign(data, data + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    stbi_image_free(data);
    return true;
}

bool writePng(const std::string& path, const RgbaImage& image, std::string* error) {
    // Same directory as the target, so the rename stays on one file system.
    const std::string temporary = path + ".part";
    if (!stbi_write_png(temporary.c_str(), image.width, image.height, 4, image.pixels.data(),
                        image.width * 4)) {
        std::remove(temporary.c_str());
        *error = "cannot write output: " + path;
        return false;
    }
    std::remove(path.c_str());   // rename does not replace an existing file on Windows
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        *error = "cannot write output: " + path;
        return false;
    }
    return true;
}
