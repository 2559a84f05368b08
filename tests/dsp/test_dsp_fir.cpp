// FIR section: exact agreement with a direct convolution, the tap limit, and coefficient files,
// including every way a load can fail (the record must then filter nothing and own nothing).
#include "dsp/Fir1.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace
{

std::vector<double> randomCoefficients(int taps, uint32_t seed)
{
    const std::vector<float> values = signals::noise(taps, 1.0, seed);
    return std::vector<double>(values.begin(), values.end());
}

// y[n] = sum over k of c[k] x[n - k], summed from k = 0 upwards in double.
std::vector<double> directConvolution(const std::vector<double>& c, const std::vector<double>& x, size_t taps)
{
    std::vector<double> y(x.size(), 0.0);
    for (size_t n = 0; n < x.size(); ++n)
    {
        double sum = 0.0;
        for (size_t k = 0; k < taps && k <= n; ++k)
        {
            sum += c[k] * x[n - k];
        }
        y[n] = sum;
    }
    return y;
}

std::vector<double> randomInput(int count, uint32_t seed)
{
    const std::vector<float> values = signals::noise(count, 0.8, seed);
    return std::vector<double>(values.begin(), values.end());
}

void expectUnusable(const Fir1Data& data)
{
    EXPECT_EQ(data.taps, 0u);
    EXPECT_EQ(data.tapsToProcess, 0u);
    EXPECT_EQ(data.coefficients, nullptr);
    EXPECT_EQ(data.buffer, nullptr);
    Fir1Data copy = data;
    EXPECT_EQ(Fir1Filter(&copy, 1.0), 0.0);
}

std::string writeFile(const std::string& name, const std::string& text)
{
    const std::string path = ::testing::TempDir() + "ulmar_fir_" + name;
    std::ofstream(path) << text;
    return path;
}

TEST(Fir1, MatchesDirectConvolutionExactly)
{
    for (int taps : {1, 2, 37, 256})
    {
        SCOPED_TRACE(taps);
        std::vector<double> coefficients = randomCoefficients(taps, 7u + static_cast<uint32_t>(taps));
        const std::vector<double> input = randomInput(1000, 99);
        Fir1Data fir;
        ASSERT_TRUE(Fir1Init(&fir, coefficients.data(), static_cast<uint32_t>(taps)));
        EXPECT_EQ(fir.tapsToProcess, static_cast<uint32_t>(taps));

        const std::vector<double> expected =
            directConvolution(coefficients, input, static_cast<size_t>(taps));
        for (size_t n = 0; n < input.size(); ++n)
        {
            ASSERT_EQ(Fir1Filter(&fir, input[n]), expected[n]) << "sample " << n;
        }
        Fir1Destroy(&fir);
    }
}

TEST(Fir1, TapsToProcessTruncatesTheResponse)
{
    std::vector<double> coefficients = randomCoefficients(64, 3);
    Fir1Data fir;
    ASSERT_TRUE(Fir1Init(&fir, coefficients.data(), 64));

    Fir1SetTapsToProcess(&fir, 1000);
    EXPECT_EQ(fir.tapsToProcess, 64u) << "never more than the record holds";

    Fir1SetTapsToProcess(&fir, 20);
    Fir1Reset(&fir);
    const std::vector<double> input = randomInput(300, 4);
    const std::vector<double> expected = directConvolution(coefficients, input, 20);
    for (size_t n = 0; n < input.size(); ++n)
    {
        ASSERT_EQ(Fir1Filter(&fir, input[n]), expected[n]) << "sample " << n;
    }

    // Lowered below the current offset: one call still reaches back over the whole written history
    // (coefficients beyond the new length), then the offset restarts at 0.
    Fir1SetTapsToProcess(&fir, 64);
    Fir1Reset(&fir);
    for (int n = 0; n < 10; ++n)
    {
        Fir1Filter(&fir, 1.0 + n);
    }
    ASSERT_EQ(fir.offset, 10u);
    Fir1SetTapsToProcess(&fir, 4);
    double expectedFirst = 0.0;
    const double history[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0.5};
    for (int k = 0; k <= 10; ++k)
    {
        expectedFirst += coefficients[static_cast<size_t>(k)] * history[10 - k];
    }
    EXPECT_EQ(Fir1Filter(&fir, 0.5), expectedFirst);
    EXPECT_EQ(fir.offset, 0u);

    Fir1SetTapsToProcess(&fir, 0);
    EXPECT_EQ(Fir1Filter(&fir, 1.0), 0.0) << "an empty response outputs nothing";
    Fir1Destroy(&fir);
}

TEST(Fir1, ResetClearsTheHistory)
{
    std::vector<double> coefficients = {0.5, 0.25, 0.125};
    Fir1Data fir;
    ASSERT_TRUE(Fir1Init(&fir, coefficients.data(), 3));
    Fir1Filter(&fir, 1.0);
    Fir1Filter(&fir, 1.0);
    Fir1Reset(&fir);
    EXPECT_EQ(fir.offset, 0u);
    EXPECT_EQ(Fir1Filter(&fir, 1.0), 0.5);
    EXPECT_EQ(Fir1Filter(&fir, 0.0), 0.25);
    EXPECT_EQ(Fir1Filter(&fir, 0.0), 0.125);
    EXPECT_EQ(Fir1Filter(&fir, 0.0), 0.0);
    Fir1Destroy(&fir);
}

TEST(Fir1, DestroyReleasesOnlyWhatTheRecordOwns)
{
    // A caller-owned array survives Destroy (the sanitizer build would flag a bad free).
    std::vector<double> coefficients = {1.0, 2.0};
    Fir1Data fir;
    ASSERT_TRUE(Fir1Init(&fir, coefficients.data(), 2));
    Fir1Destroy(&fir);
    expectUnusable(fir);
    EXPECT_EQ(coefficients[1], 2.0);

    Fir1Data empty;
    EXPECT_FALSE(Fir1Init(&empty, coefficients.data(), 0));
    expectUnusable(empty);
    EXPECT_FALSE(Fir1Init(&empty, nullptr, 4));
    expectUnusable(empty);
    EXPECT_FALSE(Fir1Init(&empty, coefficients.data(), kFir1MaxTaps + 1));
    expectUnusable(empty);
    Fir1Destroy(&empty); // harmless on an empty record
}

TEST(Fir1File, LoadsEveryNumberOrTheRequestedCount)
{
    const std::string path = writeFile("three.txt", "0.5\n-0.25\n1e-3\n");
    Fir1Data fir;
    ASSERT_TRUE(Fir1InitFromFile(&fir, path.c_str(), 0));
    EXPECT_EQ(fir.taps, 3u);
    EXPECT_EQ(fir.tapsToProcess, 3u);
    EXPECT_EQ(fir.offset, 0u);
    EXPECT_EQ(fir.coefficients[0], 0.5);
    EXPECT_EQ(fir.coefficients[1], -0.25);
    EXPECT_EQ(fir.coefficients[2], 1e-3);
    EXPECT_EQ(Fir1Filter(&fir, 2.0), 1.0);
    EXPECT_EQ(Fir1Filter(&fir, 0.0), -0.5);
    Fir1Destroy(&fir); // the leak checker verifies both arrays are released
    expectUnusable(fir);

    ASSERT_TRUE(Fir1InitFromFile(&fir, path.c_str(), 2));
    EXPECT_EQ(fir.taps, 2u) << "values beyond the count are ignored";
    EXPECT_EQ(fir.coefficients[1], -0.25);
    Fir1Destroy(&fir);

    // Counting stops at the first line that is not a number.
    const std::string mixed = writeFile("mixed.txt", "0.5\n0.25\nend\n0.125\n");
    ASSERT_TRUE(Fir1InitFromFile(&fir, mixed.c_str(), 0));
    EXPECT_EQ(fir.taps, 2u);
    Fir1Destroy(&fir);
    std::remove(path.c_str());
    std::remove(mixed.c_str());
}

TEST(Fir1File, FailuresReportReleaseAndLeaveTheRecordUnusable)
{
    struct Case
    {
        const char* name;
        const char* contents; // null: no file
        uint32_t taps;
        const char* message;
    };
    const Case cases[] = {
        {"missing.txt", nullptr, 0, "Could not open file with coefficients: "},
        {"short.txt", "0.5\n0.25\n", 3, "Could not read coefficients.\n"},
        {"bad.txt", "0.5\nx\n0.25\n", 3, "Could not read coefficients.\n"},
        {"words.txt", "no numbers here\n", 0, "Could not read coefficients.\n"},
        {"empty.txt", "", 0, "Could not read coefficients.\n"},
        {"huge.txt", "0.5\n", kFir1MaxTaps + 1, "Could not allocate"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = c.contents ? writeFile(c.name, c.contents)
                                            : ::testing::TempDir() + "ulmar_fir_does_not_exist.txt";
        Fir1Data fir;
        fir.coefficients = reinterpret_cast<double*>(0x1); // stale values must not survive
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(Fir1InitFromFile(&fir, path.c_str(), c.taps));
        const std::string printed = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed.rfind(c.message, 0), 0u) << printed;
        if (!c.contents)
        {
            EXPECT_EQ(printed, std::string(c.message) + path + "\n");
        }
        expectUnusable(fir);
        std::remove(path.c_str());
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define ULMAR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ULMAR_ASAN 1
#endif
#endif

#ifndef ULMAR_ASAN
// Loads under an address-space cap just above the current size, where the two 8 MiB arrays cannot be
// allocated; exits 0 when the load failed cleanly.
[[noreturn]] void loadUnderMemoryCap(const std::string& path)
{
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(statm, "%ld", &pages) != 1)
        {
            pages = 0;
        }
        std::fclose(statm);
    }
    rlimit limit;
    limit.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4u << 20);
    limit.rlim_max = limit.rlim_cur;
    setrlimit(RLIMIT_AS, &limit);
    Fir1Data fir;
    const bool loaded = Fir1InitFromFile(&fir, path.c_str(), kFir1MaxTaps);
    const bool clean = !loaded && fir.taps == 0 && fir.coefficients == nullptr && fir.buffer == nullptr &&
                       Fir1Filter(&fir, 1.0) == 0.0;
    std::exit(clean ? 0 : 1);
}
#endif

TEST(Fir1FileDeathTest, AllocationFailureReturnsFalse)
{
#ifdef ULMAR_ASAN
    GTEST_SKIP() << "the address sanitizer reserves more address space than any cap allows";
#else
    const std::string path = writeFile("alloc.txt", "0.5\n");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(loadUnderMemoryCap(path), ::testing::ExitedWithCode(0), "Could not allocate");
    std::remove(path.c_str());
#endif
}

} // namespace
