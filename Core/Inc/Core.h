// The Core's common headers in one include.
#pragma once

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreName.h"
#include "Core/Inc/CoreStr.h"
#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateMap.h"
#include "Core/Inc/CoreTemplateString.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FGlobalVars.h"
#include "Core/Inc/FOutputDevice.h"
