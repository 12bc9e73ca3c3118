// The embedded host on its own: worlds, the suite registry and its books,
// handles, fault injection, iteration on worker threads, sampling, parameter
// values and module loading.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "host/host.h"
#include "host/worker_pool.h"

namespace corvexel::host {
namespace {

bool samePixel(const PF_Pixel8& a, const PF_Pixel8& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(HostWorlds, PaddedWorldsFillAndCopyClippedRectangles) {
    HostOptions options;
    options.rowPadding = 12;
    Host host(options);
    PF_InData* in = host.inData();
    PF_EffectWorld a{}, b{};
    ASSERT_EQ(in->utils->new_world(in->effect_ref, 5, 4, PF_NewWorldFlag_CLEAR_PIXELS, &a),
              PF_Err_NONE);
    ASSERT_EQ(in->utils->new_world(in->effect_ref, 5, 4, PF_NewWorldFlag_CLEAR_PIXELS, &b),
              PF_Err_NONE);
    EXPECT_EQ(a.rowbytes, 5 * 4 + 12);
    const PF_Pixel8 red{255, 255, 0, 0};
    PF_Rect corner{3, 2, 50, 50};   // reaches past the world: clipped
    ASSERT_EQ(in->utils->fill(in->effect_ref, &red, &corner, &a), PF_Err_NONE);
    PF_Rect src{3, 2, 5, 4}, dst{0, 0, 2, 2};
    ASSERT_EQ(in->utils->copy(in->effect_ref, &a, &b, &src, &dst), PF_Err_NONE);
    auto at = [](PF_EffectWorld& w, int x, int y) {
        return reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(w.data) + y * w.rowbytes)[x];
    };
    EXPECT_TRUE(samePixel(at(a, 4, 3), red));
    EXPECT_TRUE(samePixel(at(a, 2, 3), PF_Pixel8{}));
    EXPECT_TRUE(samePixel(at(b, 1, 1), red));
    EXPECT_TRUE(samePixel(at(b, 2, 2), PF_Pixel8{}));
    EXPECT_EQ(host.books().worldsHeld, 2);
    in->utils->dispose_world(in->effect_ref, &a);
    in->utils->dispose_world(in->effect_ref, &b);
    EXPECT_TRUE(host.books().clean()) << host.books().describe();
}

uint8_t* rowOf(const PF_EffectWorld& w, int32_t y) {
    return reinterpret_cast<uint8_t*>(w.data) + static_cast<ptrdiff_t>(y) * w.rowbytes;
}

bool paddingIsGarbage(const PF_EffectWorld& w) {
    for (int32_t y = 0; y < w.height; ++y) {
        for (int32_t i = w.width * 4; i < w.rowbytes; ++i)
            if (rowOf(w, y)[i] != 0xA5) return false;
    }
    return true;
}

TEST(HostWorlds, ReleasedWorldsAreReusedWithFreshPaddingAndClearedOnRequest) {
    HostOptions options;
    options.rowPadding = 6;
    Host host(options);
    PF_InData* in = host.inData();
    // A sequence of frames: three worlds at a time, scribbled over (padding
    // too), then disposed. Later frames reuse the memory, so the host's
    // worlds never take more than one frame's three.
    for (int32_t frame = 0; frame < 4; ++frame) {
        PF_EffectWorld worlds[3]{};
        for (PF_EffectWorld& w : worlds) {
            const PF_NewWorldFlags flags = frame == 3 ? PF_NewWorldFlag_CLEAR_PIXELS : 0;
            ASSERT_EQ(in->utils->new_world(in->effect_ref, 9, 7, flags, &w), PF_Err_NONE);
            EXPECT_TRUE(paddingIsGarbage(w)) << "frame " << frame;
            if (frame == 3) {
                for (int32_t y = 0; y < 7; ++y)
                    for (int32_t i = 0; i < 9 * 4; ++i) ASSERT_EQ(rowOf(w, y)[i], 0) << y << "," << i;
            }
            std::memset(w.data, 0x3C, static_cast<size_t>(w.rowbytes) * 7);
        }
        for (PF_EffectWorld& w : worlds) {
            ASSERT_EQ(in->utils->dispose_world(in->effect_ref, &w), PF_Err_NONE);
        }
    }
    const Books books = host.books();
    EXPECT_TRUE(books.clean()) << books.describe();
    EXPECT_EQ(books.worldsCreated, 12);
    EXPECT_EQ(books.worldBytesHeld, 0);
    const int64_t oneWorld = (9 * 4 + 6) * 7 + 4;
    EXPECT_EQ(books.keptWorldBytes, 3 * oneWorld);
    EXPECT_EQ(books.peakWorldBytes, 3 * oneWorld);
    // Another size: the spares of the old one are let go, not kept beside it.
    PF_EffectWorld big{};
    ASSERT_EQ(in->utils->new_world(in->effect_ref, 40, 30, 0, &big), PF_Err_NONE);
    EXPECT_EQ(host.books().peakWorldBytes, (40 * 4 + 6) * 30 + 4);
    EXPECT_TRUE(paddingIsGarbage(big));
    ASSERT_EQ(in->utils->dispose_world(in->effect_ref, &big), PF_Err_NONE);
    // A world disposed twice is refused the second time.
    EXPECT_EQ(in->utils->dispose_world(in->effect_ref, &big), PF_Err_BAD_CALLBACK_PARAM);
    // Kept worlds let go: the next world of that size is new memory, counted
    // from nothing kept.
    EXPECT_GT(host.books().keptWorldBytes, 0);
    host.releaseKeptWorlds();
    EXPECT_EQ(host.books().keptWorldBytes, 0);
    PF_EffectWorld again{};
    ASSERT_EQ(in->utils->new_world(in->effect_ref, 9, 7, 0, &again), PF_Err_NONE);
    EXPECT_TRUE(paddingIsGarbage(again));
    ASSERT_EQ(in->utils->dispose_world(in->effect_ref, &again), PF_Err_NONE);
    EXPECT_TRUE(host.books().clean()) << host.books().describe();
}

TEST(HostWorlds, CopyMatchesPixelByPixelCopyingForAnyRectanglesAndThreads) {
    // The copy callback moves whole row pieces, large copies on several
    // threads; it must land every pixel where copying pixel by pixel, row by
    // row from the top, would (rows read through a buffer), also within one
    // world (never shared out: rows depend on rows above) and past the edges.
    struct Case {
        bool sameWorld;
        PF_Rect from, to;
        int32_t width = 6, height = 5;
    } const cases[] = {
        {false, {0, 0, 6, 5}, {0, 0, 6, 5}},
        {false, {-2, -1, 4, 3}, {3, 2, 9, 6}},       // source and destination past the edges
        {false, {2, 1, 9, 9}, {-3, 0, 4, 8}},
        {false, {1, 1, 3, 3}, {0, 0, 5, 5}},         // the smaller size wins
        {false, {4, 0, 2, 5}, {0, 0, 6, 5}},         // empty source
        {true, {0, 0, 5, 4}, {1, 1, 6, 5}},          // down and right onto itself
        {true, {1, 1, 6, 5}, {0, 0, 5, 4}},          // up and left onto itself
        {true, {0, 0, 4, 5}, {2, 0, 6, 5}},          // sideways within rows
        // Large enough for the workers to share it, and onto itself, which
        // they must not.
        {false, {-3, -2, 700, 500}, {5, 1, 705, 503}, 700, 500},
        {true, {0, 0, 700, 499}, {0, 1, 700, 500}, 700, 500},
    };
    for (const Case& c : cases) {
        HostOptions options;
        options.threads = 3;
        Host host(options);
        PF_InData* in = host.inData();
        const int32_t W = c.width, H = c.height;
        Frame src(W, H, 8), dst(W, H, 4);
        Frame refSrc(W, H, 8), refDst(W, H, 4);
        for (Frame* f : {&src, &dst, &refSrc, &refDst}) {
            const uint8_t base = (f == &dst || f == &refDst) ? 100 : 0;
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x)
                    f->at(x, y) = PF_Pixel8{255, uint8_t(base + x), uint8_t(base + y), 9};
        }
        Frame& target = c.sameWorld ? src : dst;
        Frame& refTarget = c.sameWorld ? refSrc : refDst;
        PF_Rect from = c.from, to = c.to;
        ASSERT_EQ(in->utils->copy(in->effect_ref, &src.world, &target.world, &from, &to),
                  PF_Err_NONE);
        const int32_t w = std::min(c.from.right - c.from.left, c.to.right - c.to.left);
        const int32_t h = std::min(c.from.bottom - c.from.top, c.to.bottom - c.to.top);
        for (int32_t j = 0; j < h; ++j) {
            const int32_t sy = c.from.top + j, dy = c.to.top + j;
            if (sy < 0 || sy >= H || dy < 0 || dy >= H) continue;
            std::vector<PF_Pixel8> row;
            for (int32_t i = 0; i < w; ++i) {
                const int32_t sx = c.from.left + i;
                row.push_back(sx >= 0 && sx < W ? refSrc.at(sx, sy) : PF_Pixel8{});
            }
            for (int32_t i = 0; i < w; ++i) {
                const int32_t sx = c.from.left + i, dx = c.to.left + i;
                if (sx >= 0 && sx < W && dx >= 0 && dx < W) refTarget.at(dx, dy) = row[i];
            }
        }
        EXPECT_EQ(target.bytes, refTarget.bytes) << "case from " << c.from.left << ","
                                                  << c.from.top << " to " << c.to.left << ","
                                                  << c.to.top;
    }
}

TEST(HostSuites, RegistryCountsAcquisitionsAndRefusesMissingSuites) {
    HostOptions options;
    options.faults.missingSuites = {kPFSampling8Suite};
    Host host(options);
    auto probe = [](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*,
                    void*) -> PF_Err {
        const void* suite = nullptr;
        if (in->pica_basicP->AcquireSuite(kPFANSISuite, 1, &suite) != 0 || suite == nullptr) return 1;
        if (in->pica_basicP->AcquireSuite(kPFSampling8Suite, 1, &suite) == 0) return 2;
        if (in->pica_basicP->AcquireSuite(kPFHandleSuite, 1, &suite) == 0) return 3;   // wrong version
        return PF_Err_NONE;
    };
    ASSERT_EQ(host.send(probe, PF_Cmd_ABOUT, nullptr, nullptr), PF_Err_NONE);
    EXPECT_FALSE(host.books().clean());
    EXPECT_EQ(host.books().suitesHeld.at(kPFANSISuite), 1);
    auto release = [](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*,
                      void*) -> PF_Err { return in->pica_basicP->ReleaseSuite(kPFANSISuite, 1); };
    ASSERT_EQ(host.send(release, PF_Cmd_ABOUT, nullptr, nullptr), PF_Err_NONE);
    EXPECT_TRUE(host.books().clean()) << host.books().describe();
}

TEST(HostHandles, CountsAndInjectedFailure) {
    HostOptions options;
    options.faults.failHandleNumber = 1;
    Host host(options);
    struct Probe {
        static PF_Err run(PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
            PF_UtilCallbacks* u = in->utils;
            PF_Handle first = u->host_new_handle(64);
            PF_Handle second = u->host_new_handle(64);   // the injected failure
            if (first == nullptr || second != nullptr) return 1;
            auto* bytes = static_cast<uint8_t*>(u->host_lock_handle(first));
            std::memset(bytes, 7, 64);
            if (u->host_get_handle_size(first) != 64) return 2;
            u->host_unlock_handle(first);
            u->host_dispose_handle(first);
            return PF_Err_NONE;
        }
    };
    ASSERT_EQ(host.send(Probe::run, PF_Cmd_RENDER, nullptr, nullptr), PF_Err_NONE);
    EXPECT_EQ(host.books().handlesCreated, 1);
    EXPECT_TRUE(host.books().clean()) << host.books().describe();
}

// The chosen occurrence fails whether or not the host keeps its call log
// (front ends that render for hours turn the log off).
TEST(HostFaults, ChosenOccurrenceOfACallFails) {
    for (bool keepLog : {true, false}) {
        HostOptions options;
        options.faults.failCall = "fill";
        options.faults.failCallOccurrence = 1;
        options.faults.failError = PF_Err_OUT_OF_MEMORY;
        options.keepCallLog = keepLog;
        Host host(options);
        Frame frame(2, 2);
        PF_InData* in = host.inData();
        EXPECT_EQ(in->utils->fill(in->effect_ref, nullptr, nullptr, &frame.world), PF_Err_NONE);
        EXPECT_EQ(in->utils->fill(in->effect_ref, nullptr, nullptr, &frame.world),
                  PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(in->utils->fill(in->effect_ref, nullptr, nullptr, &frame.world), PF_Err_NONE);
        EXPECT_EQ(host.callLog(), keepLog ? (std::vector<std::string>{"fill", "fill", "fill"})
                                          : std::vector<std::string>{});
    }
}

struct CountRefcon {
    int32_t failAtRow;
};

PF_Err invertPixel(void* refcon, A_long, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
    if (y == static_cast<CountRefcon*>(refcon)->failAtRow) return PF_Err_INVALID_CALLBACK;
    *out = PF_Pixel8{in->alpha, uint8_t(255 - in->red), uint8_t(in->green ^ y), uint8_t(in->blue + y)};
    return PF_Err_NONE;
}

// What the iterating entry point below works on.
struct IterationJob {
    PF_EffectWorld* src;
    PF_EffectWorld* dst;
    CountRefcon refcon;
};
IterationJob* currentJob = nullptr;

PF_Err iterateJob(PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
    return in->utils->iterate(in, 0, 0, currentJob->src, nullptr, &currentJob->refcon,
                              invertPixel, currentJob->dst);
}

// Thread: iteration gives the same bytes whatever the number of workers, and
// the first error stops the work and comes back.
TEST(HostIterationThreads, SameBytesForAnyThreadCountAndErrorsComeBack) {
    std::vector<uint8_t> results[2];
    const int32_t threadCounts[2] = {1, 8};
    for (int k = 0; k < 2; ++k) {
        HostOptions options;
        options.threads = threadCounts[k];
        Host host(options);
        Frame src(37, 29), dst(37, 29);
        for (int y = 0; y < 29; ++y)
            for (int x = 0; x < 37; ++x) src.at(x, y) = PF_Pixel8{255, uint8_t(x * 7), uint8_t(y), 9};
        IterationJob job{&src.world, &dst.world, CountRefcon{-1}};
        currentJob = &job;
        ASSERT_EQ(host.send(iterateJob, PF_Cmd_RENDER, nullptr, nullptr), PF_Err_NONE);
        results[k] = dst.bytes;
        job.refcon.failAtRow = 11;
        EXPECT_EQ(host.send(iterateJob, PF_Cmd_RENDER, nullptr, nullptr), PF_Err_INVALID_CALLBACK);
        currentJob = nullptr;
    }
    EXPECT_EQ(results[0], results[1]);
}

PF_Err recordIteration(void* refcon, A_long thread, A_long i, A_long count) {
    auto* seen = static_cast<int32_t*>(refcon);
    if (thread < 0 || i < 0 || i >= count) return PF_Err_BAD_CALLBACK_PARAM;
    seen[i] += 1;
    return i == 40 ? PF_Err_OUT_OF_MEMORY : PF_Err_NONE;
}

TEST(HostIterationThreads, GenericIterationVisitsEachIndexOnceAndReturnsErrors) {
    HostOptions options;
    options.threads = 4;
    Host host(options);
    static int32_t seen[100];
    std::memset(seen, 0, sizeof seen);
    auto run = [](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) -> PF_Err {
        return in->utils->iterate_generic(40, seen, recordIteration);
    };
    ASSERT_EQ(host.send(run, PF_Cmd_RENDER, nullptr, nullptr), PF_Err_NONE);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(seen[i], 1) << i;
    auto failing = [](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) -> PF_Err {
        return in->utils->iterate_generic(100, seen, recordIteration);
    };
    EXPECT_EQ(host.send(failing, PF_Cmd_RENDER, nullptr, nullptr), PF_Err_OUT_OF_MEMORY);
}

// Thread: the pool's workers are started once and kept; each run gives every
// index its turn; a run from inside a run, or from a second thread while one
// is going, is done on the calling thread alone.
TEST(HostWorkerPoolThreads, WorkersLiveAcrossRunsAndNestedRunsStayOnTheirThread) {
    std::atomic<int32_t> started{0};
    WorkerPool pool([&](int32_t) { ++started; });
    std::atomic<int32_t> calls[4] = {};
    for (int32_t run = 0; run < 50; ++run) {
        pool.run(3, 0, [&](int32_t index) { ++calls[index]; });
    }
    EXPECT_EQ(started.load(), 3);
    EXPECT_EQ(pool.threadCount(), 3);
    for (int32_t index = 0; index < 4; ++index) EXPECT_EQ(calls[index].load(), 50) << index;

    std::atomic<int32_t> nested{0};
    std::atomic<bool> nestedOnOwnThread{true};
    pool.run(3, 0, [&](int32_t index) {
        const std::thread::id self = std::this_thread::get_id();
        pool.run(3, index, [&](int32_t inner) {
            if (inner != index || std::this_thread::get_id() != self) nestedOnOwnThread = false;
            ++nested;
        });
    });
    EXPECT_EQ(nested.load(), 4);
    EXPECT_TRUE(nestedOnOwnThread.load());

    std::atomic<int32_t> total{0};
    std::thread other([&] {
        for (int32_t run = 0; run < 20; ++run) pool.run(2, 0, [&](int32_t) { ++total; });
    });
    for (int32_t run = 0; run < 20; ++run) pool.run(2, 0, [&](int32_t) { ++total; });
    other.join();
    // Each run does its work at least once per taking part thread: three
    // when the pool took it, one when the calling thread did it alone.
    EXPECT_GE(total.load(), 40);
    EXPECT_LE(total.load(), 120);
}

// The host's timings: which calls are the host's, which the plug-in's, and
// that nothing is kept unless asked for.
PF_Err sampleInsideIteration(void* refcon, A_long, A_long, A_long) {
    auto* in = static_cast<PF_InData*>(refcon);
    Frame frame(2, 2);
    PF_SampPB pb{};
    pb.src = &frame.world;
    PF_Pixel8 out{};
    return in->utils->subpixel_sample(in->effect_ref, 1 << 15, 0, &pb, &out);
}

PF_Err timedCommand(PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
    PF_EffectWorld world{};
    if (PF_Err err = in->utils->new_world(in->effect_ref, 64, 64, 0, &world)) return err;
    in->utils->fill(in->effect_ref, nullptr, nullptr, &world);
    in->utils->fill(in->effect_ref, nullptr, nullptr, &world);
    in->utils->iterate_generic(6, in, sampleInsideIteration);
    return in->utils->dispose_world(in->effect_ref, &world);
}

TEST(HostTimings, HostCallsAndIterationsAreKeptApartOnlyWhenAsked) {
    for (bool timeCalls : {false, true}) {
        HostOptions options;
        options.threads = 3;
        options.timeCalls = timeCalls;
        Host host(options);
        ASSERT_EQ(host.send(timedCommand, PF_Cmd_RENDER, nullptr, nullptr), PF_Err_NONE);
        ASSERT_EQ(host.send(timedCommand, PF_Cmd_RENDER, nullptr, nullptr), PF_Err_NONE);
        const Timings timings = host.timings();
        if (!timeCalls) {
            EXPECT_EQ(timings.commands, 0);
            EXPECT_TRUE(timings.byCall.empty());
            continue;
        }
        EXPECT_EQ(timings.commands, 2);
        const std::map<std::string, int64_t> expectedCalls = {
            {"new_world", 2}, {"fill", 4}, {"dispose_world", 2},
            {"iterate_generic", 2}, {"subpixel_sample", 12}};
        std::map<std::string, int64_t> calls;
        for (const auto& [name, timing] : timings.byCall) {
            calls[name] = timing.calls;
            EXPECT_GE(timing.nanoseconds, 0) << name;
        }
        EXPECT_EQ(calls, expectedCalls);
        // The sampling inside the iteration is the host's; the iteration
        // itself is the plug-in's. The two shares make up the commands' time.
        const int64_t iterations = timings.byCall.at("iterate_generic").nanoseconds;
        EXPECT_EQ(timings.hostNanoseconds() + iterations,
                  [&] {
                      int64_t all = 0;
                      for (const auto& entry : timings.byCall) all += entry.second.nanoseconds;
                      return all;
                  }());
        EXPECT_LE(timings.hostNanoseconds(), timings.commandNanoseconds);
        EXPECT_EQ(timings.pluginNanoseconds(),
                  timings.commandNanoseconds - timings.hostNanoseconds());
        host.clearTimings();
        EXPECT_TRUE(host.timings().byCall.empty());
        EXPECT_EQ(host.timings().commandNanoseconds, 0);
    }
}

TEST(HostSampling, WholePixelsExactMidpointsBlendEdgesClamp) {
    Host host;
    Frame src(2, 1);
    src.at(0, 0) = PF_Pixel8{255, 0, 100, 7};
    src.at(1, 0) = PF_Pixel8{255, 200, 100, 9};
    PF_SampPB pb{};
    pb.src = &src.world;
    PF_InData* in = host.inData();
    struct Case {
        PF_Fixed x, y;
        PF_Pixel8 expected;
    } cases[] = {
        {0, 0, {255, 0, 100, 7}},
        {1 << 16, 0, {255, 200, 100, 9}},
        {1 << 15, 0, {255, 100, 100, 8}},
        {-(5 << 16), 3 << 16, {255, 0, 100, 7}},     // outside: nearest edge
        {9 << 16, -(2 << 16), {255, 200, 100, 9}},
    };
    for (const Case& c : cases) {
        PF_Pixel8 out{};
        ASSERT_EQ(in->utils->subpixel_sample(in->effect_ref, c.x, c.y, &pb, &out), PF_Err_NONE);
        EXPECT_TRUE(samePixel(out, c.expected)) << c.x << "," << c.y << " -> " << int(out.red);
    }
}

TEST(HostParams, PointDefaultsBecomeLayerPixels) {
    PF_ParamDef point{};
    point.param_type = PF_Param_POINT;
    point.u.td.x_dephault = 50 << 16;
    point.u.td.y_dephault = 100 << 16;
    Frame layer(1920, 1080);
    ParamValues values({point}, layer.world);
    EXPECT_EQ(values.at(1).u.td.x_value, 960 << 16);
    EXPECT_EQ(values.at(1).u.td.y_value, 1080 << 16);
    EXPECT_EQ(values.array()[0]->u.ld.width, 1920);
}

TEST(HostModule, MissingFileGivesAClearError) {
    std::string error;
    EXPECT_EQ(PluginModule::load("/nonexistent/Corvexel.so", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/Corvexel.so"), std::string::npos) << error;
    auto module = PluginModule::load(CORVEXEL_MODULE_PATH, &error);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_NE(module->entry(), nullptr);
}

}  // namespace
}  // namespace corvexel::host
