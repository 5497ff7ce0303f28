// Process and window helpers of the fly program's tests.
#include "fly_test_support.h"

namespace flytest {

namespace {

std::wstring gnatterPath() {
    wchar_t buffer[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
    std::wstring path(buffer, length);
    return path.substr(0, path.rfind(L'\\') + 1) + L"gnatter.exe";
}

struct ClassFilter {
    const wchar_t* className;
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM filterAddress) {
    auto& filter = *reinterpret_cast<ClassFilter*>(filterAddress);
    wchar_t className[128] = {};
    GetClassNameW(window, className, 128);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (lstrcmpW(className, filter.className) == 0 && (filter.processId == 0 || processId == filter.processId)) {
        filter.found.push_back(window);
    }
    return TRUE;
}

}  // namespace

FlyProcess::~FlyProcess() {
    if (info_.hProcess != nullptr) {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool FlyProcess::start(const std::wstring& options) {
    const std::wstring program = gnatterPath();
    std::wstring commandLine = L"\"" + program + L"\" " + options;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info_) != FALSE;
}

bool FlyProcess::waitExit(DWORD timeoutMs, DWORD& exitCode) {
    if (info_.hProcess == nullptr || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(info_.hProcess, &exitCode) != FALSE;
}

DWORD runToEnd(const std::wstring& options, DWORD timeoutMs) {
    FlyProcess process;
    DWORD exitCode = 0;
    if (!process.start(options) || !process.waitExit(timeoutMs, exitCode)) return ~0u;
    return exitCode;
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        // Not a synchronisation sleep: the pause between two looks at the condition.
        Sleep(20);
    }
}

std::vector<HWND> windowsOfClass(const wchar_t* className, DWORD processId) {
    ClassFilter filter{className, processId, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&filter));
    return filter.found;
}

std::wstring windowText(HWND window) {
    wchar_t text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

std::string toNarrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace flytest
