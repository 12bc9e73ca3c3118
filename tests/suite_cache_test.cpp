// The suite cache against a scripted basic suite: each suite asked for once,
// returned once in the fixed order, the missing-suite error, and the first
// fill racing on several threads.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "shell/suite_cache.h"

namespace {

// The basic suite's callbacks carry no context, so the script is global.
struct ScriptedHost {
    std::mutex lock;
    std::vector<std::string> log;       // "acquire NAME VERSION" / "release NAME VERSION"
    std::set<std::string> refused;      // AcquireSuite returns an error
    std::set<std::string> nullTable;    // AcquireSuite succeeds but gives no table
};
ScriptedHost* script = nullptr;

// One distinct table per suite; the cache only passes the pointers on.
PF_ANSICallbacksSuite1 ansiTable{};
PF_WorldTransformSuite1 transformTable{};
PF_Iterate8Suite1 iterateTable{};
PF_Sampling8Suite1 samplingTable{};
PF_HandleSuite1 handleTable{};

const void* tableFor(const std::string& name) {
    if (name == kPFANSISuite) return &ansiTable;
    if (name == kPFWorldTransformSuite) return &transformTable;
    if (name == kPFIterate8Suite) return &iterateTable;
    if (name == kPFSampling8Suite) return &samplingTable;
    if (name == kPFHandleSuite) return &handleTable;
    return nullptr;
}

SPErr scriptedAcquire(const char* name, int32_t version, const void** suite) {
    std::lock_guard<std::mutex> guard(script->lock);
    script->log.push_back("acquire " + std::string(name) + " " + std::to_string(version));
    if (script->refused.count(name)) {
        return 1;
    }
    *suite = script->nullTable.count(name) ? nullptr : tableFor(name);
    return 0;
}

SPErr scriptedRelease(const char* name, int32_t version) {
    std::lock_guard<std::mutex> guard(script->lock);
    script->log.push_back("release " + std::string(name) + " " + std::to_string(version));
    return 7;   // an error the cache must not act on
}

class SuiteCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        script = &host;
        basic.AcquireSuite = scriptedAcquire;
        basic.ReleaseSuite = scriptedRelease;
    }
    void TearDown() override { script = nullptr; }

    ScriptedHost host;
    SPBasicSuite basic{};
};

TEST_F(SuiteCacheTest, EachSuiteIsAskedOnceAndReturnedOnceInTheFixedOrder) {
    {
        SuiteCache cache(&basic);
        // Ask in an order different from the release order, some twice.
        EXPECT_EQ(cache.iterate8(), &iterateTable);
        EXPECT_EQ(cache.sampling8(), &samplingTable);
        EXPECT_EQ(cache.worldTransform(), &transformTable);
        EXPECT_EQ(cache.handles(), &handleTable);
        EXPECT_EQ(cache.ansi(), &ansiTable);
        EXPECT_EQ(cache.iterate8(), &iterateTable);
        EXPECT_EQ(cache.ansi(), &ansiTable);
        EXPECT_EQ(host.log.size(), 5u);
    }
    const std::vector<std::string> expected = {
        "acquire PF Iterate8 Suite 1",
        "acquire PF Sampling8 Suite 1",
        "acquire PF World Transform Suite 1",
        "acquire PF Handle Suite 2",
        "acquire PF ANSI Suite 1",
        "release PF ANSI Suite 1",
        "release PF Handle Suite 2",
        "release PF World Transform Suite 1",
        "release PF Sampling8 Suite 1",
        "release PF Iterate8 Suite 1",
    };
    EXPECT_EQ(host.log, expected);
}

TEST_F(SuiteCacheTest, OnlyObtainedSuitesAreReturned) {
    {
        SuiteCache cache(&basic);
        cache.worldTransform();
    }
    const std::vector<std::string> expected = {"acquire PF World Transform Suite 1",
                                               "release PF World Transform Suite 1"};
    EXPECT_EQ(host.log, expected);
}

TEST_F(SuiteCacheTest, NullBasicSuiteThrowsTheMissingSuiteError) {
    try {
        SuiteCache cache(nullptr);
        FAIL() << "constructed without a basic suite";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
}

// A refused suite and a "successful" acquisition without a table are both
// missing: 516 is thrown, the slot stays empty (never released), the host is
// asked again on the next try, and suites obtained before are still returned.
TEST_F(SuiteCacheTest, MissingSuiteThrows516AndLeavesItsSlotEmpty) {
    for (bool refuse : {true, false}) {
        SCOPED_TRACE(refuse ? "refused" : "null table");
        host.log.clear();
        host.refused.clear();
        host.nullTable.clear();
        (refuse ? host.refused : host.nullTable).insert(kPFSampling8Suite);
        {
            SuiteCache cache(&basic);
            cache.ansi();
            for (int attempt = 0; attempt < 2; ++attempt) {
                try {
                    cache.sampling8();
                    ADD_FAILURE() << "no error for a missing suite";
                } catch (PF_Err err) {
                    EXPECT_EQ(err, kMissingSuiteError);
                    EXPECT_EQ(err, 516);
                }
            }
            EXPECT_EQ(cache.sampling8Slot.load(), nullptr);
        }
        const std::vector<std::string> expected = {
            "acquire PF ANSI Suite 1",
            "acquire PF Sampling8 Suite 1",
            "acquire PF Sampling8 Suite 1",
            "release PF ANSI Suite 1",
        };
        EXPECT_EQ(host.log, expected);
    }
}

TEST_F(SuiteCacheTest, GuardCallbackTurnsTheMissingSuiteIntoTheResult) {
    host.refused.insert(kPFHandleSuite);
    SuiteCache cache(&basic);
    PF_Err err = guardCallback([&]() -> PF_Err {
        cache.handles();
        return PF_Err_NONE;
    });
    EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
}

// Several threads asking for the same suite first at the same moment must
// make exactly one acquisition, and all see the same table.
TEST_F(SuiteCacheTest, ConcurrentFirstFillAcquiresOnce) {
    constexpr int kThreads = 8;
    for (int round = 0; round < 20; ++round) {
        host.log.clear();
        {
            SuiteCache cache(&basic);
            std::vector<const PF_Sampling8Suite1*> seen(kThreads, nullptr);
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&, t] { seen[t] = cache.sampling8(); });
            }
            for (std::thread& thread : threads) {
                thread.join();
            }
            for (const PF_Sampling8Suite1* table : seen) {
                EXPECT_EQ(table, &samplingTable);
            }
        }
        const std::vector<std::string> expected = {"acquire PF Sampling8 Suite 1",
                                                   "release PF Sampling8 Suite 1"};
        ASSERT_EQ(host.log, expected) << "round " << round;
    }
}

}  // namespace
