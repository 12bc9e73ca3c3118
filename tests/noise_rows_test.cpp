// The noise field a row of columns at a time (NoiseField::fbmRow and
// sampleSpanRow, on SSE2 and, where the processor has it, AVX2) must give
// the bits of the one-column operations for every input: the row kernels
// replace per-pixel sampling in the stages, so any difference would change
// rendered pixels.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "noise/cpu_features.h"
#include "noise/noise_field.h"
#include "noise/noise_rows.h"

namespace {

struct FieldCase {
    const char* name;
    int32_t seed;
    float speed;
    float timeSeconds;
    int32_t height;
    float gain;
    float lacunarity;
    int32_t octaves;
};

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The defaults, the ends of every noise slider, and settings whose time
// coordinate is infinite or not a number.
constexpr FieldCase kFields[] = {
    {"defaults", 0, 50.0f, 0.5f, 1080, 1.5f, 10.0f, 2},
    {"one octave", 3, 50.0f, 2.25f, 1080, 1.5f, 10.0f, 1},
    {"no octaves", 0, 50.0f, 0.5f, 1080, 1.5f, 10.0f, 0},
    {"sixteen octaves at the top of gain and lacunarity", 32768, 100.0f, 3600.0f, 2160, 5.0f,
     30.0f, 16},
    {"gain and lacunarity 0", 7, 50.0f, 1.0f, 720, 0.0f, 0.0f, 3},
    {"fine octaves", 12345, 1.0f, 0.0f, 480, 0.5f, 2.0f, 5},
    {"one row high", 9, 50.0f, 0.75f, 1, 1.0f, 1.0f, 2},
    {"infinite time", 1, kInf, 0.5f, 1080, 1.5f, 10.0f, 2},
    {"time not a number", 1, kNaN, 0.5f, 1080, 1.5f, 10.0f, 2},
};

// Row starts: the frame's first columns, a run straddling zero, and runs
// whose columns lie far out or end at the very top of int32.
constexpr int32_t kStarts[] = {0, -37, 1901, 1000003, -2000000000, 2147483647 - 40};
constexpr int32_t kRows[] = {0, 1, 539, -77, 1079, 2000000000};
constexpr int32_t kCounts[] = {1, 5, 8, 41};

uint32_t bitsOf(float v) { return std::bit_cast<uint32_t>(v); }

using FbmRowFn = void (*)(const NoiseField&, int32_t, int32_t, float, int32_t, float*);
using SpanRowFn = void (*)(const NoiseField&, int32_t, int32_t, float, float, int32_t, float*);

struct Kernel {
    const char* name;
    FbmRowFn fbm;
    SpanRowFn span;
};

void dispatchedFbm(const NoiseField& f, int32_t x0, int32_t y, float z, int32_t n, float* out) {
    f.fbmRow(x0, y, z, n, out);
}
void dispatchedSpan(const NoiseField& f, int32_t x0, int32_t y, float extent, float k, int32_t n,
                    float* out) {
    f.sampleSpanRow(x0, y, extent, k, n, out);
}

std::vector<Kernel> kernels() {
    std::vector<Kernel> all = {{"SSE2", fbmRowSse2, sampleSpanRowSse2},
                               {"dispatched", dispatchedFbm, dispatchedSpan}};
    if (cpuHasAvx2()) all.push_back({"AVX2", fbmRowAvx2, sampleSpanRowAvx2});
    return all;
}

int32_t column(int32_t x0, int32_t n) {
    return static_cast<int32_t>(static_cast<uint32_t>(x0) + static_cast<uint32_t>(n));
}

TEST(NoiseRows, FbmRowsEqualSingleSamples) {
    for (const Kernel& kernel : kernels()) {
        int mismatches = 0;
        for (const FieldCase& c : kFields) {
            NoiseField field;
            field.init(c.seed, c.speed, c.timeSeconds, c.height, c.gain, c.lacunarity, c.octaves);
            for (float z : {field.zTime, 0.0f, -13.5f, 7.2e6f, kInf, kNaN}) {
                for (int32_t y : kRows) {
                    for (int32_t x0 : kStarts) {
                        for (int32_t count : kCounts) {
                            std::vector<float> row(static_cast<size_t>(count) + 1, -99.0f);
                            kernel.fbm(field, x0, y, z, count, row.data());
                            EXPECT_EQ(bitsOf(row[count]), bitsOf(-99.0f)) << "wrote past the run";
                            for (int32_t n = 0; n < count && mismatches < 5; ++n) {
                                const float want = field.fbm(column(x0, n), y, z);
                                if (bitsOf(row[n]) != bitsOf(want)) {
                                    ++mismatches;
                                    ADD_FAILURE() << kernel.name << ", " << c.name << ": fbm("
                                                  << column(x0, n) << ", " << y << ", " << z
                                                  << ") = " << row[n] << ", one at a time "
                                                  << want;
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

// Every column of a full-HD frame at the defaults, where the runs of
// neighbouring columns mostly share a lattice cell and the kernels take
// their shared-cell path; the far-out cases above take the other one.
TEST(NoiseRows, WholeFrameSpansEqualSingleSamples) {
    NoiseField field;
    field.init(0, 50.0f, 0.5f, 1080, 1.5f, 10.0f, 2);
    for (const Kernel& kernel : kernels()) {
        int mismatches = 0;
        std::vector<float> row(1920);
        for (int32_t y = 0; y < 1080 && mismatches < 5; y += 7) {
            const float extent = y % 2 == 0 ? 256.0f : 255.0f;
            kernel.span(field, 0, y, extent, 1.0f, 1920, row.data());
            for (int32_t x = 0; x < 1920 && mismatches < 5; ++x) {
                const float want = field.sampleSpan(x, y, extent, 1.0f);
                if (bitsOf(row[x]) != bitsOf(want)) {
                    ++mismatches;
                    ADD_FAILURE() << kernel.name << ": sampleSpan(" << x << ", " << y << ") = "
                                  << row[x] << ", one at a time " << want;
                }
            }
        }
    }
}

TEST(NoiseRows, SpanRowsEqualSingleSamplesAtExtremes) {
    for (const Kernel& kernel : kernels()) {
        int mismatches = 0;
        for (const FieldCase& c : kFields) {
            NoiseField field;
            field.init(c.seed, c.speed, c.timeSeconds, c.height, c.gain, c.lacunarity, c.octaves);
            for (float extent : {256.0f, 255.0f, 100.0f, 1.0f, 0.0f, -5.0f, kInf}) {
                for (float k : {1.0f, 0.04f, 40.0f, 0.0f}) {
                    for (int32_t x0 : kStarts) {
                        float row[19];
                        kernel.span(field, x0, 77, extent, k, 19, row);
                        for (int32_t n = 0; n < 19 && mismatches < 5; ++n) {
                            const float want = field.sampleSpan(column(x0, n), 77, extent, k);
                            if (bitsOf(row[n]) != bitsOf(want)) {
                                ++mismatches;
                                ADD_FAILURE() << kernel.name << ", " << c.name << ": sampleSpan("
                                              << column(x0, n) << ", 77, " << extent << ", " << k
                                              << ") = " << row[n] << ", one at a time " << want;
                            }
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
