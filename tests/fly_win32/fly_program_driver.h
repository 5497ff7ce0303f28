// What the Windows tests of the fly program share to drive the real gnatter.exe built
// beside them: its window classes, its notification-icon message, starting it, and
// stopping the flies of a running instance.
#pragma once

#include "win_test_support.h"

#include <string>

namespace flyprogram {

inline const wchar_t kFlyClass[] = L"Gnatter.Fly";
inline const wchar_t kOwnerClass[] = L"Gnatter.FlyProgram";
inline const UINT kTrayMessage = WM_APP + 1;  // the owner window's notification-icon callback
inline const DWORD kAppearMs = 10000;
inline const DWORD kExitMs = 20000;

// Starts the gnatter.exe built beside this test with these options.
inline bool startFlies(testsupport::Process& process, const std::wstring& options) {
    const std::wstring program = testsupport::joinPath(testsupport::exeFolder(), L"gnatter.exe");
    return process.start(program, L"\"" + program + L"\" " + options);
}

// Runs gnatter.exe to its end; its exit code, or ~0u when it did not end in time.
inline DWORD runToEnd(const std::wstring& options, DWORD timeoutMs) {
    testsupport::Process process;
    DWORD exitCode = ~0u;
    if (!startFlies(process, options) || !process.waitExit(timeoutMs, &exitCode)) return ~0u;
    return exitCode;
}

}  // namespace flyprogram
