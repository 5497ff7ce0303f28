// A test stand-in for the fly program. The launch tests copy it beside the launcher as
// gnatter.exe; when started it records how it was started in standin-received.txt
// beside itself (UTF-8): the raw command line, then each argument as the platform splits
// it (argv[0] included), then its current directory, one per line. It exits with 0.
//
// While a test holds the named event "gnatter-standin-hold" unsignalled, the stand-in
// stays alive after writing the file, so a test can see that its starter did not wait.
#include "win_test_support.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::wstring ownPath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring currentDirectory()
{
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    return std::wstring(buffer.data(), length);
}

// Drive paths in the form that is not limited to MAX_PATH.
std::wstring unlimited(const std::wstring& path)
{
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') {
        return L"\\\\?\\" + path;
    }
    return path;
}

bool writeWhole(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::wstring self = ownPath();
    const std::wstring folder = self.substr(0, self.rfind(L'\\'));

    const wchar_t* raw = GetCommandLineW();
    std::wstring record = std::wstring(raw) + L"\n";
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(raw, &argc);
    for (int i = 0; argv != nullptr && i < argc; ++i) {
        record += std::wstring(argv[i]) + L"\n";
    }
    LocalFree(argv);
    record += currentDirectory() + L"\n";

    // Written under another name and renamed, so a reader never sees half a record.
    const std::wstring partial = unlimited(folder + L"\\standin-received.partial");
    const std::wstring finished = unlimited(folder + L"\\standin-received.txt");
    if (!writeWhole(partial, testsupport::toUtf8(record)) ||
        !MoveFileExW(partial.c_str(), finished.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return 1;
    }

    HANDLE hold = OpenEventW(SYNCHRONIZE, FALSE, L"gnatter-standin-hold");
    if (hold != nullptr) {
        WaitForSingleObject(hold, 60000);
        CloseHandle(hold);
    }
    return 0;
}
