// Starts the real gnatter_gui.exe, copies its client area off the screen once the header
// has been painted, and checks the band: the embedded fly scaled into its 48x48 box at
// y 21 on a button-face ground, the title 12 px to its right, the pair centred, and
// nothing else drawn. The capture is saved as <build>\artifacts\header.png.
#include "header_capture.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace headertest;
using namespace testsupport;

namespace {

class RealLauncherHeader : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        launcher_ = new RunningLauncher;
        startAndCapture(joinPath(exeFolder(), L"gnatter_gui.exe"), L"", *launcher_);
        if (!launcher_->shot.pixels.empty()) {
            const std::wstring saved = saveArtifact(launcher_->shot, L"header");
            std::printf("capture saved to %s\n", toUtf8(saved).c_str());
        }
    }
    static void TearDownTestSuite()
    {
        if (launcher_->window != nullptr) {
            closeLauncher(*launcher_);
        }
        delete launcher_;
        launcher_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_GE(shot().height, kHeaderHeight) << "no capture of the launcher's header";
        layout_ = expectedLayout(shot().width, kBoxSide);
    }
    static const Capture& shot() { return launcher_->shot; }

    static RunningLauncher* launcher_;
    Layout layout_;
};

RunningLauncher* RealLauncherHeader::launcher_ = nullptr;

TEST_F(RealLauncherHeader, BandOutsideImageBoxAndTitleIsButtonFace)
{
    const uint32_t face = buttonFace();
    expectEvery(shot(), RECT{0, 0, shot().width, kHeaderHeight},
                "band pixels outside the image box and the title are the button face",
                [&](int x, int y, uint32_t pixel) {
                    const POINT p{x, y};
                    return PtInRect(&layout_.box, p) || PtInRect(&layout_.title, p) || pixel == face;
                });
}

TEST_F(RealLauncherHeader, FlyBoxHoldsBlackFlyOnButtonFaceGround)
{
    const uint32_t face = buttonFace();
    expectEvery(shot(), layout_.box, "fly box holds only black blended with the button face",
                [&](int, int, uint32_t pixel) { return isBlackBlendedWith(pixel, face); });
    EXPECT_GE(inkIn(shot(), layout_.box).black, 100) << "black fly pixels in the box";
    EXPECT_EQ(hex(shot().at(layout_.box.left, layout_.box.top)), hex(face)) << "transparent corner";
    EXPECT_EQ(hex(shot().at(layout_.box.right - 1, layout_.box.bottom - 1)), hex(face))
        << "transparent corner";
}

TEST_F(RealLauncherHeader, FlyExtentMatchesItsPictureScaledToTheBox)
{
    // The fly covers x 8..134 and y 5..141 of its 144x144 picture; a third of that here.
    const Ink fly = inkIn(shot(), layout_.box);
    ASSERT_GT(fly.count, 0);
    const struct { const char* edge; int actual, low, high; } edges[] = {
        {"left", fly.left - layout_.box.left, 1, 3},
        {"right", fly.right - layout_.box.left, 43, 46},
        {"top", fly.top - kBoxTop, 0, 2},
        {"bottom", fly.bottom - kBoxTop, 45, 47},
    };
    for (const auto& e : edges) {
        EXPECT_TRUE(e.actual >= e.low && e.actual <= e.high)
            << e.edge << " edge of the fly at " << e.actual << " in the box, expected "
            << e.low << ".." << e.high;
    }
}

TEST_F(RealLauncherHeader, TitleStartsTwelvePixelsAfterTheImageBox)
{
    const Ink title = inkIn(shot(), layout_.title);
    const Ink gap = inkIn(shot(), RECT{layout_.box.right, 0, layout_.title.left, kHeaderHeight});
    EXPECT_EQ(gap.count, 0) << "ink in the 12 px gap at x " << gap.left;
    EXPECT_GE(title.dark, 30) << "dark title pixels";
    EXPECT_GE(title.left - layout_.box.right, kTitleGap);
    EXPECT_LE(title.left - layout_.box.right, 2 * kTitleGap)
        << "title ink starts " << title.left - layout_.box.right << " px after the box";
}

TEST_F(RealLauncherHeader, PairIsCentredInTheClientArea)
{
    // Measured on the ink: the fly's left edge lies 2-3 px inside its box and the title's
    // measured box carries a little padding, so a few pixels either way are expected.
    const Ink pair = inkIn(shot(), RECT{0, 0, shot().width, kHeaderHeight});
    ASSERT_GT(pair.count, 0);
    const double centre = (pair.left + pair.right + 1) / 2.0;
    EXPECT_NEAR(centre, shot().width / 2.0, 6.0)
        << "ink spans x " << pair.left << ".." << pair.right;
}

}  // namespace
