// Finding and notifying the running instances of the fly program.
#include "single_instance.h"

namespace gnatter::win32 {

const wchar_t kOwnerClassName[] = L"Gnatter.FlyProgram";

namespace {

// "Local\": one per logon session, like the flies on that session's desktop.
const wchar_t kStartupMutexName[] = L"Local\\Gnatter.FlyProgram.Startup";
const DWORD kStartupWaitMs = 5000;

struct Telling {
    UINT message;
    WPARAM wParam;
    int told;
};

BOOL CALLBACK tellIfOwner(HWND window, LPARAM context) {
    if (otherInstanceOwning(window) == 0) return TRUE;
    auto& telling = *reinterpret_cast<Telling*>(context);
    if (PostMessageW(window, telling.message, telling.wParam, 0)) ++telling.told;
    return TRUE;
}

}  // namespace

DWORD otherInstanceOwning(HWND window) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (lstrcmpW(className, kOwnerClassName) != 0) return 0;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId == GetCurrentProcessId() ? 0 : processId;
}

UINT leaveMessage() {
    static const UINT message = RegisterWindowMessageW(L"Gnatter.FlyProgram.Leave");
    return message;
}

UINT swattingMessage() {
    static const UINT message = RegisterWindowMessageW(L"Gnatter.FlyProgram.Swatting");
    return message;
}

StartupTurn::StartupTurn() {
    mutex_ = CreateMutexW(nullptr, FALSE, kStartupMutexName);
    if (mutex_ == nullptr) return;
    const DWORD waited = WaitForSingleObject(mutex_, kStartupWaitMs);
    // An abandoned mutex (a start that crashed) is ours all the same.
    owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

StartupTurn::~StartupTurn() {
    if (owned_) ReleaseMutex(mutex_);
    if (mutex_ != nullptr) CloseHandle(mutex_);
}

int tellRunningInstances(UINT message, WPARAM wParam) {
    Telling telling = {message, wParam, 0};
    EnumWindows(tellIfOwner, reinterpret_cast<LPARAM>(&telling));
    return telling.told;
}

}  // namespace gnatter::win32
