// Creating, showing, moving and raising the fly windows.
#include "fly_windows.h"

#include "window_rules.h"

#include <xcb/shape.h>

#include <cmath>

namespace gnatter::x11 {

namespace {

const char kWindowClass[] = "gnatter\0Gnatter";

int roundToInt(float v) { return int(std::lround(v)); }

}  // namespace

void FlyWindows::create(std::size_t count, bool argb) {
    destroy();
    xcb_connection_t* c = display_.c();
    argb_ = argb && display_.argbVisual() != 0;
    cache_ = std::make_unique<PictureCache>(display_, argb_);
    flies_.resize(count);
    for (Fly& fly : flies_) {
        fly.window = xcb_generate_id(c);
        // Override-redirect: no window manager frames, moves, focuses or lists it.
        if (argb_) {
            const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, 1, display_.argbColormap()};
            xcb_create_window(c, 32, fly.window, display_.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                              display_.argbVisual(),
                              XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_COLORMAP,
                              values);
        } else {
            const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1};
            xcb_create_window(c, XCB_COPY_FROM_PARENT, fly.window, display_.root(), 0, 0, 1, 1, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                              XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        }
        // An empty input shape: the pointer and its clicks pass straight through.
        if (display_.hasShape()) {
            xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, fly.window, 0,
                                 0, 0, nullptr);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, fly.window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            sizeof kWindowClass, kWindowClass);
    }
}

void FlyWindows::destroy() {
    for (Fly& fly : flies_) xcb_destroy_window(display_.c(), fly.window);
    flies_.clear();
    cache_.reset();
}

bool FlyWindows::owns(xcb_window_t window) const {
    for (const Fly& fly : flies_) {
        if (fly.window == window) return true;
    }
    return false;
}

bool FlyWindows::shownRect(xcb_window_t window, Rect& rect) const {
    for (const Fly& fly : flies_) {
        if (fly.window != window || !fly.shown) continue;
        rect = {fly.left, fly.top, fly.left + fly.width, fly.top + fly.height};
        return true;
    }
    return false;
}

void FlyWindows::update(const Swarm& swarm, const std::vector<Rect>& hiddenOn) {
    const std::size_t count = std::min(flies_.size(), swarm.flyCount());
    const bool settling = swarm.allResting();
    ++updates_;
    for (std::size_t i = 0; i < count; ++i) updateOne(flies_[i], swarm.flyView(i), hiddenOn, settling);
}

void FlyWindows::hideAll() {
    for (Fly& fly : flies_) {
        if (fly.shown) xcb_unmap_window(display_.c(), fly.window);
        fly.shown = false;
    }
}

void FlyWindows::raise() {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    for (Fly& fly : flies_) {
        if (fly.shown) xcb_configure_window(display_.c(), fly.window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
}

// One request for the place and size, one for the background, one to paint it (and the
// outline, for a shaped window): the pixels are on the server already.
void FlyWindows::showPicture(Fly& fly, const FlyView& view) {
    xcb_connection_t* c = display_.c();
    const Picture& picture = cache_->get(view);
    const int left = roundToInt(view.x) - picture.anchorX, top = roundToInt(view.y) - picture.anchorY;
    if (left != fly.left || top != fly.top || picture.width != fly.width || picture.height != fly.height) {
        const std::uint32_t geometry[] = {std::uint32_t(left), std::uint32_t(top), std::uint32_t(picture.width),
                                          std::uint32_t(picture.height)};
        xcb_configure_window(c, fly.window,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             geometry);
    }
    xcb_change_window_attributes(c, fly.window, XCB_CW_BACK_PIXMAP, &picture.pixmap);
    if (picture.mask != 0) {
        xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, fly.window, 0, 0, picture.mask);
    }
    xcb_clear_area(c, 0, fly.window, 0, 0, 0, 0);
    fly.left = left;
    fly.top = top;
    fly.width = picture.width;
    fly.height = picture.height;
    fly.anchorX = picture.anchorX;
    fly.anchorY = picture.anchorY;
    fly.pictureKey = view.pictureKey;
    fly.hasPicture = true;
    fly.movedAt = updates_;
    ++pictures_;
}

void FlyWindows::updateOne(Fly& fly, const FlyView& view, const std::vector<Rect>& hiddenOn, bool settling) {
    if (keepOutOfSight(view, hiddenOn)) {
        if (fly.shown) xcb_unmap_window(display_.c(), fly.window);
        fly.shown = false;
        return;
    }
    if (!fly.hasPicture || view.pictureKey != fly.pictureKey) {
        showPicture(fly, view);
    } else {
        const int left = roundToInt(view.x) - fly.anchorX, top = roundToInt(view.y) - fly.anchorY;
        if ((left != fly.left || top != fly.top) &&
            !moveMayWait(view, fly.lastX, fly.lastY, updates_ - fly.movedAt, settling)) {
            const std::uint32_t place[] = {std::uint32_t(left), std::uint32_t(top)};
            xcb_configure_window(display_.c(), fly.window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
            ++moves_;
            fly.left = left;
            fly.top = top;
            fly.movedAt = updates_;
        }
    }
    if (!fly.shown) xcb_map_window(display_.c(), fly.window);
    fly.shown = true;
    fly.lastX = view.x;
    fly.lastY = view.y;
}

}  // namespace gnatter::x11
