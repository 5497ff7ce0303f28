// Screen captures and checks of the launcher's header band; see header_capture.h.
#include "header_capture.h"

#include <objidl.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace testsupport;

namespace headertest {

namespace {

const wchar_t kClass[] = L"GnatterGuiClass";
const wchar_t kTitle[] = L"Gnatter Launcher";

void ensureGdiplus()
{
    static ULONG_PTR token = 0;
    if (token == 0) {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    }
}

bool pngEncoder(CLSID& clsid)
{
    UINT count = 0, bytes = 0;
    Gdiplus::GetImageEncodersSize(&count, &bytes);
    if (bytes == 0) {
        return false;
    }
    std::unique_ptr<char[]> buffer(new char[bytes]);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.get());
    Gdiplus::GetImageEncoders(count, bytes, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

bool savePng(Gdiplus::Bitmap& bitmap, const std::wstring& path)
{
    CLSID clsid;
    return pngEncoder(clsid) && bitmap.Save(path.c_str(), &clsid, nullptr) == Gdiplus::Ok;
}

int channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }

bool inside(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

bool sameBand(const Capture& a, const Capture& b)
{
    if (a.width != b.width || a.height < kHeaderHeight || b.height < kHeaderHeight) {
        return false;
    }
    const size_t n = static_cast<size_t>(a.width) * kHeaderHeight;
    return std::equal(a.pixels.begin(), a.pixels.begin() + n, b.pixels.begin());
}

std::string at(int x, int y, uint32_t rgb)
{
    return "(" + std::to_string(x) + "," + std::to_string(y) + ")=" + hex(rgb);
}

}  // namespace

bool captureClient(HWND window, Capture& out)
{
    RECT client{};
    POINT origin{0, 0};
    if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin) ||
        client.right <= 0 || client.bottom <= 0) {
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib != nullptr && memory != nullptr) {
        HGDIOBJ old = SelectObject(memory, dib);
        ok = BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y,
                    SRCCOPY) != 0;
        GdiFlush();
        if (ok) {
            const auto* first = static_cast<const uint32_t*>(bits);
            out.width = client.right;
            out.height = client.bottom;
            out.pixels.assign(first, first + static_cast<size_t>(out.width) * out.height);
            for (uint32_t& pixel : out.pixels) {
                pixel &= 0xFFFFFF;
            }
        }
        SelectObject(memory, old);
    }
    if (dib != nullptr) {
        DeleteObject(dib);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    return ok;
}

uint32_t buttonFace()
{
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    return (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
}

std::string hex(uint32_t rgb)
{
    char text[16];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(rgb));
    return text;
}

bool isBlackBlendedWith(uint32_t pixel, uint32_t face)
{
    const int faceSum = channel(face, 0) + channel(face, 8) + channel(face, 16);
    const int pixelSum = channel(pixel, 0) + channel(pixel, 8) + channel(pixel, 16);
    if (faceSum == 0) {
        return pixel == 0;
    }
    const double fraction = static_cast<double>(pixelSum) / faceSum;
    if (fraction > 1.0) {
        return false;
    }
    for (int shift : {0, 8, 16}) {
        if (std::fabs(channel(pixel, shift) - fraction * channel(face, shift)) > 2.0) {
            return false;
        }
    }
    return true;
}

bool isDark(uint32_t pixel)
{
    return channel(pixel, 0) < 128 && channel(pixel, 8) < 128 && channel(pixel, 16) < 128;
}

Layout expectedLayout(int clientWidth, int boxWidth)
{
    ensureGdiplus();
    HDC screen = GetDC(nullptr);
    Gdiplus::RectF measured(0.0f, 0.0f, 0.0f, 0.0f);
    {
        Gdiplus::Graphics graphics(screen);
        Gdiplus::FontFamily family(L"Segoe UI", nullptr);
        Gdiplus::Font font(&family, 28.0f, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
        graphics.MeasureString(L"Fly", -1, &font, Gdiplus::RectF(0.0f, 0.0f, 1000.0f, 100.0f),
                               &measured);
    }
    ReleaseDC(nullptr, screen);

    Layout layout;
    layout.boxWidth = boxWidth;
    const int textWidth = static_cast<int>(measured.Width);
    layout.startX = clientWidth / 2 - (textWidth + boxWidth + kTitleGap) / 2;
    layout.box = {layout.startX, kBoxTop, layout.startX + boxWidth, kBoxTop + kBoxSide};
    const int textX = layout.startX + boxWidth + kTitleGap;
    const int textY = static_cast<int>((kHeaderHeight - measured.Height) / 2.0f);
    layout.title = {textX, textY, textX + textWidth + 2,
                    textY + static_cast<int>(std::ceil(measured.Height)) + 1};
    return layout;
}

void expectEvery(const Capture& shot, const RECT& area, const char* what,
                 const std::function<bool(int x, int y, uint32_t pixel)>& ok)
{
    int bad = 0;
    std::string first;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (!ok(x, y, shot.at(x, y)) && bad++ == 0) {
                first = at(x, y, shot.at(x, y));
            }
        }
    }
    EXPECT_EQ(bad, 0) << what << " (button face " << hex(buttonFace()) << "); first offender "
                      << first;
}

Ink inkIn(const Capture& shot, const RECT& area)
{
    const uint32_t face = buttonFace();
    Ink ink;
    for (int y = (std::max)(0L, area.top); y < (std::min)(static_cast<LONG>(shot.height), area.bottom); ++y) {
        for (int x = (std::max)(0L, area.left); x < (std::min)(static_cast<LONG>(shot.width), area.right); ++x) {
            const uint32_t pixel = shot.at(x, y);
            if (pixel == face) {
                continue;
            }
            ink.count++;
            ink.black += pixel == 0 ? 1 : 0;
            ink.dark += isDark(pixel) ? 1 : 0;
            ink.left = ink.left < 0 ? x : (std::min)(ink.left, x);
            ink.right = (std::max)(ink.right, x);
            ink.top = ink.top < 0 ? y : (std::min)(ink.top, y);
            ink.bottom = (std::max)(ink.bottom, y);
        }
    }
    return ink;
}

const char* pictureName(Picture picture)
{
    switch (picture) {
    case Picture::EmbeddedFly: return "embedded fly";
    case Picture::FilePicture: return "picture from fly\\fly.png";
    case Picture::Outline: return "empty outline";
    }
    return "?";
}

void expectHeaderShows(const Capture& shot, Picture picture)
{
    SCOPED_TRACE(std::string("expecting the ") + pictureName(picture));
    ASSERT_GE(shot.height, kHeaderHeight);
    const uint32_t face = buttonFace();
    const Layout layout =
        expectedLayout(shot.width, picture == Picture::FilePicture ? kFileBoxWidth : kBoxSide);
    // A 1-pixel outline of a 48x48 rectangle covers one more column and row.
    RECT drawn = layout.box;
    if (picture == Picture::Outline) {
        drawn.right += 1;
        drawn.bottom += 1;
    }

    expectEvery(shot, RECT{0, 0, shot.width, kHeaderHeight},
                "band pixels outside the image box and the title are the button face",
                [&](int x, int y, uint32_t pixel) {
                    return inside(drawn, x, y) || inside(layout.title, x, y) || pixel == face;
                });

    const Ink image = inkIn(shot, drawn);
    switch (picture) {
    case Picture::Outline:
        expectEvery(shot, drawn, "outline edges black, inside button face",
                    [&](int x, int y, uint32_t pixel) {
                        const bool edge = x == drawn.left || x == drawn.right - 1 ||
                                          y == drawn.top || y == drawn.bottom - 1;
                        return pixel == (edge ? 0u : face);
                    });
        break;
    case Picture::EmbeddedFly:
        expectEvery(shot, drawn, "fly box holds only black blended with the button face",
                    [&](int, int, uint32_t pixel) { return isBlackBlendedWith(pixel, face); });
        EXPECT_GE(image.black, 100) << "black pixels of the fly";
        // The fly covers x 8..134, y 5..141 of its 144x144 picture: a third of that here.
        EXPECT_GE(image.left - layout.startX, 1);
        EXPECT_LE(image.left - layout.startX, 3);
        EXPECT_GE(image.right - layout.startX, 43);
        EXPECT_LE(image.right - layout.startX, 46);
        EXPECT_GE(image.top - kBoxTop, 0);
        EXPECT_LE(image.top - kBoxTop, 2);
        EXPECT_GE(image.bottom - kBoxTop, 45);
        EXPECT_LE(image.bottom - kBoxTop, 47);
        break;
    case Picture::FilePicture:
        expectEvery(shot, drawn, "picture box holds only black blended with the button face",
                    [&](int, int, uint32_t pixel) { return isBlackBlendedWith(pixel, face); });
        expectEvery(shot, RECT{drawn.left + 1, drawn.top + 1, drawn.right - 1, drawn.bottom - 1},
                    "the opaque black picture fills its 160x48 box",
                    [&](int, int, uint32_t pixel) { return pixel == 0; });
        break;
    }

    const Ink title = inkIn(shot, layout.title);
    EXPECT_GE(title.dark, 30) << "dark title pixels right of the image box";
    EXPECT_GE(title.left, layout.title.left) << "title ink starts before its place";
    EXPECT_LE(title.left, layout.title.left + kTitleGap)
        << "title ink starts " << title.left - layout.title.left << " px after its place";
}

void startAndCapture(const std::wstring& exe, const std::wstring& currentDir,
                     RunningLauncher& launcher)
{
    ASSERT_TRUE(launcher.process.start(exe, L"", currentDir)) << "could not start " << toUtf8(exe);
    launcher.window = waitForWindow(launcher.process.id(), kClass, kTitle, 20000);
    ASSERT_NE(launcher.window, nullptr) << "no launcher window appeared";
    // Painted and settled: the band holds ink on mostly button face, and two successive
    // captures agree. A window not painted yet shows black under Wine, which is dark ink
    // too and can stay so over two captures.
    Capture previous;
    const bool settled = waitFor([&] {
        Capture now;
        if (!captureClient(launcher.window, now)) {
            return false;
        }
        const Ink band = inkIn(now, RECT{0, 0, now.width, kHeaderHeight});
        const bool done = band.dark > 0 && band.count * 2 < now.width * kHeaderHeight &&
                          sameBand(now, previous);
        previous = std::move(now);
        return done;
    }, 15000);
    ASSERT_TRUE(settled) << "the header was never painted";
    launcher.shot = std::move(previous);
}

void closeLauncher(RunningLauncher& launcher)
{
    PostMessageW(launcher.window, WM_CLOSE, 0, 0);
    DWORD code = 12345;
    EXPECT_TRUE(launcher.process.waitExit(20000, &code)) << "launcher did not end";
    EXPECT_EQ(code, 0u);
}

std::wstring makeFolderWithFilePicture(const std::wstring& suffix)
{
    ensureGdiplus();
    const std::wstring folder = makeTempFolder(suffix);
    const std::wstring flyFolder = joinPath(folder, L"fly");
    CreateDirectoryW(flyFolder.c_str(), nullptr);
    Gdiplus::Bitmap picture(kFilePictureWidth, kFilePictureHeight, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&picture);
        graphics.Clear(Gdiplus::Color(255, 0, 0, 0));
    }
    const std::wstring path = joinPath(flyFolder, L"fly.png");
    EXPECT_TRUE(savePng(picture, path)) << "could not write " << toUtf8(path);
    return folder;
}

std::wstring saveArtifact(const Capture& shot, const std::wstring& name)
{
    ensureGdiplus();
    std::wstring build = exeFolder();
    build = build.substr(0, build.rfind(L'\\'));
    const std::wstring folder = joinPath(build, L"artifacts");
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<uint32_t> pixels = shot.pixels;
    Gdiplus::Bitmap bitmap(shot.width, shot.height, shot.width * 4, PixelFormat32bppRGB,
                           reinterpret_cast<BYTE*>(pixels.data()));
    const std::wstring path = joinPath(folder, name + L".png");
    return savePng(bitmap, path) ? path : std::wstring();
}

}  // namespace headertest
