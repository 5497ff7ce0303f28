// Where the launcher's header image comes from, shown on screen: the real launcher and
// variants built from the same source with reduced resources, each started in a current
// directory with or without a recognisable fly\fly.png (a 100x30 black picture, drawn
// 160 px wide), and the header checked for the embedded fly, that picture, or the empty
// outline. Captures go to <build>\artifacts\header-<case>.png.
#include "header_capture.h"

#include <gtest/gtest.h>

using namespace headertest;
using namespace testsupport;

namespace {

struct SourceCase {
    const char* name;
    const wchar_t* exe;
    bool pictureInCurrentDir;
    Picture expected;
};

const SourceCase kCases[] = {
    {"real_with_file", L"gnatter_gui.exe", true, Picture::EmbeddedFly},
    {"real_without_file", L"gnatter_gui.exe", false, Picture::EmbeddedFly},
    {"no_png_with_file", L"gnatter_gui_no_png.exe", true, Picture::FilePicture},
    {"no_png_without_file", L"gnatter_gui_no_png.exe", false, Picture::Outline},
    {"bad_png_with_file", L"gnatter_gui_bad_png.exe", true, Picture::FilePicture},
    {"bad_png_without_file", L"gnatter_gui_bad_png.exe", false, Picture::Outline},
    {"empty_png_with_file", L"gnatter_gui_empty_png.exe", true, Picture::FilePicture},
    {"empty_png_without_file", L"gnatter_gui_empty_png.exe", false, Picture::Outline},
    {"bare_with_file", L"gnatter_gui_bare.exe", true, Picture::FilePicture},
    {"no_icon_without_file", L"gnatter_gui_no_icon.exe", false, Picture::EmbeddedFly},
};

void PrintTo(const SourceCase& c, std::ostream* out)
{
    *out << c.name;
}

class HeaderImageSource : public ::testing::TestWithParam<SourceCase> {
protected:
    void TearDown() override { removeTree(currentDir_); }
    std::wstring currentDir_;
};

TEST_P(HeaderImageSource, ShowsTheExpectedPicture)
{
    const SourceCase& c = GetParam();
    currentDir_ = c.pictureInCurrentDir ? makeFolderWithFilePicture(L"-cwd")
                                        : makeTempFolder(L"-cwd");
    ASSERT_FALSE(currentDir_.empty());
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startAndCapture(joinPath(exeFolder(), c.exe), currentDir_, launcher));
    const std::string name = std::string("header-") + c.name;
    saveArtifact(launcher.shot, std::wstring(name.begin(), name.end()));
    expectHeaderShows(launcher.shot, c.expected);
    closeLauncher(launcher);
}

INSTANTIATE_TEST_SUITE_P(Variants, HeaderImageSource, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SourceCase>& info) {
                             return std::string(info.param.name);
                         });

// The file is looked up relative to the current directory, not the executable's folder.
TEST(HeaderImageFile, IsNotTakenFromBesideTheExecutable)
{
    const std::wstring exeDir = makeFolderWithFilePicture(L"-exe");
    const std::wstring otherDir = makeTempFolder(L"-other");
    const std::wstring exe = joinPath(exeDir, L"gnatter_gui_no_png.exe");
    ASSERT_TRUE(copyFile(joinPath(exeFolder(), L"gnatter_gui_no_png.exe"), exe));
    {
        // The copy does use the picture when started in its own folder ...
        RunningLauncher inOwnFolder;
        ASSERT_NO_FATAL_FAILURE(startAndCapture(exe, exeDir, inOwnFolder));
        expectHeaderShows(inOwnFolder.shot, Picture::FilePicture);
        closeLauncher(inOwnFolder);
    }
    {
        // ... and not when started elsewhere.
        RunningLauncher elsewhere;
        ASSERT_NO_FATAL_FAILURE(startAndCapture(exe, otherDir, elsewhere));
        saveArtifact(elsewhere.shot, L"header-no_png_file_beside_exe");
        expectHeaderShows(elsewhere.shot, Picture::Outline);
        closeLauncher(elsewhere);
    }
    removeTree(exeDir);
    removeTree(otherDir);
}

// Without its icon group the launcher still opens its window, in the normal state.
TEST(LauncherWithoutIcons, StillOpensItsWindow)
{
    RunningLauncher launcher;
    ASSERT_TRUE(launcher.process.start(joinPath(exeFolder(), L"gnatter_gui_no_icon.exe")));
    launcher.window =
        waitForWindow(launcher.process.id(), L"GnatterGuiClass", L"Gnatter Launcher", 20000);
    ASSERT_NE(launcher.window, nullptr) << "no window without the icon group";
    EXPECT_FALSE(IsIconic(launcher.window));
    EXPECT_EQ(childWindows(launcher.window).size(), 14u);
    closeLauncher(launcher);
}

}  // namespace
