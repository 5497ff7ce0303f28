// Drives the real gnatter_gui.exe's "Let's Fly" and "Quit" from outside. A copy of the
// launcher sits in a scratch folder beside a stand-in named gnatter.exe that records its
// raw command line, its arguments and its current directory; the tests check what the
// launcher started, from where, with what, and how the launcher itself ended.
#include "launcher_harness.h"

#include <winternl.h>
#include <gtest/gtest.h>

using namespace testsupport;
using namespace harness;

namespace {

DWORD exitCode(RunningLauncher& launcher)
{
    DWORD code = 12345;
    EXPECT_TRUE(launcher.process.waitExit(kDeadlineMs, &code)) << "the launcher did not end";
    return code;
}

void click(HWND window, int buttonId)
{
    PostMessageW(GetDlgItem(window, buttonId), BM_CLICK, 0, 0);
}

void setSliders(HWND window, int count, int timeout, int size, int variation)
{
    setSlider(window, kCountSlider, count);
    setSlider(window, kTimeoutSlider, timeout);
    setSlider(window, kSizeSlider, size);
    setSlider(window, kVariationSlider, variation);
}

// What the stand-in must record when the launcher in `folder`, started in `workingDir`,
// launches it with this argument part.
std::vector<std::string> launchedRecord(const std::wstring& folder, const std::wstring& argumentPart,
                                        const std::vector<std::wstring>& arguments,
                                        const std::wstring& workingDir)
{
    const std::wstring program = joinPath(folder, L"gnatter.exe");
    return expectedRecord(L"\"" + program + L"\" " + argumentPart, program, arguments, workingDir);
}

const std::vector<std::wstring> kDefaultArguments{L"-n", L"1", L"-t", L"15", L"-s", L"36"};
const wchar_t kDefaultArgumentPart[] = L" -n 1 -t 15 -s 36";

// When nothing may have been started, no stand-in file turns up in any of `folders`.
void expectNothingStarted(const std::vector<std::wstring>& folders)
{
    const bool appeared = waitFor([&] {
        for (const std::wstring& folder : folders) {
            if (fileExists(unlimited(receivedPath(folder)))) {
                return true;
            }
        }
        return false;
    }, 2000);
    EXPECT_FALSE(appeared) << "a program was started";
}

struct SettingsCase {
    const char* name;
    int count, timeout, size, variation;
    const wchar_t* argumentPart;
    std::vector<std::wstring> arguments;
};

void PrintTo(const SettingsCase& value, std::ostream* out) { *out << value.name; }

const SettingsCase kSettings[] = {
    {"Defaults", 1, 15, 20, 0, kDefaultArgumentPart, kDefaultArguments},
    {"UpperEnds", 50, 600, 30, 100, L" -n 50 -t 600 -s 54 -v 100",
     {L"-n", L"50", L"-t", L"600", L"-s", L"54", L"-v", L"100"}},
    {"LowerEnds", 1, 0, 5, 0, L" -n 1 -t 0 -s 9", {L"-n", L"1", L"-t", L"0", L"-s", L"9"}},
    {"SmallSteps", 3, 60, 11, 1, L" -n 3 -t 60 -s 19 -v 1",
     {L"-n", L"3", L"-t", L"60", L"-s", L"19", L"-v", L"1"}},
};

class LetsFly : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(LetsFly, StartsTheFlyProgramWithTheSettingsAndExitsWithZero)
{
    const SettingsCase& settings = GetParam();
    Scratch scratch;
    const std::wstring exe = installLauncher(scratch.path(), true);
    ASSERT_FALSE(exe.empty());
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, exe, scratch.path()));
    setSliders(launcher.window, settings.count, settings.timeout, settings.size, settings.variation);
    click(launcher.window, kLaunchButton);
    EXPECT_EQ(exitCode(launcher), 0u);
    EXPECT_EQ(waitForReceived(scratch.path()),
              launchedRecord(scratch.path(), settings.argumentPart, settings.arguments,
                             scratch.path()));
}

INSTANTIATE_TEST_SUITE_P(Settings, LetsFly, ::testing::ValuesIn(kSettings),
                         [](const auto& info) { return std::string(info.param.name); });

class LaunchCommand : public ::testing::TestWithParam<WORD> {};

TEST_P(LaunchCommand, WithAnyNotificationCodeStartsTheFlyProgram)
{
    Scratch scratch;
    const std::wstring exe = installLauncher(scratch.path(), true);
    ASSERT_FALSE(exe.empty());
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, exe, scratch.path()));
    PostMessageW(launcher.window, WM_COMMAND, MAKEWPARAM(kLaunchButton, GetParam()), 0);
    EXPECT_EQ(exitCode(launcher), 0u);
    EXPECT_EQ(waitForReceived(scratch.path()),
              launchedRecord(scratch.path(), kDefaultArgumentPart, kDefaultArguments, scratch.path()));
}

INSTANTIATE_TEST_SUITE_P(Codes, LaunchCommand,
                         ::testing::Values(WORD{BN_CLICKED}, WORD{BN_DOUBLECLICKED}, WORD{0xFFFF}));

TEST(LaunchCommands, OtherIdsStartNothing)
{
    Scratch scratch;
    const std::wstring exe = installLauncher(scratch.path(), true);
    ASSERT_FALSE(exe.empty());
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, exe, scratch.path()));
    for (int id : {0, kCountSlider, kTimeoutSlider, kSizeSlider, kVariationSlider, 1007, 0x1004}) {
        SendMessageW(launcher.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
    EXPECT_TRUE(IsWindow(launcher.window)) << "the launcher window went away";
    EXPECT_TRUE(launcher.process.running());
    expectNothingStarted({scratch.path()});
}

struct FolderCase {
    const char* name;
    const wchar_t* suffix;
};

void PrintTo(const FolderCase& value, std::ostream* out) { *out << value.name; }

class LauncherFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(LauncherFolder, StartsTheFlyProgramBesideTheLauncher)
{
    Scratch scratch(GetParam().suffix);
    const std::wstring exe = installLauncher(scratch.path(), true);
    ASSERT_FALSE(exe.empty());
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, exe, scratch.path()));
    click(launcher.window, kLaunchButton);
    EXPECT_EQ(exitCode(launcher), 0u);
    EXPECT_EQ(waitForReceived(scratch.path()),
              launchedRecord(scratch.path(), kDefaultArgumentPart, kDefaultArguments, scratch.path()));
}

INSTANTIATE_TEST_SUITE_P(Names, LauncherFolder,
                         ::testing::Values(FolderCase{"Plain", L""},
                                           FolderCase{"WithSpaces", L" with  spaces"},
                                           FolderCase{"CyrillicAndCjk", L" \x0414\x043E\x043C \x98DE"}),
                         [](const auto& info) { return std::string(info.param.name); });

// "<root>\decoy dir\gnatter_gui.exe" with "<root>\decoy.exe" beside the folder: an
// unquoted command line without an application name would start the decoy.
TEST(LaunchPath, NeverStartsAProgramNamedLikeAPrefixOfThePath)
{
    Scratch scratch;
    const std::wstring folder = scratch.makeFolder(L"decoy dir");
    ASSERT_FALSE(folder.empty());
    const std::wstring exe = installLauncher(folder, true);
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(installStandin(joinPath(scratch.path(), L"decoy.exe")));
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, exe, folder));
    click(launcher.window, kLaunchButton);
    EXPECT_EQ(exitCode(launcher), 0u);
    EXPECT_EQ(waitForReceived(folder),
              launchedRecord(folder, kDefaultArgumentPart, kDefaultArguments, folder));
    EXPECT_FALSE(fileExists(receivedPath(scratch.path()))) << "the decoy was started";
}

TEST(LaunchPath, FlyProgramRunsInTheLaunchersCurrentDirectory)
{
    Scratch scratch;
    const std::wstring folder = scratch.makeFolder(L"program");
    const std::wstring elsewhere = scratch.makeFolder(L"elsewhere with space");
    ASSERT_FALSE(folder.empty());
    ASSERT_FALSE(elsewhere.empty());
    const std::wstring exe = installLauncher(folder, true);
    ASSERT_FALSE(exe.empty());
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, exe, elsewhere));
    click(launcher.window, kLaunchButton);
    EXPECT_EQ(exitCode(launcher), 0u);
    EXPECT_EQ(waitForReceived(folder),
              launchedRecord(folder, kDefaultArgumentPart, kDefaultArguments, elsewhere));
}

TEST(LaunchPath, LauncherExitsWithoutWaitingForTheFlyProgram)
{
    Scratch scratch;
    const std::wstring exe = installLauncher(scratch.path(), true);
    ASSERT_FALSE(exe.empty());
    // The stand-in stays alive while this event is unsignalled (up to a minute).
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, L"gnatter-standin-hold");
    ASSERT_NE(hold, nullptr);
    RunningLauncher launcher;
    startLauncher(launcher, exe, scratch.path());
    if (!HasFatalFailure()) {
        click(launcher.window, kLaunchButton);
        EXPECT_EQ(exitCode(launcher), 0u);
        EXPECT_EQ(waitForReceived(scratch.path()),
                  launchedRecord(scratch.path(), kDefaultArgumentPart, kDefaultArguments,
                                 scratch.path()));
    }
    SetEvent(hold);
    CloseHandle(hold);
}

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The SS_ICON static of a message box (its ID differs between Windows and Wine).
HWND iconControl(HWND box)
{
    for (HWND child : childWindows(box)) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            return child;
        }
    }
    return nullptr;
}

// How many of the window's pixels on screen are strongly red: the error icon is a red
// disc, while the warning, information and question icons are yellow or blue.
int redPixels(HWND window)
{
    const RECT rect = testsupport::windowRect(window);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return 0;
    }
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    int count = 0;
    const auto* pixel = static_cast<const unsigned char*>(bits);  // blue, green, red, unused
    for (int i = 0; bits != nullptr && i < width * height; ++i, pixel += 4) {
        if (pixel[2] > 160 && pixel[1] < 100 && pixel[0] < 100) {
            ++count;
        }
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return count;
}

// A launcher started from a path longer than MAX_PATH. Wine 8's CreateProcessW refuses
// every such program path (ERROR_INVALID_NAME; with the \\?\ form, ERROR_FILE_NOT_FOUND),
// so where it does, the process is created as CreateProcessW would have after resolving
// the name: through ntdll, with the long path as the image and module name.
class DeepLauncher {
public:
    ~DeepLauncher()
    {
        if (process_ != nullptr) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_, 99);
                WaitForSingleObject(process_, 5000);
            }
            CloseHandle(process_);
        }
    }
    bool start(const std::wstring& program, const std::wstring& workingDir);
    DWORD id() const { return process_ != nullptr ? GetProcessId(process_) : 0; }
    bool waitExit(DWORD* code)
    {
        return WaitForSingleObject(process_, kDeadlineMs) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(process_, code);
    }

private:
    HANDLE process_ = nullptr;
};

struct PsAttribute {
    ULONG_PTR attribute;
    SIZE_T size;
    const void* value;
    SIZE_T* returnLength;
};
struct PsAttributeList {
    SIZE_T totalLength;
    PsAttribute attributes[1];
};
constexpr ULONG_PTR kPsAttributeImageName = 0x20005;
using RtlCreateProcessParametersExFn = LONG(NTAPI*)(void**, UNICODE_STRING*, UNICODE_STRING*,
                                                    UNICODE_STRING*, UNICODE_STRING*, void*,
                                                    UNICODE_STRING*, UNICODE_STRING*,
                                                    UNICODE_STRING*, UNICODE_STRING*, ULONG);
using RtlDestroyProcessParametersFn = LONG(NTAPI*)(void*);
using NtCreateUserProcessFn = LONG(NTAPI*)(HANDLE*, HANDLE*, ACCESS_MASK, ACCESS_MASK, void*,
                                           void*, ULONG, ULONG, void*, void*, PsAttributeList*);

UNICODE_STRING counted(const std::wstring& text)
{
    const USHORT bytes = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    return UNICODE_STRING{bytes, bytes, const_cast<wchar_t*>(text.c_str())};
}

bool DeepLauncher::start(const std::wstring& program, const std::wstring& workingDir)
{
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                       workingDir.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        return true;
    }
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto createParameters = reinterpret_cast<RtlCreateProcessParametersExFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlCreateProcessParametersEx")));
    auto destroyParameters = reinterpret_cast<RtlDestroyProcessParametersFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlDestroyProcessParameters")));
    auto createProcess = reinterpret_cast<NtCreateUserProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateUserProcess")));
    if (!createParameters || !destroyParameters || !createProcess) {
        return false;
    }
    UNICODE_STRING image = counted(program), directory = counted(workingDir), command = counted(line);
    void* parameters = nullptr;
    if (createParameters(&parameters, &image, nullptr, &directory, &command, nullptr, nullptr,
                         nullptr, nullptr, nullptr, 1 /* normalised */) != 0) {
        return false;
    }
    const std::wstring ntImage = L"\\??\\" + program;
    PsAttributeList attributes{sizeof(PsAttributeList),
                               {{kPsAttributeImageName, ntImage.size() * sizeof(wchar_t),
                                 ntImage.c_str(), nullptr}}};
    alignas(8) unsigned char createInfo[0x58] = {};
    *reinterpret_cast<SIZE_T*>(createInfo) = sizeof createInfo;
    HANDLE thread = nullptr;
    const LONG status = createProcess(&process_, &thread, PROCESS_ALL_ACCESS, THREAD_ALL_ACCESS,
                                      nullptr, nullptr, 0, 0, parameters, createInfo, &attributes);
    destroyParameters(parameters);
    if (status != 0) {
        process_ = nullptr;
        return false;
    }
    CloseHandle(thread);
    return true;
}

// The short (8.3) form of an existing folder, asked for in the unlimited form.
std::wstring shortForm(const std::wstring& folder)
{
    const std::wstring asked = unlimited(folder);
    std::vector<wchar_t> buffer(GetShortPathNameW(asked.c_str(), nullptr, 0) + 1);
    const DWORD length = GetShortPathNameW(asked.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring result(buffer.data(), length < buffer.size() ? length : 0);
    return result.rfind(L"\\\\?\\", 0) == 0 ? result.substr(4) : result;
}

// The flies must start from a folder deeper than MAX_PATH. Where the system refuses the
// whole program path, the launcher starts the same gnatter.exe through the short form of
// its folder, still quoted and named as the application. Wine 8 alone cannot: its
// CreateProcessW turns every program name back into its long form in a MAX_PATH buffer
// (and goes on with whatever that buffer held), so there the failure box must name the
// whole path.
TEST(LaunchPath, ModulePathLongerThanMaxPathStillStartsTheFlyProgram)
{
    Scratch scratch;
    std::wstring relative;
    std::wstring folder = scratch.path();
    for (int level = 0; folder.size() <= MAX_PATH + 20; ++level) {
        relative += (level ? L"\\" : L"") + std::wstring(L"a rather long folder name, level ") +
                    std::to_wstring(level);
        folder = scratch.makeFolder(relative);
        ASSERT_FALSE(folder.empty()) << "could not create level " << level;
    }
    const std::wstring exe = installLauncher(folder, true);
    ASSERT_FALSE(exe.empty());
    DeepLauncher launcher;
    ASSERT_TRUE(launcher.start(exe, scratch.path())) << "could not start " << toUtf8(exe);
    HWND window = waitForWindow(launcher.id(), L"GnatterGuiClass", L"Gnatter Launcher", kDeadlineMs);
    ASSERT_NE(window, nullptr) << "no launcher window appeared";
    click(window, kLaunchButton);

    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] {
        box = waitForWindow(launcher.id(), L"#32770", nullptr, 0);
        return box != nullptr || fileExists(unlimited(receivedPath(folder)));
    }, kDeadlineMs)) << "neither the fly program nor a failure box";
    if (box != nullptr) {
        EXPECT_TRUE(underWine()) << "the launcher gave up";
        EXPECT_EQ(toUtf8(windowText(GetDlgItem(box, 0xFFFF))),
                  toUtf8(L"Failed to launch: " + joinPath(folder, L"gnatter.exe")));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    } else {
        // The record is written beside the program that ran, so it is this folder's one.
        const std::vector<std::string> record = waitForReceived(folder);
        const std::wstring shortFolder = shortForm(folder);
        ASSERT_FALSE(shortFolder.empty());
        EXPECT_LT(shortFolder.size(), folder.size());
        EXPECT_TRUE(record == launchedRecord(folder, kDefaultArgumentPart, kDefaultArguments, scratch.path()) ||
                    record == launchedRecord(shortFolder, kDefaultArgumentPart, kDefaultArguments,
                                             scratch.path()))
            << "started as: " << (record.empty() ? std::string("(nothing)") : record.front());
    }
    DWORD code = 12345;
    EXPECT_TRUE(launcher.waitExit(&code)) << "the launcher did not end";
    EXPECT_EQ(code, 0u);
}

TEST(LaunchFailure, ShowsAnErrorBoxNamingTheMissingProgramThenExitsWithZero)
{
    Scratch scratch;
    const std::wstring folder = scratch.makeFolder(L"launcher only");
    const std::wstring elsewhere = scratch.makeFolder(L"current");
    ASSERT_FALSE(folder.empty());
    ASSERT_FALSE(elsewhere.empty());
    const std::wstring exe = installLauncher(folder, false);
    ASSERT_FALSE(exe.empty());
    // A gnatter.exe in the current directory must not stand in for the missing one.
    ASSERT_TRUE(installStandin(joinPath(elsewhere, L"gnatter.exe")));
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, exe, elsewhere));
    click(launcher.window, kLaunchButton);

    HWND box = waitForWindow(launcher.process.id(), L"#32770", L"Error", kDeadlineMs);
    ASSERT_NE(box, nullptr) << "no \"Error\" box";
    EXPECT_EQ(toUtf8(windowText(GetDlgItem(box, 0xFFFF))),
              toUtf8(L"Failed to launch: " + joinPath(folder, L"gnatter.exe")));
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "the box has an owner window";
    HWND icon = iconControl(box);
    ASSERT_NE(icon, nullptr) << "the box has no icon control";
    EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0) << "the box shows no icon";
    int red = 0;
    EXPECT_TRUE(waitFor([&] { return (red = redPixels(icon)) >= 100; }, 5000))
        << "expected the red error icon (at least 100 red pixels), saw " << red << " red pixels";
    EXPECT_TRUE(launcher.process.running()) << "the launcher ended while its box was up";

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(exitCode(launcher), 0u);
    expectNothingStarted({folder, elsewhere, scratch.path()});
}

TEST(Quit, ExitsWithZeroAndStartsNothing)
{
    Scratch scratch;
    const std::wstring exe = installLauncher(scratch.path(), true);
    ASSERT_FALSE(exe.empty());
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, exe, scratch.path()));
    click(launcher.window, kQuitButton);
    EXPECT_EQ(exitCode(launcher), 0u);
    expectNothingStarted({scratch.path()});
}

}  // namespace
