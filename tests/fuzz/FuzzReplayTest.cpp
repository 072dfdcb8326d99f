// Every kept fuzz input, seeds and regressions, through its target's body exactly as the fuzz programs run it.
#include <cstring>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "tests/fuzz/FuzzInputs.h"
#include "tests/fuzz/FuzzTargets.h"
#include "tests/support/CaptureDebugOutput.h"

// Test names and messages show a target by its name.
void PrintTo(const FFuzzTarget& Target, std::ostream* Out)
{
    *Out << Target.Name;
}

class FuzzReplayTest : public ::testing::TestWithParam<FFuzzTarget>
{
};

TEST_P(FuzzReplayTest, KeptInputsKeepEveryPromise)
{
    const FFuzzTarget& Target = GetParam();
    // Traced as in the fuzz programs, so that what the input names goes through the formatter here too.
    FCaptureDebugOutput Trace;
    int32_t Seeds = 0;
    for (int32_t i = 0; i < GNumFuzzInputs; ++i)
    {
        const FFuzzInput& Input = GFuzzInputs[i];
        if (std::strcmp(Input.Target, Target.Name) != 0)
            continue;
        if (std::strncmp(Input.Path, "corpus/", 7) == 0)
            ++Seeds;
        const char* Broken = Target.Run(Input.Data, Input.Size);
        EXPECT_TRUE(Broken == nullptr) << Input.Path << ": " << Broken;
    }
    EXPECT_GT(Seeds, 0) << "no seed corpus for " << Target.Name;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplayTest, ::testing::ValuesIn(GFuzzTargets, GFuzzTargets + GNumFuzzTargets),
                         [](const ::testing::TestParamInfo<FFuzzTarget>& Info)
                         { return std::string(Info.param.Name); });
