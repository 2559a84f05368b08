// The host-state blob: the written layout, the three read layouts and the refusals.
#include "ProcessorState.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace
{
std::vector<unsigned char> engineBytes(size_t size, unsigned char seed)
{
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(seed + i * 7);
    return bytes;
}

int32_t intAt(const std::vector<unsigned char>& blob, size_t offset)
{
    int32_t value;
    std::memcpy(&value, blob.data() + offset, 4);
    return value;
}
} // namespace

TEST(ProcessorState, WrittenLayoutRoundTrips)
{
    const auto engine = engineBytes(4048, 3);
    const std::string path = "/home/user/Profiles/M\xC3\xBCnchen \xE2\x99\xAA.ktvs";
    const auto blob = buildProcessorState(engine.data(), 4048, 3, -1, path);
    ASSERT_EQ(blob.size(), 4604u);
    float length;
    std::memcpy(&length, blob.data(), 4);
    EXPECT_EQ(length, 4048.0f);
    for (size_t i = 4; i < 32; ++i)
        EXPECT_EQ(blob[i], 0) << i;
    EXPECT_EQ(intAt(blob, 32), 3);
    EXPECT_EQ(intAt(blob, 36), -1);
    EXPECT_EQ(intAt(blob, 552 + 4048), 66048);
    EXPECT_EQ(std::memcmp(blob.data() + 552, engine.data(), 4048), 0);

    const auto contents = parseProcessorState(blob.data(), blob.size());
    EXPECT_TRUE(contents.hasProfileFields);
    EXPECT_EQ(contents.fileProfileIndex, 3);
    EXPECT_EQ(contents.embeddedProfileIndex, -1);
    EXPECT_EQ(contents.profileFilePath, path);
    ASSERT_TRUE(contents.hasEngineState);
    EXPECT_EQ(contents.engineState, engine);
}

TEST(ProcessorState, LongPathsAreCutAtACharacterBoundary)
{
    std::string path(509, 'a');
    path += "\xC3\xA9\xC3\xA9"; // two 2-byte characters crossing byte 511
    const auto engine = engineBytes(4048, 1);
    const auto blob = buildProcessorState(engine.data(), 4048, 0, 0, path);
    const auto contents = parseProcessorState(blob.data(), blob.size());
    EXPECT_EQ(contents.profileFilePath, path.substr(0, 511));
    EXPECT_EQ(blob[40 + 511], 0);

    std::string longer(600, 'b');
    EXPECT_EQ(parseProcessorState(buildProcessorState(engine.data(), 4048, 0, 0, longer).data(), 4604)
                  .profileFilePath.size(),
              511u);
}

TEST(ProcessorState, OlderLayoutsAreRead)
{
    // Without header: indices, path field, then the engine state.
    std::vector<unsigned char> legacy(2568, 0);
    const int32_t fileIndex = 7;
    const int32_t embeddedIndex = -1;
    std::memcpy(legacy.data(), &fileIndex, 4);
    std::memcpy(legacy.data() + 4, &embeddedIndex, 4);
    std::memcpy(legacy.data() + 8, "/tmp/p.ktvs", 11);
    const auto engine = engineBytes(2048, 9);
    std::memcpy(legacy.data() + 520, engine.data(), 2048);
    auto contents = parseProcessorState(legacy.data(), legacy.size());
    EXPECT_TRUE(contents.hasProfileFields);
    EXPECT_EQ(contents.fileProfileIndex, 7);
    EXPECT_EQ(contents.embeddedProfileIndex, -1);
    EXPECT_EQ(contents.profileFilePath, "/tmp/p.ktvs");
    EXPECT_EQ(contents.engineState, engine);

    // A bare engine state leaves the profile fields alone.
    contents = parseProcessorState(engine.data(), engine.size());
    EXPECT_FALSE(contents.hasProfileFields);
    EXPECT_TRUE(contents.hasEngineState);
    EXPECT_EQ(contents.engineState, engine);

    // An empty path field gives an empty path.
    legacy[8] = 0;
    EXPECT_EQ(parseProcessorState(legacy.data(), legacy.size()).profileFilePath, "");
}

TEST(ProcessorState, ShortOrImplausibleEngineStatesAreRefused)
{
    const auto engine = engineBytes(4048, 5);
    struct Case
    {
        const char* what;
        std::vector<unsigned char> blob;
        bool engineState;
    };
    std::vector<Case> cases;
    cases.push_back({"bare, shorter than a record", engineBytes(2047, 1), false});
    cases.push_back({"no header, short engine part", std::vector<unsigned char>(2567, 0), false});
    auto shortHeader = buildProcessorState(engine.data(), 4048, 0, 0, "");
    const float small = 1000.0f;
    std::memcpy(shortHeader.data(), &small, 4);
    cases.push_back({"header length below a record", shortHeader, false});
    auto nanHeader = shortHeader;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(nanHeader.data(), &nan, 4);
    cases.push_back({"NaN header length", nanHeader, false});
    auto hugeHeader = shortHeader;
    const float huge = 1e12f;
    std::memcpy(hugeHeader.data(), &huge, 4);
    cases.push_back({"absurd header length", hugeHeader, false});
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parseProcessorState(c.blob.data(), c.blob.size()).hasEngineState, c.engineState);
    }
    EXPECT_FALSE(parseProcessorState(nullptr, 100).hasEngineState);
}

TEST(ProcessorState, HeaderLengthBeyondTheDataIsZeroFilled)
{
    const auto engine = engineBytes(4048, 5);
    auto blob = buildProcessorState(engine.data(), 4048, 1, 2, "x");
    blob.resize(552 + 3000); // cut inside the engine state
    const auto contents = parseProcessorState(blob.data(), blob.size());
    ASSERT_TRUE(contents.hasEngineState);
    ASSERT_EQ(contents.engineState.size(), 4048u);
    EXPECT_EQ(std::memcmp(contents.engineState.data(), engine.data(), 3000), 0);
    for (size_t i = 3000; i < 4048; ++i)
        ASSERT_EQ(contents.engineState[i], 0) << i;
}
