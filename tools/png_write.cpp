// PNG output: 8-bit RGBA, straight alpha, written for speed.
//
// The rows are cut into strips of about kStripBytes each. Every strip is
// filtered (Sub: each byte minus the same channel of the pixel to its left,
// which suits glitched frames and costs almost nothing) and deflated on its
// own as a raw deflate stream ending on a byte boundary (Z_SYNC_FLUSH, the
// last one Z_FINISH). Joined behind one zlib header and followed by the
// Adler-32 of all strips (adler32_combine), they form one ordinary zlib
// stream, so any decoder reads the file. Strips depend only on the width,
// never on the number of threads, so the bytes are the same on any machine.
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "tools/image_io.h"

namespace {

constexpr int kLevel = 1;
constexpr int kStrategy = Z_RLE;
constexpr size_t kStripBytes = 512 * 1024;
constexpr uint8_t kFilterSub = 1;

struct Strip {
    int32_t firstRow = 0;
    int32_t rows = 0;
    bool last = false;
    std::vector<uint8_t> deflated;
    uLong adler = 1;        // Adler-32 of the filtered bytes
    size_t filteredSize = 0;
    bool failed = false;
};

// One filtered scanline: the filter byte, then each byte minus the byte four
// places to its left (0 for the first pixel).
void filterSub(const uint8_t* row, size_t rowBytes, uint8_t* out) {
    out[0] = kFilterSub;
    const size_t head = rowBytes < 4 ? rowBytes : 4;
    for (size_t i = 0; i < head; ++i) out[1 + i] = row[i];
    for (size_t i = 4; i < rowBytes; ++i) out[1 + i] = static_cast<uint8_t>(row[i] - row[i - 4]);
}

// Filters and deflates one strip, reusing the worker's stream and buffer.
void compressStrip(const RgbaImage& image, z_stream* stream, std::vector<uint8_t>* filtered,
                   Strip* strip) {
    const size_t rowBytes = static_cast<size_t>(image.width) * 4;
    const size_t lineBytes = rowBytes + 1;
    strip->filteredSize = lineBytes * static_cast<size_t>(strip->rows);
    filtered->resize(strip->filteredSize);
    for (int32_t r = 0; r < strip->rows; ++r) {
        const size_t y = static_cast<size_t>(strip->firstRow + r);
        filterSub(image.pixels.data() + y * rowBytes, rowBytes,
                  filtered->data() + static_cast<size_t>(r) * lineBytes);
    }
    strip->adler = adler32_z(adler32(0, nullptr, 0), filtered->data(), strip->filteredSize);

    if (deflateReset(stream) != Z_OK) {
        strip->failed = true;
        return;
    }
    strip->deflated.resize(deflateBound(stream, strip->filteredSize) + 64);
    stream->next_in = filtered->data();
    stream->avail_in = static_cast<uInt>(strip->filteredSize);
    size_t produced = 0;
    const int flush = strip->last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        stream->next_out = strip->deflated.data() + produced;
        stream->avail_out = static_cast<uInt>(strip->deflated.size() - produced);
        const int result = deflate(stream, flush);
        produced = strip->deflated.size() - stream->avail_out;
        const bool done = strip->last ? result == Z_STREAM_END
                                      : stream->avail_in == 0 && stream->avail_out > 0;
        if (done) break;
        if (result != Z_OK && result != Z_BUF_ERROR) {
            strip->failed = true;
            return;
        }
        strip->deflated.resize(strip->deflated.size() * 2);
    }
    strip->deflated.resize(produced);
}

// Takes strips from `next` until none are left.
void compressStrips(const RgbaImage& image, std::vector<Strip>* strips,
                    std::atomic<size_t>* next) {
    z_stream stream{};
    if (deflateInit2(&stream, kLevel, Z_DEFLATED, -15, 8, kStrategy) != Z_OK) {
        for (size_t i = next->fetch_add(1); i < strips->size(); i = next->fetch_add(1)) {
            (*strips)[i].failed = true;
        }
        return;
    }
    std::vector<uint8_t> filtered;
    for (size_t i = next->fetch_add(1); i < strips->size(); i = next->fetch_add(1)) {
        try {
            compressStrip(image, &stream, &filtered, &(*strips)[i]);
        } catch (const std::bad_alloc&) {
            (*strips)[i].failed = true;
        }
    }
    deflateEnd(&stream);
}

void putBigEndian32(std::vector<uint8_t>* out, uint32_t value) {
    out->push_back(static_cast<uint8_t>(value >> 24));
    out->push_back(static_cast<uint8_t>(value >> 16));
    out->push_back(static_cast<uint8_t>(value >> 8));
    out->push_back(static_cast<uint8_t>(value));
}

// Appends a chunk: length, type, the data pieces in order, CRC-32.
void putChunk(std::vector<uint8_t>* out, const char* type,
              std::initializer_list<std::pair<const uint8_t*, size_t>> pieces) {
    size_t length = 0;
    for (const auto& piece : pieces) length += piece.second;
    putBigEndian32(out, static_cast<uint32_t>(length));
    const size_t crcStart = out->size();
    out->insert(out->end(), type, type + 4);
    for (const auto& piece : pieces) out->insert(out->end(), piece.first, piece.first + piece.second);
    putBigEndian32(out, static_cast<uint32_t>(crc32_z(0, out->data() + crcStart,
                                                      out->size() - crcStart)));
}

std::vector<Strip> cutIntoStrips(const RgbaImage& image) {
    const size_t lineBytes = static_cast<size_t>(image.width) * 4 + 1;
    const int32_t rowsPerStrip =
        static_cast<int32_t>(std::max<size_t>(1, kStripBytes / lineBytes));
    std::vector<Strip> strips;
    for (int32_t y = 0; y < image.height; y += rowsPerStrip) {
        Strip strip;
        strip.firstRow = y;
        strip.rows = std::min(rowsPerStrip, image.height - y);
        strips.push_back(strip);
    }
    strips.back().last = true;
    return strips;
}

// Runs the strips on up to `threads` threads; a thread the system refuses
// leaves its share to the others (at worst to this one).
void compressAll(const RgbaImage& image, int threads, std::vector<Strip>* strips) {
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const size_t helpers = std::min(static_cast<size_t>(threads), strips->size()) - 1;
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (size_t i = 0; i < helpers; ++i) {
        try {
            pool.emplace_back(compressStrips, std::cref(image), strips, &next);
        } catch (const std::system_error&) {
            break;
        }
    }
    compressStrips(image, strips, &next);
    for (std::thread& t : pool) t.join();
}

}  // namespace

IoStatus encodePng(const RgbaImage& image, int threads, std::vector<uint8_t>* png,
                   std::string* reason) {
    if (image.width < 1 || image.height < 1 ||
        image.pixels.size() != static_cast<size_t>(image.width) * image.height * 4) {
        *reason = "the picture has no pixels";
        return IoStatus::kBadInput;
    }
    try {
        std::vector<Strip> strips = cutIntoStrips(image);
        compressAll(image, threads, &strips);
        size_t total = 64;
        uLong adler = adler32(0, nullptr, 0);
        for (const Strip& strip : strips) {
            if (strip.failed) {
                // zlib fails only for want of memory here.
                *reason = "out of memory while compressing";
                return IoStatus::kOutOfMemory;
            }
            total += strip.deflated.size() + 12;
            adler = adler32_combine(adler, strip.adler, static_cast<z_off_t>(strip.filteredSize));
        }
        png->clear();
        png->reserve(total);
        static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        png->insert(png->end(), kSignature, kSignature + 8);
        const uint32_t w = static_cast<uint32_t>(image.width);
        const uint32_t h = static_cast<uint32_t>(image.height);
        // 8 bits a sample, RGBA, deflate, adaptive filtering, no interlacing.
        const uint8_t header[13] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                    uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                    8, 6, 0, 0, 0};
        putChunk(png, "IHDR", {{header, sizeof header}});
        // zlib header: deflate, 32 KiB window, fastest level, check bits.
        static const uint8_t kZlibHeader[2] = {0x78, 0x01};
        const uint8_t trailer[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8),
                                    uint8_t(adler)};
        for (size_t i = 0; i < strips.size(); ++i) {
            const Strip& s = strips[i];
            putChunk(png, "IDAT",
                     {{kZlibHeader, i == 0 ? 2u : 0u},
                      {s.deflated.data(), s.deflated.size()},
                      {trailer, s.last ? 4u : 0u}});
        }
        putChunk(png, "IEND", {});
        return IoStatus::kOk;
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
        return IoStatus::kOutOfMemory;
    }
}
