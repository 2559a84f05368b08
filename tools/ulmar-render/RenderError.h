// The one exception type of the renderer: a message for the one-line error and the exit code.
#pragma once

#include "RenderOptions.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace render
{

class RenderError : public std::runtime_error
{
  public:
    explicit RenderError(const std::string& message, int exitCode = kExitIoError)
        : std::runtime_error(message), mExitCode(exitCode)
    {
    }

    int exitCode() const { return mExitCode; }

  private:
    int mExitCode;
};

/// Thrown when a signal asked the render to stop; main re-raises the signal after cleaning up.
class RenderInterrupted : public RenderError
{
  public:
    explicit RenderInterrupted(int signalNumber)
        : RenderError("interrupted (" + std::string(strsignal(signalNumber)) + ")"), mSignal(signalNumber)
    {
    }

    int signalNumber() const { return mSignal; }

  private:
    int mSignal;
};

} // namespace render
