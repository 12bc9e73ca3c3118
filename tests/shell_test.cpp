// The entry point's dispatch, global set-up, About and the string table,
// driven through the embedded host.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host.h"
#include "shell/entry.h"
#include "shell/ui_strings.h"

namespace {

using corvexel::host::Frame;
using corvexel::host::Host;
using corvexel::host::HostOptions;
using corvexel::host::ParamValues;

std::vector<uint8_t> bytesOf(const PF_OutData& out) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&out);
    return std::vector<uint8_t>(p, p + sizeof out);
}

// out_data's plain fields filled with a pattern so that any write shows. The
// handle fields stay null: the host may look at them when it cleans up.
void scribble(PF_OutData* out) {
    out->my_version = 0x5A5A5A5A;
    std::memset(out->name, 0x5A, sizeof out->name);
    out->num_params = 0x5A5A;
    out->flat_sdata_size = 0x5A5A;
    out->width = 0x5A;
    out->height = 0x5A;
    out->origin = {0x5A, 0x5A};
    out->out_flags = 0x5A5A5A5A;
    std::memset(out->return_msg, 0x5A, sizeof out->return_msg);
    out->start_sampL = 0x5A;
    out->dur_sampL = 0x5A;
    out->out_flags2 = 0x5A5A5A5A;
}

void expectNothingLeftBehind(const Host& host) {
    EXPECT_TRUE(host.books().clean()) << host.books().describe();
}

// ---------------------------------------------------------------- string table

TEST(UiStrings, RecordIdsEqualTheirIndex) {
    static_assert(sizeof(UiStringEntry) == 260);
    for (int32_t id = 0; id < kUiStringCount; ++id) {
        EXPECT_EQ(kUiStrings[id].id, id);
        EXPECT_EQ(uiString(id), kUiStrings[id].text);
        EXPECT_LT(strnlen(uiString(id), kUiStringTextSize), static_cast<size_t>(kUiStringTextSize))
            << "entry " << id << " is not terminated";
    }
}

TEST(UiStrings, EmptyEntriesGiveEmptyTextNotNull) {
    for (int32_t id : {0, 17, 22, 25, 35, 41, 53, 56, 71, 79, 85, 88, 91, 94}) {
        const char* text = uiString(id);
        ASSERT_NE(text, nullptr) << "entry " << id;
        EXPECT_STREQ(text, "") << "entry " << id;
    }
}

TEST(UiStrings, EntriesAroundThePassedOverRuns) {
    struct Case {
        int32_t id;
        const char* text;
    } cases[] = {{1, "Corvexel"},          {3, "Corvexel Amount"},  {29, "Vertical amount"},
                 {43, "Amount"},           {44, "Color Corruption"}, {48, "Transfer Mode"},
                 {49, "Opacity"},          {74, "JPEG Amount"},      {75, "WebP Amount"},
                 {76, "Advanced"},         {103, "Wiggle Quantization Steps"}};
    for (const Case& c : cases) {
        EXPECT_STREQ(uiString(c.id), c.text) << "entry " << c.id;
    }
}

// ---------------------------------------------------------------- dispatch

// Every command other than About, global set-up, parameter set-up and render
// returns 0 without touching out_data or calling the host.
TEST(EntryPoint, OtherCommandsDoNothing) {
    std::vector<PF_Cmd> commands = {PF_Cmd_NUM_CMDS, 64, 1000, -1, INT32_MAX, INT32_MIN};
    for (PF_Cmd cmd = 0; cmd < PF_Cmd_NUM_CMDS; ++cmd) {
        if (cmd != PF_Cmd_ABOUT && cmd != PF_Cmd_GLOBAL_SETUP && cmd != PF_Cmd_PARAMS_SETUP &&
            cmd != PF_Cmd_RENDER) {
            commands.push_back(cmd);
        }
    }
    for (PF_Cmd cmd : commands) {
        SCOPED_TRACE("command " + std::to_string(cmd));
        Host host;
        scribble(host.outData());
        const std::vector<uint8_t> before = bytesOf(*host.outData());
        EXPECT_EQ(host.send(EntryPointFunc, cmd, nullptr, nullptr), PF_Err_NONE);
        EXPECT_EQ(bytesOf(*host.outData()), before);
        EXPECT_TRUE(host.callLog().empty());
        expectNothingLeftBehind(host);
    }
}

// Global set-up writes the version and ORs in NON_PARAM_VARY; every other
// byte of out_data, the host's own flag bits included, stays as it was.
TEST(EntryPoint, GlobalSetupKeepsTheHostsOtherFlags) {
    for (PF_OutFlags initial : {0, 0x4, 0x100, 0x7FFFFFFB, -1, INT32_MIN}) {
        SCOPED_TRACE("out_flags " + std::to_string(initial));
        Host host;
        scribble(host.outData());
        host.outData()->out_flags = initial;
        host.outData()->out_flags2 = 0x1234;
        PF_OutData expected = *host.outData();
        expected.my_version = 0x80000;
        expected.out_flags = initial | 0x4;

        EXPECT_EQ(host.send(EntryPointFunc, PF_Cmd_GLOBAL_SETUP, nullptr, nullptr), PF_Err_NONE);
        EXPECT_EQ(host.outData()->my_version, 0x80000u);
        EXPECT_EQ(host.outData()->out_flags, initial | 0x4);
        EXPECT_EQ(bytesOf(*host.outData()), bytesOf(expected));
        expectNothingLeftBehind(host);
    }
}

// ---------------------------------------------------------------- About

std::string expectedAbout() {
    return std::string("Corvexel v1.0.0") + '\r' + uiString(kUiStringDescription);
}

TEST(About, WritesTheExactMessageAndReturnsTheSuite) {
    Host host;
    std::memset(host.outData()->return_msg, 0xAB, sizeof host.outData()->return_msg);
    ASSERT_EQ(host.send(EntryPointFunc, PF_Cmd_ABOUT, nullptr, nullptr), PF_Err_NONE);

    const std::string expected = expectedAbout();
    const char* msg = host.outData()->return_msg;
    ASSERT_EQ(std::memcmp(msg, expected.c_str(), expected.size() + 1), 0)
        << "got: " << std::string(msg, strnlen(msg, 256));
    EXPECT_EQ(std::memchr(msg, '\n', expected.size()), nullptr);
    EXPECT_EQ(host.books().suiteAcquisitions, 1);
    expectNothingLeftBehind(host);
}

// The message must fit the host's 256-byte return_msg with room to spare,
// and the description must end with the credit line.
TEST(About, MessageFitsTheReturnBuffer) {
    const std::string message = expectedAbout();
    EXPECT_LE(message.size() + 1, 240u);
    const std::string description = uiString(kUiStringDescription);
    const std::string credit = "Corvexel by Torvanel.";
    ASSERT_GE(description.size(), credit.size());
    EXPECT_EQ(description.substr(description.size() - credit.size()), credit);
}

TEST(About, MissingAnsiSuiteReturns516AndWritesNothing) {
    HostOptions options;
    options.faults.missingSuites.insert(kPFANSISuite);
    Host host(options);
    std::memset(host.outData()->return_msg, 0xAB, sizeof host.outData()->return_msg);
    const std::vector<uint8_t> before = bytesOf(*host.outData());
    EXPECT_EQ(host.send(EntryPointFunc, PF_Cmd_ABOUT, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(bytesOf(*host.outData()), before);
    expectNothingLeftBehind(host);
}

TEST(About, NoBasicSuiteReturns516) {
    Host host;
    host.inData()->pica_basicP = nullptr;
    std::memset(host.outData()->return_msg, 0xAB, sizeof host.outData()->return_msg);
    const std::vector<uint8_t> before = bytesOf(*host.outData());
    EXPECT_EQ(host.send(EntryPointFunc, PF_Cmd_ABOUT, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(bytesOf(*host.outData()), before);
}

// ---------------------------------------------------------------- render routing

// A host without the world transform suite ends a render with 516, returned
// through the entry point, with every frame and suite given back.
TEST(EntryPoint, RenderMissingSuiteBecomesTheResult) {
    const std::vector<PF_ParamDef> declared = corvexel::host::declareParams(EntryPointFunc);
    HostOptions options;
    options.faults.missingSuites.insert(kPFWorldTransformSuite);
    Host host(options);
    Frame input(8, 6);
    Frame output(8, 6);
    input.fill({255, 10, 20, 30});
    ParamValues values(declared, input.world);
    EXPECT_EQ(host.send(EntryPointFunc, PF_Cmd_RENDER, values.array(), &output.world),
              PF_Err_BAD_CALLBACK_PARAM);
    expectNothingLeftBehind(host);
}

// ---------------------------------------------------------------- no exception escapes

// add_param is the one host callback ParamsSetup makes; a host whose callback
// throws must still get a PF_Err back, never an exception.
int thrownKind = 0;

PF_Err throwingAddParam(PF_ProgPtr, PF_ParamIndex, PF_ParamDef*) {
    switch (thrownKind) {
    case 0: throw PF_Err(PF_Err_INVALID_CALLBACK);
    case 1: throw std::bad_alloc();
    default: throw std::runtime_error("host failure");
    }
}

char* libcStrcpy(char* dst, const char* src) {
    return std::strcpy(dst, src);
}

TEST(EntryPoint, NoExceptionCrossesIntoTheHost) {
    struct Case {
        int kind;
        PF_Err expected;
    } cases[] = {{0, PF_Err_INVALID_CALLBACK}, {1, PF_Err_OUT_OF_MEMORY},
                 {2, PF_Err_INTERNAL_STRUCT_DAMAGED}};
    for (const Case& c : cases) {
        thrownKind = c.kind;
        PF_UtilCallbacks utils{};
        utils.ansi.strcpy = libcStrcpy;
        PF_InData in{};
        in.inter.add_param = throwingAddParam;
        in.utils = &utils;
        PF_OutData out{};
        EXPECT_EQ(EntryPointFunc(PF_Cmd_PARAMS_SETUP, &in, &out, nullptr, nullptr, nullptr),
                  c.expected)
            << "kind " << c.kind;
        EXPECT_EQ(out.num_params, 0);
    }
}

}  // namespace
