// Sinks of text lines: the output device interface and the marker base of the error device.
#pragma once

#include <cstdint>

namespace Core
{
namespace Service
{
class FOutputDevice
{
public:
    virtual ~FOutputDevice() {}
    // Receives one line. Text is owned by the caller and valid only during the call; Event is an index of the
    // name table (1 for every Logf line).
    virtual void Serialize(const char16_t* Text, int32_t Event) = 0;

    // Formats printf-style into a scratch text (at most 1022 characters; longer output is cut) and sends it
    // with event 1. Allocates nothing.
    void Logf(const char16_t* Format, ...);
};

// The device whose Serialize does not return normally (the fatal error path).
class FOutputDeviceError : public FOutputDevice
{
};
} // namespace Service
} // namespace Core

using Core::Service::FOutputDevice;
using Core::Service::FOutputDeviceError;
