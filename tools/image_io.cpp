// Picture files in and out: recognising the format by its signature,
// dispatching to the decoders, and writing outputs safely (output_file.h).
#include "tools/image_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "tools/image_decoders.h"
#include "tools/output_file.h"

namespace {

enum class Format { kPng, kJpeg, kOther };

struct Signature {
    const char* name;          // as in "GIF pictures are not supported"
    size_t offset;
    const char* bytes;
    size_t length;
};

// Formats people try to render, recognised so the refusal can name them.
constexpr Signature kOtherFormats[] = {
    {"GIF", 0, "GIF8", 4},
    {"WebP", 8, "WEBP", 4},
    {"BMP", 0, "BM", 2},
    {"TIFF", 0, "II*\0", 4},
    {"TIFF", 0, "MM\0*", 4},
    {"JPEG 2000", 4, "jP  ", 4},
    {"JPEG 2000", 0, "\xff\x4f\xff\x51", 4},
    {"JPEG XL", 0, "\xff\x0a", 2},
    {"JPEG XL", 4, "JXL ", 4},
    {"AVIF", 4, "ftypavif", 8},
    {"HEIF", 4, "ftypheic", 8},
    {"HEIF", 4, "ftypmif1", 8},
    {"QOI", 0, "qoif", 4},
    {"Photoshop", 0, "8BPS", 4},
    {"OpenEXR", 0, "\x76\x2f\x31\x01", 4},
    {"PDF", 0, "%PDF", 4},
    {"ICO", 0, "\0\0\1\0", 4},
};

bool hasBytes(const uint8_t* head, size_t headSize, size_t offset, const char* bytes,
              size_t length) {
    return offset + length <= headSize && std::memcmp(head + offset, bytes, length) == 0;
}

// Recognises the format from the first bytes; for a format we do not read,
// `otherName` names it when it is known.
Format recognise(const uint8_t* head, size_t headSize, std::string* otherName) {
    if (hasBytes(head, headSize, 0, "\x89PNG\r\n\x1a\n", 8)) return Format::kPng;
    if (hasBytes(head, headSize, 0, "\xff\xd8\xff", 3)) return Format::kJpeg;
    for (const Signature& s : kOtherFormats) {
        if (hasBytes(head, headSize, s.offset, s.bytes, s.length)) {
            *otherName = s.name;
            return Format::kOther;
        }
    }
    const bool netpbm = headSize >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7';
    if (netpbm) *otherName = "PNM";
    return Format::kOther;
}

std::string unsupportedReason(size_t headSize, const std::string& otherName) {
    if (headSize == 0) return "the file is empty";
    if (!otherName.empty()) return otherName + " pictures are not supported (PNG or JPEG)";
    return "not a PNG or JPEG picture";
}

IoStatus decodeSource(ImageSource* source, const uint8_t* head, size_t headSize,
                      RgbaImage* image, std::string* reason) {
    std::string otherName;
    switch (recognise(head, headSize, &otherName)) {
        case Format::kPng: return decodePng(source, image, reason);
        case Format::kJpeg: return decodeJpeg(source, image, reason);
        case Format::kOther: break;
    }
    *reason = unsupportedReason(headSize, otherName);
    return IoStatus::kBadInput;
}

}  // namespace

size_t ImageSource::read(uint8_t* out, size_t count) {
    if (file != nullptr) return std::fread(out, 1, count, file);
    const size_t available = size - position;
    const size_t n = count < available ? count : available;
    if (n > 0) std::memcpy(out, data + position, n);
    position += n;
    return n;
}

bool reservePicture(RgbaImage* image) {
    try {
        image->pixels.reserve(static_cast<size_t>(image->width) *
                              static_cast<size_t>(image->height) * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

IoStatus decodeImage(const uint8_t* data, size_t size, RgbaImage* image, std::string* reason) {
    ImageSource source;
    source.data = data;
    source.size = size;
    return decodeSource(&source, data, size < 16 ? size : 16, image, reason);
}

IoStatus loadImage(const std::string& path, RgbaImage* image, std::string* error) {
    auto failed = [&](IoStatus status, const std::string& reason) {
        *error = "cannot read " + path + ": " + reason;
        return status;
    };
    if (path.empty()) return failed(IoStatus::kBadInput, "no file name");
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return failed(IoStatus::kBadInput, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return failed(IoStatus::kBadInput, "it is a folder");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return failed(IoStatus::kBadInput, std::strerror(errno));
    uint8_t head[16];
    const size_t headSize = std::fread(head, 1, sizeof head, file);
    const bool readError = std::ferror(file) != 0;
    ImageSource source;
    source.file = file;
    std::string reason;
    IoStatus status = IoStatus::kBadInput;
    if (readError || std::fseek(file, 0, SEEK_SET) != 0) {
        reason = "the file cannot be read";
    } else {
        status = decodeSource(&source, head, headSize, image, &reason);
        if (status != IoStatus::kOk && std::ferror(file) != 0) reason = "the file cannot be read";
    }
    std::fclose(file);
    return status == IoStatus::kOk ? status : failed(status, reason);
}

bool isRawRgbaName(const std::string& path) {
    const std::string suffix = ".rgba";
    return path.size() > suffix.size() &&
           path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

IoStatus writeImage(const std::string& path, const RgbaImage& image,
                    const OutputOptions& options, std::string* error) {
    OutputFile output;
    IoStatus status = output.open(path, options.overwrite, error);
    if (status != IoStatus::kOk) return status;
    if (isRawRgbaName(path)) {
        return output.commit(image.pixels.data(), image.pixels.size(), error);
    }
    std::vector<uint8_t> png;
    std::string reason;
    status = encodePng(image, options.threads, &png, &reason);
    if (status != IoStatus::kOk) {
        *error = "cannot write " + path + ": " + reason;
        return status;
    }
    return output.commit(png.data(), png.size(), error);
}
