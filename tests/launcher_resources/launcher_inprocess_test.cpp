// Runs the launcher's own WinMain inside the test, on a worker thread, and looks at its
// window from the same process, where icon and font handles can be read: built once with
// the launcher's resources linked in (the window and its class carry the 32 and 16 px
// icons of group 101; its labels and buttons use 16 px Segoe UI; WinMain gives up with -1 when
// its class name is taken) and once without any (no icon at all).
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <future>

using namespace testsupport;

namespace {

const char kClass[] = "GnatterGuiClass";

// WinMain on its own thread; the window is looked up once it is shown.
class InProcessLauncher {
public:
    InProcessLauncher()
        : result_(std::async(std::launch::async, [] {
              return WinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPSTR>(""),
                             SW_SHOWNOACTIVATE);
          }))
    {
        waitFor([&] {
            for (HWND hwnd : topLevelWindows(GetCurrentProcessId(), L"GnatterGuiClass")) {
                if (IsWindowVisible(hwnd) && windowText(hwnd) == L"Gnatter Launcher") {
                    window_ = hwnd;
                }
            }
            return window_ != nullptr;
        }, 20000);
    }
    ~InProcessLauncher()
    {
        if (result_.valid()) {
            finish();
        }
        UnregisterClassA(kClass, GetModuleHandleW(nullptr));
    }
    HWND window() const { return window_; }
    // Closes the window and returns WinMain's result (12345 if it does not return).
    int finish()
    {
        if (window_ != nullptr) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
        }
        if (result_.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            return 12345;
        }
        return result_.get();
    }

private:
    std::future<int> result_;
    HWND window_ = nullptr;
};

#if GNATTER_TEST_WITH_RESOURCES

SIZE iconSize(HICON icon)
{
    ICONINFO info{};
    BITMAP bitmap{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return SIZE{0, 0};
    }
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    const SIZE size{bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}


struct IconCase {
    const char* name;
    WPARAM which;
    int classIndex;
    LONG side;
};

const IconCase kIconCases[] = {
    {"big", ICON_BIG, GCLP_HICON, 32},
    {"small", ICON_SMALL, GCLP_HICONSM, 16},
};

TEST(InProcessLauncher, WindowAndClassCarryTheIconsOfGroup101)
{
    InProcessLauncher launcher;
    ASSERT_NE(launcher.window(), nullptr) << "no launcher window";
    for (const IconCase& c : kIconCases) {
        SCOPED_TRACE(std::string(c.name) + " icon");
        const auto windowIcon = reinterpret_cast<HICON>(SendMessageW(launcher.window(), WM_GETICON, c.which, 0));
        const auto classIcon = reinterpret_cast<HICON>(GetClassLongPtrW(launcher.window(), c.classIndex));
        ASSERT_NE(windowIcon, nullptr);
        EXPECT_EQ(classIcon, windowIcon) << "class and window hold different icons";
        const SIZE size = iconSize(windowIcon);
        EXPECT_EQ(size.cx, c.side);
        EXPECT_EQ(size.cy, c.side);
    }
    EXPECT_EQ(launcher.finish(), 0);
}

// Trackbars show no text and keep no font (they answer WM_GETFONT with NULL on every
// Windows), so the labels and buttons are the controls that show which font was set.
TEST(InProcessLauncher, EveryLabelAndButtonUses16PixelSegoeUi)
{
    InProcessLauncher launcher;
    ASSERT_NE(launcher.window(), nullptr) << "no launcher window";
    std::vector<HWND> texts;
    for (HWND child : childWindows(launcher.window())) {
        const std::wstring name = className(child);
        if (CompareStringOrdinal(name.c_str(), -1, L"Static", -1, TRUE) == CSTR_EQUAL ||
            CompareStringOrdinal(name.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL) {
            texts.push_back(child);
        }
    }
    ASSERT_EQ(texts.size(), 10u) << "eight labels and two buttons";
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("\"" + windowTextA(texts[i]) + "\"");
        const auto font = reinterpret_cast<HFONT>(SendMessageW(texts[i], WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr) << "no font set";
        LOGFONTW logFont{};
        ASSERT_EQ(GetObjectW(font, sizeof logFont, &logFont), int(sizeof logFont));
        EXPECT_EQ(toUtf8(logFont.lfFaceName), "Segoe UI");
        EXPECT_EQ(logFont.lfHeight, -16);
        EXPECT_EQ(logFont.lfWeight, FW_NORMAL);
    }
    EXPECT_EQ(launcher.finish(), 0);
}

TEST(InProcessLauncher, ReturnsMinusOneWhenItsClassNameIsTaken)
{
    WNDCLASSEXA other{};
    other.cbSize = sizeof other;
    other.lpfnWndProc = DefWindowProcA;
    other.hInstance = GetModuleHandleW(nullptr);
    other.lpszClassName = kClass;
    ASSERT_NE(RegisterClassExA(&other), 0);
    auto result = std::async(std::launch::async, [] {
        return WinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNOACTIVATE);
    });
    const bool returned = result.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    const std::vector<HWND> shown = topLevelWindows(GetCurrentProcessId(), L"GnatterGuiClass");
    for (HWND hwnd : shown) {
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    ASSERT_TRUE(returned) << "WinMain ran on with a foreign class";
    EXPECT_EQ(result.get(), -1);
    EXPECT_EQ(shown.size(), 0u) << "windows created with the foreign class";
    UnregisterClassA(kClass, GetModuleHandleW(nullptr));
}

#else

TEST(InProcessLauncherWithoutResources, WindowAndClassHaveNoIcon)
{
    InProcessLauncher launcher;
    ASSERT_NE(launcher.window(), nullptr) << "no launcher window without resources";
    EXPECT_EQ(SendMessageW(launcher.window(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(SendMessageW(launcher.window(), WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(GetClassLongPtrW(launcher.window(), GCLP_HICON), 0u);
    EXPECT_EQ(GetClassLongPtrW(launcher.window(), GCLP_HICONSM), 0u);
    EXPECT_EQ(launcher.finish(), 0);
}

#endif

}  // namespace
