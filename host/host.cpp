// The embedded host: records, utility callbacks, the basic suite with its
// registry, worlds, handles, iteration on worker threads, sampling, the books
// and fault injection.
#include "host/host.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "host/host_state.h"
#include "host/world_transform.h"
#include "host/worker_pool.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define CORVEXEL_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define CORVEXEL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define CORVEXEL_POISON(p, n) ((void)(p), (void)(n))
#define CORVEXEL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace corvexel::host {

struct HandleBlock {
    void* data;          // first member: a PF_Handle points here
    A_HandleSize size;
};

// The memory of one world: its bytes and how many there are.
struct WorldBuffer {
    uint8_t* bytes;
    size_t size;
};

// Released worlds kept for reuse, at most this many. A render holds at most
// three worlds of one size at once, so three spares make every later frame
// of a sequence reuse memory that is already mapped.
constexpr size_t kMaxSpareWorlds = 3;

struct Host::State {
    HostOptions options;
    int32_t hardwareThreads = 1;
    PF_InData in{};
    PF_OutData out{};
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};
    std::map<std::pair<std::string, int32_t>, const void*> registry;
    std::vector<PF_ParamDef> declared;

    mutable std::mutex lock;
    Books books;
    std::vector<std::string> log;
    std::vector<GeometryCall> geometry;
    std::map<std::string, int64_t> occurrences;
    int64_t handleRequests = 0;
    std::map<void*, WorldBuffer> worlds;
    std::vector<WorldBuffer> spareWorlds;   // released, kept for reuse

    CallTimes times;
    std::unique_ptr<WorkerPool> pool;       // started on first use

    int32_t workerCount() const {
        return options.threads > 0 ? options.threads : hardwareThreads;
    }
};

namespace {

thread_local Host::State* tlsState = nullptr;
// The worker index of the calling thread while it works for parallelFor.
thread_local int32_t tlsThreadIndex = 0;

struct CurrentStateScope {
    Host::State* saved;
    explicit CurrentStateScope(Host::State* s) : saved(tlsState) { tlsState = s; }
    ~CurrentStateScope() { tlsState = saved; }
};

// ---------------------------------------------------------------- ANSI
int ansiSprintf(char* dst, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsprintf(dst, format, args);
    va_end(args);
    return n;
}
char* ansiStrcpy(char* dst, const char* src) { return std::strcpy(dst, src); }
double ansiAtan(double v) { return std::atan(v); }
double ansiAtan2(double y, double x) { return std::atan2(y, x); }
double ansiCeil(double v) { return std::ceil(v); }
double ansiCos(double v) { return std::cos(v); }
double ansiExp(double v) { return std::exp(v); }
double ansiFabs(double v) { return std::fabs(v); }
double ansiFloor(double v) { return std::floor(v); }
double ansiFmod(double a, double b) { return std::fmod(a, b); }
double ansiHypot(double a, double b) { return std::hypot(a, b); }
double ansiLog(double v) { return std::log(v); }
double ansiLog10(double v) { return std::log10(v); }
double ansiPow(double a, double b) { return std::pow(a, b); }
double ansiSin(double v) { return std::sin(v); }
double ansiSqrt(double v) { return std::sqrt(v); }
double ansiTan(double v) { return std::tan(v); }
double ansiAsin(double v) { return std::asin(v); }
double ansiAcos(double v) { return std::acos(v); }

const PF_ANSICallbacksSuite1 kAnsiSuite = {
    ansiAtan, ansiAtan2, ansiCeil, ansiCos, ansiExp, ansiFabs, ansiFloor, ansiFmod, ansiHypot,
    ansiLog, ansiLog10, ansiPow, ansiSin, ansiSqrt, ansiTan, ansiSprintf, ansiStrcpy, ansiAsin,
    ansiAcos};

// ---------------------------------------------------------------- handles
PF_Handle newHandle(A_HandleSize size) {
    Host::State* s = currentState();
    CallTimer timer(s, CallKind::kHandle);
    if (s != nullptr) {
        std::lock_guard<std::mutex> guard(s->lock);
        const int64_t number = s->handleRequests++;
        if (number == s->options.faults.failHandleNumber) return nullptr;
        if (s->options.faults.failCall == "host_new_handle" &&
            s->occurrences["host_new_handle"]++ == s->options.faults.failCallOccurrence) {
            return nullptr;
        }
    }
    void* data = ::operator new(size == 0 ? 1 : size, std::nothrow);
    if (data == nullptr) return nullptr;   // out of memory
    auto* block = new HandleBlock{data, size};
    if (s != nullptr) {
        std::lock_guard<std::mutex> guard(s->lock);
        ++s->books.handlesHeld;
        ++s->books.handlesCreated;
    }
    return &block->data;
}
void* lockHandle(PF_Handle h) {
    if (h == nullptr) return nullptr;
    CallTimer timer(currentState(), CallKind::kHandle);
    if (Host::State* s = currentState()) {
        std::lock_guard<std::mutex> guard(s->lock);
        ++s->books.handlesLocked;
    }
    return *h;
}
void unlockHandle(PF_Handle h) {
    if (h == nullptr) return;
    CallTimer timer(currentState(), CallKind::kHandle);
    if (Host::State* s = currentState()) {
        std::lock_guard<std::mutex> guard(s->lock);
        --s->books.handlesLocked;
    }
}
void disposeHandle(PF_Handle h) {
    if (h == nullptr) return;
    CallTimer timer(currentState(), CallKind::kHandle);
    auto* block = reinterpret_cast<HandleBlock*>(h);
    ::operator delete(block->data);
    delete block;
    if (Host::State* s = currentState()) {
        std::lock_guard<std::mutex> guard(s->lock);
        --s->books.handlesHeld;
    }
}
A_HandleSize handleSize(PF_Handle h) {
    return h == nullptr ? 0 : reinterpret_cast<HandleBlock*>(h)->size;
}
PF_Err resizeHandle(A_HandleSize size, PF_Handle* h) {
    if (h == nullptr || *h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    auto* block = reinterpret_cast<HandleBlock*>(*h);
    void* fresh = ::operator new(size == 0 ? 1 : size, std::nothrow);
    if (fresh == nullptr) return PF_Err_OUT_OF_MEMORY;
    std::memcpy(fresh, block->data, std::min(size, block->size));
    ::operator delete(block->data);
    block->data = fresh;
    block->size = size;
    return PF_Err_NONE;
}
const PF_HandleSuite1 kHandleSuite = {newHandle,  lockHandle,  unlockHandle,
                                      disposeHandle, handleSize, resizeHandle};

// ---------------------------------------------------------------- worlds
bool validWorld(const PF_EffectWorld* w) {
    return w != nullptr && w->data != nullptr && w->width >= 0 && w->height >= 0 &&
           w->rowbytes >= w->width * 4;
}

PF_Pixel8* pixelAt(const PF_EffectWorld* w, int32_t x, int32_t y) {
    return reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(w->data) +
                                        static_cast<int64_t>(y) * w->rowbytes +
                                        static_cast<int64_t>(x) * 4);
}

// Clips a rectangle (null = whole) to a world.
PF_Rect clipToWorld(const PF_Rect* r, const PF_EffectWorld* w) {
    PF_Rect c{0, 0, w->width, w->height};
    if (r != nullptr) {
        c.left = std::max(r->left, 0);
        c.top = std::max(r->top, 0);
        c.right = std::min(r->right, w->width);
        c.bottom = std::min(r->bottom, w->height);
    }
    return c;
}

// A released world of exactly `size` bytes, or null. When none fits, the
// spares of other sizes are let go: a host whose frame size changed keeps no
// memory it will not use. The caller holds the host's lock.
uint8_t* takeSpareWorld(Host::State* s, size_t size) {
    for (auto it = s->spareWorlds.begin(); it != s->spareWorlds.end(); ++it) {
        if (it->size != size) continue;
        uint8_t* bytes = it->bytes;
        s->spareWorlds.erase(it);
        s->books.keptWorldBytes -= static_cast<int64_t>(size);
        CORVEXEL_UNPOISON(bytes, size);
        return bytes;
    }
    for (const WorldBuffer& spare : s->spareWorlds) {
        CORVEXEL_UNPOISON(spare.bytes, spare.size);
        ::operator delete(spare.bytes);
    }
    s->spareWorlds.clear();
    s->books.keptWorldBytes = 0;
    return nullptr;
}

// Keeps a released world for reuse, or frees it when enough are kept. A
// kept world is poisoned in sanitizer builds, so a plug-in that still uses a
// disposed world is caught. The caller holds the host's lock.
void releaseWorldBuffer(Host::State* s, WorldBuffer buffer) {
    if (s->spareWorlds.size() >= kMaxSpareWorlds) {
        ::operator delete(buffer.bytes);
        return;
    }
    CORVEXEL_POISON(buffer.bytes, buffer.size);
    s->spareWorlds.push_back(buffer);
    s->books.keptWorldBytes += static_cast<int64_t>(buffer.size);
}

// A world's pixels are cleared only when the caller asks for it
// (PF_NewWorldFlag_CLEAR_PIXELS); otherwise they hold whatever the memory
// held, as the host's contract allows: a reused world keeps what its last
// owner left. The padding after every row always holds garbage (0xA5), so
// code that reads it shows.
PF_Err newWorld(PF_ProgPtr ref, A_long width, A_long height, PF_NewWorldFlags flags,
                PF_EffectWorld* world) {
    Host::State* s = stateFromRef(ref);
    if (s == nullptr || world == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    CallTimer timer(s, CallKind::kNewWorld);
    if (PF_Err err = enterCall(s, "new_world")) return err;
    if (width < 0 || height < 0 || width > 65536 || height > 65536) return PF_Err_BAD_CALLBACK_PARAM;
    const int32_t padding = s->options.rowPadding;
    const int32_t rowbytes = width * 4 + padding;
    const size_t size = static_cast<size_t>(rowbytes) * static_cast<size_t>(height) + 4;
    uint8_t* bytes = nullptr;
    {
        std::lock_guard<std::mutex> guard(s->lock);
        bytes = takeSpareWorld(s, size);
    }
    if (bytes == nullptr) bytes = static_cast<uint8_t*>(::operator new(size, std::nothrow));
    if (bytes == nullptr) return PF_Err_OUT_OF_MEMORY;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bytes + static_cast<size_t>(y) * rowbytes;
        if (flags & PF_NewWorldFlag_CLEAR_PIXELS) std::memset(row, 0, static_cast<size_t>(width) * 4);
        if (padding > 0) std::memset(row + static_cast<size_t>(width) * 4, 0xA5, size_t(padding));
    }
    std::memset(bytes + size - 4, 0, 4);
    *world = PF_EffectWorld{};
    world->data = reinterpret_cast<PF_Pixel8*>(bytes);
    world->rowbytes = rowbytes;
    world->width = width;
    world->height = height;
    world->extent_hint = PF_Rect{0, 0, width, height};
    world->pix_aspect_ratio = PF_RationalScale{1, 1};
    std::lock_guard<std::mutex> guard(s->lock);
    s->worlds[world->data] = WorldBuffer{bytes, size};
    ++s->books.worldsHeld;
    ++s->books.worldsCreated;
    s->books.worldBytesHeld += static_cast<int64_t>(size);
    s->books.peakWorldBytes =
        std::max(s->books.peakWorldBytes, s->books.worldBytesHeld + s->books.keptWorldBytes);
    return PF_Err_NONE;
}

PF_Err disposeWorld(PF_ProgPtr ref, PF_EffectWorld* world) {
    Host::State* s = stateFromRef(ref);
    if (s == nullptr || world == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    CallTimer timer(s, CallKind::kDisposeWorld);
    if (PF_Err err = enterCall(s, "dispose_world")) return err;
    std::lock_guard<std::mutex> guard(s->lock);
    auto it = s->worlds.find(world->data);
    if (it == s->worlds.end()) return PF_Err_BAD_CALLBACK_PARAM;
    const WorldBuffer buffer = it->second;
    s->worlds.erase(it);
    --s->books.worldsHeld;
    s->books.worldBytesHeld -= static_cast<int64_t>(buffer.size);
    releaseWorldBuffer(s, buffer);
    world->data = nullptr;
    return PF_Err_NONE;
}

// Fills and copies below this many pixels are not worth handing to the workers.
constexpr int64_t kParallelFillPixels = int64_t{1} << 18;

// Writes count copies of one pixel.
void fillPixels(PF_Pixel8* first, size_t count, PF_Pixel8 value) {
    if (value.alpha == value.red && value.alpha == value.green && value.alpha == value.blue) {
        std::memset(first, value.alpha, count * sizeof(PF_Pixel8));
        return;
    }
    std::fill_n(first, count, value);
}

PF_Err fillWorld(PF_ProgPtr ref, const PF_Pixel8* color, const PF_Rect* rect,
                 PF_EffectWorld* world) {
    Host::State* s = stateFromRef(ref);
    if (s == nullptr || !validWorld(world)) return PF_Err_BAD_CALLBACK_PARAM;
    CallTimer timer(s, CallKind::kFill);
    if (PF_Err err = enterCall(s, "fill")) return err;
    const PF_Pixel8 value = color ? *color : PF_Pixel8{0, 0, 0, 0};
    const PF_Rect c = clipToWorld(rect, world);
    if (c.right <= c.left || c.bottom <= c.top) return PF_Err_NONE;
    const size_t width = static_cast<size_t>(c.right - c.left);
    const int32_t rows = c.bottom - c.top;
    // A large fill is shared out over the workers in bands of rows.
    constexpr int32_t kBandRows = 16;
    const int32_t bands = static_cast<int64_t>(rows) * width < kParallelFillPixels
                              ? 1
                              : (rows + kBandRows - 1) / kBandRows;
    const int32_t rowsPerBand = (rows + bands - 1) / bands;
    return parallelFor(s, bands, [&](int32_t band, int32_t) {
        const int32_t end = std::min(c.bottom, c.top + (band + 1) * rowsPerBand);
        for (int32_t y = c.top + band * rowsPerBand; y < end; ++y) {
            fillPixels(pixelAt(world, c.left, y), width, value);
        }
        return PF_Err_NONE;
    });
}

// Whether two worlds' pixel memory overlaps.
bool shareMemory(const PF_EffectWorld* a, const PF_EffectWorld* b) {
    const auto span = [](const PF_EffectWorld* w) -> int64_t {
        if (w->width == 0 || w->height == 0) return 0;
        return int64_t(w->height - 1) * w->rowbytes + int64_t(w->width) * 4;
    };
    const auto start = [](const PF_EffectWorld* w) { return reinterpret_cast<uintptr_t>(w->data); };
    const int64_t spanA = span(a), spanB = span(b);
    return spanA > 0 && spanB > 0 && start(a) < start(b) + uintptr_t(spanB) &&
           start(b) < start(a) + uintptr_t(spanA);
}

// Copies src_r of src to dst_r of dst (null = whole world), same-size part
// from the top-left, clipped to both worlds. Rows are copied top to bottom,
// each as if through a buffer, so a world copied onto itself reads rows that
// earlier rows of the same copy may have written; between separate worlds a
// large copy is shared out over the workers.
PF_Err copyRect(Host::State* s, PF_EffectWorld* src, PF_EffectWorld* dst, const PF_Rect* srcR,
                const PF_Rect* dstR) {
    if (!validWorld(src) || !validWorld(dst)) return PF_Err_BAD_CALLBACK_PARAM;
    const PF_Rect sr = srcR ? *srcR : PF_Rect{0, 0, src->width, src->height};
    const PF_Rect dr = dstR ? *dstR : PF_Rect{0, 0, dst->width, dst->height};
    const int64_t w = std::min<int64_t>(int64_t(sr.right) - sr.left, int64_t(dr.right) - dr.left);
    const int64_t h = std::min<int64_t>(int64_t(sr.bottom) - sr.top, int64_t(dr.bottom) - dr.top);
    // The columns whose source and destination pixels both lie in their worlds.
    const int64_t first = std::max<int64_t>({0, -int64_t(sr.left), -int64_t(dr.left)});
    const int64_t end = std::min<int64_t>(
        {w, int64_t(src->width) - sr.left, int64_t(dst->width) - dr.left});
    if (end <= first) return PF_Err_NONE;
    const size_t bytes = static_cast<size_t>(end - first) * sizeof(PF_Pixel8);
    const int64_t top = std::max<int64_t>({0, -int64_t(sr.top), -int64_t(dr.top)});
    const int64_t bottom = std::min<int64_t>(
        {h, int64_t(src->height) - sr.top, int64_t(dst->height) - dr.top});
    if (bottom <= top) return PF_Err_NONE;
    const auto copyRows = [&](int64_t from, int64_t to) {
        for (int64_t j = from; j < to; ++j) {
            std::memmove(pixelAt(dst, int32_t(dr.left + first), int32_t(dr.top + j)),
                         pixelAt(src, int32_t(sr.left + first), int32_t(sr.top + j)), bytes);
        }
    };
    const int64_t rows = bottom - top;
    if (rows * (end - first) < kParallelFillPixels || shareMemory(src, dst)) {
        copyRows(top, bottom);
        return PF_Err_NONE;
    }
    constexpr int64_t kBandRows = 16;
    return parallelFor(s, int32_t((rows + kBandRows - 1) / kBandRows), [&](int32_t band, int32_t) {
        copyRows(top + band * kBandRows, std::min(bottom, top + (band + 1) * kBandRows));
        return PF_Err_NONE;
    });
}

PF_Err copyWorld(PF_ProgPtr ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* srcR,
                 PF_Rect* dstR) {
    Host::State* s = stateFromRef(ref);
    if (s == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    CallTimer timer(s, CallKind::kCopy);
    if (PF_Err err = enterCall(s, "copy")) return err;
    return copyRect(s, src, dst, srcR, dstR);
}

// ---------------------------------------------------------------- iteration
PF_Err iteratePixels(PF_InData* in, A_long, A_long, PF_EffectWorld* src, const PF_Rect* area,
                     void* refcon, PF_IteratePixel8Func fn, PF_EffectWorld* dst) {
    Host::State* s = in ? stateFromRef(in->effect_ref) : nullptr;
    if (s == nullptr || fn == nullptr || !validWorld(src) || !validWorld(dst)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    IterationTiming timing(s, CallKind::kIterate);
    if (PF_Err err = enterCall(s, "iterate")) return err;
    PF_Rect c = clipToWorld(area, src);
    c.right = std::min(c.right, dst->width);
    c.bottom = std::min(c.bottom, dst->height);
    const int32_t rows = std::max(0, c.bottom - c.top);
    return parallelFor(s, rows, [&](int32_t index, int32_t) -> PF_Err {
        const int32_t y = c.top + index;
        PF_Pixel8* in = pixelAt(src, 0, y);
        PF_Pixel8* out = pixelAt(dst, 0, y);
        return timing.run([&]() -> PF_Err {
            for (int32_t x = c.left; x < c.right; ++x) {
                if (PF_Err err = fn(refcon, x, y, in + x, out + x)) return err;
            }
            return PF_Err_NONE;
        });
    });
}

PF_Err iterateGeneric(A_long iterations, void* refcon, PF_IterateGenericFunc fn) {
    Host::State* s = currentState();
    if (s == nullptr || fn == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    IterationTiming timing(s, CallKind::kIterateGeneric);
    if (PF_Err err = enterCall(s, "iterate_generic")) return err;
    const int32_t count = iterations == PF_Iterations_ONCE_PER_PROCESSOR ? s->workerCount()
                                                                       : iterations;
    if (count < 0) return PF_Err_BAD_CALLBACK_PARAM;
    return parallelFor(s, count, [&](int32_t i, int32_t thread) -> PF_Err {
        return timing.run([&] { return fn(refcon, thread, i, count); });
    });
}

const PF_Iterate8Suite1 kIterateSuite = {iteratePixels, nullptr, nullptr, nullptr,
                                         iterateGeneric};

// ---------------------------------------------------------------- sampling
PF_Pixel8 edgePixel(const PF_EffectWorld* w, int64_t x, int64_t y) {
    x = std::clamp<int64_t>(x, 0, w->width - 1);
    y = std::clamp<int64_t>(y, 0, w->height - 1);
    return *pixelAt(w, int32_t(x), int32_t(y));
}

PF_Err sampleCommon(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb,
                    PF_Pixel8* out, bool bilinear) {
    Host::State* s = stateFromRef(ref);
    if (s == nullptr || pb == nullptr || out == nullptr || !validWorld(pb->src) ||
        pb->src->width == 0 || pb->src->height == 0) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    CallTimer timer(s, bilinear ? CallKind::kSubpixelSample : CallKind::kNearestSample);
    if (PF_Err err = enterCall(s, bilinear ? "subpixel_sample" : "nn_sample")) return err;
    const int64_t x0 = int64_t(x) >> 16, y0 = int64_t(y) >> 16;
    const uint32_t fx = uint32_t(x) & 0xFFFF, fy = uint32_t(y) & 0xFFFF;
    if (!bilinear || (fx == 0 && fy == 0)) {
        *out = edgePixel(pb->src, x0, y0);
        return PF_Err_NONE;
    }
    const PF_Pixel8 p00 = edgePixel(pb->src, x0, y0), p10 = edgePixel(pb->src, x0 + 1, y0);
    const PF_Pixel8 p01 = edgePixel(pb->src, x0, y0 + 1), p11 = edgePixel(pb->src, x0 + 1, y0 + 1);
    auto mix = [&](uint8_t a, uint8_t b, uint8_t c, uint8_t d) -> uint8_t {
        const uint64_t top = uint64_t(a) * (65536 - fx) + uint64_t(b) * fx;
        const uint64_t bottom = uint64_t(c) * (65536 - fx) + uint64_t(d) * fx;
        const uint64_t v = top * (65536 - fy) + bottom * fy;
        return uint8_t((v + (uint64_t(1) << 31)) >> 32);
    };
    out->alpha = mix(p00.alpha, p10.alpha, p01.alpha, p11.alpha);
    out->red = mix(p00.red, p10.red, p01.red, p11.red);
    out->green = mix(p00.green, p10.green, p01.green, p11.green);
    out->blue = mix(p00.blue, p10.blue, p01.blue, p11.blue);
    return PF_Err_NONE;
}
PF_Err subpixelSample(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb,
                      PF_Pixel8* out) {
    return sampleCommon(ref, x, y, pb, out, true);
}
PF_Err nearestSample(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb,
                     PF_Pixel8* out) {
    return sampleCommon(ref, x, y, pb, out, false);
}
const PF_Sampling8Suite1 kSamplingSuite = {nearestSample, subpixelSample, nullptr};

// ---------------------------------------------------------------- basic suite
SPErr acquireSuite(const char* name, int32_t version, const void** suite) {
    Host::State* s = currentState();
    if (s == nullptr || name == nullptr || suite == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    CallTimer timer(s, CallKind::kSuite);
    if (s->options.keepCallLog) {
        std::lock_guard<std::mutex> guard(s->lock);
        s->log.push_back(std::string("AcquireSuite:") + name);
    }
    *suite = nullptr;
    if (s->options.faults.missingSuites.count(name) != 0) return PF_Err_BAD_CALLBACK_PARAM;
    auto it = s->registry.find({name, version});
    if (it == s->registry.end()) return PF_Err_BAD_CALLBACK_PARAM;
    *suite = it->second;
    std::lock_guard<std::mutex> guard(s->lock);
    ++s->books.suitesHeld[name];
    ++s->books.suiteAcquisitions;
    return 0;
}

SPErr releaseSuite(const char* name, int32_t version) {
    Host::State* s = currentState();
    if (s == nullptr || name == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    CallTimer timer(s, CallKind::kSuite);
    std::lock_guard<std::mutex> guard(s->lock);
    if (s->options.keepCallLog) s->log.push_back(std::string("ReleaseSuite:") + name);
    if (s->registry.count({name, version}) == 0) return PF_Err_BAD_CALLBACK_PARAM;
    --s->books.suitesHeld[name];
    return 0;
}

PF_Err addParam(PF_ProgPtr ref, PF_ParamIndex, PF_ParamDef* def) {
    Host::State* s = stateFromRef(ref);
    if (s == nullptr || def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (PF_Err err = enterCall(s, "add_param")) return err;
    std::lock_guard<std::mutex> guard(s->lock);
    s->declared.push_back(*def);
    return PF_Err_NONE;
}

}  // namespace

// ---------------------------------------------------------------- host_state.h
Host::State* stateFromRef(PF_ProgPtr ref) { return reinterpret_cast<Host::State*>(ref); }

Host::State* currentState() { return tlsState; }

PF_Err enterCall(Host::State* s, const char* name) {
    if (s == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard<std::mutex> guard(s->lock);
    if (s->options.keepCallLog) s->log.push_back(name);
    const int64_t occurrence = s->occurrences[name]++;
    if (s->options.faults.failCall == name && occurrence == s->options.faults.failCallOccurrence) {
        return s->options.faults.failError;
    }
    return PF_Err_NONE;
}

bool recordsGeometry(const Host::State* s) { return s != nullptr && s->options.recordGeometry; }

void recordGeometry(Host::State* s, const GeometryCall& call) {
    if (s == nullptr || !s->options.recordGeometry) return;
    std::lock_guard<std::mutex> guard(s->lock);
    s->geometry.push_back(call);
}

CallTimes* callTimesOf(Host::State* s) {
    return s != nullptr && s->options.timeCalls ? &s->times : nullptr;
}

PF_Err parallelFor(Host::State* s, int32_t count,
                   const std::function<PF_Err(int32_t index, int32_t threadIndex)>& body) {
    if (count <= 0) return PF_Err_NONE;
    const int32_t workers = std::max(1, std::min(s->workerCount(), count));
    std::atomic<int32_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex errorLock;
    int32_t errorIndex = INT32_MAX;
    PF_Err firstError = PF_Err_NONE;
    const std::function<void(int32_t)> work = [&](int32_t thread) {
        while (!stop.load(std::memory_order_relaxed)) {
            const int32_t i = next.fetch_add(1);
            if (i >= count) break;
            const PF_Err err = body(i, thread);
            if (err != PF_Err_NONE) {
                std::lock_guard<std::mutex> guard(errorLock);
                if (i < errorIndex) {
                    errorIndex = i;
                    firstError = err;
                }
                stop.store(true);
            }
        }
    };
    if (workers == 1) {
        CurrentStateScope scope(s);
        work(0);
        return firstError;
    }
    {
        std::lock_guard<std::mutex> guard(s->lock);
        if (!s->pool) {
            s->pool = std::make_unique<WorkerPool>([s](int32_t) { tlsState = s; });
        }
    }
    // A call made from inside pool work runs on its own thread, with that
    // thread's index.
    s->pool->run(workers - 1, tlsThreadIndex, [&](int32_t thread) {
        CurrentStateScope scope(s);
        const int32_t saved = tlsThreadIndex;
        tlsThreadIndex = thread;
        work(thread);
        tlsThreadIndex = saved;
    });
    return firstError;
}

// ---------------------------------------------------------------- Host
Host::Host(HostOptions options) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.options = std::move(options);
    const unsigned hardware = std::thread::hardware_concurrency();
    s.hardwareThreads = hardware == 0 ? 1 : static_cast<int32_t>(hardware);
    s.utils.subpixel_sample = subpixelSample;
    s.utils.copy = copyWorld;
    s.utils.fill = fillWorld;
    s.utils.iterate = iteratePixels;
    s.utils.new_world = newWorld;
    s.utils.dispose_world = disposeWorld;
    s.utils.host_new_handle = newHandle;
    s.utils.host_lock_handle = lockHandle;
    s.utils.host_unlock_handle = unlockHandle;
    s.utils.host_dispose_handle = disposeHandle;
    s.utils.host_get_handle_size = handleSize;
    s.utils.iterate_generic = iterateGeneric;
    std::memcpy(&s.utils.ansi, &kAnsiSuite, sizeof(kAnsiSuite));
    s.utils.transfer_rect = reinterpret_cast<void*>(worldTransformSuite()->transfer_rect);
    s.utils.transform_world = reinterpret_cast<void*>(worldTransformSuite()->transform_world);

    s.registry[{kPFANSISuite, kPFANSISuiteVersion1}] = &kAnsiSuite;
    s.registry[{kPFHandleSuite, kPFHandleSuiteVersion1}] = &kHandleSuite;
    s.registry[{kPFIterate8Suite, kPFIterate8SuiteVersion1}] = &kIterateSuite;
    s.registry[{kPFSampling8Suite, kPFSampling8SuiteVersion1}] = &kSamplingSuite;
    s.registry[{kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1}] = worldTransformSuite();
    s.basic.AcquireSuite = acquireSuite;
    s.basic.ReleaseSuite = releaseSuite;

    s.in.inter.add_param = addParam;
    s.in.utils = &s.utils;
    s.in.effect_ref = reinterpret_cast<PF_ProgPtr>(&s);
    s.in.quality = PF_Quality_HI;
    s.in.field = PF_Field_FRAME;
    s.in.version = PF_SpecVersion{13, 2};
    s.in.time_scale = 1;
    s.in.time_step = 1;
    s.in.pica_basicP = &s.basic;
    s.in.downsample_x = s.in.downsample_y = s.in.pixel_aspect_ratio = PF_RationalScale{1, 1};
}

Host::~Host() {
    state_->pool.reset();
    for (auto& entry : state_->worlds) ::operator delete(entry.second.bytes);
    for (const WorldBuffer& spare : state_->spareWorlds) {
        CORVEXEL_UNPOISON(spare.bytes, spare.size);
        ::operator delete(spare.bytes);
    }
}

PF_InData* Host::inData() { return &state_->in; }
PF_OutData* Host::outData() { return &state_->out; }
Host::State* Host::state() { return state_.get(); }
HostOptions& Host::options() { return state_->options; }
const std::vector<PF_ParamDef>& Host::declaredParams() const { return state_->declared; }

PF_Err Host::send(PF_EntryPointFunc entry, PF_Cmd cmd, PF_ParamDef* params[],
                  PF_LayerDef* output) {
    CurrentStateScope scope(state_.get());
    if (output != nullptr) {
        state_->in.width = output->width;
        state_->in.height = output->height;
        state_->in.extent_hint = output->extent_hint;
    }
    CallTimes* times = callTimesOf(state_.get());
    if (times == nullptr) return entry(cmd, &state_->in, &state_->out, params, output, nullptr);
    const int64_t start = nowNanoseconds();
    const PF_Err err = entry(cmd, &state_->in, &state_->out, params, output, nullptr);
    times->commands.fetch_add(1);
    times->commandNanoseconds.fetch_add(nowNanoseconds() - start);
    return err;
}

void Host::setTime(int32_t currentTime, uint32_t timeScale) {
    state_->in.current_time = currentTime;
    state_->in.time_scale = timeScale;
}
void Host::setQuality(PF_Quality quality) { state_->in.quality = quality; }

std::vector<std::string> Host::callLog() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->log;
}
void Host::clearCallLog() {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->log.clear();
    state_->geometry.clear();
}
std::vector<GeometryCall> Host::geometryCalls() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->geometry;
}
Books Host::books() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->books;
}

void Host::releaseKeptWorlds() {
    std::lock_guard<std::mutex> guard(state_->lock);
    takeSpareWorld(state_.get(), 0);   // no world has 0 bytes: every kept one is let go
}

Timings Host::timings() const {
    Timings result;
    const CallTimes& times = state_->times;
    result.commands = times.commands.load();
    result.commandNanoseconds = times.commandNanoseconds.load();
    for (int32_t slot = 0; slot < CallTimes::kSlots; ++slot) {
        const int64_t calls = times.calls[slot].load();
        if (calls == 0) continue;
        result.byCall[timingSlotName(slot)] = CallTiming{calls, times.nanoseconds[slot].load()};
    }
    return result;
}

void Host::clearTimings() {
    CallTimes& times = state_->times;
    for (int32_t slot = 0; slot < CallTimes::kSlots; ++slot) {
        times.calls[slot].store(0);
        times.nanoseconds[slot].store(0);
    }
    times.commands.store(0);
    times.commandNanoseconds.store(0);
}

int64_t Timings::hostNanoseconds() const {
    int64_t total = 0;
    for (const auto& [name, timing] : byCall) {
        if (name != "iterate" && name != "iterate_generic") total += timing.nanoseconds;
    }
    return total;
}

int64_t Timings::pluginNanoseconds() const { return commandNanoseconds - hostNanoseconds(); }

bool Books::clean() const { return describe().empty(); }

std::string Books::describe() const {
    std::string text;
    for (const auto& [name, held] : suitesHeld) {
        if (held != 0) text += "suite \"" + name + "\" held " + std::to_string(held) + "; ";
    }
    if (worldsHeld != 0) text += "worlds held " + std::to_string(worldsHeld) + "; ";
    if (handlesHeld != 0) text += "handles held " + std::to_string(handlesHeld) + "; ";
    if (handlesLocked != 0) text += "handles locked " + std::to_string(handlesLocked) + "; ";
    return text;
}

// ---------------------------------------------------------------- Frame
Frame::Frame(int32_t width, int32_t height, int32_t rowPadding)
    : bytes(static_cast<size_t>(width * 4 + rowPadding) * height + 4, 0) {
    world.data = reinterpret_cast<PF_Pixel8*>(bytes.data());
    world.rowbytes = width * 4 + rowPadding;
    world.width = width;
    world.height = height;
    world.extent_hint = PF_Rect{0, 0, width, height};
    world.pix_aspect_ratio = PF_RationalScale{1, 1};
}
PF_Pixel8& Frame::at(int32_t x, int32_t y) { return *pixelAt(&world, x, y); }
const PF_Pixel8& Frame::at(int32_t x, int32_t y) const { return *pixelAt(&world, x, y); }
void Frame::fill(PF_Pixel8 colour) {
    for (int32_t y = 0; y < world.height; ++y)
        for (int32_t x = 0; x < world.width; ++x) at(x, y) = colour;
}

// ---------------------------------------------------------------- ParamValues
ParamValues::ParamValues(const std::vector<PF_ParamDef>& declared, const PF_LayerDef& input) {
    defs.resize(declared.size() + 1);
    defs[0].param_type = PF_Param_LAYER;
    defs[0].u.ld = input;
    for (size_t i = 0; i < declared.size(); ++i) {
        PF_ParamDef& d = defs[i + 1];
        d = declared[i];
        if (d.param_type == PF_Param_POINT) {
            d.u.td.x_value = PF_Fixed(int64_t(d.u.td.x_dephault) * input.width / 100);
            d.u.td.y_value = PF_Fixed(int64_t(d.u.td.y_dephault) * input.height / 100);
        }
    }
    for (auto& d : defs) pointers.push_back(&d);
}
PF_ParamDef** ParamValues::array() { return pointers.data(); }
PF_ParamDef& ParamValues::at(int32_t id) { return defs.at(size_t(id)); }
void ParamValues::setFloat(int32_t id, double v) { at(id).u.fs_d.value = v; }
void ParamValues::setInt(int32_t id, int32_t v) { at(id).u.sd.value = v; }
void ParamValues::setPopup(int32_t id, int32_t item) { at(id).u.pd.value = item; }
void ParamValues::setCheckbox(int32_t id, bool on) { at(id).u.bd.value = on ? 1 : 0; }
void ParamValues::setPoint(int32_t id, PF_Fixed x, PF_Fixed y) {
    at(id).u.td.x_value = x;
    at(id).u.td.y_value = y;
}

std::vector<PF_ParamDef> declareParams(PF_EntryPointFunc entry) {
    Host host;
    PF_LayerDef output{};
    if (PF_Err err = host.send(entry, PF_Cmd_PARAMS_SETUP, nullptr, &output)) {
        throw std::runtime_error("parameter set-up failed with error " + std::to_string(err));
    }
    return host.declaredParams();
}

}  // namespace corvexel::host
