#include "ProcessorState.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace
{
void putInt(std::vector<unsigned char>& blob, size_t offset, int32_t value)
{
    std::memcpy(blob.data() + offset, &value, 4);
}

int32_t getInt(const unsigned char* bytes, size_t offset)
{
    int32_t value;
    std::memcpy(&value, bytes + offset, 4);
    return value;
}

// Longest prefix of at most `limit` bytes that does not end inside a multi-byte UTF-8 sequence.
size_t utf8PrefixLength(const std::string& text, size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    size_t length = limit;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    return length;
}

std::string readPathField(const unsigned char* field)
{
    size_t length = 0;
    while (length < kProcessorStatePathField && field[length] != 0)
        ++length;
    return std::string(reinterpret_cast<const char*>(field), length);
}

void takeEngineState(ProcessorStateContents& contents, const unsigned char* part, size_t available,
                     size_t declared)
{
    if (declared < kEngineRecordSize || declared > kMaxEngineStateSize)
        return;
    contents.engineState.assign(declared, 0);
    std::memcpy(contents.engineState.data(), part, std::min(available, declared));
    contents.hasEngineState = true;
}
} // namespace

std::vector<unsigned char> buildProcessorState(const void* engineState, int engineStateSize, int fileProfileIndex,
                                               int embeddedProfileIndex, const std::string& profileFilePath)
{
    const size_t engineBytes = engineStateSize > 0 ? static_cast<size_t>(engineStateSize) : 0;
    std::vector<unsigned char> blob(kProcessorStateHeaderSize + engineBytes + 4, 0);
    const float length = static_cast<float>(engineBytes);
    std::memcpy(blob.data(), &length, 4);
    putInt(blob, 32, fileProfileIndex);
    putInt(blob, 36, embeddedProfileIndex);
    const size_t pathBytes = utf8PrefixLength(profileFilePath, kProcessorStatePathField - 1);
    std::memcpy(blob.data() + 40, profileFilePath.data(), pathBytes);
    if (engineBytes > 0)
        std::memcpy(blob.data() + kProcessorStateHeaderSize, engineState, engineBytes);
    putInt(blob, kProcessorStateHeaderSize + engineBytes, kProcessorStateTrailer);
    return blob;
}

ProcessorStateContents parseProcessorState(const void* data, size_t size)
{
    ProcessorStateContents contents;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (bytes == nullptr || size == 0)
        return contents;

    if (size <= kEngineRecordSize)
    {
        takeEngineState(contents, bytes, size, size);
        return contents;
    }

    contents.hasProfileFields = true;
    if (size <= kLegacyProcessorStateMaxSize)
    {
        contents.fileProfileIndex = getInt(bytes, 0);
        contents.embeddedProfileIndex = getInt(bytes, 4);
        contents.profileFilePath = readPathField(bytes + 8);
        const size_t partOffset = 8 + kProcessorStatePathField;
        takeEngineState(contents, bytes + partOffset, size - partOffset, size - partOffset);
        return contents;
    }

    float declaredLength;
    std::memcpy(&declaredLength, bytes, 4);
    contents.fileProfileIndex = getInt(bytes, 32);
    contents.embeddedProfileIndex = getInt(bytes, 36);
    contents.profileFilePath = readPathField(bytes + 40);
    // Truncation as the format defines it; NaN and negative lengths name no engine state.
    const bool usable = std::isfinite(declaredLength) && declaredLength >= 0.0f &&
                        declaredLength <= static_cast<float>(kMaxEngineStateSize);
    if (usable)
        takeEngineState(contents, bytes + kProcessorStateHeaderSize, size - kProcessorStateHeaderSize,
                        static_cast<size_t>(declaredLength));
    return contents;
}
