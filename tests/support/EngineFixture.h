// Engine set-up shared by the tests that drive whole instances.
#pragma once

#include "vyk.h"

#include <gtest/gtest.h>

#include <vector>

// Starts every test from a freshly initialised engine: 20 instances, built-in profile i on instance i.
class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(PlatformInit(nullptr, nullptr), 0); }

    // Interleaved block of `frames` x `channels` samples, all equal to `value`.
    static std::vector<float> constantBlock(int frames, int channels, float value)
    {
        return std::vector<float>(static_cast<size_t>(frames * channels), value);
    }

    static void process(int instance, std::vector<float>& block, int channels)
    {
        VykProcess(instance, block.data(), nullptr, static_cast<int>(block.size()) / channels, channels);
    }
};
