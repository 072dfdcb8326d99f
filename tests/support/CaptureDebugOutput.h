// Captures the debug output channel (and so every enabled trace line) for the life of the object.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"

class FCaptureDebugOutput
{
public:
    explicit FCaptureDebugOutput(bool bEnableTrace = true);
    ~FCaptureDebugOutput();

    // Lines received so far, as UTF-8.
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& Needle) const;

private:
    bool bTraceWas;
};

// Whether Text has the shape Shape, where '9' stands for any digit ("99:99:99:9999  Processing a.txd").
bool Shaped(const std::string& Text, const std::string& Shape);

// Each text as UTF-8, in order: report lines, names, for comparisons that print well.
std::vector<std::string> Utf8Lines(const TDynArray<FString>& Texts);

// An output device that keeps each line it is given, as UTF-8.
struct FLineDevice : public FOutputDevice
{
    std::vector<std::string> Lines;
    void Serialize(const char16_t* Text, int32_t) override { Lines.push_back(FString(Text).ToUtf8()); }
};
