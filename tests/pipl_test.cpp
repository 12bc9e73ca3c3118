// The PiPL bytes checked against the resource layout, rebuilt here property
// by property from the published format rather than copied.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/pipl_bytes.h"
#include "shell/entry.h"

namespace {

struct PiplBuilder {
    std::vector<uint8_t> bytes;

    void u16(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void code(const char* fourCC) {   // stored reversed
        for (int i = 3; i >= 0; --i) {
            bytes.push_back(static_cast<uint8_t>(fourCC[i]));
        }
    }
    void pad() {
        while (bytes.size() % 4 != 2) {   // the 10-byte header shifts alignment by 2
            bytes.push_back(0);
        }
    }
    void property(const char* key, uint32_t length, const std::vector<uint8_t>& data) {
        code("8BIM");
        code(key);
        u32(0);
        u32(length);
        bytes.insert(bytes.end(), data.begin(), data.end());
        pad();
    }
};

std::vector<uint8_t> pascal(const std::string& text) {
    std::vector<uint8_t> data{static_cast<uint8_t>(text.size())};
    data.insert(data.end(), text.begin(), text.end());
    return data;
}

std::vector<uint8_t> cString(const std::string& text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

std::vector<uint8_t> le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

std::vector<uint8_t> expectedPipl() {
    PiplBuilder b;
    b.u16(1);
    b.u32(0);
    b.u32(12);
    b.property("kind", 4, {'T', 'K', 'F', 'e'});
    b.property("name", 12, pascal("Corvexel"));
    b.property("catg", 12, pascal("Torvanel"));
    b.property("8664", 16, cString("EntryPointFunc"));
    b.property("ePVR", 4, {2, 0, 0, 0});
    b.property("eSVR", 4, {13, 0, 2, 0});
    b.property("eVER", 4, le32(524288));
    b.property("eINF", 2, {0, 0});
    b.property("eGLO", 4, le32(4));
    b.property("eGL2", 4, le32(0));
    b.property("eMNA", 20, pascal("Torvanel Corvexel"));
    b.property("aeFL", 4, le32(0));
    return b.bytes;
}

uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

TEST(Pipl, BytesFollowTheResourceLayoutExactly) {
    std::vector<uint8_t> expected = expectedPipl();
    std::vector<uint8_t> actual(kPiPLBytes, kPiPLBytes + kPiPLSize);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
    }
}

// Walking the properties by their own length fields must land exactly on the
// end, with every property's data padded to a multiple of four.
TEST(Pipl, PropertiesChainByTheirPaddedLengths) {
    const uint8_t* p = kPiPLBytes;
    ASSERT_EQ(readLe32(p + 6), 12u);
    size_t offset = 10;
    for (int i = 0; i < 12; ++i) {
        ASSERT_LE(offset + 16, kPiPLSize) << "property " << i;
        EXPECT_EQ(std::memcmp(p + offset, "MIB8", 4), 0) << "property " << i;
        EXPECT_EQ(readLe32(p + offset + 8), 0u) << "property " << i;
        uint32_t length = readLe32(p + offset + 12);
        offset += 16 + (length + 3) / 4 * 4;
    }
    EXPECT_EQ(offset, kPiPLSize);
}

// The data of the property stored under `key` (given unreversed), or null.
const uint8_t* propertyData(const char* key) {
    const char reversed[4] = {key[3], key[2], key[1], key[0]};
    for (size_t offset = 10; offset + 16 <= kPiPLSize;) {
        uint32_t length = readLe32(kPiPLBytes + offset + 12);
        if (std::memcmp(kPiPLBytes + offset + 4, reversed, 4) == 0) {
            return kPiPLBytes + offset + 16;
        }
        offset += 16 + (length + 3) / 4 * 4;
    }
    return nullptr;
}

// Global set-up must report what the PiPL promises.
TEST(Pipl, VersionAndOutFlagsMatchGlobalSetup) {
    const uint8_t* version = propertyData("eVER");
    const uint8_t* outFlags = propertyData("eGLO");
    ASSERT_NE(version, nullptr);
    ASSERT_NE(outFlags, nullptr);
    EXPECT_EQ(readLe32(version), kCorvexelVersion);
    EXPECT_EQ(readLe32(outFlags), static_cast<uint32_t>(kCorvexelOutFlags));
}

}  // namespace
