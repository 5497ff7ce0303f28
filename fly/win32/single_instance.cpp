// Finding and notifying the running instances of the fly program.
#include "single_instance.h"

namespace gnatter::win32 {

const wchar_t kOwnerClassName[] = L"Gnatter.FlyProgram";

namespace {

// "Local\": one per logon session, like the flies on that session's desktop.
const wchar_t kStartupMutexName[] = L"Local\\Gnatter.FlyProgram.Startup";
const DWORD kStartupWaitMs = 5000;

BOOL CALLBACK postLeaveIfOwner(HWND window, LPARAM toldCount) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (lstrcmpW(className, kOwnerClassName) != 0) return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId()) return TRUE;
    if (PostMessageW(window, leaveMessage(), 0, 0)) ++*reinterpret_cast<int*>(toldCount);
    return TRUE;
}

}  // namespace

UINT leaveMessage() {
    static const UINT message = RegisterWindowMessageW(L"Gnatter.FlyProgram.Leave");
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

int tellRunningInstancesToLeave() {
    int told = 0;
    EnumWindows(postLeaveIfOwner, reinterpret_cast<LPARAM>(&told));
    return told;
}

}  // namespace gnatter::win32
