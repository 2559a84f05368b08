#include "dsp/Fir1.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
void clearRecord(Fir1Data* data)
{
    data->coefficients = nullptr;
    data->buffer = nullptr;
    data->taps = 0;
    data->offset = 0;
    data->tapsToProcess = 0;
    data->ownsCoefficients = 0;
}

double* allocateZeroed(uint32_t taps)
{
    if (taps == 0 || taps > kFir1MaxTaps)
    {
        return nullptr;
    }
    return static_cast<double*>(std::calloc(taps, sizeof(double)));
}

// Releases what a failed file load allocated and leaves the record unable to filter.
bool failLoad(Fir1Data* data, std::FILE* file)
{
    std::free(data->coefficients);
    std::free(data->buffer);
    clearRecord(data);
    if (file)
    {
        std::fclose(file);
    }
    return false;
}
} // namespace

bool Fir1Init(Fir1Data* data, double* coefficients, uint32_t taps)
{
    clearRecord(data);
    double* history = coefficients ? allocateZeroed(taps) : nullptr;
    if (!history)
    {
        return false;
    }
    data->coefficients = coefficients;
    data->buffer = history;
    data->taps = taps;
    data->tapsToProcess = taps;
    return true;
}

bool Fir1InitFromFile(Fir1Data* data, const char* path, uint32_t taps)
{
    clearRecord(data);
    data->taps = taps;
    std::FILE* file = path ? std::fopen(path, "rt") : nullptr;
    if (!file)
    {
        std::fprintf(stderr, "Could not open file with coefficients: %s\n", path ? path : "(null)");
        data->taps = 0;
        return false;
    }

    double value = 0.0;
    if (taps == 0)
    {
        while (std::fscanf(file, "%lf\n", &value) == 1)
        {
            ++taps;
        }
        std::rewind(file);
    }
    if (taps == 0)
    {
        std::fprintf(stderr, "Could not read coefficients.\n");
        return failLoad(data, file);
    }

    data->coefficients = allocateZeroed(taps);
    data->buffer = allocateZeroed(taps);
    data->ownsCoefficients = 1;
    if (!data->coefficients || !data->buffer)
    {
        std::fprintf(stderr, "Could not allocate %u coefficients.\n", static_cast<unsigned>(taps));
        return failLoad(data, file);
    }
    for (uint32_t i = 0; i < taps; ++i)
    {
        if (std::fscanf(file, "%lf\n", &data->coefficients[i]) != 1)
        {
            std::fprintf(stderr, "Could not read coefficients.\n");
            return failLoad(data, file);
        }
    }
    std::fclose(file);
    data->taps = taps;
    data->tapsToProcess = taps;
    data->offset = 0;
    return true;
}

void Fir1Reset(Fir1Data* data)
{
    if (data->buffer)
    {
        std::memset(data->buffer, 0, sizeof(double) * data->taps);
    }
    data->offset = 0;
}

void Fir1Destroy(Fir1Data* data)
{
    if (data->ownsCoefficients)
    {
        std::free(data->coefficients);
    }
    std::free(data->buffer);
    clearRecord(data);
}

void Fir1SetTapsToProcess(Fir1Data* data, uint32_t n)
{
    data->tapsToProcess = n < data->taps ? n : data->taps;
}

double Fir1Filter(Fir1Data* data, double x)
{
    const uint32_t n = data->tapsToProcess;
    double* history = data->buffer;
    const double* coef = data->coefficients;
    if (n == 0 || !history || !coef)
    {
        return 0.0;
    }
    const uint32_t offset = data->offset;
    history[offset] = x;

    // y = sum of coef[k] * history[(offset - k) mod n], as two runs without a modulo. After the
    // length was lowered below the offset, the first run still reaches back to history[0].
    double y = 0.0;
    for (uint32_t i = offset + 1; i-- > 0;)
    {
        y += *coef++ * history[i];
    }
    for (uint32_t i = n; i-- > offset + 1;)
    {
        y += *coef++ * history[i];
    }
    data->offset = offset + 1 < n ? offset + 1 : 0;
    return y;
}
