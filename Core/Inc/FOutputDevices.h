// The Core's output devices: the error device (fatal), the null device and the file log device.
#pragma once

#include <cstdint>

#include "Core/Inc/FOutputDevice.h"

namespace Core
{
namespace Archive
{
class FArchive;
}

namespace Imp
{
// Shows the text as a fatal error and ends the process with exit code 1; with a debugger attached it breaks
// and returns instead.
class FOutputDeviceWindowsError : public Core::Service::FOutputDeviceError
{
public:
    void Serialize(const char16_t* Text, int32_t Event) override;
};

// Drops every line.
class FOutputDeviceNull : public Core::Service::FOutputDevice
{
public:
    void Serialize(const char16_t*, int32_t) override {}
};

// The file log device. It is created disabled and the product never enables it, so every line is dropped and
// no log file is written; were it enabled, the first line would open "<exe dir><exe name>.log".
class FOutputDeviceFile : public Core::Service::FOutputDevice
{
public:
    FOutputDeviceFile();
    ~FOutputDeviceFile() override;
    void Serialize(const char16_t* Text, int32_t Event) override;

    Core::Archive::FArchive* LogArchive;
    char16_t Filename[1024];
    int32_t ShowEventName;
    int32_t Opened;
    int32_t Disabled;

private:
    void Open();
    void WriteLine(const char16_t* Line, int32_t Event);
};
} // namespace Imp
} // namespace Core
