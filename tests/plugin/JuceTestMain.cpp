// GoogleTest entry point for tests that need JUCE's message manager (parameters, timers).
#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
