// Helpers for Windows-side tests that drive real executables from outside: start a
// process, wait for its windows with a deadline, read its controls, wait for its exit.
// Everything polls with deadlines; nothing sleeps a fixed time to synchronise.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Folder of the running test executable; the programs under test are built beside it.
std::wstring exeFolder();
std::wstring joinPath(const std::wstring& folder, const std::wstring& name);

// A started process; ends it (if still running) and closes its handles on destruction.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;

    // Starts `program` with the full command line `commandLine` (empty: just the quoted
    // program) in `workingDir` (empty: inherit). Returns false if it could not start.
    bool start(const std::wstring& program, const std::wstring& commandLine = L"",
               const std::wstring& workingDir = L"", const STARTUPINFOW* startup = nullptr);
    // Waits for the process to end; returns true and its exit code if it did in time.
    bool waitExit(DWORD timeoutMs, DWORD* exitCode);
    bool running() const;
    void kill();
    DWORD id() const { return info_.dwProcessId; }
    HANDLE handle() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_{};
};

// Polls `condition` every few milliseconds until it holds or `timeoutMs` passes.
bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs);

// Visible or hidden top-level windows of a process, optionally of one class.
std::vector<HWND> topLevelWindows(DWORD processId, const wchar_t* className = nullptr);
// The first visible top-level window of the process with this class and title
// (any title when null), waiting until it has been shown.
HWND waitForWindow(DWORD processId, const wchar_t* className, const wchar_t* title,
                   DWORD timeoutMs);

// Direct children in z-order (the order of creation for controls).
std::vector<HWND> childWindows(HWND parent);

std::string windowTextA(HWND hwnd);
std::wstring windowText(HWND hwnd);
std::wstring className(HWND hwnd);

// A window's rectangle in screen coordinates.
RECT windowRect(HWND window);

// A top-down 32-bit picture selected into a memory DC of the screen's, for drawing into
// layered windows and for reading the screen back (BitBlt from `screen`). `pixels` is
// nullptr when it could not be made.
struct ScreenDib {
    HDC screen = nullptr;
    HDC memory = nullptr;
    std::uint32_t* pixels = nullptr;
    ScreenDib(int width, int height);
    ~ScreenDib();
    ScreenDib(const ScreenDib&) = delete;
    ScreenDib& operator=(const ScreenDib&) = delete;

private:
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// A plain white pop-up window of this test's own over `rect`, shown without taking the
// focus: something for flies to perch on or for clicks to land on. The class is
// registered on first use; `procedure` handles its messages (nullptr: DefWindowProcW).
HWND createPlainWindow(const wchar_t* className, const RECT& rect, WNDPROC procedure = nullptr);

// A control's rectangle in its parent's client coordinates.
RECT clientRectInParent(HWND child);

// Copies a file, creating nothing else; true on success.
bool copyFile(const std::wstring& from, const std::wstring& to);
// A new empty folder under the temporary folder whose name ends with `suffix`
// (which may hold spaces or non-ASCII characters); removed with removeTree.
std::wstring makeTempFolder(const std::wstring& suffix);
void removeTree(const std::wstring& folder);
bool fileExists(const std::wstring& path);
// Whole file as bytes; empty when unreadable.
std::string readFile(const std::wstring& path);

std::string toUtf8(const std::wstring& text);

}  // namespace testsupport
