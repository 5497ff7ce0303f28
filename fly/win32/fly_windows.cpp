// Creating, drawing and moving the fly windows.
#include "fly_windows.h"

#include "window_rules.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace gnatter::win32 {

const wchar_t kFlyClassName[] = L"Gnatter.Fly";

namespace {

// WS_EX_LAYERED: per-pixel alpha from UpdateLayeredWindow, so only the fly is seen.
// WS_EX_TRANSPARENT: clicks pass through to whatever lies below.
// WS_EX_NOACTIVATE: never takes the focus from the user's work.
// WS_EX_TOPMOST: crawls over other windows, not under them.
// WS_EX_TOOLWINDOW: no taskbar button and no Alt+Tab entry.
const DWORD kFlyExStyle = WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
// WS_POPUP: no frame or caption, just the picture.
const DWORD kFlyStyle = WS_POPUP;

LRESULT onNcHitTest() { return HTTRANSPARENT; }
LRESULT onMouseActivate() { return MA_NOACTIVATE; }

// A polite close (e.g. taskkill without /f) reaches every top-level window; the owner
// decides what it means, a fly window never closes itself.
LRESULT onClose(HWND window) {
    PostMessageW(GetWindow(window, GW_OWNER), WM_CLOSE, 0, 0);
    return 0;
}

LRESULT CALLBACK flyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCHITTEST: return onNcHitTest();
        case WM_MOUSEACTIVATE: return onMouseActivate();
        case WM_CLOSE: return onClose(window);
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool registerFlyClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = flyWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kFlyClassName;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Moves without touching size, z-order, activation or painting: the layered window
// keeps the picture it was given.
void moveWindow(HWND window, POINT topLeft) {
    SetWindowPos(window, nullptr, topLeft.x, topLeft.y, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOOWNERZORDER);
}

struct FlyOrder {
    const std::vector<HWND>* flies;
    std::vector<HWND> topFirst;
};

BOOL CALLBACK addFlyInOrder(HWND window, LPARAM context) {
    auto& order = *reinterpret_cast<FlyOrder*>(context);
    if (std::find(order.flies->begin(), order.flies->end(), window) != order.flies->end()) {
        order.topFirst.push_back(window);
    }
    return order.topFirst.size() < order.flies->size();
}

}  // namespace

// Wine draws each top-level window in an X window of its own and restacks it only when
// a change of z-order leaves it the first visible top-level window; a window made later
// starts above every X window there is, topmost or not, and the system's own z-order
// (EnumWindows) still has the flies on top. So each fly in turn, the lowest first, is
// put first: a move to where a window already is changes nothing, and the lowest fly is
// only already first when it is the only one, which then steps out of the topmost band
// and back. Costs four X requests per fly (the restack among them) and moves no focus.
void raiseFlyWindows(const std::vector<HWND>& flies) {
    FlyOrder order{&flies, {}};
    EnumWindows(addFlyInOrder, reinterpret_cast<LPARAM>(&order));
    if (order.topFirst.empty()) return;
    const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    const HWND lowest = order.topFirst.back();
    if (GetTopWindow(nullptr) == lowest) SetWindowPos(lowest, HWND_NOTOPMOST, 0, 0, 0, 0, flags);
    for (auto fly = order.topFirst.rbegin(); fly != order.topFirst.rend(); ++fly) {
        SetWindowPos(*fly, HWND_TOPMOST, 0, 0, 0, 0, flags);
    }
}

bool FlyWindows::create(HWND owner, std::size_t count) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registerFlyClass(instance)) return false;
    flies_.resize(count);
    for (Fly& fly : flies_) {
        fly.window = CreateWindowExW(kFlyExStyle, kFlyClassName, L"", kFlyStyle, 0, 0, 1, 1, owner, nullptr,
                                     instance, nullptr);
        if (fly.window == nullptr) return false;
    }
    return true;
}

void FlyWindows::destroy() {
    for (Fly& fly : flies_) {
        if (fly.window != nullptr) DestroyWindow(fly.window);
    }
    flies_.clear();
}

void FlyWindows::update(const gnatter::Swarm& swarm, const std::vector<gnatter::Rect>& hiddenOn) {
    const std::size_t count = std::min(flies_.size(), swarm.flyCount());
    // Once everything rests the loop may sleep for seconds: every window goes where its
    // fly ended up now, none waits for a later frame.
    const bool settling = swarm.allResting();
    ++updates_;
    for (std::size_t i = 0; i < count; ++i) updateOne(flies_[i], swarm.flyView(i), hiddenOn, settling);
}

void FlyWindows::hideAll() {
    for (Fly& fly : flies_) {
        if (fly.shown) ShowWindow(fly.window, SW_HIDE);
        fly.shown = false;
    }
}

void FlyWindows::raise() {
    std::vector<HWND> windows;
    for (const Fly& fly : flies_) windows.push_back(fly.window);
    raiseFlyWindows(windows);
}

// A new picture goes where it costs the window system least to take it: at the same
// inset as the last one, or one pixel diagonally off with the window moved the other
// way, which shows the same on the screen (see PictureOutline).
bool FlyWindows::uploadPicture(Fly& fly, const gnatter::FlyView& view) {
    const gnatter::Sprite& sprite = canvas_.render(view);
    const SIZE size = canvas_.windowSize(true);
    int inset = fly.inset;
    PictureOutline same(sprite, inset, size.cx, size.cy);
    PictureOutline shifted(sprite, 1 - inset, size.cx, size.cy);
    if (fly.hasPicture && shiftPays(fly.outline, same, shifted)) {
        inset = 1 - inset;
        same = std::move(shifted);
    }
    if (!canvas_.upload(fly.window, view, size, inset)) return false;
    ++uploads_;
    fly.inset = inset;
    fly.outline = std::move(same);
    fly.anchorX = sprite.anchorX;
    fly.anchorY = sprite.anchorY;
    fly.topLeft = windowTopLeft(view.x, view.y, fly.anchorX, fly.anchorY, fly.inset);
    fly.pictureKey = view.pictureKey;
    fly.hasPicture = true;
    fly.movedAt = updates_;
    return true;
}

void FlyWindows::updateOne(Fly& fly, const gnatter::FlyView& view, const std::vector<gnatter::Rect>& hiddenOn,
                           bool settling) {
    if (gnatter::keepOutOfSight(view, hiddenOn)) {
        if (fly.shown) ShowWindow(fly.window, SW_HIDE);
        fly.shown = false;
        return;
    }
    if (!fly.hasPicture || view.pictureChanged || view.pictureKey != fly.pictureKey) {
        if (!uploadPicture(fly, view)) return;
    } else {
        const POINT topLeft = windowTopLeft(view.x, view.y, fly.anchorX, fly.anchorY, fly.inset);
        if ((topLeft.x != fly.topLeft.x || topLeft.y != fly.topLeft.y) &&
            !gnatter::moveMayWait(view, fly.lastX, fly.lastY, updates_ - fly.movedAt, settling)) {
            moveWindow(fly.window, topLeft);
            ++moves_;
            fly.topLeft = topLeft;
            fly.movedAt = updates_;
        }
    }
    if (!fly.shown) ShowWindow(fly.window, SW_SHOWNOACTIVATE);
    fly.shown = true;
    fly.lastX = view.x;
    fly.lastY = view.y;
}

}  // namespace gnatter::win32
