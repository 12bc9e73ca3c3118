// The transition, channel split and channel scale on the embedded host.
//
// Each stage is checked byte for byte on random frames against a plain-loop
// model written here from the stage's definition; host failures injected at
// the iterate, iterate_generic and subpixel_sample calls must come back as the
// stage's result with every suite returned; hand-worked edge cases pin down
// the distance, edge and gap rules; and the result must not depend on the
// number of worker threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "effects/color_math.h"
#include "effects/stages.h"
#include "support/image_stage_fixture.h"

namespace {

using corvexel::host::FaultPlan;
using corvexel::host::Frame;
using corvexel::host::Host;
using corvexel::host::HostOptions;
using corvexel::host::ParamValues;
using corvexel::test::StageFixture;

// Small frames keep the models quick; rows are padded (with garbage) so that
// a stage mixing up width and rowbytes, or the source's rowbytes with the
// destination's, shows.
constexpr int32_t kWidth = 37;
constexpr int32_t kHeight = 23;
constexpr int32_t kSourcePadding = 12;
constexpr int32_t kDestinationPadding = 4;

void paintPadding(Frame* frame, uint8_t value) {
    const int32_t used = frame->world.width * 4;
    for (int32_t y = 0; y < frame->world.height; ++y) {
        for (int32_t b = used; b < frame->world.rowbytes; ++b) {
            frame->bytes[static_cast<size_t>(y) * frame->world.rowbytes + b] = value;
        }
    }
}

// Random pixels, with some greys, blacks and fully transparent pixels mixed
// in so that the hue and saturation corner cases and equal channel values
// turn up on every frame.
void paintRandom(Frame* frame, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int32_t y = 0; y < frame->world.height; ++y) {
        for (int32_t x = 0; x < frame->world.width; ++x) {
            const uint32_t bits = rng();
            const uint32_t kind = rng() % 16;
            PF_Pixel8& p = frame->at(x, y);
            p.alpha = static_cast<uint8_t>(bits);
            p.red = static_cast<uint8_t>(bits >> 8);
            p.green = static_cast<uint8_t>(bits >> 16);
            p.blue = static_cast<uint8_t>(bits >> 24);
            if (kind < 2) {
                p.green = p.blue = p.red;   // grey
            } else if (kind == 2) {
                p.red = p.green = p.blue = 0;
            } else if (kind == 3) {
                p.alpha = 0;
            } else if (kind == 4) {
                p.alpha = 255;
            }
        }
    }
    paintPadding(frame, 0xA5);
}

// A frame laid out like `like`, holding the same bytes.
struct FrameCopy {
    explicit FrameCopy(const Frame& like)
        : frame(like.world.width, like.world.height, like.world.rowbytes - like.world.width * 4) {
        frame.bytes = like.bytes;
    }
    Frame frame;
};

// Index of the first differing pixel, for readable failures.
std::string firstDifference(const Frame& got, const Frame& want) {
    for (int32_t y = 0; y < want.world.height; ++y) {
        for (int32_t x = 0; x < want.world.width; ++x) {
            const PF_Pixel8 g = got.at(x, y), w = want.at(x, y);
            if (g.alpha != w.alpha || g.red != w.red || g.green != w.green || g.blue != w.blue) {
                return "first difference at (" + std::to_string(x) + ", " + std::to_string(y) +
                       "): got " + std::to_string(g.alpha) + "," + std::to_string(g.red) + "," +
                       std::to_string(g.green) + "," + std::to_string(g.blue) + " want " +
                       std::to_string(w.alpha) + "," + std::to_string(w.red) + "," +
                       std::to_string(w.green) + "," + std::to_string(w.blue);
            }
        }
    }
    return "pixels agree; the difference is in the row padding";
}

void expectSameBytes(const Frame& got, const Frame& want, const std::string& what) {
    EXPECT_TRUE(got.bytes == want.bytes) << what << ": " << firstDifference(got, want);
}

void expectBooksClean(const Host& host, const std::string& what) {
    EXPECT_TRUE(host.books().clean()) << what << ": " << host.books().describe();
}

// ================================================================ transition model

struct TransitionCase {
    uint32_t seed;
    float time;
    double completion;
    double softness;
    int32_t item;
};

// Channel popup: Red|Green|Blue|Alpha|(-|Luminance|Lightness|Hue|Saturation|(-|Noise.
ChannelFn transitionChannelOf(int32_t item) {
    switch (item) {
        case 1: return channelRed;
        case 2: return channelGreen;
        case 3: return channelBlue;
        case 4: return channelAlpha;
        case 6: return channelLuminance;
        case 8: return channelHue;
        case 9: return channelSaturation;
        default: return channelLightness;   // 7, both separators, anything else
    }
}

// Opaque from t = (S + 255) C up, transparent S below; S = 0 is a hard step.
uint8_t rampAlphaModel(int32_t v, double softnessSteps, double completion) {
    const double t = (softnessSteps + 255.0) * completion;
    if (softnessSteps == 0.0) return v >= t ? 255 : 0;
    const double whole = std::trunc((v - t) * 255.0 / softnessSteps + 255.0);
    if (whole < 0.0) return 0;
    return whole > 255.0 ? 255 : static_cast<uint8_t>(whole);
}

void modelTransition(const TransitionCase& c, const NoiseField& noise, Frame* frame) {
    const double softnessSteps = c.softness / 100.0 * 255.0;
    const double completion = c.completion / 100.0;
    for (int32_t y = 0; y < frame->world.height; ++y) {
        for (int32_t x = 0; x < frame->world.width; ++x) {
            PF_Pixel8& p = frame->at(x, y);
            const int32_t v =
                c.item == 11 ? static_cast<int32_t>(std::trunc(noise.sampleSpan(x, y, 255.0f, 1.0f)))
                             : transitionChannelOf(c.item)(&p);
            p.alpha = rampAlphaModel(v, softnessSteps, completion);
        }
    }
}

void setTransition(ParamValues* params, const TransitionCase& c) {
    params->setFloat(kParamCompletion, c.completion);
    params->setFloat(kParamSoftness, c.softness);
    params->setPopup(kParamTransitionChannel, c.item);
}

PF_Err runTransitionOn(StageFixture* f, Frame* frame) {
    return f->run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
        return runTransition(in, out, f->params.array(), &frame->world, &frame->world, suites,
                             &f->noise);
    });
}

// ================================================================ channel split model

struct SplitCase {
    uint32_t seed;
    float time;
    double master;
    int32_t item;
    double horizontal;
    double vertical;
    double speed;
    bool repeatEdges;
};

// Channel popup: Red-Cyan|Green-Magenta|Blue-Yellow|(-|Y'|Cb|Cr|(-|Hue|Saturation|Value.
SplitCombineFn splitCombineOf(int32_t item) {
    switch (item) {
        case 2: return combineGreenMagenta;
        case 3: return combineBlueYellow;
        case 5: return combineLuma;
        case 6: return combineCb;
        case 7: return combineCr;
        case 9: return combineHue;
        case 10: return combineSaturation;
        case 11: return combineValue;
        default: return combineRedCyan;   // 1, both separators, anything else
    }
}

struct Distance {
    int32_t dx, dy;
};

Distance splitDistanceModel(const SplitCase& c, const NoiseField& noise) {
    const double m = c.master / 100.0;
    const float k = static_cast<float>(0.4 * c.speed);
    const double nh = noise.sampleTimeScaled(1234, 5678, k);
    const double nv = noise.sampleTimeScaled(5678, 1234, k);
    const double e = std::exp(-1.0 * (0.4 * c.speed));
    const double dx = (1.0 - (1.0 - e) * ((nh - 0.5) * 2.0)) * c.horizontal * m;
    const double dy = (1.0 - (1.0 - e) * ((nv - 0.5) * 2.0)) * c.vertical * m;
    return Distance{static_cast<int32_t>(std::trunc(dx)), static_cast<int32_t>(std::trunc(dy))};
}

int32_t clampInto(int32_t v, int32_t size) { return v < 0 ? 0 : (v >= size ? size - 1 : v); }

void modelSplit(const SplitCase& c, Distance d, const Frame& src, Frame* dst) {
    const int32_t w = src.world.width, h = src.world.height;
    const SplitCombineFn combine = splitCombineOf(c.item);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const PF_Pixel8 p = src.at(x, y);
            int32_t px = x + d.dx, py = y + d.dy;
            if (c.repeatEdges) {
                px = clampInto(px, w);
                py = clampInto(py, h);
            } else if (px < 0 || px >= w || py < 0 || py >= h) {
                dst->at(x, y) = p;
                continue;
            }
            dst->at(x, y) = combine(&p, &src.at(px, py));
        }
    }
}

void setSplit(ParamValues* params, const SplitCase& c) {
    params->setFloat(kParamCorvexelAmount, c.master);
    params->setPopup(kParamSplitChannel, c.item);
    params->setFloat(kParamSplitHorizontal, c.horizontal);
    params->setFloat(kParamSplitVertical, c.vertical);
    params->setFloat(kParamSplitSpeed, c.speed);
    params->setCheckbox(kParamRepeatEdgePixels, c.repeatEdges);
}

PF_Err runSplitOn(StageFixture* f, Frame* src, Frame* dst) {
    return f->run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
        return runChannelSplit(in, out, f->params.array(), &src->world, &dst->world, suites,
                               &f->noise);
    });
}

// ================================================================ channel scale model

struct ScaleCase {
    uint32_t seed;
    float time;
    double master;
    double amount;    // "Scale", per cent
    int32_t item;
    bool vertical;
    double offset;    // pivot, per cent of the line
    double speed;
    bool sigmoid;
    double steps;     // Quantization Steps slider value
    bool fillGaps;
};

// Channel popup: Luma|Lightness|Hue|Saturation|(-|Red|Green|Blue|Alpha.
ChannelFn scaleChannelOf(int32_t item) {
    switch (item) {
        case 2: return channelLightness;
        case 3: return channelHue;
        case 4: return channelSaturation;
        case 6: return channelRed;
        case 7: return channelGreen;
        case 8: return channelBlue;
        case 9: return channelAlpha;
        default: return channelLuminance;   // 1, the separator, anything else
    }
}

// The slider's top (64) means 512 steps.
float scaleStepsModel(double slider) { return slider >= 64.0 ? 512.0f : static_cast<float>(slider); }

int32_t scaleAmountModel(const ScaleCase& c, const NoiseField& noise, float steps) {
    const double n = noise.sampleQuantized(13, 13, steps, static_cast<float>(c.speed), c.sigmoid);
    const double e = std::exp(c.speed * -3.0);
    const double factor = 1.0 - (1.0 - e) * ((n - 0.5) * 2.0);
    return static_cast<int32_t>(std::trunc(c.amount * (c.master / 100.0) * factor));
}

struct ScaleModelResult {
    int32_t failedLine = -1;   // the line whose sampling hit the injected failure
};

// Moves every line of `src` into `dst` (transparent black beforehand). A gap
// sample is the source pixel one before the current position (the sampler at
// a whole-pixel position returns that pixel). `samplesBeforeFailure` counts
// the samples that succeed before the sampler fails; the failing sample
// writes nothing, ends the filling of its line, and the lines after it are
// left alone (the host stops handing out lines after an error).
ScaleModelResult modelScale(const ScaleCase& c, int32_t scale, const Frame& src, Frame* dst,
                            int64_t samplesBeforeFailure = INT64_MAX) {
    const int32_t lines = c.vertical ? src.world.width : src.world.height;
    const int32_t length = c.vertical ? src.world.height : src.world.width;
    const int32_t pivot = static_cast<int32_t>(std::trunc(length * c.offset / 100.0));
    const ChannelFn channel = scaleChannelOf(c.item);
    ScaleModelResult result;
    for (int32_t line = 0; line < lines && result.failedLine < 0; ++line) {
        auto source = [&](int32_t i) { return c.vertical ? src.at(line, i) : src.at(i, line); };
        auto target = [&](int32_t i) -> PF_Pixel8& {
            return c.vertical ? dst->at(line, i) : dst->at(i, line);
        };
        int32_t prev = 0;
        bool samplingFailed = false;
        for (int32_t i = 0; i < length; ++i) {
            const PF_Pixel8 p = source(i);
            const int32_t v = channel(&p);
            const int32_t t = scale * v / 100;
            const int32_t landing = pivot + ((255 - t) * (i - pivot)) / 255;
            if (landing < 0 || landing >= length) continue;
            if (channel(&target(landing)) > v) {
                prev = landing;
                continue;
            }
            target(landing) = p;
            if (c.fillGaps && i > 0) {
                const int32_t first = landing >= prev ? prev + 1 : landing;
                const int32_t last = landing >= prev ? landing - 1 : prev - 1;
                for (int32_t k = first; k <= last && !samplingFailed; ++k) {
                    if (samplesBeforeFailure == 0) {
                        samplingFailed = true;
                        result.failedLine = line;
                        break;
                    }
                    --samplesBeforeFailure;
                    target(k) = source(i - 1);
                }
            }
            prev = landing;
        }
    }
    return result;
}

void setScale(ParamValues* params, const ScaleCase& c) {
    params->setFloat(kParamCorvexelAmount, c.master);
    params->setFloat(kParamChannelScaleAmount, c.amount);
    params->setPopup(kParamChannelScaleChannel, c.item);
    params->setCheckbox(kParamChannelScaleVertical, c.vertical);
    params->setFloat(kParamChannelScaleOffset, c.offset);
    params->setFloat(kParamChannelScaleSpeed, c.speed);
    params->setCheckbox(kParamSigmoidalSteps, c.sigmoid);
    params->setFloat(kParamChannelScaleSteps, c.steps);
    params->setCheckbox(kParamFillGaps, c.fillGaps);
}

PF_Err runScaleOn(StageFixture* f, Frame* src, Frame* dst) {
    return f->run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) {
        return runChannelScale(in, out, f->params.array(), &src->world, &dst->world, suites,
                               &f->noise);
    });
}

// ================================================================ random frames against the models

TEST(ChannelStagesModel, TransitionMatchesThePlainRamp) {
    const TransitionCase cases[] = {
        {1, 0.0f, 50, 10, 7},   {2, 1.5f, 30, 0, 1},    {3, 0.0f, 70, 40, 8},
        {4, 2.0f, 45, 25, 9},   {5, 0.0f, 100, 10, 6},  {6, 3.25f, 55, 20, 11},
        {7, 0.5f, 20, 100, 11}, {8, 0.0f, 60, 5, 4},    {9, 0.0f, 40, 15, 2},
        {10, 0.0f, 40, 15, 3},  {11, 0.0f, 100, 0, 1},  {12, 0.0f, 0.5, 0, 6},
        {18, 0.0f, 50, 1e-6, 7}, {19, 1.0f, 30, 1e-7, 11},   // ramps steeper than int32
        // Separators and values outside the popup read Lightness.
        {13, 0.0f, 50, 10, 5},  {14, 0.0f, 50, 10, 10}, {15, 0.0f, 50, 10, 0},
        {16, 0.0f, 50, 10, 12}, {17, 0.0f, 50, 10, -3},
    };
    for (const TransitionCase& c : cases) {
        const std::string what = "transition seed " + std::to_string(c.seed) + " item " +
                                 std::to_string(c.item);
        StageFixture f(kWidth, kHeight);
        f.reseed(static_cast<int32_t>(c.seed), c.time);
        setTransition(&f.params, c);
        Frame frame(kWidth, kHeight, kSourcePadding);
        paintRandom(&frame, c.seed);
        FrameCopy expected(frame);
        modelTransition(c, f.noise, &expected.frame);

        ASSERT_EQ(runTransitionOn(&f, &frame), PF_Err_NONE) << what;
        expectSameBytes(frame, expected.frame, what);
        expectBooksClean(f.host, what);
    }
}

TEST(ChannelStagesModel, ChannelSplitMatchesThePlainShift) {
    const SplitCase cases[] = {
        {1, 0.0f, 100, 1, 7, 3, 0, false},     {2, 1.0f, 100, 2, -9, 5, 2.5, true},
        {3, 2.0f, 60, 3, 12, -6, 10, false},   {4, 0.5f, 100, 5, -4, -8, 1, true},
        {5, 0.0f, 100, 6, 30, 20, 0, false},   {6, 4.0f, 100, 7, 3, 2, 5, true},
        {7, 0.0f, 100, 9, -5, 0, 0, false},    {8, 1.0f, 80, 10, 50, 0, 3, true},
        {9, 2.0f, 100, 11, 0, -40, 0, true},   {10, 3.0f, 100, 11, -60, 60, 0, false},
        {11, 0.0f, 50, 9, 100, -100, 10, true},
        // Separators and values outside the popup take red from the partner.
        {12, 0.0f, 100, 4, 5, 1, 0, false},    {13, 0.0f, 100, 8, 5, 1, 0, false},
        {14, 0.0f, 100, 0, -5, -1, 0, true},   {15, 0.0f, 100, 99, -5, -1, 0, true},
    };
    for (const SplitCase& c : cases) {
        const std::string what = "split seed " + std::to_string(c.seed) + " item " +
                                 std::to_string(c.item);
        StageFixture f(kWidth, kHeight);
        f.reseed(static_cast<int32_t>(c.seed), c.time);
        setSplit(&f.params, c);
        Frame src(kWidth, kHeight, kSourcePadding);
        paintRandom(&src, c.seed);
        Frame dst(kWidth, kHeight, kDestinationPadding);
        paintPadding(&dst, 0x5A);
        FrameCopy expected(dst);
        modelSplit(c, splitDistanceModel(c, f.noise), src, &expected.frame);

        ASSERT_EQ(runSplitOn(&f, &src, &dst), PF_Err_NONE) << what;
        expectSameBytes(dst, expected.frame, what);
        expectBooksClean(f.host, what);
    }
}

TEST(ChannelStagesModel, ChannelScaleMatchesThePlainLineWalk) {
    const ScaleCase cases[] = {
        {1, 0.0f, 100, 100, 1, false, 50, 0, false, 8, false},
        {2, 1.0f, 100, 250, 9, true, 30, 3, false, 2, true},
        {3, 0.5f, 100, -150, 6, false, 50, 1, true, 16, true},
        {4, 2.0f, 70, -400, 3, true, 80, 0, false, 64, true},
        {5, 0.0f, 100, 800, 4, false, 0, 10, true, 5, true},
        {6, 3.0f, 100, 60, 2, true, 100, 2, false, 64, false},
        {7, 1.5f, 100, 300, 7, false, 25, 0.5, false, 3, true},
        {8, 0.0f, 100, -300, 8, true, 60, 0, false, 8, true},
        {9, 2.5f, 50, 30, 1, false, 50, 3, false, 2, false},   // the defaults at another seed
        // Separators and values outside the popup read Luma.
        {10, 0.0f, 100, 100, 5, false, 50, 0, false, 8, true},
        {11, 0.0f, 100, 100, 0, true, 50, 0, false, 8, true},
        {12, 0.0f, 100, 100, 10, false, 40, 0, false, 8, true},
    };
    for (const ScaleCase& c : cases) {
        const std::string what = "scale seed " + std::to_string(c.seed) + " item " +
                                 std::to_string(c.item);
        StageFixture f(kWidth, kHeight);
        f.reseed(static_cast<int32_t>(c.seed), c.time);
        setScale(&f.params, c);
        Frame src(kWidth, kHeight, kSourcePadding);
        paintRandom(&src, c.seed);
        Frame dst(kWidth, kHeight, kDestinationPadding);
        paintPadding(&dst, 0x5A);
        FrameCopy expected(dst);
        const int32_t scale = scaleAmountModel(c, f.noise, scaleStepsModel(c.steps));
        modelScale(c, scale, src, &expected.frame);

        ASSERT_EQ(runScaleOn(&f, &src, &dst), PF_Err_NONE) << what;
        expectSameBytes(dst, expected.frame, what + " scale " + std::to_string(scale));
        expectBooksClean(f.host, what);
    }
}

// ================================================================ host failures

enum class Stage { Transition, Split, Scale };

const char* stageName(Stage stage) {
    switch (stage) {
        case Stage::Transition: return "transition";
        case Stage::Split: return "split";
        default: return "scale";
    }
}

// A spreading scale with gaps on every row, filled from the sampler.
const ScaleCase kGappyScale = {21, 0.0f, 100, -300, 1, false, 50, 0, false, 8, true};

// One stage on a random frame through a host that may be told to fail. The
// transition works in place on `src`; the others write `dst`.
struct StageRun {
    StageRun(Stage stage, int32_t threads, FaultPlan faults = {}, int32_t width = kWidth,
             int32_t height = kHeight)
        : stage(stage),
          f(width, height, threads, std::move(faults)),
          src(width, height, kSourcePadding),
          dst(width, height, kDestinationPadding) {
        paintRandom(&src, 21);
        paintPadding(&dst, 0x5A);
        f.reseed(4, 1.25f);
        setTransition(&f.params, TransitionCase{0, 0.0f, 50, 10, 11});
        setSplit(&f.params, SplitCase{0, 0.0f, 100, 10, -6, 4, 3, true});
        setScale(&f.params, kGappyScale);
    }
    // A suite the host lacks is thrown as the missing-suite error; the entry
    // point would catch it and return it, and so does this.
    PF_Err run() {
        return f.run([&](PF_InData* in, PF_OutData* out, SuiteCache* suites) -> PF_Err {
            try {
                switch (stage) {
                    case Stage::Transition:
                        return runTransition(in, out, f.params.array(), &src.world, &src.world,
                                             suites, &f.noise);
                    case Stage::Split:
                        return runChannelSplit(in, out, f.params.array(), &src.world, &dst.world,
                                               suites, &f.noise);
                    default:
                        return runChannelScale(in, out, f.params.array(), &src.world, &dst.world,
                                               suites, &f.noise);
                }
            } catch (PF_Err err) {
                return err;
            }
        });
    }
    const Frame& written() const { return stage == Stage::Transition ? src : dst; }

    Stage stage;
    StageFixture f;
    Frame src;
    Frame dst;
};

FaultPlan failingCall(const char* call, int64_t occurrence) {
    FaultPlan plan;
    plan.failCall = call;
    plan.failCallOccurrence = occurrence;
    plan.failError = PF_Err_INTERNAL_STRUCT_DAMAGED;
    return plan;
}

FaultPlan missingSuite(const char* suite) {
    FaultPlan plan;
    plan.missingSuites.insert(suite);
    return plan;
}

// An iteration call that fails, or an iterate suite the host lacks, means no
// work: the run that meets it returns the error and leaves the frame exactly
// as the previous runs left it; the runs before it succeed.
TEST(ChannelStageFaults, FailedIterationIsTheResultAndWritesNothing) {
    struct Case {
        Stage stage;
        FaultPlan plan;
        int32_t runs;   // the last run meets the fault
        PF_Err expected;
    };
    const Case cases[] = {
        {Stage::Transition, failingCall("iterate", 0), 1, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {Stage::Transition, failingCall("iterate", 2), 3, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {Stage::Split, failingCall("iterate", 0), 1, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {Stage::Split, failingCall("iterate", 2), 3, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {Stage::Scale, failingCall("iterate_generic", 0), 1, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {Stage::Scale, failingCall("iterate_generic", 2), 3, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {Stage::Transition, missingSuite(kPFIterate8Suite), 1, PF_Err_BAD_CALLBACK_PARAM},
        {Stage::Split, missingSuite(kPFIterate8Suite), 1, PF_Err_BAD_CALLBACK_PARAM},
        {Stage::Scale, missingSuite(kPFIterate8Suite), 1, PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(stageName(c.stage)) + " " + c.plan.failCall +
                                 " occurrence " + std::to_string(c.plan.failCallOccurrence);
        StageRun r(c.stage, 1, c.plan);
        for (int32_t run = 1; run < c.runs; ++run) {
            ASSERT_EQ(r.run(), PF_Err_NONE) << what << " run " << run;
        }
        FrameCopy before(r.written());
        EXPECT_EQ(r.run(), c.expected) << what;
        expectSameBytes(r.written(), before.frame, what);
        expectBooksClean(r.f.host, what);
    }
}

// A sampler failure (or a missing sampler) ends the gap filling of its line
// only: that line's pixels are still all moved, the lines before it are
// complete, and the error is the stage's result.
TEST(ChannelStageFaults, SamplerFailureEndsTheFillingOfItsLine) {
    struct Case {
        FaultPlan plan;
        int64_t samplesBeforeFailure;
        PF_Err expected;
    };
    const Case cases[] = {
        {failingCall("subpixel_sample", 0), 0, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {failingCall("subpixel_sample", 1), 1, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {failingCall("subpixel_sample", 40), 40, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {failingCall("subpixel_sample", 333), 333, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {missingSuite(kPFSampling8Suite), 0, PF_Err_BAD_CALLBACK_PARAM},
    };
    for (const Case& c : cases) {
        const std::string what = "sampler fault after " + std::to_string(c.samplesBeforeFailure);
        StageRun r(Stage::Scale, 1, c.plan);
        FrameCopy expected(r.dst);
        const int32_t scale = scaleAmountModel(kGappyScale, r.f.noise, 8.0f);
        ASSERT_EQ(scale, -300);
        const int32_t failedLine =
            modelScale(kGappyScale, scale, r.src, &expected.frame, c.samplesBeforeFailure)
                .failedLine;
        ASSERT_GE(failedLine, 0) << what << ": the model never reaches the failing sample";

        EXPECT_EQ(r.run(), c.expected) << what;
        for (int32_t y = 0; y <= failedLine; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                const PF_Pixel8 got = r.dst.at(x, y), want = expected.frame.at(x, y);
                ASSERT_TRUE(got.alpha == want.alpha && got.red == want.red &&
                            got.green == want.green && got.blue == want.blue)
                    << what << " at (" << x << ", " << y << ")";
            }
        }
        expectBooksClean(r.f.host, what);
    }
}

// ================================================================ hand-worked edge cases

// At Speed Multiplier 0 the distance is the amounts times Corvexel Amount,
// truncated, on every seed and time; negative amounts look left and up.
// Red-Cyan on a frame whose red names the place shows the partner.
TEST(ChannelSplitEdges, SpeedZeroDistanceIgnoresTheNoise) {
    struct Case {
        double master, horizontal, vertical;
        int32_t dx, dy;
    };
    const Case cases[] = {
        {50, 50, 0, 25, 0},
        {77, -37.3, -20, -28, -15},
        {100, 13.9, -21.7, 13, -21},
        {33, -99, 99, -32, 32},
        {100, 0, 0, 0, 0},
    };
    constexpr int32_t w = 60, h = 40;
    for (const Case& c : cases) {
        for (bool repeat : {false, true}) {
            for (int32_t seed : {1, 8}) {
                for (float time : {0.0f, 7.5f}) {
                    const std::string what = "dx " + std::to_string(c.dx) + " dy " +
                                             std::to_string(c.dy) + " repeat " +
                                             std::to_string(repeat) + " seed " +
                                             std::to_string(seed);
                    StageFixture f(w, h);
                    f.reseed(seed, time);
                    setSplit(&f.params, SplitCase{0, 0.0f, c.master, 1, c.horizontal,
                                                  c.vertical, 0, repeat});
                    Frame src(w, h), dst(w, h);
                    paintRandom(&src, static_cast<uint32_t>(seed));
                    ASSERT_EQ(runSplitOn(&f, &src, &dst), PF_Err_NONE) << what;
                    for (int32_t y = 0; y < h; ++y) {
                        for (int32_t x = 0; x < w; ++x) {
                            int32_t px = x + c.dx, py = y + c.dy;
                            const bool inside = px >= 0 && px < w && py >= 0 && py < h;
                            px = clampInto(px, w);
                            py = clampInto(py, h);
                            const PF_Pixel8 own = src.at(x, y), got = dst.at(x, y);
                            const int32_t red = inside || repeat ? src.at(px, py).red : own.red;
                            ASSERT_EQ(got.red, red) << what << " at " << x << "," << y;
                            ASSERT_EQ(got.alpha, own.alpha) << what;
                            ASSERT_EQ(got.green, own.green) << what;
                            ASSERT_EQ(got.blue, own.blue) << what;
                        }
                    }
                }
            }
        }
    }
}

// One row, pivot 0, scale 100 on the red channel: pixel 5 (red 255) jumps
// back onto position 0, behind the previous landing at 4. With Fill Gaps
// the backward gap 0..3 (the landing itself included) takes the pixel
// before it, and the next pixel fills 1..5 forwards from pixel 5.
TEST(ChannelScaleEdges, FillGapsAfterABackwardMove) {
    struct Case {
        bool fillGaps;
        int32_t green[8];   // which source pixel (green = 10 i + 1) each place holds; 0 = empty
    };
    const Case cases[] = {
        {true, {41, 51, 51, 51, 51, 51, 61, 71}},
        {false, {51, 11, 21, 31, 41, 0, 61, 71}},
    };
    for (const Case& c : cases) {
        StageFixture f(8, 1);
        setScale(&f.params, ScaleCase{0, 0.0f, 100, 100, 6, false, 0, 0, false, 8, c.fillGaps});
        Frame src(8, 1), dst(8, 1);
        for (int32_t i = 0; i < 8; ++i) {
            src.at(i, 0) = PF_Pixel8{255, static_cast<uint8_t>(i == 5 ? 255 : 0),
                                     static_cast<uint8_t>(10 * i + 1), 0};
        }
        ASSERT_EQ(runScaleOn(&f, &src, &dst), PF_Err_NONE);
        for (int32_t i = 0; i < 8; ++i) {
            EXPECT_EQ(dst.at(i, 0).green, c.green[i]) << "fill " << c.fillGaps << " place " << i;
            EXPECT_EQ(dst.at(i, 0).alpha, c.green[i] == 0 ? 0 : 255) << "place " << i;
        }
        expectBooksClean(f.host, "backward move");
    }
}

// The top of the Quantization Steps slider (64) samples the wobble with 512
// steps. A seed is picked where 64 and 512 steps give different scales, so
// the output tells them apart; one step below the top is taken as it is.
TEST(ChannelScaleEdges, TopOfTheStepsSliderMeans512Steps) {
    ScaleCase c{0, 1.3f, 100, 400, 1, false, 50, 3, false, 64, false};
    int32_t seed = 0, scale512 = 0, scale64 = 0;
    for (int32_t candidate = 1; candidate <= 40 && seed == 0; ++candidate) {
        StageFixture probe(kWidth, kHeight);
        probe.reseed(candidate, c.time);
        scale512 = scaleAmountModel(c, probe.noise, 512.0f);
        scale64 = scaleAmountModel(c, probe.noise, 64.0f);
        if (scale512 != scale64) seed = candidate;
    }
    ASSERT_NE(seed, 0) << "no seed where 64 and 512 steps differ";

    for (double slider : {64.0, 63.0}) {
        StageFixture f(kWidth, kHeight);
        f.reseed(seed, c.time);
        c.steps = slider;
        setScale(&f.params, c);
        Frame src(kWidth, kHeight, kSourcePadding);
        paintRandom(&src, 5);
        Frame dst(kWidth, kHeight), expected(kWidth, kHeight), other(kWidth, kHeight);
        const int32_t want = scaleAmountModel(c, f.noise, slider == 64.0 ? 512.0f : 63.0f);
        const int32_t unwanted = scaleAmountModel(c, f.noise, slider == 64.0 ? 64.0f : 512.0f);
        modelScale(c, want, src, &expected);
        modelScale(c, unwanted, src, &other);
        ASSERT_NE(expected.bytes, other.bytes) << "slider " << slider << " cannot tell";

        ASSERT_EQ(runScaleOn(&f, &src, &dst), PF_Err_NONE);
        expectSameBytes(dst, expected, "slider " + std::to_string(slider));
    }
}

// ================================================================ threads

// Each stage, and a whole render, gives the same bytes on one worker thread
// as on eight.
TEST(ChannelStagesThreads, SameBytesOnOneAndEightThreads) {
    for (Stage stage : {Stage::Transition, Stage::Split, Stage::Scale}) {
        // Only the scale has a direction to vary.
        const int32_t directions = stage == Stage::Scale ? 2 : 1;
        for (int32_t direction = 0; direction < directions; ++direction) {
            const bool vertical = direction == 1;
            std::vector<uint8_t> first;
            for (int32_t threads : {1, 8}) {
                StageRun r(stage, threads, {}, 129, 77);
                r.f.params.setCheckbox(kParamChannelScaleVertical, vertical);
                ASSERT_EQ(r.run(), PF_Err_NONE) << stageName(stage);
                expectBooksClean(r.f.host, stageName(stage));
                if (first.empty()) {
                    first = r.written().bytes;
                } else {
                    EXPECT_TRUE(r.written().bytes == first)
                        << stageName(stage) << " vertical " << vertical;
                }
            }
        }
    }
}

TEST(ChannelStagesThreads, SamplerFailureComesBackFromEightThreads) {
    for (int64_t occurrence : {0, 40}) {
        StageRun r(Stage::Scale, 8, failingCall("subpixel_sample", occurrence));
        EXPECT_EQ(r.run(), PF_Err_INTERNAL_STRUCT_DAMAGED) << occurrence;
        expectBooksClean(r.f.host, "sampler failure on eight threads");
    }
}

// A render at the defaults (channel glitch on) with a transition at work.
TEST(ChannelStagesThreads, FullRenderSameBytesOnOneAndEightThreads) {
    const std::vector<PF_ParamDef>& declared = corvexel::test::defaultParams();
    std::vector<uint8_t> first;
    for (int32_t threads : {1, 8}) {
        HostOptions options;
        options.threads = threads;
        Host host(options);
        host.setTime(5, 2);
        Frame input(96, 64), output(96, 64);
        paintRandom(&input, 77);
        ParamValues values(declared, input.world);
        ASSERT_EQ(values.at(kParamChannelEnable).u.bd.value, 1);
        values.setFloat(kParamCompletion, 35);
        ASSERT_EQ(host.send(EntryPointFunc, PF_Cmd_RENDER, values.array(), &output.world),
                  PF_Err_NONE);
        expectBooksClean(host, "render");
        const std::vector<std::string> log = host.callLog();
        EXPECT_NE(std::find(log.begin(), log.end(), "iterate_generic"), log.end())
            << "the channel scale did not run";
        if (first.empty()) {
            first = output.bytes;
        } else {
            EXPECT_TRUE(output.bytes == first) << "render differs on eight threads";
        }
    }
}

}  // namespace
