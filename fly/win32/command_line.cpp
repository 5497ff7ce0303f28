// Command-line splitting and the UTF-8 / UTF-16 conversions around it.
#include "command_line.h"

#include <windows.h>
#include <shellapi.h>

namespace gnatter::win32 {

std::vector<std::string> optionWords(const wchar_t* commandLine) {
    std::vector<std::string> words;
    int count = 0;
    // CommandLineToArgvW would answer an empty line with this program's path; an empty
    // line has no options either way.
    if (commandLine == nullptr || *commandLine == L'\0') return words;
    wchar_t** argv = CommandLineToArgvW(commandLine, &count);
    if (argv == nullptr) return words;
    for (int i = 1; i < count; ++i) words.push_back(toUtf8(argv[i]));
    LocalFree(argv);
    return words;
}

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], needed, nullptr, nullptr);
    return out;
}

std::wstring toWide(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &out[0], needed);
    return out;
}

}  // namespace gnatter::win32
