// Helpers for driving the real gnatter.exe from a test: start it beside the test
// executable, find its windows, wait with deadlines (never fixed sleeps).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace flytest {

// A started gnatter.exe; killed (if still running) when destroyed.
class FlyProcess {
public:
    FlyProcess() = default;
    ~FlyProcess();
    FlyProcess(const FlyProcess&) = delete;
    FlyProcess& operator=(const FlyProcess&) = delete;

    // Starts gnatter.exe from the test's folder with these options.
    bool start(const std::wstring& options);
    // True and the exit code when the process ends within `timeoutMs`.
    bool waitExit(DWORD timeoutMs, DWORD& exitCode);
    DWORD id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_ = {};
};

// Runs gnatter.exe with these options to the end; returns its exit code, or ~0u when it
// did not end within `timeoutMs` (it is then killed).
DWORD runToEnd(const std::wstring& options, DWORD timeoutMs);

// Polls `condition` every 20 ms until it holds or `timeoutMs` passes.
bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs);

// Top-level windows of a class, of one process (processId != 0) or of any.
std::vector<HWND> windowsOfClass(const wchar_t* className, DWORD processId = 0);

std::wstring windowText(HWND window);
// For failure messages.
std::string toNarrow(const std::wstring& text);

}  // namespace flytest
