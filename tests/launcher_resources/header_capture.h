// Screen captures of the launcher's header band for the Windows-side tests: start a
// launcher executable in a chosen current directory, wait until its header has been
// painted, copy the client area off the screen, and check what the band shows (the
// embedded fly, a picture taken from a file, or the empty placeholder box) against
// where the launcher's layout puts the image box and the title.
#pragma once

#include "win_test_support.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace headertest {

constexpr int kHeaderHeight = 90;  // rows 0..89 of the client area
constexpr int kBoxTop = 21;
constexpr int kBoxSide = 48;
constexpr int kTitleGap = 12;

// The test picture written as fly\fly.png: 100x30 opaque black, so the launcher scales
// it into a box 160 wide (48/30*100), which the embedded 144x144 fly can never give.
constexpr int kFilePictureWidth = 100;
constexpr int kFilePictureHeight = 30;
constexpr int kFileBoxWidth = 160;

// Client-area pixels as 0x00RRGGBB, top row first.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Copies the window's client area from the screen; false when it could not.
bool captureClient(HWND window, Capture& out);

// COLOR_BTNFACE as 0x00RRGGBB.
uint32_t buttonFace();
std::string hex(uint32_t rgb);
// True when the pixel is black blended with `face` (each channel the same fraction of
// the face's, within rounding), as a scaled black-on-transparent image leaves it.
bool isBlackBlendedWith(uint32_t pixel, uint32_t face);
bool isDark(uint32_t pixel);

// Where the launcher puts the pair for a box width: the title measured with the same
// font by this session's GDI+, centred as the launcher does it.
struct Layout {
    int startX = 0, boxWidth = 0;
    RECT box{};    // the image box, right/bottom exclusive
    RECT title{};  // the title's measured box, right/bottom exclusive
};
Layout expectedLayout(int clientWidth, int boxWidth);

// Checks that every pixel of `area` satisfies `ok`; reports the count and first offender.
void expectEvery(const Capture& shot, const RECT& area, const char* what,
                 const std::function<bool(int x, int y, uint32_t pixel)>& ok);

// Non-face pixels inside `area` of the capture, with their bounding box (inclusive).
struct Ink {
    int count = 0, black = 0, dark = 0;
    int left = -1, top = -1, right = -1, bottom = -1;
};
Ink inkIn(const Capture& shot, const RECT& area);

// What the header shows, and the checks that it shows exactly that.
enum class Picture { EmbeddedFly, FilePicture, Outline };
const char* pictureName(Picture picture);
void expectHeaderShows(const Capture& shot, Picture picture);

// A launcher started for a test; ended (if still running) on destruction.
struct RunningLauncher {
    testsupport::Process process;
    HWND window = nullptr;
    Capture shot;
};
// Starts `exe` in `currentDir`, waits for its window and a fully painted, settled header,
// and captures it. Reports failures with gtest assertions.
void startAndCapture(const std::wstring& exe, const std::wstring& currentDir,
                     RunningLauncher& launcher);
// Closes the window and waits for the process to end with 0.
void closeLauncher(RunningLauncher& launcher);

// A folder holding fly\fly.png with the test picture (removed by removeTree).
std::wstring makeFolderWithFilePicture(const std::wstring& suffix);
// Saves a capture as <build>\artifacts\<name>.png; returns the path, empty on failure.
std::wstring saveArtifact(const Capture& shot, const std::wstring& name);

}  // namespace headertest
