// The registry of the Core's services. Each service is created on its first request (exactly once, even when
// two threads ask at the same moment), owned by the registry, and never destroyed.
#pragma once

#include "Core/Inc/CoreTemplateString.h"
#include "Core/Inc/FOutputDevice.h"

namespace Core
{
namespace Service
{
class FFileManager;
class FConfigCache;

class FTimeService
{
public:
    virtual ~FTimeService() {}
    virtual double GetSeconds() = 0;
};

class FTimeServiceImp : public FTimeService
{
public:
    double GetSeconds() override;
};

class FInfoService
{
public:
    virtual ~FInfoService() {}
    virtual void Note(FString Text) = 0;
};

class FInfoServiceImp : public FInfoService
{
public:
    // Traces the build and start-up information and seeds the C runtime's random numbers.
    FInfoServiceImp();
    void Note(FString Text) override;
};

class FGlobalVars
{
public:
    virtual ~FGlobalVars() {}
    virtual FTimeService* GetTimeService() = 0;
    virtual FInfoService* GetInfoService() = 0;
    // Creating the file manager makes the executable's directory the process's current directory.
    virtual FFileManager* GetFileManager() = 0;
    virtual FConfigCache* GetConfigCache() = 0;
    virtual FOutputDevice* GetLogDevice() = 0;
    virtual FOutputDeviceError* GetErrorDevice() = 0;
    virtual FOutputDevice* GetNullDevice() = 0;
};
} // namespace Service
} // namespace Core

// The registry, created on first use.
Core::Service::FGlobalVars* GGlobalVars();

using Core::Service::FGlobalVars;
