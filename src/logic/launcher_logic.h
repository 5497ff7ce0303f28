// The launcher's platform-free arithmetic and texts: the size slider's unit, the value
// label texts, the fly program's command text and command line, and the header layout.
// No Windows header here, so all of it is unit-tested natively as well.
#pragma once

#include <cstddef>
#include <string>

namespace launcher {

// The size slider counts tenths of the size multiplier (position 20 is 2.0).
float trackbarPosToSizeMultiplier(int position);
// Body length in pixels for a multiplier: 18 times it in single precision, truncated.
int sizeMultiplierToPixels(float multiplier);

// Room for every value label text, terminator included.
constexpr std::size_t VALUE_TEXT_SIZE = 32;

enum class SettingRow { Count, Timeout, Size, Variation };

// The text a row's value label shows for a slider position: "%d" for count and
// variation, "No timeout" or "%d" for the timeout, the multiplier as "%.1f" for the size.
void formatValueLabel(SettingRow row, int position, char (&text)[VALUE_TEXT_SIZE]);

// The command text for four slider positions ("gnatter.exe -n 1 -t 15 -s 36"). Out-of-range
// readings are replaced: count below 1 by 5, timeout below 0 by 0, size position 4 or
// below by 10, variation below 0 by 0; -v appears only for a variation above 0.
std::string composeCommandText(int countPos, int timeoutPos, int sizePos, int variationPos);

// How the fly program is started from the launcher's own path and a command text.
struct LaunchLine {
    bool ok = false;           // false: nothing may be started (no argument part, no path)
    std::wstring programPath;  // <launcher's folder>\gnatter.exe
    std::wstring commandLine;  // "<programPath>" followed by the argument part
};

// The folder is the module path up to its last backslash (the whole path when it has
// none); the argument part is the command text from its first space on. The path is
// quoted so that a folder with spaces can neither split it nor start another program.
LaunchLine buildLaunchLine(const std::wstring& modulePath, const std::wstring& commandText);

// Where the header band puts the fly image (or its placeholder box) and the title.
struct HeaderLayout {
    int boxWidth = 0, boxHeight = 0;
    int imageX = 0, imageY = 0;
    int textX = 0, textY = 0;
};

constexpr int GUI_HEADER_HEIGHT = 90;

// clientLeft/clientRight: the client rectangle's horizontal extent. imageWidth/Height:
// the bitmap's size, when hasImage. measuredWidth/Height: the title's measured box.
HeaderLayout computeHeaderLayout(int clientLeft, int clientRight, bool hasImage,
                                 int imageWidth, int imageHeight,
                                 float measuredWidth, float measuredHeight);

}  // namespace launcher
