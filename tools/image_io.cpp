// stb does the decoding and encoding; this file holds its one implementation.
#include "tools/image_io.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#endif

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

// Decodes a file into 8-bit RGBA with one of stb's loaders, reducing each
// sample with `toByte`. 16-bit files are reduced with rounding rather than by
// stb's own truncating conversion.
template <typename Sample, typename Loader, typename Reducer>
bool decodeRgba(const std::string& path, Loader load, Reducer toByte, RgbaImage* image,
                std::string* error) {
    int width = 0, height = 0, channels = 0;
    Sample* data = load(path.c_str(), &width, &height, &channels, 4);
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
        image->pixels[i] = toByte(data[i]);
    }
    stbi_image_free(data);
    return true;
}

// Replaces `path` with `temporary` in one step, so the old file survives any
// failure. rename() replaces atomically on POSIX but refuses an existing
// target on Windows, where MoveFileEx does the same job.
bool replaceFile(const std::string& temporary, const std::string& path) {
#if defined(_WIN32)
    return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(temporary.c_str(), path.c_str()) == 0;
#endif
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
        return decodeRgba<stbi_us>(path, stbi_load_16, reduce16To8, image, error);
    }
    return decodeRgba<stbi_uc>(path, stbi_load, [](stbi_uc v) { return v; }, image, error);
}

bool isRawRgbaName(const std::string& path) {
    const std::string suffix = ".rgba";
    return path.size() > suffix.size() &&
           path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

namespace {

bool writeRawRgba(const std::string& path, const RgbaImage& image, std::string* error) {
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool ok = file != nullptr;
    if (ok) {
        ok = std::fwrite(image.pixels.data(), 1, image.pixels.size(), file) == image.pixels.size();
        ok = std::fclose(file) == 0 && ok;
    }
    if (!ok || !replaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        *error = "cannot write output: " + path;
        return false;
    }
    return true;
}

}  // namespace

bool writeImage(const std::string& path, const RgbaImage& image, std::string* error) {
    return isRawRgbaName(path) ? writeRawRgba(path, image, error) : writePng(path, image, error);
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
    if (!replaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        *error = "cannot write output: " + path;
        return false;
    }
    return true;
}
