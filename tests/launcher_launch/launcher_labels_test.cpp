// Drives the real gnatter_gui.exe's value labels from outside: a slider is moved with
// TBM_SETPOS (which notifies no one), then the window gets the WM_HSCROLL a real drag
// or key press would send, and the label must show the slider's actual position.
#include "launcher_harness.h"

#include <commctrl.h>
#include <gtest/gtest.h>

using namespace testsupport;
using namespace harness;

namespace {

struct SliderCase {
    const char* name;
    int id;
    int rangeMin, rangeMax;
    const char* initialText;
};

void PrintTo(const SliderCase& value, std::ostream* out) { *out << value.name; }

const SliderCase kSliders[] = {
    {"Count", kCountSlider, 1, 50, "1"},
    {"Timeout", kTimeoutSlider, 0, 600, "15"},
    {"Size", kSizeSlider, 5, 30, "2.0"},
    {"Variation", kVariationSlider, 0, 100, "0"},
};

// What each label shows, worked out here without floating point.
std::string labelFor(int sliderId, int position)
{
    if (sliderId == kTimeoutSlider && position == 0) {
        return "No timeout";
    }
    if (sliderId == kSizeSlider) {
        return std::to_string(position / 10) + "." + std::to_string(position % 10);
    }
    return std::to_string(position);
}

void scroll(HWND window, int sliderId, int code, int thumb)
{
    SendMessageW(window, WM_HSCROLL, MAKEWPARAM(code, thumb),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, sliderId)));
}

// The labels of the other three sliders still show their starting texts.
void expectOtherLabelsUntouched(HWND window, int movedId)
{
    for (const SliderCase& other : kSliders) {
        if (other.id != movedId) {
            EXPECT_EQ(windowTextA(valueLabel(window, other.id)), other.initialText)
                << other.name << " label changed";
        }
    }
}

class LabelSweep : public ::testing::TestWithParam<SliderCase> {};

TEST_P(LabelSweep, ShowsEveryPositionOfTheWholeRange)
{
    const SliderCase& slider = GetParam();
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher));
    HWND label = valueLabel(launcher.window, slider.id);
    for (int position = slider.rangeMin; position <= slider.rangeMax; ++position) {
        setSlider(launcher.window, slider.id, position);
        scroll(launcher.window, slider.id, TB_THUMBTRACK, position);
        ASSERT_EQ(windowTextA(label), labelFor(slider.id, position)) << "at position " << position;
    }
    // And back down, so a label that only grows would be caught.
    for (int position = slider.rangeMax; position >= slider.rangeMin; --position) {
        setSlider(launcher.window, slider.id, position);
        scroll(launcher.window, slider.id, TB_THUMBTRACK, position);
        ASSERT_EQ(windowTextA(label), labelFor(slider.id, position)) << "at position " << position;
    }
    expectOtherLabelsUntouched(launcher.window, slider.id);
}

INSTANTIATE_TEST_SUITE_P(Sliders, LabelSweep, ::testing::ValuesIn(kSliders),
                         [](const auto& info) { return std::string(info.param.name); });

struct Step {
    int id;
    int position;
    const char* text;
};

TEST(LauncherLabels, ShowTheExactTextsAtTheEndsAndBackFromNoTimeout)
{
    const Step steps[] = {
        {kCountSlider, 50, "50"},       {kCountSlider, 1, "1"},
        {kTimeoutSlider, 0, "No timeout"}, {kTimeoutSlider, 1, "1"},
        {kTimeoutSlider, 0, "No timeout"}, {kTimeoutSlider, 15, "15"},
        {kTimeoutSlider, 600, "600"},   {kSizeSlider, 5, "0.5"},
        {kSizeSlider, 7, "0.7"},        {kSizeSlider, 30, "3.0"},
        {kSizeSlider, 20, "2.0"},       {kVariationSlider, 100, "100"},
        {kVariationSlider, 0, "0"},
    };
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher));
    for (const Step& step : steps) {
        setSlider(launcher.window, step.id, step.position);
        scroll(launcher.window, step.id, TB_THUMBTRACK, step.position);
        EXPECT_EQ(windowTextA(valueLabel(launcher.window, step.id)), step.text)
            << "slider " << step.id << " at " << step.position;
    }
}

struct CodeCase {
    const char* name;
    int code;
};

void PrintTo(const CodeCase& value, std::ostream* out) { *out << value.name; }

const CodeCase kCodes[] = {
    {"ThumbTrack", TB_THUMBTRACK}, {"ThumbPosition", TB_THUMBPOSITION},
    {"LineUp", TB_LINEUP},         {"LineDown", TB_LINEDOWN},
    {"PageUp", TB_PAGEUP},         {"PageDown", TB_PAGEDOWN},
    {"Top", TB_TOP},               {"Bottom", TB_BOTTOM},
    {"EndTrack", TB_ENDTRACK},
};

class ScrollCodes : public ::testing::TestWithParam<CodeCase> {};

// The high word carries a thumb position that is not the slider's: the label must
// follow the slider, whatever the code says.
TEST_P(ScrollCodes, LabelShowsTheSlidersActualPosition)
{
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher));
    for (const SliderCase& slider : kSliders) {
        const int middle = (slider.rangeMin + slider.rangeMax) / 2 + 1;
        for (int position : {slider.rangeMax, slider.rangeMin, middle}) {
            const int wrongThumb = position == slider.rangeMin ? slider.rangeMax : slider.rangeMin;
            setSlider(launcher.window, slider.id, position);
            scroll(launcher.window, slider.id, GetParam().code, wrongThumb);
            EXPECT_EQ(windowTextA(valueLabel(launcher.window, slider.id)),
                      labelFor(slider.id, position))
                << slider.name << " at " << position << ", thumb word " << wrongThumb;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, ScrollCodes, ::testing::ValuesIn(kCodes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LauncherLabels, StayUntilAScrollNotificationArrives)
{
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher));
    for (const SliderCase& slider : kSliders) {
        setSlider(launcher.window, slider.id, slider.rangeMax);
        EXPECT_EQ(windowTextA(valueLabel(launcher.window, slider.id)), slider.initialText)
            << slider.name << " label changed without WM_HSCROLL";
        scroll(launcher.window, slider.id, TB_ENDTRACK, 0);
        EXPECT_EQ(windowTextA(valueLabel(launcher.window, slider.id)),
                  labelFor(slider.id, slider.rangeMax))
            << slider.name << " label after WM_HSCROLL";
    }
}

TEST(LauncherLabels, ScrollsFromOtherWindowsChangeNoLabel)
{
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher));
    HWND window = launcher.window;
    for (const SliderCase& slider : kSliders) {
        setSlider(window, slider.id, slider.rangeMax);
    }
    const std::vector<HWND> children = childWindows(window);
    ASSERT_EQ(children.size(), 14u);
    const struct {
        const char* name;
        HWND sender;
    } senders[] = {
        {"no window", nullptr},
        {"the launcher window", window},
        {"a row label", children[0]},
        {"a value label", children[1]},
        {"the Let's Fly button", GetDlgItem(window, kLaunchButton)},
        {"the Quit button", GetDlgItem(window, kQuitButton)},
        {"the desktop", GetDesktopWindow()},
    };
    for (const auto& sender : senders) {
        for (int code : {TB_THUMBTRACK, TB_ENDTRACK, TB_BOTTOM}) {
            SendMessageW(window, WM_HSCROLL, MAKEWPARAM(code, 7),
                         reinterpret_cast<LPARAM>(sender.sender));
        }
        for (const SliderCase& slider : kSliders) {
            EXPECT_EQ(windowTextA(valueLabel(window, slider.id)), slider.initialText)
                << slider.name << " label changed by a scroll from " << sender.name;
        }
    }
    EXPECT_TRUE(launcher.process.running());
}

}  // namespace
