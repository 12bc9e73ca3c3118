// corvexel.so through its frei0r entry points, loaded with dlopen as video
// tools load it: the parameter table, value round trips, the settings
// string, renders equal to the command line's for the same frame and time,
// the error paths, and instances used from several threads.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "host/host.h"
#include "tools/frame_time.h"
#include "tools/param_catalog.h"
#include "tools/settings.h"

extern "C" {
#include <frei0r.h>
}

namespace {

using corvexel::host::Frame;
using corvexel::host::Host;
using corvexel::host::HostOptions;
using corvexel::host::ParamValues;
using corvexel::host::PluginModule;

using Pixels = std::vector<uint32_t>;

// The module's entry points, as a host finds them.
struct Frei0r {
    void* handle = nullptr;
    int (*init)() = nullptr;
    void (*deinit)() = nullptr;
    void (*pluginInfo)(f0r_plugin_info_t*) = nullptr;
    void (*paramInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;

    Frei0r() {
        handle = dlopen(CORVEXEL_FREI0R_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        auto load = [&](auto* target, const char* name) {
            *target = reinterpret_cast<std::remove_pointer_t<decltype(target)>>(dlsym(handle, name));
        };
        load(&init, "f0r_init");
        load(&deinit, "f0r_deinit");
        load(&pluginInfo, "f0r_get_plugin_info");
        load(&paramInfo, "f0r_get_param_info");
        load(&construct, "f0r_construct");
        load(&destruct, "f0r_destruct");
        load(&setParam, "f0r_set_param_value");
        load(&getParam, "f0r_get_param_value");
        load(&update, "f0r_update");
        init();
    }
    ~Frei0r() {
        if (handle == nullptr) return;
        deinit();
        dlclose(handle);
    }

    int paramIndex(const std::string& name) const {
        f0r_plugin_info_t info{};
        pluginInfo(&info);
        for (int i = 0; i < info.num_params; ++i) {
            f0r_param_info_t p{};
            paramInfo(&p, i);
            if (name == p.name) return i;
        }
        return -1;
    }
};

Frei0r& module() {
    static Frei0r loaded;
    return loaded;
}

// One instance of a given size, destroyed with the test.
struct Instance {
    Instance(unsigned width, unsigned height) : handle(module().construct(width, height)) {}
    ~Instance() { module().destruct(handle); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void setString(int index, const std::string& text) {
        const char* value = text.c_str();
        module().setParam(handle, &value, index);
    }
    void setSettings(const std::string& text) { setString(0, text); }
    std::string settings() {
        const char* value = nullptr;
        module().getParam(handle, &value, 0);
        return value == nullptr ? "(null)" : value;
    }
    void setDouble(const std::string& name, double value) {
        module().setParam(handle, &value, module().paramIndex(name));
    }
    double getDouble(const std::string& name) {
        double value = -1;
        module().getParam(handle, &value, module().paramIndex(name));
        return value;
    }
    Pixels render(double time, const Pixels& input) {
        Pixels output(input.size(), 0xDEADBEEF);
        module().update(handle, time, input.data(), output.data());
        return output;
    }

    f0r_instance_t handle;
};

// A deterministic picture with gradients, edges and some transparency.
Pixels picture(int width, int height, uint32_t seed = 7) {
    Pixels pixels(static_cast<size_t>(width) * height);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t bytes[4] = {static_cast<uint8_t>(x * 255 / std::max(1, width - 1)),
                                static_cast<uint8_t>(y * 255 / std::max(1, height - 1)),
                                static_cast<uint8_t>((x / 5 + y / 3) % 2 ? 230 : random() % 64),
                                static_cast<uint8_t>(x % 7 == 0 ? 128 : 255)};
            std::memcpy(&pixels[static_cast<size_t>(y) * width + x], bytes, 4);
        }
    }
    return pixels;
}

// What `corvexel render` makes of the same picture: the plug-in module loaded
// from its file, the settings applied with the command line's parser, the
// frame time handed over as the command line hands it.
Pixels referenceRender(const Pixels& input, int width, int height, FrameTime time,
                       const std::vector<std::pair<std::string, std::string>>& settings = {}) {
    std::string error;
    static auto plugin = PluginModule::load(CORVEXEL_MODULE_PATH, &error);
    static const auto declared = corvexel::host::declareParams(plugin->entry());
    static const auto catalog = buildParamCatalog(declared);
    Frame in(width, height), out(width, height);
    for (size_t i = 0; i < input.size(); ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(&input[i]);
        in.at(static_cast<int32_t>(i % width), static_cast<int32_t>(i / width)) =
            PF_Pixel8{p[3], p[0], p[1], p[2]};
    }
    ParamValues values(declared, in.world);
    for (const auto& [key, text] : settings) {
        EXPECT_EQ(applySetting(catalog, &values, key, text), "") << key;
    }
    Host host(HostOptions{2, 0, {}});
    host.setTime(time.currentTime, time.timeScale);
    EXPECT_EQ(host.send(plugin->entry(), PF_Cmd_RENDER, values.array(), &out.world), PF_Err_NONE);
    Pixels result(input.size());
    for (size_t i = 0; i < result.size(); ++i) {
        const PF_Pixel8& p = out.at(static_cast<int32_t>(i % width), static_cast<int32_t>(i / width));
        const uint8_t bytes[4] = {p.red, p.green, p.blue, p.alpha};
        std::memcpy(&result[i], bytes, 4);
    }
    return result;
}

FrameTime frameTime(int64_t frame, uint32_t num, uint32_t den) {
    FrameTime time;
    EXPECT_TRUE(frameTimeAt(frame, num, den, &time));
    return time;
}

TEST(Frei0rModule, DescribesItselfAsAnRgbaFilterWithUniquelyNamedParameters) {
    ASSERT_NE(module().handle, nullptr) << dlerror();
    f0r_plugin_info_t info{};
    module().pluginInfo(&info);
    EXPECT_STREQ(info.name, "corvexel");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    // settings, the 65 controls (101 declarations less 18 group starts and
    // 18 group ends), Render Threads.
    ASSERT_EQ(info.num_params, 67);
    std::set<std::string> names;
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t p{};
        module().paramInfo(&p, i);
        ASSERT_NE(p.name, nullptr);
        EXPECT_TRUE(names.insert(p.name).second) << "duplicate name " << p.name;
    }
    const struct {
        int index;
        const char* name;
        int type;
    } expected[] = {
        {0, "settings", F0R_PARAM_STRING},
        {1, "Corvexel Amount", F0R_PARAM_DOUBLE},
        {3, "Random Seed", F0R_PARAM_DOUBLE},
        {6, "Transition/Channel", F0R_PARAM_DOUBLE},
        {8, "Transform Glitch/Position", F0R_PARAM_POSITION},
        {13, "Transform Glitch/Crop 2", F0R_PARAM_POSITION},
        {17, "Transform Glitch/Composite Over", F0R_PARAM_BOOL},
        {18, "Channel Glitch/Enable", F0R_PARAM_BOOL},
        {66, "Render Threads", F0R_PARAM_DOUBLE},
    };
    for (const auto& e : expected) {
        f0r_param_info_t p{};
        module().paramInfo(&p, e.index);
        EXPECT_STREQ(p.name, e.name) << e.index;
        EXPECT_EQ(p.type, e.type) << e.name;
    }
}

TEST(Frei0rModule, ValuesRoundTripThroughTheirFrei0rForm) {
    Instance instance(64, 36);
    // Defaults as frei0r values: sliders as positions on the slider,
    // popups as item numbers.
    EXPECT_DOUBLE_EQ(instance.getDouble("Corvexel Amount"), 0.5);
    EXPECT_DOUBLE_EQ(instance.getDouble("Transform Glitch/Scale"), 0.75);   // 100 on -200 .. 200
    EXPECT_DOUBLE_EQ(instance.getDouble("Transition/Channel"), 7);
    EXPECT_DOUBLE_EQ(instance.getDouble("Image Glitch/Glitch Slice/Transfer Mode"), 33);
    EXPECT_DOUBLE_EQ(instance.getDouble("Channel Glitch/Enable"), 1);
    EXPECT_NEAR(instance.getDouble("Image Glitch/Glitch Block/Horizontal Size"), 140.0 / 54, 1e-12);

    const struct {
        const char* name;
        double set;
        double got;
    } cases[] = {
        {"Corvexel Amount", 0.35, 0.35},
        {"Corvexel Amount", 0.123456, 0.1235},                  // in the slider's 0.01 steps
        {"Advanced/Randomness/Lacunarity", 0.416667, 12.5 / 30}, // 12.5 written with 6 digits
        {"Random Seed", 1234.0 / 32768, 1234.0 / 32768},
        {"Random Seed", 1234.4 / 32768, 1234.0 / 32768},        // whole numbers only
        {"Transform Glitch/Scale", 0.1, 0.1},                    // -160
        {"Transform Glitch/Scale", 100.0, 75.5},                 // clamped to 30000
        {"Channel Glitch/Channel Scale/Channel", 8, 8},
        {"Channel Glitch/Channel Scale/Channel", 5, 8},          // a separator: ignored
        {"Channel Glitch/Channel Scale/Channel", 10, 8},         // no such item: ignored
        {"Image Glitch/Vertical Sort", 0.7, 1},
        {"Image Glitch/Vertical Sort", 0.2, 0},
        {"Corvexel Speed", NAN, 0.5},                            // not a number: ignored
        {"Render Threads", 3, 3},
    };
    for (const auto& c : cases) {
        instance.setDouble(c.name, c.set);
        EXPECT_DOUBLE_EQ(instance.getDouble(c.name), c.got) << c.name << " set " << c.set;
    }

    f0r_param_position_t position{0.25, 1.5};
    const int point = module().paramIndex("Transform Glitch/Position");
    module().setParam(instance.handle, &position, point);
    f0r_param_position_t back{};
    module().getParam(instance.handle, &back, point);
    EXPECT_DOUBLE_EQ(back.x, 0.25);
    EXPECT_DOUBLE_EQ(back.y, 1.5);
}

TEST(Frei0rModule, SettingsStringAppliesWholeOrNotAtAll) {
    Instance instance(32, 18);
    instance.setSettings(" Corvexel Amount = 80 & 13=-50&\n Transition/Channel=Hue ");
    EXPECT_DOUBLE_EQ(instance.getDouble("Corvexel Amount"), 0.8);
    EXPECT_DOUBLE_EQ(instance.getDouble("Transform Glitch/Scale"), 0.375);
    EXPECT_DOUBLE_EQ(instance.getDouble("Transition/Channel"), 8);
    const std::string inForce = instance.settings();

    // A string with one bad part changes nothing, and get reports the one in force.
    for (const char* bad : {"1=20&Transition/Channel=Mauve", "1=20&nonsense", "1=20&time-unit=hours",
                            "1=20&threads=-1", "1=20&preset=/no/such/file.txt", "1=200"}) {
        instance.setSettings(bad);
        EXPECT_EQ(instance.settings(), inForce) << bad;
        EXPECT_DOUBLE_EQ(instance.getDouble("Corvexel Amount"), 0.8) << bad;
    }

    // A new string starts again from the defaults.
    instance.setSettings("Random Seed=4096&threads=2");
    EXPECT_DOUBLE_EQ(instance.getDouble("Corvexel Amount"), 0.5);
    EXPECT_DOUBLE_EQ(instance.getDouble("Random Seed"), 0.125);
    EXPECT_DOUBLE_EQ(instance.getDouble("Render Threads"), 2);
    instance.setSettings("");
    EXPECT_DOUBLE_EQ(instance.getDouble("Random Seed"), 0);
}

// Some hosts set every parameter on every frame (GStreamer with its cached
// defaults, Kdenlive with its effect description): a parameter at its
// default leaves the settings string's value in force, one moved away from
// it wins over the settings string, also over a later one.
TEST(Frei0rModule, ParametersAtTheirDefaultsLeaveTheSettingsInForce) {
    Instance instance(32, 18);
    const int count = module().paramIndex("Render Threads");
    std::vector<double> defaults(static_cast<size_t>(count));
    std::vector<f0r_param_position_t> points(static_cast<size_t>(count));
    for (int i = 1; i < count; ++i) {
        module().getParam(instance.handle, i == 8 || i == 12 || i == 13 ? static_cast<void*>(&points[static_cast<size_t>(i)])
                                                                         : &defaults[static_cast<size_t>(i)], i);
    }
    auto setAll = [&] {
        for (int i = 1; i < count; ++i) {
            const bool point = i == 8 || i == 12 || i == 13;
            module().setParam(instance.handle, point ? static_cast<void*>(&points[static_cast<size_t>(i)])
                                                     : &defaults[static_cast<size_t>(i)], i);
        }
    };
    instance.setSettings("Corvexel Amount=80&Transform Glitch/Position=10%,20%");
    setAll();
    EXPECT_DOUBLE_EQ(instance.getDouble("Corvexel Amount"), 0.8);
    f0r_param_position_t position{};
    module().getParam(instance.handle, &position, 8);
    EXPECT_NEAR(position.x, 0.1, 1e-6);   // 3.2 pixels as 16.16

    defaults[1] = 0.3;   // the host's own value for the amount, set again with every frame
    setAll();
    instance.setSettings("Corvexel Amount=90&Random Seed=8192");
    setAll();
    EXPECT_DOUBLE_EQ(instance.getDouble("Corvexel Amount"), 0.3);
    EXPECT_DOUBLE_EQ(instance.getDouble("Random Seed"), 0.25);
    defaults[1] = 0.5;   // back at the default
    setAll();
    EXPECT_DOUBLE_EQ(instance.getDouble("Corvexel Amount"), 0.9);
}

// Frame n of a clip at the usual rates, handed over in seconds (MLT) and in
// milliseconds (FFmpeg), renders exactly what the command line renders at
// --time n*den/num in lowest terms; odd sizes and a single pixel included.
TEST(Frei0rModule, FramesMatchTheCommandLineAtTheSameTime) {
    const struct {
        int width, height;
        uint32_t num, den;
        int64_t frame;
    } cases[] = {
        {33, 17, 24, 1, 5},         {33, 17, 30000, 1001, 7}, {20, 9, 25, 1, 1234},
        {1, 1, 60000, 1001, 17999}, {7, 3, 24000, 1001, 3},   {48, 27, 50, 1, 0},
    };
    const std::vector<std::pair<std::string, std::string>> look = {
        {"Corvexel Amount", "70"}, {"Compression Glitch/Enable", "on"}, {"66", "1"}};
    for (const auto& c : cases) {
        const Pixels input = picture(c.width, c.height);
        const FrameTime exact = frameTime(c.frame, c.num, c.den);
        const Pixels expected = referenceRender(input, c.width, c.height, exact, look);
        const double seconds = static_cast<double>(c.frame) * c.den / c.num;
        Instance seconds_(static_cast<unsigned>(c.width), static_cast<unsigned>(c.height));
        seconds_.setSettings("Corvexel Amount=70&Compression Glitch/Enable=on");
        EXPECT_EQ(seconds_.render(seconds, input), expected) << c.width << "x" << c.height
                                                             << " frame " << c.frame;
        Instance ms(static_cast<unsigned>(c.width), static_cast<unsigned>(c.height));
        ms.setSettings("time-unit=ms&Corvexel Amount=70&Compression Glitch/Enable=on");
        EXPECT_EQ(ms.render(static_cast<double>(c.frame) * (c.den / static_cast<double>(c.num)) * 1000,
                            input),
                  expected)
            << "in ms, frame " << c.frame;
    }
}

TEST(Frei0rModule, SliderPositionsGiveTheValuesTheyStandFor) {
    // A host writes the value a user picked divided by the slider's range;
    // the render must equal the one at that value typed on the command line.
    const Pixels input = picture(40, 22);
    Instance instance(40, 22);
    instance.setDouble("Corvexel Amount", 0.35);
    instance.setDouble("Transform Glitch/Scale", (130.0 + 200) / 400);
    instance.setDouble("Advanced/Randomness/Gain", 1.7 / 5);
    instance.setDouble("Channel Glitch/Channel Split/Channel", 2);
    const Pixels expected =
        referenceRender(input, 40, 22, frameTime(3, 24, 1),
                        {{"1", "35"}, {"13", "130"}, {"74", "1.7"}, {"25", "Green-Magenta"}});
    EXPECT_EQ(instance.render(3.0 / 24, input), expected);
}

TEST(Frei0rModule, FailuresPassTheInputThroughAndSaySoOnce) {
    const Pixels input = picture(16384, 1);
    {
        // Wider than the WebP slice accepts: the render fails with the
        // effect's own message.
        Instance wide(16384, 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(wide.render(0.5, input), input);
        EXPECT_EQ(wide.render(1.0, input), input);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("Dimensions too big for webP."), std::string::npos) << said;
        EXPECT_EQ(said.find("webP", said.find("webP") + 1), std::string::npos) << "said twice: " << said;
        // Without the image glitch the same frame renders.
        wide.setSettings("Image Glitch/Enable=off");
        EXPECT_NE(wide.render(0.5, input), input);
    }
    // Sizes the effect cannot take still make an instance that answers
    // with the defaults and passes frames through.
    for (const auto& [width, height] : {std::pair{0u, 10u}, std::pair{70000u, 1u}}) {
        Instance unsupported(width, height);
        ASSERT_NE(unsupported.handle, nullptr);
        EXPECT_DOUBLE_EQ(unsupported.getDouble("Corvexel Amount"), 0.5);
    }
    Instance tooWide(70000, 1);
    const Pixels row = picture(70000, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(tooWide.render(0, row), row);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("not supported"), std::string::npos) << said;
    Instance timeless(8, 8);
    const Pixels frame = picture(8, 8);
    testing::internal::CaptureStderr();
    EXPECT_EQ(timeless.render(NAN, frame), frame);
    EXPECT_EQ(timeless.render(-3.8e20, frame), frame);   // what FFmpeg hands over for a frame without pts
    EXPECT_NE(testing::internal::GetCapturedStderr().find("frame time"), std::string::npos);
}

TEST(Frei0rModule, RendersInPlace) {
    Instance instance(31, 9);
    Pixels frame = picture(31, 9);
    const Pixels expected = instance.render(0.25, frame);
    module().update(instance.handle, 0.25, frame.data(), frame.data());
    EXPECT_EQ(frame, expected);
}

// Several instances in parallel threads: each one's frames are what it
// renders alone.
TEST(Frei0rModule, ConcurrentInstancesStayIndependent) {
    struct Job {
        int width, height;
        std::string settings;
    };
    const std::vector<Job> jobs = {{45, 21, "Random Seed=1"}, {45, 21, "Random Seed=2&threads=1"},
                                   {17, 33, "Compression Glitch/Enable=on&threads=3"},
                                   {64, 8, "Corvexel Amount=100"}};
    std::vector<std::vector<Pixels>> alone(jobs.size()), together(jobs.size());
    auto run = [&](size_t j, std::vector<Pixels>* out) {
        Instance instance(static_cast<unsigned>(jobs[j].width), static_cast<unsigned>(jobs[j].height));
        instance.setSettings(jobs[j].settings);
        const Pixels input = picture(jobs[j].width, jobs[j].height, static_cast<uint32_t>(j));
        for (int n = 0; n < 6; ++n) out->push_back(instance.render(n / 25.0, input));
    };
    for (size_t j = 0; j < jobs.size(); ++j) run(j, &alone[j]);
    std::vector<std::thread> threads;
    for (size_t j = 0; j < jobs.size(); ++j) threads.emplace_back(run, j, &together[j]);
    for (auto& t : threads) t.join();
    for (size_t j = 0; j < jobs.size(); ++j) EXPECT_EQ(together[j], alone[j]) << jobs[j].settings;
}

// One instance handed from thread to thread, frames in any order: the same
// time gives the same bytes, a different time other bytes.
TEST(Frei0rModule, OneInstanceFromThreadsInTurnInAnyOrder) {
    Instance instance(37, 19);
    instance.setSettings("Corvexel Amount=80");
    const Pixels input = picture(37, 19);
    std::vector<Pixels> inOrder;
    for (int n = 0; n < 8; ++n) inOrder.push_back(instance.render(n / 24.0, input));
    EXPECT_NE(inOrder[1], inOrder[2]);

    std::vector<int> order = {5, 0, 7, 7, 2, 6, 1, 3, 4, 0};
    for (size_t k = 0; k < order.size(); ++k) {
        Pixels got;
        std::thread([&] { got = instance.render(order[k] / 24.0, input); }).join();
        EXPECT_EQ(got, inOrder[static_cast<size_t>(order[k])]) << "frame " << order[k];
    }
    // Calls that meet on one instance wait for each other.
    std::vector<Pixels> at(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { at[static_cast<size_t>(t)] = instance.render(t / 24.0, input); });
    for (auto& t : threads) t.join();
    for (size_t t = 0; t < 4; ++t) EXPECT_EQ(at[t], inOrder[t]);
}

}  // namespace
