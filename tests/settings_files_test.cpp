// The settings library's shared pieces: exact frame times, settings files
// (presets) and their text form, and points given in percent of the layer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "host/host.h"
#include "shell/entry.h"
#include "tools/frame_time.h"
#include "tools/param_catalog.h"
#include "tools/presets.h"
#include "tools/settings.h"

namespace {

using corvexel::host::ParamValues;

const std::vector<PF_ParamDef>& declared() {
    static const auto defs = corvexel::host::declareParams(&EntryPointFunc);
    return defs;
}
const std::vector<ParamInfo>& catalog() {
    static const auto built = buildParamCatalog(declared());
    return built;
}
PF_LayerDef layer(int32_t width, int32_t height) {
    PF_LayerDef l{};
    l.width = width;
    l.height = height;
    return l;
}

// Frame n of the usual rates arrives as a double in seconds or in
// milliseconds and must come back as exactly frame n's fraction.
TEST(FrameTime, HostTimesOfTheUsualRatesComeBackExact) {
    const std::pair<uint32_t, uint32_t> rates[] = {{24, 1},       {25, 1},       {30, 1},
                                                   {50, 1},       {60, 1},       {24000, 1001},
                                                   {30000, 1001}, {60000, 1001}, {120, 1}};
    const int64_t frames[] = {0, 1, 2, 7, 999, 1001, 16761, 86399, 1000000, 8000000};
    for (const auto& [num, den] : rates) {
        for (int64_t n : frames) {
            FrameTime exact, fromSeconds, fromMs;
            ASSERT_TRUE(frameTimeAt(n, num, den, &exact));
            EXPECT_EQ(std::gcd(static_cast<int64_t>(exact.currentTime), int64_t{exact.timeScale}), n == 0 ? exact.timeScale : 1);
            // As MLT computes it (position / fps) and as FFmpeg does (pts * time base * 1000).
            ASSERT_TRUE(frameTimeFromSeconds(static_cast<double>(n) / (static_cast<double>(num) / den), &fromSeconds));
            ASSERT_TRUE(frameTimeFromSeconds(static_cast<double>(n) * (static_cast<double>(den) / num) * 1000 / 1000, &fromMs));
            EXPECT_EQ(fromSeconds.currentTime, exact.currentTime) << n << " at " << num << "/" << den;
            EXPECT_EQ(fromSeconds.timeScale, exact.timeScale) << n << " at " << num << "/" << den;
            EXPECT_EQ(fromMs.currentTime, exact.currentTime) << n << " at " << num << "/" << den;
            EXPECT_EQ(fromMs.timeScale, exact.timeScale);
        }
    }
}

TEST(FrameTime, LongAndBadTimes) {
    FrameTime t;
    EXPECT_FALSE(frameTimeFromSeconds(NAN, &t));
    EXPECT_FALSE(frameTimeFromSeconds(-INFINITY, &t));
    EXPECT_FALSE(frameTimeFromSeconds(-3.8e17, &t));
    ASSERT_TRUE(frameTimeFromSeconds(-0.5, &t));
    EXPECT_EQ(t.currentTime, -1);
    EXPECT_EQ(t.timeScale, 2u);
    // A day in, 1001/48000 s steps no longer fit current_time in ticks:
    // milliseconds instead.
    ASSERT_TRUE(frameTimeFromSeconds(100000.0 + 1001.0 / 48000, &t));
    EXPECT_EQ(t.currentTime, 100000021);
    EXPECT_EQ(t.timeScale, 1000u);
    EXPECT_FALSE(frameTimeAt(2999999, 30000, 1001, &t));   // numerator past 2^31
    EXPECT_FALSE(frameTimeAt(1, 0, 1, &t));
}

// A settings file written for every parameter reads back to the same values,
// on an odd-sized layer, with points off the pixel grid and in percent.
TEST(SettingsFiles, WhatIsPrintedReadsBackToTheSameValues) {
    ParamValues values(declared(), layer(321, 181));
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"1", "33.3333"},
                                                          {"Random Seed", "32768"},
                                                          {"Transform Glitch/Position", "100.25,-3.5"},
                                                          {"15", "12.5%,7%"},
                                                          {"Channel Glitch/Channel Split/Channel", "Y'"},
                                                          {"54", "Linear Dodge"},
                                                          {"Image Glitch/Vertical Sort", "on"},
                                                          {"74", "0.1"}}) {
        ASSERT_EQ(applySetting(catalog(), &values, key, value), "") << key;
    }
    const std::string text = formatPreset(catalog(), values);
    EXPECT_NE(text.find("\nTransform Glitch/Crop=12.5%,7%\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n16=100%,100%\n"), std::string::npos);
    EXPECT_NE(text.find("\nChannel Glitch/Channel Split/Channel=Y'\n"), std::string::npos);

    const std::string path = testing::TempDir() + "corvexel_roundtrip.txt";
    std::ofstream(path) << text;
    ParamValues back(declared(), layer(321, 181));
    ASSERT_EQ(applyPresetFile(catalog(), &back, path), "");
    for (const ParamInfo& info : catalog()) {
        if (!isSettable(info)) continue;
        EXPECT_EQ(0, std::memcmp(&back.at(info.id).u, &values.at(info.id).u, sizeof(PF_ParamDefUnion)))
            << "id " << info.id << " " << formatSettingValue(info, back);
    }
    std::remove(path.c_str());
}

TEST(SettingsFiles, PercentPointsLandWhereTheDefaultsDo) {
    for (int32_t width : {1, 7, 321, 1920}) {
        ParamValues values(declared(), layer(width, width / 2 + 1));
        const PF_PointDef before = values.at(11).u.td, corner = values.at(16).u.td;
        ASSERT_EQ(applySetting(catalog(), &values, "11", "50%,50%"), "");
        ASSERT_EQ(applySetting(catalog(), &values, "16", "100%,100%"), "");
        EXPECT_EQ(values.at(11).u.td.x_value, before.x_value) << width;
        EXPECT_EQ(values.at(11).u.td.y_value, before.y_value) << width;
        EXPECT_EQ(values.at(16).u.td.x_value, corner.x_value) << width;
    }
    ParamValues values(declared(), layer(100, 100));
    for (const char* bad : {"50%,50", "50,50%", "%,5%", "50%%,1%", "9999999%,0%"}) {
        EXPECT_NE(applySetting(catalog(), &values, "11", bad), "") << bad;
    }
}

TEST(SettingsFiles, ErrorsNameTheFileAndLine) {
    const struct {
        const char* text;
        const char* error;   // after "PATH:"
    } cases[] = {
        {"# look\n\nCorvexel Amount=35\n  Random Seed = 12 \r\n", ""},
        {"\xEF\xBB\xBF" "1=20\n", ""},
        {"1=20\nCorvexel Amount\n", "2: expected NAME=VALUE, got \"Corvexel Amount\""},
        {"1=20\n\n# fine\nBogus=3\n", "4: unknown parameter: Bogus"},
        {"Transition/Channel=Mauve\n", "1: invalid value for Transition/Channel: Mauve"},
        {"=5\n", "1: expected NAME=VALUE, got \"=5\""},
        {"preset=other.txt\n", "1: unknown parameter: preset"},
    };
    const std::string path = testing::TempDir() + "corvexel_look.txt";
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary) << c.text;
        ParamValues values(declared(), layer(64, 36));
        const std::string error = applyPresetFile(catalog(), &values, path);
        EXPECT_EQ(error, c.error[0] == '\0' ? "" : path + ":" + c.error) << c.text;
    }
    std::remove(path.c_str());
    ParamValues values(declared(), layer(64, 36));
    EXPECT_EQ(applyPresetFile(catalog(), &values, path), path + ": cannot read: No such file or directory");
    std::ofstream(path, std::ios::binary) << std::string(kMaxPresetBytes + 1, '#');
    EXPECT_NE(applyPresetFile(catalog(), &values, path).find("larger than"), std::string::npos);
    std::remove(path.c_str());
}

}  // namespace
