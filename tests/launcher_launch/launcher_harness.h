// Shared pieces of the launcher's label and launch tests: the launcher's control IDs and
// value labels, starting a copy of gnatter_gui.exe and waiting for its window, scratch
// folders that hold a launcher (and the fly program's stand-in), and reading what the
// stand-in recorded about how it was started.
#pragma once

#include "win_test_support.h"

#include <string>
#include <vector>

namespace harness {

constexpr int kCountSlider = 1001;
constexpr int kTimeoutSlider = 1002;
constexpr int kSizeSlider = 1003;
constexpr int kLaunchButton = 1004;
constexpr int kQuitButton = 1005;
constexpr int kVariationSlider = 1006;
constexpr DWORD kDeadlineMs = 20000;

struct RunningLauncher {
    testsupport::Process process;
    HWND window = nullptr;
};

// Starts `exe` (empty: the gnatter_gui.exe built beside the tests) in `workingDir`
// (empty: inherited) and waits for its window; fails the test when either goes wrong.
void startLauncher(RunningLauncher& launcher, const std::wstring& exe = L"",
                   const std::wstring& workingDir = L"");
// The value label of a slider (the STATIC control just before it in z-order).
HWND valueLabel(HWND launcherWindow, int sliderId);
// Moves a slider from outside, as the keyboard or mouse would, without a notification.
void setSlider(HWND launcherWindow, int sliderId, int position);

// `path` in the form whose length is not limited to MAX_PATH (drive paths only).
std::wstring unlimited(const std::wstring& path);

// A temporary folder that is removed with everything in it on destruction, waiting for
// programs still running from it to let go of their files.
class Scratch {
public:
    explicit Scratch(const std::wstring& suffix = L"");
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::wstring& path() const { return path_; }
    // A new subfolder (any length); empty on failure.
    std::wstring makeFolder(const std::wstring& relative) const;

private:
    std::wstring path_;
};

// Copies gnatter_gui.exe into `folder` and, when asked, the stand-in as gnatter.exe.
// Returns the launcher's path there (empty on failure).
std::wstring installLauncher(const std::wstring& folder, bool withFlyProgram);
// Copies the stand-in to `path` under any name.
bool installStandin(const std::wstring& path);

std::wstring receivedPath(const std::wstring& folder);
// The lines the stand-in in `folder` wrote, once its file appears; empty if it did not
// appear within the deadline.
std::vector<std::string> waitForReceived(const std::wstring& folder, DWORD timeoutMs = kDeadlineMs);
// The lines the stand-in records when started with `commandLine` as the program at
// `programPath` in `workingDir`.
std::vector<std::string> expectedRecord(const std::wstring& commandLine,
                                        const std::wstring& programPath,
                                        const std::vector<std::wstring>& arguments,
                                        const std::wstring& workingDir);

}  // namespace harness
