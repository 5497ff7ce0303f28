// Shared pieces of the launcher's label and launch tests; see launcher_harness.h.
#include "launcher_harness.h"

#include <commctrl.h>
#include <gtest/gtest.h>

using namespace testsupport;

namespace harness {

void startLauncher(RunningLauncher& launcher, const std::wstring& exe, const std::wstring& workingDir)
{
    const std::wstring program = exe.empty() ? joinPath(exeFolder(), L"gnatter_gui.exe") : exe;
    const bool started = launcher.process.start(program, L"", workingDir);
    const DWORD error = GetLastError();
    ASSERT_TRUE(started) << "could not start " << toUtf8(program) << " (error " << error << ")";
    launcher.window = waitForWindow(launcher.process.id(), L"GnatterGuiClass", L"Gnatter Launcher",
                                    kDeadlineMs);
    ASSERT_NE(launcher.window, nullptr) << "no launcher window appeared";
}

HWND valueLabel(HWND launcherWindow, int sliderId)
{
    return GetWindow(GetDlgItem(launcherWindow, sliderId), GW_HWNDPREV);
}

void setSlider(HWND launcherWindow, int sliderId, int position)
{
    SendMessageW(GetDlgItem(launcherWindow, sliderId), TBM_SETPOS, TRUE, position);
}

std::wstring unlimited(const std::wstring& path)
{
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') {
        return L"\\\\?\\" + path;
    }
    return path;
}

Scratch::Scratch(const std::wstring& suffix) : path_(makeTempFolder(suffix))
{
    EXPECT_FALSE(path_.empty()) << "no temporary folder";
}

Scratch::~Scratch()
{
    if (path_.empty()) {
        return;
    }
    const bool gone = waitFor([&] {
        removeTree(path_);
        return !fileExists(path_);
    }, kDeadlineMs);
    EXPECT_TRUE(gone) << "could not remove " << toUtf8(path_);
}

std::wstring Scratch::makeFolder(const std::wstring& relative) const
{
    const std::wstring folder = joinPath(path_, relative);
    return CreateDirectoryW(unlimited(folder).c_str(), nullptr) ? folder : std::wstring();
}

bool installStandin(const std::wstring& path)
{
    return CopyFileW(joinPath(exeFolder(), L"fly_standin.exe").c_str(), unlimited(path).c_str(),
                     FALSE) != 0;
}

std::wstring installLauncher(const std::wstring& folder, bool withFlyProgram)
{
    const std::wstring launcher = joinPath(folder, L"gnatter_gui.exe");
    if (!CopyFileW(joinPath(exeFolder(), L"gnatter_gui.exe").c_str(), unlimited(launcher).c_str(),
                   FALSE)) {
        return std::wstring();
    }
    if (withFlyProgram && !installStandin(joinPath(folder, L"gnatter.exe"))) {
        return std::wstring();
    }
    return launcher;
}

std::wstring receivedPath(const std::wstring& folder)
{
    return joinPath(folder, L"standin-received.txt");
}

std::vector<std::string> waitForReceived(const std::wstring& folder, DWORD timeoutMs)
{
    const std::wstring file = unlimited(receivedPath(folder));
    // Just after the stand-in's rename its handle may still be open, and reading fails
    // for a moment; a whole record always ends with a line break.
    std::string bytes;
    if (!waitFor([&] {
            bytes = readFile(file);
            return !bytes.empty() && bytes.back() == '\n';
        }, timeoutMs)) {
        return {};
    }
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(bytes.substr(start, end - start));
    }
    return lines;
}

std::vector<std::string> expectedRecord(const std::wstring& commandLine,
                                        const std::wstring& programPath,
                                        const std::vector<std::wstring>& arguments,
                                        const std::wstring& workingDir)
{
    std::vector<std::string> lines{toUtf8(commandLine), toUtf8(programPath)};
    for (const std::wstring& argument : arguments) {
        lines.push_back(toUtf8(argument));
    }
    lines.push_back(toUtf8(workingDir));
    return lines;
}

}  // namespace harness
