// Picture files: PNG in every colour type and depth, JPEG baseline,
// progressive, grey and CMYK, hostile headers and data, and the PNG writer.
#include <gtest/gtest.h>

#include <jpeglib.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tools/image_decoders.h"
#include "tools/image_io.h"
#include "tools/image_limits.h"

namespace {

using Bytes = std::vector<uint8_t>;

void putBe32(Bytes* out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

void putChunk(Bytes* out, const char* type, const Bytes& data) {
    putBe32(out, static_cast<uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out->insert(out->end(), body.begin(), body.end());
    putBe32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

Bytes ihdr(uint32_t width, uint32_t height, int depth, int colourType, int interlace = 0) {
    Bytes h;
    putBe32(&h, width);
    putBe32(&h, height);
    h.push_back(static_cast<uint8_t>(depth));
    h.push_back(static_cast<uint8_t>(colourType));
    h.push_back(0);
    h.push_back(0);
    h.push_back(static_cast<uint8_t>(interlace));
    return h;
}

Bytes zlibCompress(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    out.resize(size);
    return out;
}

// A PNG from its chunks: IHDR, then `extra` (PLTE, tRNS ...), IDAT, IEND.
Bytes makePng(const Bytes& header, const std::vector<std::pair<const char*, Bytes>>& extra,
              const Bytes& idat) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    putChunk(&png, "IHDR", header);
    for (const auto& [type, data] : extra) putChunk(&png, type, data);
    putChunk(&png, "IDAT", idat);
    putChunk(&png, "IEND", {});
    return png;
}

// Packs samples (each < 2^depth) into unfiltered scanlines.
Bytes packRows(const std::vector<std::vector<uint32_t>>& rows, int depth) {
    Bytes raw;
    for (const auto& row : rows) {
        raw.push_back(0);
        uint32_t bits = 0, count = 0;
        for (uint32_t sample : row) {
            if (depth == 16) {
                raw.push_back(static_cast<uint8_t>(sample >> 8));
                raw.push_back(static_cast<uint8_t>(sample));
                continue;
            }
            bits = (bits << depth) | sample;
            count += static_cast<uint32_t>(depth);
            if (count == 8) {
                raw.push_back(static_cast<uint8_t>(bits));
                bits = count = 0;
            }
        }
        if (count > 0) raw.push_back(static_cast<uint8_t>(bits << (8 - count)));
    }
    return raw;
}

RgbaImage decodeOk(const Bytes& file) {
    RgbaImage image;
    std::string reason;
    EXPECT_EQ(decodeImage(file.data(), file.size(), &image, &reason), IoStatus::kOk) << reason;
    return image;
}

std::string decodeFails(const Bytes& file, IoStatus expected = IoStatus::kBadInput) {
    RgbaImage image;
    std::string reason;
    EXPECT_EQ(decodeImage(file.data(), file.size(), &image, &reason), expected);
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(image.pixels.empty());
    return reason;
}

// Every PNG colour type and depth: a 5x3 picture whose samples walk through
// the depth's range, decoded and compared with the expansion worked out
// here (grey replicated, low depths scaled by 255 / (2^depth - 1), 16 bits
// rounded, palette looked up, tRNS as alpha).
struct PngCase {
    const char* name;
    int colourType;
    int depth;
    bool transparency;
};

TEST(ImageRead, EveryPngColourTypeAndDepth) {
    const PngCase cases[] = {
        {"grey1", 0, 1, false},   {"grey2", 0, 2, false},   {"grey4", 0, 4, false},
        {"grey8", 0, 8, false},   {"grey16", 0, 16, false}, {"grey8_trns", 0, 8, true},
        {"grey16_trns", 0, 16, true}, {"rgb8", 2, 8, false}, {"rgb16", 2, 16, false},
        {"rgb8_trns", 2, 8, true}, {"palette1", 3, 1, false}, {"palette2", 3, 2, true},
        {"palette4", 3, 4, false}, {"palette8", 3, 8, true}, {"grey_alpha8", 4, 8, false},
        {"grey_alpha16", 4, 16, false}, {"rgba8", 6, 8, false}, {"rgba16", 6, 16, false},
    };
    const int width = 5, height = 3;
    for (const PngCase& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t top = (1u << c.depth) - 1;
        const int channels = c.colourType == 2 ? 3 : c.colourType == 4 ? 2 : c.colourType == 6 ? 4 : 1;
        auto sample = [&](int x, int y, int ch) {
            return static_cast<uint32_t>((x * 7 + y * 13 + ch * 5) * 2654435761u >> 7) % (top + 1);
        };
        auto to8 = [&](uint32_t v) -> uint8_t {
            return c.depth == 16 ? reduce16To8(static_cast<uint16_t>(v))
                                 : static_cast<uint8_t>(v * 255 / top);
        };
        std::vector<std::vector<uint32_t>> rows(height);
        std::vector<std::array<uint8_t, 4>> expected;
        // Palette: entry i is (i*40, 255-i*3, i*i); tRNS gives entry i alpha i*17.
        Bytes plte, trns;
        for (uint32_t i = 0; i <= top; ++i) {
            plte.insert(plte.end(), {uint8_t(i * 40), uint8_t(255 - i * 3), uint8_t(i * i)});
            trns.push_back(static_cast<uint8_t>(i * 17));
        }
        // A single transparent colour: the value of pixel (0,0).
        std::array<uint32_t, 3> key = {sample(0, 0, 0), sample(0, 0, 1), sample(0, 0, 2)};
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::array<uint32_t, 4> s{};
                for (int ch = 0; ch < channels; ++ch) {
                    s[ch] = sample(x, y, ch);
                    rows[y].push_back(s[ch]);
                }
                std::array<uint8_t, 4> rgba{};
                if (c.colourType == 3) {
                    rgba = {plte[s[0] * 3], plte[s[0] * 3 + 1], plte[s[0] * 3 + 2],
                            c.transparency ? trns[s[0]] : uint8_t(255)};
                } else if (channels <= 2) {
                    const uint8_t g = to8(s[0]);
                    const bool clear = c.transparency && s[0] == key[0];
                    rgba = {g, g, g, channels == 2 ? to8(s[1]) : uint8_t(clear ? 0 : 255)};
                } else {
                    const bool clear = c.transparency && s[0] == key[0] && s[1] == key[1] &&
                                       s[2] == key[2];
                    rgba = {to8(s[0]), to8(s[1]), to8(s[2]),
                            channels == 4 ? to8(s[3]) : uint8_t(clear ? 0 : 255)};
                }
                expected.push_back(rgba);
            }
        }
        std::vector<std::pair<const char*, Bytes>> extra;
        if (c.colourType == 3) {
            extra.push_back({"PLTE", plte});
            if (c.transparency) extra.push_back({"tRNS", trns});
        } else if (c.transparency) {
            Bytes t;
            for (int ch = 0; ch < (c.colourType == 0 ? 1 : 3); ++ch) {
                t.push_back(static_cast<uint8_t>(key[ch] >> 8));
                t.push_back(static_cast<uint8_t>(key[ch]));
            }
            extra.push_back({"tRNS", t});
        }
        const Bytes png = makePng(ihdr(width, height, c.depth, c.colourType), extra,
                                  zlibCompress(packRows(rows, c.depth)));
        RgbaImage image = decodeOk(png);
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (size_t i = 0; i < expected.size(); ++i) {
            for (int ch = 0; ch < 4; ++ch) {
                EXPECT_EQ(image.pixels[i * 4 + ch], expected[i][ch]) << "pixel " << i << " channel " << ch;
            }
        }
    }
}

// libpng's 16-to-8 scaling must round exactly as reduce16To8, for all 65536
// values.
TEST(ImageRead, SixteenBitSamplesRoundAsReduce16To8) {
    std::vector<std::vector<uint32_t>> rows(256);
    for (uint32_t v = 0; v < 65536; ++v) rows[v / 256].push_back(v);
    RgbaImage image = decodeOk(makePng(ihdr(256, 256, 16, 0), {}, zlibCompress(packRows(rows, 16))));
    ASSERT_EQ(image.pixels.size(), 65536u * 4);
    for (uint32_t v = 0; v < 65536; ++v) {
        ASSERT_EQ(image.pixels[v * 4], reduce16To8(static_cast<uint16_t>(v))) << v;
    }
}

// Adam7: the seven passes of a 9x9 grey picture, each pass a sub-image.
TEST(ImageRead, InterlacedPngEqualsPlainPng) {
    const int n = 9;
    auto value = [](int x, int y) { return static_cast<uint32_t>((x * 29 + y * 31) % 256); };
    std::vector<std::vector<uint32_t>> plain(n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) plain[y].push_back(value(x, y));
    const int startX[7] = {0, 4, 0, 2, 0, 1, 0}, startY[7] = {0, 0, 4, 0, 2, 0, 1};
    const int stepX[7] = {8, 8, 4, 4, 2, 2, 1}, stepY[7] = {8, 8, 8, 4, 4, 2, 2};
    Bytes raw;
    for (int p = 0; p < 7; ++p) {
        std::vector<std::vector<uint32_t>> pass;
        for (int y = startY[p]; y < n; y += stepY[p]) {
            pass.emplace_back();
            for (int x = startX[p]; x < n; x += stepX[p]) pass.back().push_back(value(x, y));
        }
        const Bytes packed = packRows(pass, 8);
        raw.insert(raw.end(), packed.begin(), packed.end());
    }
    RgbaImage interlaced = decodeOk(makePng(ihdr(n, n, 8, 0, 1), {}, zlibCompress(raw)));
    RgbaImage reference = decodeOk(makePng(ihdr(n, n, 8, 0), {}, zlibCompress(packRows(plain, 8))));
    EXPECT_EQ(interlaced.pixels, reference.pixels);
}

// JPEG files written with libjpeg here.
struct JpegRecipe {
    J_COLOR_SPACE space = JCS_RGB;
    int components = 3;
    bool progressive = false;
    const jpeg_scan_info* scans = nullptr;
    int scanCount = 0;
};

Bytes makeJpeg(int width, int height, const JpegRecipe& recipe,
               const std::function<uint8_t(int, int, int)>& sample) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = recipe.components;
    cinfo.in_color_space = recipe.space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (recipe.space == JCS_CMYK) jpeg_set_colorspace(&cinfo, JCS_CMYK);
    if (recipe.progressive) jpeg_simple_progression(&cinfo);
    if (recipe.scans != nullptr) {
        cinfo.scan_info = recipe.scans;
        cinfo.num_scans = recipe.scanCount;
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * recipe.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < recipe.components; ++c)
                row[static_cast<size_t>(x) * recipe.components + c] =
                    sample(x, static_cast<int>(cinfo.next_scanline), c);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// A gentle gradient, which JPEG keeps close.
uint8_t smooth(int x, int y, int c) { return static_cast<uint8_t>(40 + x * 2 + y * 3 + c * 20); }

TEST(ImageRead, JpegBaselineProgressiveGreyAndCmyk) {
    const int w = 37, h = 21;
    JpegRecipe baseline;
    JpegRecipe progressive;
    progressive.progressive = true;
    RgbaImage a = decodeOk(makeJpeg(w, h, baseline, smooth));
    RgbaImage b = decodeOk(makeJpeg(w, h, progressive, smooth));
    ASSERT_EQ(a.width, w);
    ASSERT_EQ(a.height, h);
    // The same coefficients in one scan or several: the same pixels.
    EXPECT_EQ(a.pixels, b.pixels);
    for (int i = 0; i < w * h; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(a.pixels[i * 4 + c], smooth(i % w, i / w, c), 12);
        EXPECT_EQ(a.pixels[i * 4 + 3], 255);
    }

    JpegRecipe grey;
    grey.space = JCS_GRAYSCALE;
    grey.components = 1;
    RgbaImage g = decodeOk(makeJpeg(w, h, grey, smooth));
    for (int i = 0; i < w * h; ++i) {
        EXPECT_NEAR(g.pixels[i * 4], smooth(i % w, i / w, 0), 6);
        EXPECT_EQ(g.pixels[i * 4 + 1], g.pixels[i * 4]);
        EXPECT_EQ(g.pixels[i * 4 + 2], g.pixels[i * 4]);
    }

    // CMYK: libjpeg writes an Adobe marker and stores the values as given,
    // which by Adobe's convention are inverted (255: no ink). Stored
    // (255, 0, 255, 255) is full magenta ink only.
    JpegRecipe cmyk;
    cmyk.space = JCS_CMYK;
    cmyk.components = 4;
    RgbaImage k = decodeOk(makeJpeg(16, 16, cmyk, [](int, int, int c) {
        return static_cast<uint8_t>(c == 1 ? 0 : 255);
    }));
    EXPECT_NEAR(k.pixels[0], 255, 3);
    EXPECT_NEAR(k.pixels[1], 0, 3);
    EXPECT_NEAR(k.pixels[2], 255, 3);
    EXPECT_EQ(k.pixels[3], 255);
}

// A progressive file with 694 valid scans (each coefficient refined bit by
// bit) is refused by the scan limit.
TEST(ImageRead, JpegWithTooManyScansIsRefused) {
    std::vector<jpeg_scan_info> scans;
    scans.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0}, k, k, 0, 10});
        for (int al = 9; al >= 0; --al) scans.push_back({1, {0}, k, k, al + 1, al});
    }
    JpegRecipe recipe;
    recipe.space = JCS_GRAYSCALE;
    recipe.components = 1;
    recipe.progressive = true;
    recipe.scans = scans.data();
    recipe.scanCount = static_cast<int>(scans.size());
    const Bytes file = makeJpeg(8, 8, recipe, smooth);
    EXPECT_NE(decodeFails(file).find("more than 500 scans"), std::string::npos);
}

// A size is refused from the header alone: these files hold no valid image
// data, so any other reason would mean decoding had started.
TEST(ImageRead, OversizedHeadersAreRefusedBeforeDecoding) {
    struct Case {
        uint32_t width, height;
        const char* reason;
    };
    const Case cases[] = {{65537, 1, "65537x1 is wider than 65536 pixels"},
                          {1, 70000, "1x70000 is taller than 65536 pixels"},
                          {16385, 16384, "16385x16384 has more than 268435456 pixels"},
                          {0x7fffffff, 0x7fffffff, "is wider than"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        putChunk(&png, "IHDR", ihdr(c.width, c.height, 8, 6));
        putChunk(&png, "IDAT", Bytes(64, 0xab));
        EXPECT_NE(decodeFails(png).find(c.reason), std::string::npos);
        if (c.width > 65535 || c.height > 65535) continue;   // JPEG sizes are 16-bit
        // JPEG: SOI, a baseline SOF0 for one component, SOS, then junk.
        Bytes jpeg = {0xff, 0xd8, 0xff, 0xc0, 0, 11, 8,
                      uint8_t(c.height >> 8), uint8_t(c.height), uint8_t(c.width >> 8),
                      uint8_t(c.width), 1, 1, 0x11, 0,
                      0xff, 0xda, 0, 8, 1, 1, 0, 0, 63, 0, 0xab, 0xab, 0xab, 0xab};
        EXPECT_NE(decodeFails(jpeg).find(c.reason), std::string::npos);
    }
    // The largest picture allowed passes the header check (and then fails
    // for want of data).
    EXPECT_EQ(pictureSizeProblem(kMaxPictureSide, kMaxPicturePixels / kMaxPictureSide), "");
}

// An IDAT that inflates to far more than the header's rows is refused once
// the rows are read, without inflating the rest: most of the compressed
// stream is never touched.
TEST(ImageRead, PngBombIsRefusedWithoutInflatingIt) {
    const Bytes zeros(256u << 20, 0);   // 256 MiB of filter-0 zero rows
    const Bytes png = makePng(ihdr(16, 16, 8, 0), {}, zlibCompress(zeros));
    ImageSource source;
    source.data = png.data();
    source.size = png.size();
    RgbaImage image;
    std::string reason;
    EXPECT_EQ(decodePng(&source, &image, &reason), IoStatus::kBadInput);
    EXPECT_EQ(reason, "more compressed data than the picture holds");
    EXPECT_LT(source.position, png.size() / 4) << "read " << source.position << " of " << png.size();
}

// Damaged and foreign files: refused with a reason, never a crash; the
// reason names a foreign format by its signature.
TEST(ImageRead, DamagedAndForeignFilesSayWhy) {
    std::vector<std::vector<uint32_t>> rows(4, std::vector<uint32_t>(4 * 4, 200));
    const Bytes good = makePng(ihdr(4, 4, 8, 6), {}, zlibCompress(packRows(rows, 8)));
    decodeOk(good);

    Bytes truncated(good.begin(), good.begin() + 40);
    decodeFails(truncated);
    Bytes badCrc = good;
    badCrc[30] ^= 1;   // inside IHDR
    decodeFails(badCrc);
    Bytes emptyIdat = makePng(ihdr(4, 4, 8, 6), {}, {});
    decodeFails(emptyIdat);
    Bytes garbageIdat = makePng(ihdr(4, 4, 8, 6), {}, Bytes(40, 0xab));
    decodeFails(garbageIdat);
    // A critical chunk libpng does not know, with a line feed in its name.
    Bytes oddChunk = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    putChunk(&oddChunk, "IHDR", ihdr(4, 4, 8, 6));
    putChunk(&oddChunk, "A\nBC", {1, 2});
    decodeFails(oddChunk);

    const Bytes jpeg = makeJpeg(16, 16, JpegRecipe(), smooth);
    decodeOk(jpeg);
    decodeFails(Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size()) / 2));

    struct Foreign {
        Bytes head;
        const char* reason;
    };
    const Foreign foreign[] = {
        {{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "GIF pictures are not supported (PNG or JPEG)"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'},
         "WebP pictures are not supported (PNG or JPEG)"},
        {{'B', 'M', 0, 0}, "BMP pictures are not supported (PNG or JPEG)"},
        {{'I', 'I', '*', 0}, "TIFF pictures are not supported (PNG or JPEG)"},
        {{}, "the file is empty"},
        {{'h', 'e', 'l', 'l', 'o'}, "not a PNG or JPEG picture"},
    };
    for (const Foreign& f : foreign) {
        EXPECT_EQ(decodeFails(f.head), f.reason);
    }
}

// The writer: odd sizes and sizes that cut into several strips survive the
// round trip exactly, and the bytes do not depend on the thread count.
TEST(ImageWrite, PngRoundTripsAndIgnoresThreadCount) {
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {7, 3}, {300, 2000}, {70000 / 4, 5}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        RgbaImage image;
        image.width = w;
        image.height = h;
        image.pixels.resize(static_cast<size_t>(w) * h * 4);
        uint32_t state = 12345;
        for (uint8_t& b : image.pixels) {
            state = state * 1103515245u + 12345u;
            b = static_cast<uint8_t>(state >> 24) & 0xf0;   // noisy but with runs
        }
        std::vector<uint8_t> one, three;
        std::string reason;
        ASSERT_EQ(encodePng(image, 1, &one, &reason), IoStatus::kOk);
        ASSERT_EQ(encodePng(image, 3, &three, &reason), IoStatus::kOk);
        EXPECT_EQ(one, three);
        RgbaImage back = decodeOk(one);
        EXPECT_EQ(back.width, w);
        EXPECT_EQ(back.height, h);
        EXPECT_EQ(back.pixels, image.pixels);
    }
}

}  // namespace
