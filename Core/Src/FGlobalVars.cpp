// The registry of the Core's services and the time and info services.
#include "Core/Inc/FGlobalVars.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FConfigCacheIni.h"
#include "Core/Inc/FFileManagerWindows.h"
#include "Core/Inc/FOutputDevices.h"

namespace Core
{
namespace Service
{
double FTimeServiceImp::GetSeconds()
{
    return appSeconds();
}

FInfoServiceImp::FInfoServiceImp()
{
    appTrace(2, u"Compiled: %hs %hs", __DATE__, __TIME__);
    appTrace(2, u"Command line: %s", appCmdLine());
    appTrace(2, u"Character set: %s", u"Unicode");
    appTrace(2, u"Base directory: %s", appBaseDir());
    std::srand(unsigned(std::time(nullptr)));
}

void FInfoServiceImp::Note(FString) {}

// Seven slots, each filled once on its first request.
class FGlobalVarsImp : public FGlobalVars
{
public:
    FTimeService* GetTimeService() override
    {
        std::call_once(TimeOnce, [this] { TimeService = new FTimeServiceImp; });
        return TimeService;
    }
    FInfoService* GetInfoService() override
    {
        std::call_once(InfoOnce, [this] { InfoService = new FInfoServiceImp; });
        return InfoService;
    }
    FFileManager* GetFileManager() override;
    FConfigCache* GetConfigCache() override;
    FOutputDevice* GetLogDevice() override
    {
        std::call_once(LogOnce, [this] { LogDevice = new Imp::FOutputDeviceFile; });
        return LogDevice;
    }
    FOutputDeviceError* GetErrorDevice() override
    {
        std::call_once(ErrorOnce, [this] { ErrorDevice = new Imp::FOutputDeviceWindowsError; });
        return ErrorDevice;
    }
    FOutputDevice* GetNullDevice() override
    {
        std::call_once(NullOnce, [this] { NullDevice = new Imp::FOutputDeviceNull; });
        return NullDevice;
    }

private:
    FTimeService* TimeService = nullptr;
    FInfoService* InfoService = nullptr;
    FFileManager* FileManager = nullptr;
    FConfigCache* ConfigCache = nullptr;
    FOutputDevice* LogDevice = nullptr;
    FOutputDeviceError* ErrorDevice = nullptr;
    FOutputDevice* NullDevice = nullptr;
    std::once_flag TimeOnce, InfoOnce, FileOnce, ConfigOnce, LogOnce, ErrorOnce, NullOnce;
};

FFileManager* FGlobalVarsImp::GetFileManager()
{
    std::call_once(FileOnce, [this] {
        FFileManager* Manager = new Imp::FFileManagerWindows;
        Manager->Init(true);
        // From the first use of the file manager on, relative paths start in the executable's directory.
        Manager->SetDefaultDirectory(appBaseDir());
        FileManager = Manager;
    });
    return FileManager;
}

FConfigCache* FGlobalVarsImp::GetConfigCache()
{
    std::call_once(ConfigOnce, [this] { ConfigCache = new Imp::FConfigCacheIni; });
    return ConfigCache;
}
} // namespace Service
} // namespace Core

Core::Service::FGlobalVars* GGlobalVars()
{
    // Created on first use, thread-safely, and never destroyed.
    static Core::Service::FGlobalVars* Registry = new Core::Service::FGlobalVarsImp;
    return Registry;
}
