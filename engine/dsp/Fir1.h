// FIR filter in 64-bit arithmetic over a circular input history.
#pragma once

#include <cstdint>

// Longest response accepted (8 MiB per array); larger requests fail like an allocation failure.
constexpr uint32_t kFir1MaxTaps = 1u << 20;

struct Fir1Data
{
    double* coefficients;
    double* buffer;            // circular input history, `taps` entries
    uint32_t taps;             // number of coefficients; 0 marks a record that cannot filter
    uint32_t offset;           // next write position in the history
    uint32_t tapsToProcess;    // length actually used, at most taps
    uint32_t ownsCoefficients; // 1 when the coefficient array was allocated here (loaded from a file)
};
static_assert(sizeof(Fir1Data) == 2 * sizeof(double*) + 16, "Fir1Data: two pointers, four 32-bit fields");

/// Uses the caller's `coefficients` (neither copied nor owned; they must outlive the record) and
/// allocates a zeroed history of `taps` doubles. Returns false, leaving the record unable to filter
/// (taps 0, no arrays), when taps is 0 or above kFir1MaxTaps or the history cannot be allocated.
/// Not for the audio thread.
bool Fir1Init(Fir1Data* data, double* coefficients, uint32_t taps);
/// Loads `taps` coefficients from a text file of one decimal number per line (taps 0: every number in
/// the file); the record owns both arrays. On failure prints a message to stderr, releases what it
/// allocated, leaves the record unable to filter (taps 0, no arrays) and returns false. Not for the
/// audio thread.
bool Fir1InitFromFile(Fir1Data* data, const char* path, uint32_t taps);
/// Zeroes the history and restarts at offset 0.
void Fir1Reset(Fir1Data* data);
/// Releases the history, and the coefficients when the record owns them; the record then filters
/// nothing (taps 0).
void Fir1Destroy(Fir1Data* data);
/// Limits the response to its first min(taps, n) coefficients (0: the filter outputs 0).
void Fir1SetTapsToProcess(Fir1Data* data, uint32_t n);
/// Filters one sample; 0 for a record without coefficients or history. Audio thread.
double Fir1Filter(Fir1Data* data, double x);
