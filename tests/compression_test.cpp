// Compression glitch: the colour conversion, the 8x8 block damage with its
// scratch handles and failure paths, and the error-diffusion dither.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "effects/compression.h"
#include "effects/stages.h"
#include "noise/cpu_features.h"
#include "shell/param_set.h"

namespace {

// ---------------------------------------------------------------- a small host
// Just enough of a host for the block function: a basic suite that hands out
// a malloc-backed handle suite (or refuses it), counting what is outstanding.
struct FakeHandles {
    // Atomic: blocks run on several threads at once.
    std::atomic<int64_t> requests{0};
    int64_t failRequest = -1;   // this new_handle request returns null
    std::atomic<int64_t> held{0};
    std::atomic<int64_t> locked{0};
    bool suiteMissing = false;
};
FakeHandles* gHandles = nullptr;

PF_Handle newHandle(A_HandleSize size) {
    if (gHandles->requests++ == gHandles->failRequest) return nullptr;
    void** handle = static_cast<void**>(std::malloc(sizeof(void*)));
    *handle = std::malloc(size);
    ++gHandles->held;
    return handle;
}
void* lockHandle(PF_Handle h) { ++gHandles->locked; return *h; }
void unlockHandle(PF_Handle) { --gHandles->locked; }
void disposeHandle(PF_Handle h) { --gHandles->held; std::free(*h); std::free(h); }

const PF_HandleSuite1 kHandleSuite = {newHandle, lockHandle, unlockHandle, disposeHandle,
                                      nullptr, nullptr};

SPErr acquireSuite(const char* name, int32_t, const void** suite) {
    if (gHandles->suiteMissing || std::strcmp(name, "PF Handle Suite") != 0) return 1;
    *suite = &kHandleSuite;
    return 0;
}
SPErr releaseSuite(const char*, int32_t) { return 0; }

SPBasicSuite gBasic = {acquireSuite, releaseSuite, nullptr, nullptr, nullptr, nullptr, nullptr};

// A frame of straight pixels, optionally with padded rows.
struct TestWorld {
    TestWorld(int32_t width, int32_t height, int32_t padding = 0)
        : bytes(static_cast<size_t>((width * 4 + padding) * height), 0xEE) {
        world.width = width;
        world.height = height;
        world.rowbytes = width * 4 + padding;
        world.data = reinterpret_cast<PF_Pixel8*>(bytes.data());
    }
    PF_Pixel8& at(int32_t x, int32_t y) {
        return reinterpret_cast<PF_Pixel8*>(bytes.data() + y * world.rowbytes)[x];
    }
    void fill(PF_Pixel8 p) {
        for (int32_t y = 0; y < world.height; ++y)
            for (int32_t x = 0; x < world.width; ++x) at(x, y) = p;
    }
    std::vector<uint8_t> bytes;
    PF_EffectWorld world{};
};

double hostCos(double v) { return std::cos(v); }

struct BlockFixture {
    explicit BlockFixture(TestWorld* frame, double d) : suites(&gBasic) {
        gHandles = &handles;
        utils.ansi.cos = hostCos;
        in_data.utils = &utils;
        fillCompressionCosines(&in_data, cosines);
        refcon = CompressionRefcon{nullptr, &suites, 0.0, d, frame->world.width,
                                   frame->world.height, &frame->world, &in_data, cosines};
    }
    ~BlockFixture() { gHandles = nullptr; }
    FakeHandles handles;
    SuiteCache suites;
    PF_UtilCallbacks utils{};
    PF_InData in_data{};
    double cosines[64];
    CompressionRefcon refcon;
};

PF_Pixel8 grey(uint8_t v, uint8_t a = 255) { return PF_Pixel8{a, v, 128, 128}; }

// ---------------------------------------------------------------- conversion
TEST(ColourConversion, RoundTripLosesOneLevelExceptAtTheEnds) {
    struct Case { PF_Pixel8 in, out; };
    const Case cases[] = {
        {{255, 128, 128, 128}, {255, 127, 127, 127}},
        {{7, 200, 100, 50}, {7, 199, 99, 49}},
        {{255, 255, 255, 255}, {255, 255, 255, 255}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        PF_Pixel8 in = c.in, ycc{}, back{};
        EXPECT_EQ(toYCbCrPixel(nullptr, 0, 0, &in, &ycc), PF_Err_NONE);
        EXPECT_EQ(toRgbPixel(nullptr, 0, 0, &ycc, &back), PF_Err_NONE);
        EXPECT_EQ(back.alpha, c.out.alpha);
        EXPECT_EQ(back.red, c.out.red) << int(c.in.red);
        EXPECT_EQ(back.green, c.out.green) << int(c.in.green);
        EXPECT_EQ(back.blue, c.out.blue) << int(c.in.blue);
    }
}

TEST(ColourConversion, ClampsOutOfRangeResults) {
    PF_Pixel8 in{255, 255, 0, 255}, out{};   // cb = -128, cr = 127
    toRgbPixel(nullptr, 0, 0, &in, &out);
    EXPECT_EQ(out.red, 255);   // 433.05 held at 255
    EXPECT_EQ(out.green, 208);
    EXPECT_EQ(out.blue, 28);
    PF_Pixel8 low{255, 0, 255, 0};   // cb = 127, cr = -128
    toRgbPixel(nullptr, 0, 0, &low, &out);
    EXPECT_EQ(out.red, 0);     // -179.5 held at 0
}

// ---------------------------------------------------------------- block damage
TEST(CompressBlock, FlatGreyBlocksAtSeveralQualities) {
    struct Case { double d; uint8_t in, out; };
    const Case cases[] = {
        {18.75, 200, 165}, {18.75, 100, 128}, {18.75, 0, 15},   // c = 0
        {0.91, 200, 198},                                       // c = 90
        {9.1 - 50 * 0.091, 200, 191},                           // c = 50
    };
    for (const Case& c : cases) {
        TestWorld frame(8, 8);
        frame.fill(grey(c.in));
        BlockFixture fx(&frame, c.d);
        ASSERT_EQ(compressBlock(&fx.refcon, 0, 0, 1), PF_Err_NONE);
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) {
                ASSERT_EQ(frame.at(x, y).red, c.out) << "d " << c.d << " in " << int(c.in);
                ASSERT_EQ(frame.at(x, y).green, 128);   // Cb, Cr pass through
                ASSERT_EQ(frame.at(x, y).blue, 128);
            }
        EXPECT_EQ(fx.handles.held, 0);
        EXPECT_EQ(fx.handles.locked, 0);
    }
}

TEST(CompressBlock, BlockIndexAddressesItsOwnPixelsOnly) {
    TestWorld frame(20, 17, 12);   // 2 x 2 blocks, strips right and below, padded rows
    frame.fill(grey(200));
    BlockFixture fx(&frame, 18.75);
    ASSERT_EQ(compressBlock(&fx.refcon, 0, 3, 4), PF_Err_NONE);   // block row 1, column 1
    for (int32_t y = 0; y < 17; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            bool inside = x >= 8 && x < 16 && y >= 8 && y < 16;
            ASSERT_EQ(frame.at(x, y).red, inside ? 165 : 200) << x << "," << y;
        }
}

TEST(CompressBlock, SkipsBlockWithTransparentCorners) {
    TestWorld frame(8, 8);
    frame.fill(grey(200));
    frame.at(0, 0).alpha = 0;
    frame.at(7, 7).alpha = 0;
    BlockFixture fx(&frame, 18.75);
    EXPECT_EQ(compressBlock(&fx.refcon, 0, 0, 1), PF_Err_NONE);
    EXPECT_EQ(frame.at(3, 3).red, 200);
    EXPECT_EQ(fx.handles.requests, 0);

    frame.at(7, 7).alpha = 1;   // one visible corner is enough to process it
    EXPECT_EQ(compressBlock(&fx.refcon, 0, 0, 1), PF_Err_NONE);
    EXPECT_EQ(frame.at(3, 3).red, 165);
}

TEST(CompressBlock, HandleFailureLeavesBlockAndReleasesWhatWasObtained) {
    for (int64_t failing : {0, 1}) {
        TestWorld frame(8, 8);
        frame.fill(grey(200));
        BlockFixture fx(&frame, 18.75);
        fx.handles.failRequest = failing;
        EXPECT_EQ(compressBlock(&fx.refcon, 0, 0, 1), PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(frame.at(4, 4).red, 200);
        EXPECT_EQ(fx.handles.held, 0) << failing;
        EXPECT_EQ(fx.handles.locked, 0) << failing;
    }
}

TEST(CompressBlock, MissingRefconAndMissingSuiteAreReported) {
    TestWorld frame(8, 8);
    frame.fill(grey(200));
    BlockFixture fx(&frame, 18.75);
    EXPECT_EQ(compressBlock(nullptr, 0, 0, 1), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(compressBlock(&fx.refcon, 0, 1, 1), PF_Err_BAD_CALLBACK_PARAM);   // past the last block
    TestWorld small(7, 9);   // narrower than a block: no index is valid
    small.fill(grey(200));
    BlockFixture smallFx(&small, 18.75);
    EXPECT_EQ(compressBlock(&smallFx.refcon, 0, 0, 1), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(small.at(0, 0).red, 200);
    gHandles = &fx.handles;
    fx.handles.suiteMissing = true;
    EXPECT_EQ(compressBlock(&fx.refcon, 0, 0, 1), kMissingSuiteError);
    EXPECT_EQ(frame.at(4, 4).red, 200);
}

TEST(CompressBlock, ConcurrentBlocksMatchSequentialOnes) {
    TestWorld parallel(64, 64), sequential(64, 64);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            parallel.at(x, y) = sequential.at(x, y) = grey(static_cast<uint8_t>(x * 3 + y * 5));
    BlockFixture seq(&sequential, 18.75);
    for (int32_t i = 0; i < 64; ++i) ASSERT_EQ(compressBlock(&seq.refcon, 0, i, 64), 0);
    BlockFixture par(&parallel, 18.75);
    std::vector<std::thread> threads;
    for (int32_t t = 0; t < 4; ++t)
        threads.emplace_back([&par, t] {
            for (int32_t i = t; i < 64; i += 4) compressBlock(&par.refcon, t, i, 64);
        });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(parallel.bytes, sequential.bytes);
}

// The vector forms of the block damage against the plain sums, over blocks
// of every kind (flat, ramps, noise, the extremes of the sample range) and
// quantisers from the strongest to ones so fine or so broken (0, infinite,
// not a number) that nothing quantises to zero. The bytes the block function
// stores must agree; so must every value, but for the sign of a zero sum
// (the vector forms skip zero coefficients, which can only turn -0 into +0).
uint8_t storedByte(double value) {
    if (!(value >= 0.0)) return 0;
    if (value > 255.0) return 255;
    return static_cast<uint8_t>(value);
}

TEST(CompressBlock, VectorFormsGiveThePlainSumsBytes) {
    double cosines[64];
    for (int32_t f = 0; f < 8; ++f)
        for (int32_t p = 0; p < 8; ++p) cosines[f * 8 + p] = std::cos((2 * p + 1) * f * M_PI / 16.0);
    std::vector<std::pair<const char*, void (*)(double*, double*, const double*, double)>> forms =
        {{"SSE2", dctDamageSse2}};
    if (cpuHasAvx2()) forms.push_back({"AVX2", dctDamageAvx2});

    std::mt19937 random(12345);
    std::vector<std::vector<double>> blocks;
    for (double flat : {-128.0, 0.0, 72.0, 127.0}) blocks.push_back(std::vector<double>(64, flat));
    for (int32_t k = 0; k < 300; ++k) {
        std::vector<double> block(64);
        for (int32_t i = 0; i < 64; ++i) {
            const int32_t x = i % 8, y = i / 8;
            switch (k % 3) {
                case 0: block[i] = static_cast<double>(random() % 256) - 128.0; break;
                case 1: block[i] = (x * (k % 17) + y * (k % 5)) % 256 - 128.0; break;
                default: block[i] = ((x + y) % 2 ? 127.0 : -128.0); break;
            }
        }
        blocks.push_back(block);
    }
    const double quantisers[] = {18.75, 4.55, 1.1375, 0.91, 0.01, 1e-12, 1e-15, 0.0,
                                 std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN()};
    int differences = 0;
    for (const auto& [name, form] : forms) {
        for (double d : quantisers) {
            for (const std::vector<double>& block : blocks) {
                double plainS[64], plainF[64], laneS[64], laneF[64];
                std::copy(block.begin(), block.end(), plainS);
                std::copy(block.begin(), block.end(), laneS);
                dctDamageReference(plainS, plainF, cosines, d);
                form(laneS, laneF, cosines, d);
                for (int32_t i = 0; i < 64 && differences < 5; ++i) {
                    const bool sameValue = laneF[i] == plainF[i] ||
                                           (std::isnan(laneF[i]) && std::isnan(plainF[i]));
                    if (!sameValue ||
                        storedByte(laneF[i] + 128.0) != storedByte(plainF[i] + 128.0)) {
                        ++differences;
                        ADD_FAILURE() << name << ", d " << d << ": sample " << i << " is "
                                      << laneF[i] << ", the plain sums give " << plainF[i];
                    }
                }
            }
        }
    }
}

// ---------------------------------------------------------------- dither
struct DitherParams {
    DitherParams(double dither, double multiplier, double master) : defs(kParamCount + 1) {
        for (size_t i = 0; i < defs.size(); ++i) pointers.push_back(&defs[i]);
        defs[kParamDitherAmount].u.fs_d.value = dither;
        defs[kParamCompressionMultiplier].u.fs_d.value = multiplier;
        defs[kParamCorvexelAmount].u.fs_d.value = master;
    }
    std::vector<PF_ParamDef> defs;
    std::vector<PF_ParamDef*> pointers;
};

TEST(Dither, Step64SharesAre15_6_11_2OfError36) {
    // Pixel (1, 0) = 100 quantises to 64 with e = 36. Each red neighbour starts
    // exactly its share below 64, so it lands on 64 only with the full share;
    // green starts one lower, so the first two land on 63 and quantise to 0.
    TestWorld frame(3, 2);
    frame.fill(PF_Pixel8{255, 0, 0, 0});
    frame.at(1, 0) = PF_Pixel8{255, 100, 100, 0};
    frame.at(2, 0) = PF_Pixel8{255, 64 - 15, 63 - 15, 0};   // right, share 7
    frame.at(0, 1) = PF_Pixel8{255, 64 - 6, 63 - 6, 0};     // below left, share 3
    frame.at(1, 1) = PF_Pixel8{255, 64 - 11, 0, 0};         // below, share 5
    frame.at(2, 1) = PF_Pixel8{255, 64 - 2, 0, 0};          // below right, share 1
    DitherParams p(64, 100, 100);
    EXPECT_EQ(runDither(nullptr, nullptr, p.pointers.data(), &frame.world, nullptr), 0);
    EXPECT_EQ(frame.at(1, 0).red, 64);
    EXPECT_EQ(frame.at(2, 0).red, 64);
    EXPECT_EQ(frame.at(0, 1).red, 64);
    EXPECT_EQ(frame.at(1, 1).red, 64);
    EXPECT_EQ(frame.at(2, 1).red, 64);
    EXPECT_EQ(frame.at(2, 0).green, 0);
    EXPECT_EQ(frame.at(0, 1).green, 0);
    EXPECT_EQ(frame.at(1, 0).alpha, 255);
}

TEST(Dither, LastColumnAndLastRowPassNothingOn) {
    // One column: the error of every pixel goes only straight down (share 5);
    // the last row keeps its error.
    TestWorld column(1, 2);
    column.at(0, 0) = PF_Pixel8{255, 100, 0, 0};   // e = 36, below gets 11
    column.at(0, 1) = PF_Pixel8{255, 52, 0, 0};    // 63 -> 0 (a right share would add)
    DitherParams p(64, 100, 100);
    runDither(nullptr, nullptr, p.pointers.data(), &column.world, nullptr);
    EXPECT_EQ(column.at(0, 1).red, 0);
    TestWorld row(2, 1);
    row.at(0, 0) = PF_Pixel8{255, 100, 0, 0};
    row.at(1, 0) = PF_Pixel8{255, 48, 0, 0};       // 48 + 15 = 63 -> 0
    runDither(nullptr, nullptr, p.pointers.data(), &row.world, nullptr);
    EXPECT_EQ(row.at(1, 0).red, 0);
}

TEST(Dither, StepOneAndZeroChangeNothing) {
    for (double amount : {1.0, 0.0}) {
        TestWorld frame(5, 4);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 5; ++x)
                frame.at(x, y) = PF_Pixel8{static_cast<uint8_t>(x), static_cast<uint8_t>(x * 50),
                                           static_cast<uint8_t>(y * 60 + 7), 255};
        std::vector<uint8_t> before = frame.bytes;
        DitherParams p(amount, 100, 100);
        EXPECT_EQ(runDither(nullptr, nullptr, p.pointers.data(), &frame.world, nullptr), 0);
        EXPECT_EQ(frame.bytes, before) << amount;
    }
}

// The dither as it is defined: pixel after pixel, each share added to its
// neighbour (held at 255) the moment the error is known.
void plainDither(TestWorld* frame, int32_t step) {
    const int32_t w = frame->world.width, h = frame->world.height;
    const auto spread = [&](int32_t x, int32_t y, int32_t share, const int32_t errors[3]) {
        A_u_char* channels[3] = {&frame->at(x, y).red, &frame->at(x, y).green, &frame->at(x, y).blue};
        for (int32_t c = 0; c < 3; ++c) {
            const int32_t sum = *channels[c] + share * errors[c] / 16;
            *channels[c] = static_cast<A_u_char>(sum > 255 ? 255 : sum);
        }
    };
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            A_u_char* channels[3] = {&frame->at(x, y).red, &frame->at(x, y).green, &frame->at(x, y).blue};
            int32_t errors[3];
            for (int32_t c = 0; c < 3; ++c) {
                const int32_t value = *channels[c];
                *channels[c] = static_cast<A_u_char>(step * (value / step));
                errors[c] = value - *channels[c];
            }
            if (x + 1 < w) spread(x + 1, y, 7, errors);
            if (y + 1 >= h) continue;
            if (x > 0) spread(x - 1, y + 1, 3, errors);
            spread(x, y + 1, 5, errors);
            if (x + 1 < w) spread(x + 1, y + 1, 1, errors);
        }
    }
}

// The dither works a row at a time, in stretches, with the row below taking
// each pixel's shares in one addition; it must leave every byte as the
// definition does: odd sizes, stretch boundaries, padded rows, every step
// the sliders allow and steps beyond them, content near 255 where the
// shares saturate.
TEST(Dither, EqualsThePixelByPixelDefinition) {
    struct Size {
        int32_t width, height, padding;
    };
    const Size sizes[] = {{1, 1, 0}, {1, 6, 0}, {6, 1, 0},   {2, 2, 0},  {7, 3, 4},
                          {255, 2, 0}, {256, 3, 0}, {257, 3, 8}, {300, 4, 0}, {513, 3, 12}};
    std::mt19937 random(99);
    int failures = 0;
    for (const Size& size : sizes) {
        for (int32_t step : {2, 3, 7, 12, 31, 64, 99, 100, 170, 255, 256, 1000}) {
            for (int32_t content = 0; content < 2 && failures < 5; ++content) {
                TestWorld ours(size.width, size.height, size.padding);
                for (int32_t y = 0; y < size.height; ++y)
                    for (int32_t x = 0; x < size.width; ++x) {
                        const uint32_t r = random();
                        const uint8_t base = content == 0 ? 0 : 200;
                        ours.at(x, y) = PF_Pixel8{static_cast<uint8_t>(r >> 24),
                                                  static_cast<uint8_t>(base + r % (256 - base)),
                                                  static_cast<uint8_t>(base + (r >> 8) % (256 - base)),
                                                  static_cast<uint8_t>(base + (r >> 16) % (256 - base))};
                    }
                TestWorld expected = ours;
                expected.world.data = reinterpret_cast<PF_Pixel8*>(expected.bytes.data());
                plainDither(&expected, step);
                DitherParams p(step, 100, 100);
                runDither(nullptr, nullptr, p.pointers.data(), &ours.world, nullptr);
                if (ours.bytes != expected.bytes) {
                    ++failures;
                    ADD_FAILURE() << size.width << "x" << size.height << " padding " << size.padding
                                  << ", step " << step << ", content " << content;
                }
            }
        }
    }
}

TEST(Dither, DefaultsGiveStep12AndSaturateAt255) {
    TestWorld frame(2, 2);
    frame.fill(PF_Pixel8{9, 250, 250, 250});
    DitherParams p(50, 50, 50);
    runDither(nullptr, nullptr, p.pointers.data(), &frame.world, nullptr);
    // (0,0): 250 -> 240, e 10; right 250 + 4 = 254 -> 252; below 250 + 3 = 253 -> 252.
    EXPECT_EQ(frame.at(0, 0).red, 240);
    EXPECT_EQ(frame.at(1, 0).green, 252);
    EXPECT_EQ(frame.at(0, 1).blue, 252);
    EXPECT_EQ(frame.at(1, 1).alpha, 9);
}

}  // namespace
