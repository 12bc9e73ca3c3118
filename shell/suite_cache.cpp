#include "shell/suite_cache.h"

namespace {

// Returns the slot's suite, acquiring it from the host on first use.
template <typename Suite>
const Suite* obtain(SuiteCache& cache, std::atomic<const Suite*>& slot, const char* name,
                    int32_t version) {
    if (const Suite* suite = slot.load(std::memory_order_acquire)) {
        return suite;
    }
    std::lock_guard<std::mutex> guard(cache.fillLock);
    if (const Suite* suite = slot.load(std::memory_order_acquire)) {
        return suite;
    }
    const void* table = nullptr;
    SPErr err = cache.basic->AcquireSuite(name, version, &table);
    if (err != 0 || table == nullptr) {
        throw kMissingSuiteError;
    }
    const Suite* suite = static_cast<const Suite*>(table);
    slot.store(suite, std::memory_order_release);
    return suite;
}

template <typename Suite>
void giveBack(SPBasicSuite* basic, std::atomic<const Suite*>& slot, const char* name,
              int32_t version) {
    if (slot.load(std::memory_order_acquire) != nullptr) {
        basic->ReleaseSuite(name, version);   // the host's answer is not acted on
    }
}

}  // namespace

SuiteCache::SuiteCache(SPBasicSuite* basicSuite) : basic(basicSuite) {
    if (basic == nullptr) {
        throw kMissingSuiteError;
    }
}

SuiteCache::~SuiteCache() {
    giveBack(basic, ansiSlot, kPFANSISuite, kPFANSISuiteVersion1);
    giveBack(basic, handlesSlot, kPFHandleSuite, kPFHandleSuiteVersion1);
    giveBack(basic, worldTransformSlot, kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1);
    giveBack(basic, sampling8Slot, kPFSampling8Suite, kPFSampling8SuiteVersion1);
    giveBack(basic, iterate8Slot, kPFIterate8Suite, kPFIterate8SuiteVersion1);
}

const PF_ANSICallbacksSuite1* SuiteCache::ansi() {
    return obtain(*this, ansiSlot, kPFANSISuite, kPFANSISuiteVersion1);
}

const PF_WorldTransformSuite1* SuiteCache::worldTransform() {
    return obtain(*this, worldTransformSlot, kPFWorldTransformSuite,
                  kPFWorldTransformSuiteVersion1);
}

const PF_Iterate8Suite1* SuiteCache::iterate8() {
    return obtain(*this, iterate8Slot, kPFIterate8Suite, kPFIterate8SuiteVersion1);
}

const PF_Sampling8Suite1* SuiteCache::sampling8() {
    return obtain(*this, sampling8Slot, kPFSampling8Suite, kPFSampling8SuiteVersion1);
}

const PF_HandleSuite1* SuiteCache::handles() {
    return obtain(*this, handlesSlot, kPFHandleSuite, kPFHandleSuiteVersion1);
}
