// The render pipeline through EntryPointFunc on the real
// embedded host: the order of the host calls of a render, a failure injected
// into every host call a render makes, missing suites, the pending-error
// rule, the noise preview, and the dither after a failed compression step.
//
// Two spies sit in the host's utility callbacks: one keeps the output's
// pixels after every successful copy into it (with the copy's place in the
// call log), one keeps the pixels of every world handed back. Everything else
// is read from the host's call log and books.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "host/blend_modes.h"
#include "noise/noise_field.h"
#include "support/image_stage_fixture.h"

namespace {

using corvexel::host::Books;
using corvexel::host::FaultPlan;
using corvexel::host::Frame;
using corvexel::host::Host;
using corvexel::host::HostOptions;
using corvexel::host::ParamValues;
using corvexel::test::defaultParams;
using corvexel::test::paintDetailed;

using Pixels = std::vector<PF_Pixel8>;
using Log = std::vector<std::string>;

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr int32_t kHostRowPadding = 8;     // the host's worlds have padded rows
constexpr int32_t kOutputRowPadding = 4;
constexpr PF_Pixel8 kSentinel{77, 11, 22, 33};   // the output before the render
constexpr uint8_t kPadding = 0xA5;                // its row padding
constexpr PF_Err kFirstError = 7;           // injected at a call's first occurrence
constexpr PF_Err kLaterError = 4711;        // injected at a later occurrence

Pixels pixelsOf(const PF_EffectWorld& world) {
    Pixels out;
    for (int32_t y = 0; y < world.height; ++y) {
        const auto* row = reinterpret_cast<const PF_Pixel8*>(
            reinterpret_cast<const uint8_t*>(world.data) + static_cast<int64_t>(y) * world.rowbytes);
        out.insert(out.end(), row, row + world.width);
    }
    return out;
}

bool samePixels(const Pixels& a, const Pixels& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(PF_Pixel8)) == 0);
}

Pixels uniform(PF_Pixel8 p) {
    return Pixels(static_cast<size_t>(kWidth) * kHeight, p);
}

bool isSuiteCall(const std::string& call) {
    return call.rfind("AcquireSuite:", 0) == 0 || call.rfind("ReleaseSuite:", 0) == 0;
}

// The log without suite acquisitions and releases.
Log significant(const Log& log) {
    Log out;
    for (const std::string& call : log)
        if (!isSuiteCall(call)) out.push_back(call);
    return out;
}

int64_t countOf(const Log& log, const std::string& call) {
    return std::count(log.begin(), log.end(), call);
}

// Index in `log` of occurrence `n` (0-based) of `call`; log.size() if none.
size_t indexOf(const Log& log, const std::string& call, int64_t n = 0) {
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i] == call && n-- == 0) return i;
    return log.size();
}

std::string joined(const Log& log) {
    std::string text;
    for (const std::string& call : log) text += call + " ";
    return text;
}

// ---------------------------------------------------------------- spies
struct Spy {
    struct OutputCopy {
        size_t logIndex;   // where the copy stands in the host's call log
        Pixels pixels;     // the output right after it
    };
    Host* host = nullptr;
    const void* outputData = nullptr;
    PF_Err (*hostCopy)(PF_ProgPtr, PF_EffectWorld*, PF_EffectWorld*, PF_Rect*, PF_Rect*) = nullptr;
    PF_Err (*hostDispose)(PF_ProgPtr, PF_EffectWorld*) = nullptr;
    std::vector<OutputCopy> outputCopies;
    std::vector<Pixels> disposed;   // every world handed back, in order
};

Spy* activeSpy = nullptr;

PF_Err spyCopy(PF_ProgPtr ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* srcR,
               PF_Rect* dstR) {
    PF_Err err = activeSpy->hostCopy(ref, src, dst, srcR, dstR);
    if (err == PF_Err_NONE && dst != nullptr && dst->data == activeSpy->outputData) {
        activeSpy->outputCopies.push_back({activeSpy->host->callLog().size() - 1, pixelsOf(*dst)});
    }
    return err;
}

PF_Err spyDispose(PF_ProgPtr ref, PF_EffectWorld* world) {
    if (world != nullptr && world->data != nullptr) activeSpy->disposed.push_back(pixelsOf(*world));
    return activeSpy->hostDispose(ref, world);
}

// ---------------------------------------------------------------- one render
enum class Variant {
    Defaults,          // declared defaults: channel, colour and image glitch on
    Compression,       // the defaults with the compression glitch on
    CompressionOnly,   // only the compression glitch
    Everything,        // every step and every host call a render can make
};

const char* nameOf(Variant v) {
    switch (v) {
    case Variant::Defaults: return "defaults";
    case Variant::Compression: return "defaults+compression";
    case Variant::CompressionOnly: return "compression only";
    case Variant::Everything: return "everything";
    }
    return "?";
}

void applyVariant(ParamValues* p, Variant v) {
    switch (v) {
    case Variant::Defaults:
        break;
    case Variant::Compression:
        p->setCheckbox(kParamCompressionEnable, true);
        break;
    case Variant::CompressionOnly:
        p->setCheckbox(kParamChannelEnable, false);
        p->setCheckbox(kParamColorEnable, false);
        p->setCheckbox(kParamImageEnable, false);
        p->setCheckbox(kParamCompressionEnable, true);
        break;
    case Variant::Everything:
        p->setCheckbox(kParamCompressionEnable, true);
        p->setFloat(kParamCompletion, 50);              // the transition runs
        p->setCheckbox(kParamCompositeOver, true);      // step 12 copies the input
        p->setCheckbox(kParamFillGaps, true);           // channel scale samples
        p->setCheckbox(kParamVerticalSort, true);       // streak columns take handles
        p->setFloat(kParamBlockAmount, 100);            // blocks are copied (copy_hq)
        p->setFloat(kParamBlockWidth, 8);
        p->setFloat(kParamBlockHeight, 8);
        break;
    }
}

struct RenderRun {
    explicit RenderRun(Variant variant, FaultPlan faults = {}, int32_t threads = 1)
        : host(HostOptions{threads, kHostRowPadding, faults}),
          input(kWidth, kHeight),
          output(kWidth, kHeight, kOutputRowPadding),
          params(defaultParams(), input.world) {
        paintDetailed(&input);
        output.fill(kSentinel);
        for (int32_t y = 0; y < kHeight; ++y)   // row padding that must stay as it is
            std::memset(output.bytes.data() + y * output.world.rowbytes + kWidth * 4, kPadding,
                        kOutputRowPadding);
        applyVariant(&params, variant);
        spy.host = &host;
        spy.outputData = output.world.data;
        PF_UtilCallbacks* utils = host.inData()->utils;
        spy.hostCopy = utils->copy;
        spy.hostDispose = utils->dispose_world;
        utils->copy = spyCopy;
        utils->dispose_world = spyDispose;
    }
    PF_Err render() {
        activeSpy = &spy;
        PF_Err err = host.send(&EntryPointFunc, PF_Cmd_RENDER, params.array(), &output.world);
        activeSpy = nullptr;
        return err;
    }
    Pixels outputPixels() const { return pixelsOf(output.world); }
    Log log() const { return host.callLog(); }

    Host host;
    Frame input;
    Frame output;
    ParamValues params;
    Spy spy;
};

// What the output holds when a render stops at the call with index
// `failIndex` of the fault-free render's log: the content of the last copy
// into the output made before it, or what it held before the render.
Pixels outputWhenStoppedAt(const RenderRun& reference, size_t failIndex) {
    Pixels expected = uniform(kSentinel);
    for (const Spy::OutputCopy& copy : reference.spy.outputCopies)
        if (copy.logIndex < failIndex) expected = copy.pixels;
    return expected;
}

// After the failing call only frames are created and disposed and suites
// handed back: no fill, copy, composite or stage call.
void expectOnlyFramesAndReleasesAfter(const Log& log, size_t failIndex, const std::string& what) {
    for (size_t i = failIndex + 1; i < log.size(); ++i) {
        const std::string& call = log[i];
        EXPECT_TRUE(call == "new_world" || call == "dispose_world" ||
                    call.rfind("ReleaseSuite:", 0) == 0)
            << what << ": \"" << call << "\" at " << i << " after the failure at " << failIndex
            << "\n  log: " << joined(log);
    }
}

// ---------------------------------------------------------------- 1. call order
// The significant host calls of each step of a render, in the order the
// pipeline makes them, with the calls each stage makes inside its step.
const Log kWorkingFrame = {"new_world", "fill"};                        // step 2
const Log kTransform = {"transform_world"};                             // step 5, transform glitch
const Log kTransition = {"iterate"};                                    // step 6, transition
const Log kCopyIntoOutput = {"copy"};                                   // step 7
const Log kChannelGroup = {"new_world", "fill", "iterate",              // 8.1 A, split
                           "new_world", "fill", "iterate_generic",      // 8.2 B, scale
                           "transfer_rect",                             // 8.3
                           "dispose_world", "dispose_world"};           // 8.4
const Log kColorGroup = {"new_world", "fill", "copy",                   // step 9, colour glitch
                         "transfer_rect", "dispose_world"};
const Log kImageGroup = {"iterate_generic",                             // 10.1 streak
                         "new_world", "fill", "transfer_rect",          // 10.2 slice
                         "dispose_world",
                         "new_world", "fill", "iterate_generic",        // 10.3 block
                         "transfer_rect", "dispose_world"};
const Log kCompressionGroup = {"iterate", "iterate_generic", "iterate"};   // step 11, compression
const Log kCompositeOver = {"copy"};                                    // step 12
const Log kFinal = {"transfer_rect", "dispose_world"};                  // steps 13, 14

Log concat(std::initializer_list<Log> parts) {
    Log out;
    for (const Log& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// The suites: each acquired once, all handed back after the working frame
// is disposed (step 14), none held afterwards.
void expectSuitesReturnedLast(const RenderRun& r) {
    const Log log = r.log();
    size_t lastDispose = 0;
    size_t firstRelease = log.size();
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == "dispose_world") lastDispose = i;
        if (log[i].rfind("ReleaseSuite:", 0) == 0 && firstRelease == log.size()) firstRelease = i;
    }
    EXPECT_LT(lastDispose, firstRelease) << joined(log);
    for (const std::string& call : log) {
        if (call.rfind("AcquireSuite:", 0) != 0) continue;
        const std::string name = call.substr(std::strlen("AcquireSuite:"));
        EXPECT_EQ(countOf(log, call), 1) << name;
        EXPECT_EQ(countOf(log, "ReleaseSuite:" + name), 1) << name;
    }
    EXPECT_TRUE(r.host.books().clean()) << r.host.books().describe();
}

// At most three frames of the render's own exist at once.
int64_t mostFramesAtOnce(const Log& log) {
    int64_t held = 0, most = 0;
    for (const std::string& call : log) {
        if (call == "new_world") most = std::max(most, ++held);
        if (call == "dispose_world") --held;
    }
    return most;
}

TEST(RenderPipelineOnHost, DefaultsCallTheHostInTheStepOrder) {
    RenderRun r(Variant::Defaults);
    ASSERT_EQ(r.render(), PF_Err_NONE);
    const Log expected = concat({kWorkingFrame, kTransform, kCopyIntoOutput, kChannelGroup,
                                 kColorGroup, kImageGroup, kFinal});
    EXPECT_EQ(significant(r.log()), expected) << joined(significant(r.log()));
    expectSuitesReturnedLast(r);
    EXPECT_EQ(mostFramesAtOnce(r.log()), 3);
    EXPECT_EQ(r.host.books().worldsCreated, 6);

    // The one copy into the output is step 7's, and it holds the layer as the
    // identity transform draws it: In Front at opacity 100 (254) over the
    // transparent working frame.
    ASSERT_EQ(r.spy.outputCopies.size(), 1u);
    EXPECT_EQ(r.spy.outputCopies[0].logIndex, indexOf(r.log(), "copy", 0));
    Pixels layerOverNothing;
    for (const PF_Pixel8& p : pixelsOf(r.input.world))
        layerOverNothing.push_back(
            corvexel::host::compositePixel(PF_Xfer_IN_FRONT, p, PF_Pixel8{0, 0, 0, 0}, 254));
    EXPECT_TRUE(samePixels(r.spy.outputCopies[0].pixels, layerOverNothing));
    // The working frame, disposed last, went over the output at the end.
    EXPECT_FALSE(samePixels(r.outputPixels(), r.spy.outputCopies[0].pixels));
}

TEST(RenderPipelineOnHost, StepOrderForEachSetOfEnabledSteps) {
    struct Case {
        const char* name;
        void (*setup)(ParamValues*);
        Log expected;
    };
    const Case cases[] = {
        {"compression on", [](ParamValues* p) { p->setCheckbox(kParamCompressionEnable, true); },
         concat({kWorkingFrame, kTransform, kCopyIntoOutput, kChannelGroup, kColorGroup,
                 kImageGroup, kCompressionGroup, kFinal})},
        {"completion above 0", [](ParamValues* p) { p->setFloat(kParamCompletion, 0.5); },
         concat({kWorkingFrame, kTransform, kTransition, kCopyIntoOutput, kChannelGroup,
                 kColorGroup, kImageGroup, kFinal})},
        {"composite over", [](ParamValues* p) { p->setCheckbox(kParamCompositeOver, true); },
         concat({kWorkingFrame, kTransform, kCopyIntoOutput, kChannelGroup, kColorGroup,
                 kImageGroup, kCompositeOver, kFinal})},
        {"channel glitch only",
         [](ParamValues* p) {
             p->setCheckbox(kParamColorEnable, false);
             p->setCheckbox(kParamImageEnable, false);
         },
         concat({kWorkingFrame, kTransform, kCopyIntoOutput, kChannelGroup, kFinal})},
        {"colour and compression only",
         [](ParamValues* p) {
             p->setCheckbox(kParamChannelEnable, false);
             p->setCheckbox(kParamImageEnable, false);
             p->setCheckbox(kParamCompressionEnable, true);
         },
         concat({kWorkingFrame, kTransform, kCopyIntoOutput, kColorGroup, kCompressionGroup,
                 kFinal})},
        {"every group off",
         [](ParamValues* p) {
             p->setCheckbox(kParamChannelEnable, false);
             p->setCheckbox(kParamColorEnable, false);
             p->setCheckbox(kParamImageEnable, false);
         },
         concat({kWorkingFrame, kTransform, kCopyIntoOutput, kFinal})},
    };
    for (const Case& c : cases) {
        RenderRun r(Variant::Defaults);
        c.setup(&r.params);
        ASSERT_EQ(r.render(), PF_Err_NONE) << c.name;
        EXPECT_EQ(significant(r.log()), c.expected) << c.name << ": " << joined(significant(r.log()));
        expectSuitesReturnedLast(r);
        EXPECT_LE(mostFramesAtOnce(r.log()), 3) << c.name;
    }
}

// The variant that reaches every host call: the sampling and block copies
// sit inside their stages' generic iterations.
TEST(RenderPipelineOnHost, EverythingVariantReachesEveryHostCall) {
    RenderRun r(Variant::Everything);
    ASSERT_EQ(r.render(), PF_Err_NONE);
    const Log log = r.log();
    for (const char* call : {"new_world", "fill", "copy", "transform_world", "transfer_rect",
                             "iterate", "iterate_generic", "subpixel_sample", "copy_hq"})
        EXPECT_GT(countOf(log, call), 0) << call;
    EXPECT_GT(r.host.books().handlesCreated, 1);
    // Step 12 copied the untouched input layer into the output.
    ASSERT_EQ(r.spy.outputCopies.size(), 2u);
    EXPECT_TRUE(samePixels(r.spy.outputCopies[1].pixels, pixelsOf(r.input.world)));
    const size_t scale = indexOf(log, "iterate_generic", 0);
    const size_t firstSample = indexOf(log, "subpixel_sample", 0);
    EXPECT_LT(scale, firstSample);
    EXPECT_LT(firstSample, indexOf(log, "transfer_rect", 0));   // inside the channel scale
    const size_t block = indexOf(log, "iterate_generic", 2);
    EXPECT_LT(block, indexOf(log, "copy_hq", 0));
    EXPECT_LT(indexOf(log, "copy_hq", countOf(log, "copy_hq") - 1),
              indexOf(log, "transfer_rect", 3));                 // inside the glitch block
    expectSuitesReturnedLast(r);
}

// ---------------------------------------------------------------- 2. injected failures
// Every host call a render makes fails in turn, at its first, a middle and
// its last occurrence, with one and with three host threads. The render returns that error (4 for a refused
// handle, the stages' own code), writes into the output only what the copies
// before the failure wrote, makes no further call but frame creation and
// disposal, still creates every frame the fault-free render creates, and
// gives back every world, handle and suite.
TEST(RenderPipelineOnHost, EveryFailingHostCallEndsTheRenderCleanly) {
    const char* const kCalls[] = {"new_world",       "fill",            "copy",
                                  "transform_world", "transfer_rect",   "iterate",
                                  "iterate_generic", "subpixel_sample", "copy_hq",
                                  "handle"};
    int32_t casesRun = 0;
    for (Variant variant : {Variant::Defaults, Variant::Compression, Variant::Everything}) {
        RenderRun reference(variant);
        ASSERT_EQ(reference.render(), PF_Err_NONE) << nameOf(variant);
        const Log refLog = reference.log();
        const Books refBooks = reference.host.books();

        for (const std::string call : kCalls) {
            const bool handle = call == "handle";
            const int64_t count = handle ? refBooks.handlesCreated : countOf(refLog, call);
            if (variant == Variant::Everything) {
                ASSERT_GT(count, 0) << call << " is never reached";
            }
            if (count == 0) continue;   // e.g. subpixel_sample and copy_hq at the defaults
            std::vector<int64_t> occurrences = {0, count / 2, count - 1};
            occurrences.erase(std::unique(occurrences.begin(), occurrences.end()),
                              occurrences.end());

            for (int64_t occurrence : occurrences)
            for (int32_t threads : {1, 3}) {
                const std::string what = std::string(nameOf(variant)) + ", " + call + " #" +
                                         std::to_string(occurrence) + " of " +
                                         std::to_string(count) + ", " +
                                         std::to_string(threads) + " threads";
                FaultPlan faults;
                PF_Err expectedError;
                if (handle) {
                    faults.failHandleNumber = occurrence;
                    expectedError = PF_Err_OUT_OF_MEMORY;
                } else {
                    faults.failCall = call;
                    faults.failCallOccurrence = occurrence;
                    faults.failError = occurrence == 0 ? kFirstError : kLaterError;
                    expectedError = faults.failError;
                }
                RenderRun r(variant, faults, threads);
                EXPECT_EQ(r.render(), expectedError) << what;
                ++casesRun;
                const Books books = r.host.books();
                EXPECT_TRUE(books.clean()) << what << ": " << books.describe();
                EXPECT_EQ(books.worldsCreated,
                          refBooks.worldsCreated - (call == "new_world" ? 1 : 0))
                    << what << ": frames are created whatever is pending";

                const Log log = r.log();
                Pixels expectedOutput;
                if (handle) {
                    // Handles are only asked for by the stages of steps 8 to 11,
                    // after the copy into the output and before the composite-over
                    // copy: the output keeps step 7's copy.
                    ASSERT_FALSE(reference.spy.outputCopies.empty());
                    expectedOutput = reference.spy.outputCopies.front().pixels;
                    if (threads == 1) {
                        EXPECT_EQ(books.handlesCreated, occurrence) << what;
                    }
                } else {
                    const size_t failIndex = indexOf(refLog, call, occurrence);
                    ASSERT_LT(failIndex, refLog.size()) << what;
                    expectedOutput = outputWhenStoppedAt(reference, failIndex);
                    // With one host thread the log is repeatable: everything up
                    // to the failing call went as without the fault, and nothing
                    // but frame creation and disposal came after it.
                    if (threads == 1) {
                        ASSERT_LT(failIndex, log.size()) << what;
                        EXPECT_TRUE(std::equal(refLog.begin(), refLog.begin() + failIndex + 1,
                                               log.begin()))
                            << what << "\n  log: " << joined(log);
                        expectOnlyFramesAndReleasesAfter(log, failIndex, what);
                    }
                }
                EXPECT_TRUE(samePixels(r.outputPixels(), expectedOutput)) << what;
            }
        }
    }
    EXPECT_GT(casesRun, 100);
}

// Two faults: the glitch slice's handle is refused (4), and the glitch
// block's scratch frame cannot be created afterwards (7). The first error
// stays the render's result.
TEST(RenderPipelineOnHost, FirstErrorStaysPending) {
    FaultPlan faults;
    faults.failHandleNumber = 0;          // the glitch slice's scratch block
    faults.failCall = "new_world";
    faults.failCallOccurrence = 5;        // working, A, B, colour B, slice B, block A
    faults.failError = kFirstError;
    RenderRun r(Variant::Defaults, faults);
    EXPECT_EQ(r.render(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(countOf(r.log(), "new_world"), 6);
    EXPECT_EQ(r.host.books().worldsCreated, 5);
    EXPECT_TRUE(r.host.books().clean()) << r.host.books().describe();
}

// ---------------------------------------------------------------- 3. missing suites
// A suite the host does not have ends the render with 516; the frames made
// so far are disposed, the suites obtained are handed back, and the output
// holds only what was copied into it before the suite was asked for.
TEST(RenderPipelineOnHost, MissingSuiteReturns516AndDisposesEveryFrame) {
    struct Case {
        const char* suite;
        Variant variant;
    };
    const Case cases[] = {
        {kPFWorldTransformSuite, Variant::Defaults},   // transform glitch, before step 7
        {kPFIterate8Suite, Variant::Defaults},         // channel split
        {kPFANSISuite, Variant::Defaults},             // first stage composite
        {kPFHandleSuite, Variant::Defaults},           // glitch slice
        {kPFHandleSuite, Variant::CompressionOnly},    // inside a compression block, on a host thread
        {kPFIterate8Suite, Variant::CompressionOnly},
        {kPFSampling8Suite, Variant::Everything},      // inside a channel scale line
        {kPFHandleSuite, Variant::Everything},         // inside a streak column
        {kPFWorldTransformSuite, Variant::Everything},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.suite) + " missing, " + nameOf(c.variant);
        RenderRun reference(c.variant);
        ASSERT_EQ(reference.render(), PF_Err_NONE) << what;
        const Log refLog = reference.log();
        const std::string acquire = std::string("AcquireSuite:") + c.suite;
        const size_t refIndex = indexOf(refLog, acquire);
        ASSERT_LT(refIndex, refLog.size()) << what << ": the render never asks for it";

        for (int32_t threads : {1, 3}) {
            FaultPlan faults;
            faults.missingSuites.insert(c.suite);
            RenderRun r(c.variant, faults, threads);
            EXPECT_EQ(r.render(), PF_Err_BAD_CALLBACK_PARAM) << what;
            const Books books = r.host.books();
            EXPECT_TRUE(books.clean()) << what << ": " << books.describe();
            const Log log = r.log();
            EXPECT_EQ(countOf(log, "dispose_world"), books.worldsCreated) << what;
            EXPECT_TRUE(samePixels(r.outputPixels(), outputWhenStoppedAt(reference, refIndex)))
                << what << ", " << threads << " threads";
            if (threads == 1) {
                EXPECT_EQ(indexOf(log, acquire), refIndex) << what;
                EXPECT_TRUE(std::equal(refLog.begin(), refLog.begin() + refIndex + 1, log.begin()))
                    << what << "\n  log: " << joined(log);
                expectOnlyFramesAndReleasesAfter(log, refIndex, what);
            }
        }
    }
}

// ---------------------------------------------------------------- 4. pending error, noise preview
// An error from the channel split skips the channel scale and
// everything after it; scratch frames A and B are both still disposed, and
// the later groups' frames are still created and disposed, never filled.
TEST(RenderPipelineOnHost, ChannelSplitErrorSkipsEverythingAfterIt) {
    FaultPlan faults;
    faults.failCall = "iterate";   // the channel split's
    faults.failError = kFirstError;
    RenderRun r(Variant::Defaults, faults);
    EXPECT_EQ(r.render(), kFirstError);
    const Log expected = concat({kWorkingFrame, kTransform, kCopyIntoOutput,
                                 {"new_world", "fill", "iterate",       // A, the failing split
                                  "new_world",                          // B, never filled
                                  "dispose_world", "dispose_world",     // A and B
                                  "new_world", "dispose_world",         // colour glitch's B
                                  "new_world", "dispose_world",         // glitch slice's B
                                  "new_world", "dispose_world",         // glitch block's A
                                  "dispose_world"}});                   // working frame
    EXPECT_EQ(significant(r.log()), expected) << joined(significant(r.log()));
    EXPECT_TRUE(r.host.books().clean()) << r.host.books().describe();
    ASSERT_EQ(r.spy.outputCopies.size(), 1u);
    EXPECT_TRUE(samePixels(r.outputPixels(), r.spy.outputCopies[0].pixels));
}

// An error from the pixel streak skips the glitch slice and the
// glitch block; their scratch frames are still created and disposed, but
// not filled or used.
TEST(RenderPipelineOnHost, PixelStreakErrorSkipsSliceAndBlock) {
    FaultPlan faults;
    faults.failCall = "iterate_generic";
    faults.failCallOccurrence = 1;   // 0 is the channel scale's
    faults.failError = kLaterError;
    RenderRun r(Variant::Defaults, faults);
    EXPECT_EQ(r.render(), kLaterError);
    const Log expected = concat({kWorkingFrame, kTransform, kCopyIntoOutput, kChannelGroup,
                                 kColorGroup,
                                 {"iterate_generic",                    // the failing streak
                                  "new_world", "dispose_world",         // slice's B
                                  "new_world", "dispose_world",         // block's A
                                  "dispose_world"}});                   // working frame
    EXPECT_EQ(significant(r.log()), expected) << joined(significant(r.log()));
    EXPECT_EQ(r.host.books().handlesCreated, 0);
    EXPECT_TRUE(r.host.books().clean()) << r.host.books().describe();
}

// The grey picture step N describes, computed here from the parameters.
Pixels noisePicture(RenderRun& r) {
    PF_ParamDef** p = r.params.array();
    NoiseField noise;
    noise.init(intParam(p, kParamRandomSeed), static_cast<float>(floatParam(p, kParamCorvexelSpeed)),
               static_cast<float>(r.host.inData()->current_time) /
                   static_cast<float>(r.host.inData()->time_scale),
               kHeight, static_cast<float>(floatParam(p, kParamGain)),
               static_cast<float>(floatParam(p, kParamLacunarity)), intParam(p, kParamOctaves));
    Pixels out;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const auto grey = static_cast<uint8_t>(
                static_cast<int32_t>(noise.sampleSpan(x, y, 256.0f, 1.0f)));
            out.push_back(PF_Pixel8{255, grey, grey, grey});
        }
    return out;
}

// "Show noise engine": the output is the opaque grey noise picture whatever
// the transform, the stages and "Composite Over" say; the render creates,
// fills and disposes its working frame and makes no other host call, so it
// needs no suite at all.
TEST(RenderPipelineOnHost, NoisePreviewReplacesEverythingAndNeedsNoSuite) {
    for (Variant variant : {Variant::Defaults, Variant::Everything}) {
        RenderRun r(variant);
        r.host.setTime(5, 4);
        r.params.setCheckbox(kParamShowNoise, true);
        r.params.setInt(kParamRandomSeed, 9);
        r.params.setFloat(kParamScale, 40);
        ASSERT_EQ(r.render(), PF_Err_NONE) << nameOf(variant);
        EXPECT_EQ(r.log(), (Log{"new_world", "fill", "dispose_world"})) << joined(r.log());
        EXPECT_TRUE(samePixels(r.outputPixels(), noisePicture(r))) << nameOf(variant);
        EXPECT_TRUE(r.host.books().clean()) << r.host.books().describe();
        // The row padding of the output is left alone.
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t b = 0; b < kOutputRowPadding; ++b)
                ASSERT_EQ(r.output.bytes[y * r.output.world.rowbytes + kWidth * 4 + b], kPadding);
    }
    FaultPlan noSuites;
    noSuites.missingSuites = {kPFANSISuite, kPFWorldTransformSuite, kPFIterate8Suite,
                              kPFSampling8Suite, kPFHandleSuite};
    RenderRun bare(Variant::Everything, noSuites);
    bare.params.setCheckbox(kParamShowNoise, true);
    EXPECT_EQ(bare.render(), PF_Err_NONE);
    EXPECT_TRUE(samePixels(bare.outputPixels(), noisePicture(bare)));
}

// The working frame's fill fails: step 4 still draws the preview (it is not
// one of the steps a pending error skips), disposes the frame and returns
// the pending error.
TEST(RenderPipelineOnHost, NoisePreviewReturnsThePendingFillError) {
    FaultPlan faults;
    faults.failCall = "fill";
    faults.failError = kFirstError;
    RenderRun r(Variant::Defaults, faults);
    r.params.setCheckbox(kParamShowNoise, true);
    EXPECT_EQ(r.render(), kFirstError);
    EXPECT_EQ(r.log(), (Log{"new_world", "fill", "dispose_world"})) << joined(r.log());
    EXPECT_TRUE(samePixels(r.outputPixels(), noisePicture(r)));
    EXPECT_TRUE(r.host.books().clean()) << r.host.books().describe();

    // The working frame cannot be made: nothing to fill or dispose.
    FaultPlan noFrame;
    noFrame.failCall = "new_world";
    noFrame.failError = kLaterError;
    RenderRun n(Variant::Defaults, noFrame);
    n.params.setCheckbox(kParamShowNoise, true);
    EXPECT_EQ(n.render(), kLaterError);
    EXPECT_EQ(n.log(), (Log{"new_world"}));
    EXPECT_TRUE(n.host.books().clean()) << n.host.books().describe();
}

// ---------------------------------------------------------------- 5. no dither after a failed compression
// At the defaults the dither step is 12: after it every colour
// byte of the working frame is a multiple of 12.
bool everyColourAMultipleOf(const Pixels& pixels, int32_t step) {
    for (const PF_Pixel8& p : pixels)
        if (p.red % step != 0 || p.green % step != 0 || p.blue % step != 0) return false;
    return true;
}

TEST(RenderPipelineOnHost, NoDitherAfterAFailedCompressionStep) {
    // Control: without a fault the working frame, disposed last, is dithered.
    RenderRun dithered(Variant::Compression);
    ASSERT_EQ(dithered.render(), PF_Err_NONE);
    ASSERT_FALSE(dithered.spy.disposed.empty());
    EXPECT_TRUE(everyColourAMultipleOf(dithered.spy.disposed.back(), 12));

    // The working frame as the compression group finds it: the end of a
    // render at the defaults, where the image glitch is the last group.
    RenderRun defaults(Variant::Defaults);
    ASSERT_EQ(defaults.render(), PF_Err_NONE);
    const Pixels beforeCompression = defaults.spy.disposed.back();
    ASSERT_FALSE(everyColourAMultipleOf(beforeCompression, 12));

    // Generic iterations: channel scale, pixel streak, glitch block, then the
    // compression's blocks.
    ASSERT_EQ(countOf(dithered.log(), "iterate_generic"), 4);
    const int64_t compressionBlocks = 3;

    struct Case {
        const char* name;
        FaultPlan faults;
        PF_Err error;
        bool untouched;   // the failure came before the first conversion
    };
    auto failCall = [](const char* call, int64_t occurrence, PF_Err err) {
        FaultPlan f;
        f.failCall = call;
        f.failCallOccurrence = occurrence;
        f.failError = err;
        return f;
    };
    FaultPlan blockHandle;
    blockHandle.failHandleNumber = 3;   // handle 0 is the glitch slice's, the rest the blocks'
    const Case cases[] = {
        {"handle refused inside a block", blockHandle, PF_Err_OUT_OF_MEMORY, false},
        {"block iteration fails", failCall("iterate_generic", compressionBlocks, kLaterError),
         kLaterError, false},
        {"conversion to Y Cb Cr fails", failCall("iterate", 1, kFirstError), kFirstError, true},
        {"conversion back to RGB fails", failCall("iterate", 2, kLaterError), kLaterError, false},
    };
    for (const Case& c : cases) {
        RenderRun r(Variant::Compression, c.faults);
        EXPECT_EQ(r.render(), c.error) << c.name;
        EXPECT_TRUE(r.host.books().clean()) << c.name << ": " << r.host.books().describe();
        ASSERT_FALSE(r.spy.disposed.empty());
        const Pixels& working = r.spy.disposed.back();
        EXPECT_FALSE(everyColourAMultipleOf(working, 12)) << c.name << ": the dither ran";
        if (c.untouched) {
            EXPECT_TRUE(samePixels(working, beforeCompression)) << c.name;
        } else {
            EXPECT_FALSE(samePixels(working, beforeCompression)) << c.name;
        }
        // Nothing composited afterwards: the output keeps step 7's copy.
        ASSERT_EQ(r.spy.outputCopies.size(), 1u) << c.name;
        EXPECT_TRUE(samePixels(r.outputPixels(), r.spy.outputCopies[0].pixels)) << c.name;
        const Log log = significant(r.log());
        EXPECT_EQ(countOf(log, "transfer_rect"), 4) << c.name << ": " << joined(log);
        EXPECT_EQ(log.back(), "dispose_world") << c.name;
    }
}

}  // namespace
