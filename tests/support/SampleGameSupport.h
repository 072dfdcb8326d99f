// Sample games for the tests of the dialog and the command line, written by the sample game maker.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Core/Inc/Core.h"

// Writes a sample game of Entries entries into Dir (DIR/models/gta3.img), with the archives of Extra
// ({"gta_int", 40}: DIR/models/gta_int.img) named in DIR/data/gta.dat. False with a test failure otherwise.
bool MakeSampleGame(const FString& Dir, int32_t Entries,
                    const std::vector<std::pair<std::string, int32_t>>& Extra = {});
