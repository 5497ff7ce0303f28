// One swarm per session: a starting instance tells the running ones to send their flies
// away before it shows its own. Instances find each other by the class of their hidden
// owner window; a named mutex makes starts take turns, so each sees the one before it.
#pragma once

#include <windows.h>

namespace gnatter::win32 {

// Class of the hidden top-level window each running instance owns.
extern const wchar_t kOwnerClassName[];

// Message a running instance receives when its flies should leave.
UINT leaveMessage();
// Message that turns a running instance's swatting on (wParam 1) or off (0).
UINT swattingMessage();

// Held from before looking for running instances until this instance's owner window
// exists. Waits at most a few seconds, then goes on without it.
class StartupTurn {
public:
    StartupTurn();
    ~StartupTurn();
    StartupTurn(const StartupTurn&) = delete;
    StartupTurn& operator=(const StartupTurn&) = delete;

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

// The process of another running instance whose owner window this is, else 0.
DWORD otherInstanceOwning(HWND window);

// Posts `message` to every running instance's owner window in this session (windows of
// this process excepted); returns how many were told.
int tellRunningInstances(UINT message, WPARAM wParam);

}  // namespace gnatter::win32
