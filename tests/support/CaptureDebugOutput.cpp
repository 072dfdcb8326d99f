#include "tests/support/CaptureDebugOutput.h"

#include <cctype>

namespace
{
std::mutex GCaptureLock;
std::vector<std::string> GCaptured;

void Capture(const char16_t* Text)
{
    std::lock_guard<std::mutex> Guard(GCaptureLock);
    GCaptured.push_back(FString(Text).ToUtf8());
}
} // namespace

FCaptureDebugOutput::FCaptureDebugOutput(bool bEnableTrace) : bTraceWas(appTraceEnabled())
{
    {
        std::lock_guard<std::mutex> Guard(GCaptureLock);
        GCaptured.clear();
    }
    CoreOS::SetDebugOutputHook(&Capture);
    appSetTraceEnabled(bEnableTrace);
}

FCaptureDebugOutput::~FCaptureDebugOutput()
{
    CoreOS::SetDebugOutputHook(nullptr);
    appSetTraceEnabled(bTraceWas);
}

std::vector<std::string> FCaptureDebugOutput::Lines() const
{
    std::lock_guard<std::mutex> Guard(GCaptureLock);
    return GCaptured;
}

bool FCaptureDebugOutput::Contains(const std::string& Needle) const
{
    for (const std::string& Line : Lines())
        if (Line.find(Needle) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> Utf8Lines(const TDynArray<FString>& Texts)
{
    std::vector<std::string> Lines;
    for (const FString& Text : Texts)
        Lines.push_back(Text.ToUtf8());
    return Lines;
}

bool Shaped(const std::string& Text, const std::string& Shape)
{
    if (Text.size() != Shape.size())
        return false;
    for (size_t i = 0; i < Shape.size(); ++i)
        if (Shape[i] == '9' ? !isdigit((unsigned char)Text[i]) : Text[i] != Shape[i])
            return false;
    return true;
}
