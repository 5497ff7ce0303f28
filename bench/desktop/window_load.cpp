// The desktop benchmark's baseline: the window work of the flies without the flies. It
// shows COUNT layered, click-through, topmost tool windows styled like the fly windows,
// each the size of a resting fly of SIZE pixels, and gives each of them MOVES moves
// (SetWindowPos by a pixel) and UPLOADS picture uploads (UpdateLayeredWindow) a second,
// spread evenly over the second and over the windows. The picture is one fixed bitmap:
// a standing fly, drawn once at the start by the same renderer, so that the window
// system gets the same kind of picture (its shape and its alpha) as from the flies.
// There is no simulation and no pointer. The loop wakes only when some window work is
// due, at most 60 times a second. Runs until a window gets WM_CLOSE, or for SECONDS.
//
// With --poses the picture is not fixed: each upload shows the other frame of a grooming
// stroke (front legs rubbed), as a fly's new picture does. Under Wine that costs more than
// the fixed picture's upload, since the legs' new pixels come back from the X server as an
// Expose that Wine answers with a second upload; the difference between the two modes is
// what changing a picture costs the window system itself.
//
//   window_load [--poses] COUNT SIZE MOVES UPLOADS [SECONDS]
#include "fly_bitmap.h"
#include "sprite.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const wchar_t kClassName[] = L"GnatterWindowLoad";
const double kFrameSeconds = 1.0 / 60.0;

struct Load {
    int count = 0, size = 0;
    SIZE window = {};  // of a resting fly
    double moves = 0.0, uploads = 0.0, seconds = 0.0;
    bool poses = false;  // alternate two pictures rather than upload one
};

struct Window {
    HWND handle = nullptr;
    POINT at = {};
    int frame = 0;  // with --poses: the picture it shows
    double moveDebt = 0.0, uploadDebt = 0.0;  // work owed, in operations
};

bool g_closed = false;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCHITTEST: return HTTRANSPARENT;
        case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
        case WM_CLOSE: g_closed = true; return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool parse(int argc, char** argv, Load& load) {
    if (argc > 1 && std::strcmp(argv[1], "--poses") == 0) {
        load.poses = true;
        --argc;
        ++argv;
    }
    if (argc < 5 || argc > 6) return false;
    load.count = std::atoi(argv[1]);
    load.size = std::atoi(argv[2]);
    load.moves = std::atof(argv[3]);
    load.uploads = std::atof(argv[4]);
    load.seconds = argc == 6 ? std::atof(argv[5]) : 0.0;
    return load.count >= 1 && load.count <= 1000 && load.size >= 4 && load.size <= 256 && load.moves >= 0.0 &&
           load.moves <= 1000.0 && load.uploads >= 0.0 && load.uploads <= 1000.0 && load.seconds >= 0.0;
}

// A fly in a memory DC, premultiplied BGRA as the renderer makes it; `window` gets the
// size of a resting fly's window (the sprite's fitted corner). The fixed picture is a
// standing fly. A pose (`groomFrame` >= 0) is a frame of rubbing the front legs, drawn
// `inset` pixels (0 or 1) right and down in a window a pixel wider and taller, as the fly
// program places a new picture when that makes the X server report the legs' new pixels
// as one Expose rather than several.
HDC makePicture(int size, int groomFrame, int inset, SIZE& window) {
    gnatter::FlyView fly;
    fly.size = static_cast<float>(size);
    fly.heading = 0.3f;
    fly.visible = true;
    const int spare = groomFrame >= 0 ? 1 : 0;
    if (groomFrame >= 0) {
        fly.pose.stance = gnatter::Stance::Grooming;
        fly.pose.groom = gnatter::Groom::FrontLegs;
        fly.pose.groomFrame = static_cast<std::uint8_t>(groomFrame);
    }
    gnatter::Sprite sprite;
    gnatter::renderFly(fly, sprite);
    window.cx = (sprite.fitWidth > 0 ? std::min(sprite.width, sprite.fitWidth) : sprite.width) + spare;
    window.cy = (sprite.fitHeight > 0 ? std::min(sprite.height, sprite.fitHeight) : sprite.height) + spare;
    const int width = sprite.width + spare, height = sprite.height + spare;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    if (bitmap == nullptr || dc == nullptr) return nullptr;
    gnatter::win32::drawSpriteInDib(sprite, static_cast<std::uint32_t*>(bits), width, height, SIZE{width, height},
                                    inset * spare);
    SelectObject(dc, bitmap);
    return dc;
}

// A picture drawn one pixel in (the second pose) goes one pixel further out, so that
// the fly stays on the same screen pixels.
bool upload(const Window& window, HDC picture, SIZE size, int inset = 0) {
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    POINT at = {window.at.x - inset, window.at.y - inset};
    return UpdateLayeredWindow(window.handle, nullptr, &at, &size, picture, &source, 0, &blend, ULW_ALPHA) != FALSE;
}

void move(Window& window, int step) {
    window.at.x += step;
    SetWindowPos(window.handle, nullptr, window.at.x, window.at.y, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOOWNERZORDER);
}

long long counter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Load load;
    if (!parse(__argc, __argv, load)) {
        MessageBoxW(nullptr, L"Usage: window_load [--poses] COUNT SIZE MOVES UPLOADS [SECONDS]\n"
                             L"COUNT 1-1000 windows for flies of SIZE 4-256 pixels, MOVES and UPLOADS 0-1000 per "
                             L"window per second.", L"window_load", MB_OK | MB_ICONERROR);
        return 2;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    // The two poses share the larger of their windows.
    HDC pictures[2] = {makePicture(load.size, load.poses ? 0 : -1, 0, load.window), nullptr};
    SIZE second = load.window;
    pictures[1] = load.poses ? makePicture(load.size, 1, 1, second) : pictures[0];
    load.window.cx = std::max(load.window.cx, second.cx);
    load.window.cy = std::max(load.window.cy, second.cy);
    if (RegisterClassExW(&windowClass) == 0 || pictures[0] == nullptr || pictures[1] == nullptr) return 1;

    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const DWORD exStyle = WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    std::vector<Window> windows(static_cast<size_t>(load.count));
    for (size_t i = 0; i < windows.size(); ++i) {
        Window& w = windows[i];
        const LONG spanX = std::max<LONG>(1, screenWidth - load.window.cx);
        const LONG spanY = std::max<LONG>(1, screenHeight - load.window.cy);
        w.at = {static_cast<LONG>(i * 97) % spanX, static_cast<LONG>(i * 61) % spanY};
        w.handle = CreateWindowExW(exStyle, kClassName, L"", WS_POPUP, w.at.x, w.at.y, load.window.cx,
                                   load.window.cy, nullptr, nullptr, instance, nullptr);
        if (w.handle == nullptr || !upload(w, pictures[0], load.window)) return 1;
        ShowWindow(w.handle, SW_SHOWNOACTIVATE);
        // Staggered, so that the windows' work does not fall on the same frames.
        w.moveDebt = static_cast<double>(i) / static_cast<double>(windows.size());
        w.uploadDebt = w.moveDebt;
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double perSecond = static_cast<double>(frequency.QuadPart);
    const double totalRate = std::max(load.moves, load.uploads) * load.count;
    // Wake once per operation when they are rarer than frames, else once a frame.
    const double period = totalRate <= 0.0 ? 3600.0 : std::max(kFrameSeconds, 1.0 / totalRate);
    const long long start = counter();
    long long last = start, next = start;
    int step = 1;
    while (!g_closed && (load.seconds <= 0.0 || static_cast<double>(last - start) / perSecond < load.seconds)) {
        const long long left = next - counter();
        const DWORD waitMs = left <= 0 ? 0 : static_cast<DWORD>(static_cast<double>(left) * 1000.0 / perSecond);
        MsgWaitForMultipleObjectsEx(0, nullptr, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        const long long at = counter();
        if (at < next) continue;
        const double elapsed = static_cast<double>(at - last) / perSecond;
        last = at;
        next = at + static_cast<long long>(period * perSecond);
        step = -step;  // back and forth: the windows stay where they are on average
        for (Window& w : windows) {
            w.moveDebt += load.moves * elapsed;
            w.uploadDebt += load.uploads * elapsed;
            if (w.uploadDebt >= 1.0) {
                w.uploadDebt -= std::floor(w.uploadDebt);
                w.at.x += step;
                w.frame ^= 1;
                upload(w, pictures[w.frame], load.window, load.poses ? w.frame : 0);
            } else if (w.moveDebt >= 1.0) {
                w.moveDebt -= std::floor(w.moveDebt);
                move(w, step);
            }
        }
    }
    return 0;
}
