// The assertion test every part of the system uses. A failed check is a programming error: it reports
// "Assertion failed: <expression> [File:<file>] [Line: <n>]" through the error device, which ends the program
// with exit code 1 (or breaks into an attached debugger and returns).
#pragma once

#include <cstdint>

// Reports a failed check. Never returns unless a debugger is attached.
void appFailAssert(const char* Expression, const char* File, int32_t Line);

#define appCheck(Expression) ((Expression) ? (void)0 : appFailAssert(#Expression, __FILE__, __LINE__))
