// Platform-free pieces of the launcher; see launcher_logic.h.
#include "launcher_logic.h"

#include <cstdio>

namespace launcher {

namespace {

constexpr int IMAGE_BOX_SIDE = 48;
constexpr int TITLE_GAP = 12;

void appendNumber(std::string& text, int value)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", value);
    text += digits;
}

}  // namespace

float trackbarPosToSizeMultiplier(int position)
{
    return static_cast<float>(position) / 10.0f;
}

int sizeMultiplierToPixels(float multiplier)
{
    return static_cast<int>(multiplier * 18.0f);
}

void formatValueLabel(SettingRow row, int position, char (&text)[VALUE_TEXT_SIZE])
{
    switch (row) {
    case SettingRow::Timeout:
        if (position == 0) {
            std::snprintf(text, VALUE_TEXT_SIZE, "%s", "No timeout");
            return;
        }
        std::snprintf(text, VALUE_TEXT_SIZE, "%d", position);
        return;
    case SettingRow::Size:
        std::snprintf(text, VALUE_TEXT_SIZE, "%.1f",
                      static_cast<double>(trackbarPosToSizeMultiplier(position)));
        return;
    case SettingRow::Count:
    case SettingRow::Variation:
        std::snprintf(text, VALUE_TEXT_SIZE, "%d", position);
        return;
    }
}

std::string composeCommandText(int countPos, int timeoutPos, int sizePos, int variationPos)
{
    const int count = countPos < 1 ? 5 : countPos;
    const int timeout = timeoutPos < 0 ? 0 : timeoutPos;
    const int sizePosition = sizePos <= 4 ? 10 : sizePos;
    const int pixels = sizeMultiplierToPixels(trackbarPosToSizeMultiplier(sizePosition));
    const int variation = variationPos < 0 ? 0 : variationPos;

    std::string text = "gnatter.exe -n ";
    appendNumber(text, count);
    text += " -t ";
    appendNumber(text, timeout);
    text += " -s ";
    appendNumber(text, pixels);
    if (variation > 0) {
        text += " -v ";
        appendNumber(text, variation);
    }
    return text;
}

LaunchLine buildLaunchLine(const std::wstring& modulePath, const std::wstring& commandText)
{
    LaunchLine line;
    const std::size_t lastBackslash = modulePath.rfind(L'\\');
    const std::wstring folder =
        lastBackslash == std::wstring::npos ? modulePath : modulePath.substr(0, lastBackslash);
    line.programPath = folder + L"\\gnatter.exe";

    const std::size_t firstSpace = commandText.find(L' ');
    // Without a module path we would start whatever "\gnatter.exe" means in the current
    // drive's root; without an argument part the contract with the fly program is broken.
    if (modulePath.empty() || firstSpace == std::wstring::npos) {
        return line;
    }
    line.commandLine = L"\"" + line.programPath + L"\" " + commandText.substr(firstSpace);
    line.ok = true;
    return line;
}

HeaderLayout computeHeaderLayout(int clientLeft, int clientRight, bool hasImage,
                                 int imageWidth, int imageHeight,
                                 float measuredWidth, float measuredHeight)
{
    HeaderLayout layout;
    const int centreX = (clientRight - clientLeft) / 2;

    layout.boxWidth = IMAGE_BOX_SIDE;
    layout.boxHeight = IMAGE_BOX_SIDE;
    if (hasImage && imageHeight > 0) {
        // Each step rounded to single precision, in this order, then truncated.
        const float scale = static_cast<float>(layout.boxHeight) / static_cast<float>(imageHeight);
        const float width = scale * static_cast<float>(imageWidth);
        layout.boxWidth = static_cast<int>(width);
    }

    const int textWidth = static_cast<int>(measuredWidth);
    const int totalWidth = textWidth + (layout.boxWidth + TITLE_GAP);
    const int startX = centreX - totalWidth / 2;

    layout.imageX = startX;
    layout.imageY = (GUI_HEADER_HEIGHT - layout.boxHeight) / 2;
    layout.textX = layout.imageX + layout.boxWidth + TITLE_GAP;
    const float textTop = (static_cast<float>(GUI_HEADER_HEIGHT) - measuredHeight) / 2.0f;
    layout.textY = static_cast<int>(textTop);
    return layout;
}

}  // namespace launcher
