// Process, window and file helpers for the Windows-side tests; see win_test_support.h.
#include "win_test_support.h"

#include <shellapi.h>

#include <utility>

namespace testsupport {

std::wstring exeFolder()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), length);
    return path.substr(0, path.rfind(L'\\'));
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name)
{
    if (!folder.empty() && folder.back() == L'\\') {
        return folder + name;
    }
    return folder + L"\\" + name;
}

Process::~Process()
{
    kill();
}

Process::Process(Process&& other) noexcept : info_(other.info_)
{
    other.info_ = PROCESS_INFORMATION{};
}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        kill();
        info_ = other.info_;
        other.info_ = PROCESS_INFORMATION{};
    }
    return *this;
}

bool Process::start(const std::wstring& program, const std::wstring& commandLine,
                    const std::wstring& workingDir, const STARTUPINFOW* startup)
{
    kill();
    STARTUPINFOW defaultStartup{};
    defaultStartup.cb = sizeof defaultStartup;
    std::wstring line = commandLine.empty() ? L"\"" + program + L"\"" : commandLine;
    std::vector<wchar_t> writable(line.begin(), line.end());
    writable.push_back(L'\0');
    STARTUPINFOW si = startup ? *startup : defaultStartup;
    return CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workingDir.empty() ? nullptr : workingDir.c_str(), &si, &info_) != 0;
}

bool Process::waitExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (info_.hProcess == nullptr || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    if (exitCode) {
        *exitCode = code;
    }
    return true;
}

bool Process::running() const
{
    return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void Process::kill()
{
    if (info_.hProcess != nullptr) {
        if (running()) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hProcess);
    }
    if (info_.hThread != nullptr) {
        CloseHandle(info_.hThread);
    }
    info_ = PROCESS_INFORMATION{};
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(10);
    }
}

namespace {

struct WindowQuery {
    DWORD processId;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND hwnd, LPARAM param)
{
    auto* query = reinterpret_cast<WindowQuery*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == query->processId &&
        (query->className == nullptr || className(hwnd) == query->className)) {
        query->found.push_back(hwnd);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> topLevelWindows(DWORD processId, const wchar_t* className)
{
    WindowQuery query{processId, className, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND waitForWindow(DWORD processId, const wchar_t* wantedClass, const wchar_t* title,
                   DWORD timeoutMs)
{
    HWND result = nullptr;
    waitFor([&] {
        for (HWND hwnd : topLevelWindows(processId, wantedClass)) {
            if (IsWindowVisible(hwnd) && (title == nullptr || windowText(hwnd) == title)) {
                result = hwnd;
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return result;
}

std::vector<HWND> childWindows(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

std::string windowTextA(HWND hwnd)
{
    char text[512] = {0};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

std::wstring windowText(HWND hwnd)
{
    wchar_t text[1024] = {0};
    GetWindowTextW(hwnd, text, 1024);
    return text;
}

std::wstring className(HWND hwnd)
{
    wchar_t name[256] = {0};
    GetClassNameW(hwnd, name, 256);
    return name;
}

RECT windowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

ScreenDib::ScreenDib(int width, int height)
    : screen(GetDC(nullptr)), memory(CreateCompatibleDC(screen))
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ == nullptr) return;
    pixels = static_cast<std::uint32_t*>(bits);
    previous_ = SelectObject(memory, bitmap_);
}

ScreenDib::~ScreenDib()
{
    if (bitmap_ != nullptr) {
        SelectObject(memory, previous_);
        DeleteObject(bitmap_);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

HWND createPlainWindow(const wchar_t* className, const RECT& rect, WNDPROC procedure)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure != nullptr ? procedure : DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);  // a second call finds it registered
    HWND window = CreateWindowExW(0, className, className, WS_POPUP, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

RECT clientRectInParent(HWND child)
{
    RECT rect = windowRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool copyFile(const std::wstring& from, const std::wstring& to)
{
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

std::wstring makeTempFolder(const std::wstring& suffix)
{
    wchar_t base[MAX_PATH + 1] = {0};
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        std::wstring folder = std::wstring(base) + L"gnatter-test-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter) + suffix;
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::wstring();
        }
    }
}

void removeTree(const std::wstring& folder)
{
    if (folder.empty()) {
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(joinPath(folder, L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = joinPath(folder, name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string readFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    return bytes;
}

std::string toUtf8(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], length,
                        nullptr, nullptr);
    return utf8;
}

}  // namespace testsupport
