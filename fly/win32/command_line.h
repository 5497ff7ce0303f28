// Turns the process's command line into the UTF-8 words the core's option parser takes,
// and converts text between UTF-8 (the core) and UTF-16 (the W forms of Win32).
#pragma once

#include <string>
#include <vector>

namespace gnatter::win32 {

// Splits a whole command line (program name first) by the platform's rules and returns
// the words after the program name, in UTF-8.
std::vector<std::string> optionWords(const wchar_t* commandLine);

std::string toUtf8(const std::wstring& text);
std::wstring toWide(const std::string& text);

}  // namespace gnatter::win32
