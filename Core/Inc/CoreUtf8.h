// UTF-8 to and from UTF-16, for the places where the Core meets UTF-8 text: Linux file names, terminals,
// command lines. Invalid sequences become U+FFFD. Pure functions; any thread.
#pragma once

#include <string>

std::string appUtf16ToUtf8(const char16_t* Text);
std::u16string appUtf8ToUtf16(const char* Text);
