// The X11 desktop benchmark's floor: the window work of gnatter's flies without the
// flies. It shows COUNT override-redirect windows with an empty input shape, as gnatter
// does: 32-bit ARGB windows when a compositing manager owns _NET_WM_CM_Sn, else windows
// shaped to the picture's outline. Each window shows one of two pictures of a fly of
// SIZE pixels, two frames of a grooming stroke (front legs rubbed) drawn by the fly
// core's renderer, so that the outline changes as a fly's does. Both are uploaded once at
// the start as pixmaps (and 1-bit masks when shaped); a new picture is the window's
// background pixmap (and shape mask) and a ClearArea, with a ConfigureWindow first when
// the window's size or place changes, as gnatter shows a cached picture. Each window gets
// MOVES moves (a ConfigureWindow by one pixel, back and forth) and PICTURES new pictures a
// second, spread evenly over the second and over the windows; in between the program
// sleeps in poll(). No simulation, no pointer, no desktop reading. Runs until killed, or
// for SECONDS.
//
//   x11_window_load COUNT SIZE MOVES PICTURES [SECONDS]
#include "server_image.h"
#include "sprite.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const double kFrameSeconds = 1.0 / 60.0;
// What gnatter keeps of a picture on a shaped window: pixels at least this opaque.
const std::uint32_t kOutlineAlpha = 96;

struct Load {
    int count = 0, size = 0;
    double moves = 0.0, pictures = 0.0, seconds = 0.0;
};

struct Picture {
    xcb_pixmap_t pixmap = 0, mask = 0;
    int width = 0, height = 0, anchorX = 0, anchorY = 0;
};

struct Window {
    xcb_window_t id = 0;
    int x = 0, y = 0;                          // where the fly's body centre is
    int left = 0, top = 0, width = 0, height = 0;  // the window now
    int frame = 0;
    double moveDebt = 0.0, pictureDebt = 0.0;  // work owed, in operations
};

bool parse(int argc, char** argv, Load& load) {
    if (argc < 5 || argc > 6) return false;
    load.count = std::atoi(argv[1]);
    load.size = std::atoi(argv[2]);
    load.moves = std::atof(argv[3]);
    load.pictures = std::atof(argv[4]);
    load.seconds = argc == 6 ? std::atof(argv[5]) : 0.0;
    return load.count >= 1 && load.count <= 1000 && load.size >= 4 && load.size <= 256 && load.moves >= 0.0 &&
           load.moves <= 1000.0 && load.pictures >= 0.0 && load.pictures <= 1000.0 && load.seconds >= 0.0;
}

double now() {
    timespec t = {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

xcb_atom_t internAtom(xcb_connection_t* c, const std::string& name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(name.size()), name.c_str()), nullptr);
    const xcb_atom_t atom = r != nullptr ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return atom;
}

bool compositorRuns(xcb_connection_t* c, int screen) {
    const xcb_atom_t selection = internAtom(c, "_NET_WM_CM_S" + std::to_string(screen));
    xcb_get_selection_owner_reply_t* r = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = r != nullptr && r->owner != XCB_WINDOW_NONE;
    std::free(r);
    return owned;
}

xcb_visualid_t argbVisual(xcb_screen_t* screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0; xcb_depth_next(&depths)) {
        if (depths.data->depth != 32) continue;
        for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) return v.data->visual_id;
        }
    }
    return 0;
}

// Premultiplied colour back to full strength, for a shaped window that has no alpha.
std::uint32_t opaque(std::uint32_t pixel) {
    const std::uint32_t a = pixel >> 24;
    if (a == 0 || a == 255) return pixel | 0xff000000u;
    std::uint32_t out = 0xff000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        out |= std::min<std::uint32_t>(255u, (((pixel >> shift) & 0xffu) * 255u + a / 2) / a) << shift;
    }
    return out;
}

// A frame of a fly rubbing its front legs, cropped to what the window shows (every pixel
// with any colour, or only the outline when shaped) and uploaded as gnatter uploads it.
Picture makePicture(xcb_connection_t* c, xcb_screen_t* screen, int size, int groomFrame, bool argb) {
    gnatter::FlyView fly;
    fly.size = float(size);
    fly.heading = 0.3f;
    fly.visible = true;
    fly.pose.stance = gnatter::Stance::Grooming;
    fly.pose.groom = gnatter::Groom::FrontLegs;
    fly.pose.groomFrame = std::uint8_t(groomFrame);
    gnatter::Sprite sprite;
    gnatter::renderFly(fly, sprite);
    const std::uint32_t minAlpha = argb ? 1u : kOutlineAlpha;
    auto at = [&](int x, int y) { return sprite.pixels[std::size_t(y) * std::size_t(sprite.width) + std::size_t(x)]; };
    int left = sprite.width, top = sprite.height, right = 0, bottom = 0;
    for (int y = 0; y < sprite.height; ++y) {
        for (int x = 0; x < sprite.width; ++x) {
            if ((at(x, y) >> 24) < minAlpha) continue;
            left = std::min(left, x);
            right = std::max(right, x + 1);
            top = std::min(top, y);
            bottom = std::max(bottom, y + 1);
        }
    }
    Picture p;
    p.width = right - left;
    p.height = bottom - top;
    p.anchorX = sprite.anchorX - left;
    p.anchorY = sprite.anchorY - top;

    const xcb_setup_t* setup = xcb_get_setup(c);
    const std::uint8_t depth = argb ? 32 : screen->root_depth;
    const std::vector<std::uint8_t> pixels = gnatter::x11::serverPixels(setup, p.width, p.height, [&](int x, int y) {
        const std::uint32_t v = at(left + x, top + y);
        return argb ? v : (v >> 24) >= kOutlineAlpha ? opaque(v) : 0u;
    });
    // A fly's picture is far smaller than one request may carry.
    p.pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, depth, p.pixmap, screen->root, std::uint16_t(p.width), std::uint16_t(p.height));
    xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, p.pixmap, 0, nullptr);
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, p.pixmap, gc, std::uint16_t(p.width), std::uint16_t(p.height), 0, 0,
                  0, depth, std::uint32_t(pixels.size()), pixels.data());
    xcb_free_gc(c, gc);
    if (argb) return p;

    int maskRow = 0;
    const std::vector<std::uint8_t> mask = gnatter::x11::serverMask(
        setup, p.width, p.height, [&](int x, int y) { return (at(left + x, top + y) >> 24) >= kOutlineAlpha; }, maskRow);
    p.mask = xcb_generate_id(c);
    xcb_create_pixmap(c, 1, p.mask, screen->root, std::uint16_t(p.width), std::uint16_t(p.height));
    gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, p.mask, 0, nullptr);
    xcb_put_image(c, XCB_IMAGE_FORMAT_XY_PIXMAP, p.mask, gc, std::uint16_t(p.width), std::uint16_t(p.height), 0, 0, 0,
                  1, std::uint32_t(mask.size()), mask.data());
    xcb_free_gc(c, gc);
    return p;
}

void place(xcb_connection_t* c, Window& w, const Picture& p) {
    const int left = w.x - p.anchorX, top = w.y - p.anchorY;
    if (left == w.left && top == w.top && p.width == w.width && p.height == w.height) return;
    const std::uint32_t geometry[] = {std::uint32_t(left), std::uint32_t(top), std::uint32_t(p.width),
                                      std::uint32_t(p.height)};
    xcb_configure_window(c, w.id,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         geometry);
    w.left = left;
    w.top = top;
    w.width = p.width;
    w.height = p.height;
}

// The requests of gnatter's new picture from its cache: place, background, outline, paint.
void showPicture(xcb_connection_t* c, Window& w, const Picture& p) {
    place(c, w, p);
    xcb_change_window_attributes(c, w.id, XCB_CW_BACK_PIXMAP, &p.pixmap);
    if (p.mask != 0) xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, w.id, 0, 0, p.mask);
    xcb_clear_area(c, 0, w.id, 0, 0, 0, 0);
}

void move(xcb_connection_t* c, Window& w, int step) {
    w.x += step;
    w.left += step;
    const std::uint32_t at[] = {std::uint32_t(w.left), std::uint32_t(w.top)};
    xcb_configure_window(c, w.id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, at);
}

}  // namespace

int main(int argc, char** argv) {
    Load load;
    if (!parse(argc, argv, load)) {
        std::fprintf(stderr,
                     "usage: x11_window_load COUNT SIZE MOVES PICTURES [SECONDS]\n"
                     "COUNT 1-1000 windows for flies of SIZE 4-256 pixels, MOVES and PICTURES 0-1000 per window "
                     "per second.\n");
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "x11_window_load: cannot open the X display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    xcb_screen_t* screen = screens.data;
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
    if (shape == nullptr || !shape->present) {
        std::fprintf(stderr, "x11_window_load: the X server has no SHAPE extension\n");
        return 1;
    }
    const xcb_visualid_t visual = compositorRuns(c, screenNumber) ? argbVisual(screen) : 0;
    const bool argb = visual != 0;
    xcb_colormap_t colormap = 0;
    if (argb) {
        colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, colormap, screen->root, visual);
    }
    const Picture pictures[2] = {makePicture(c, screen, load.size, 0, argb), makePicture(c, screen, load.size, 1, argb)};

    std::vector<Window> windows(std::size_t(load.count));
    const int spanX = std::max(1, screen->width_in_pixels - 2 * load.size);
    const int spanY = std::max(1, screen->height_in_pixels - 2 * load.size);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Window& w = windows[i];
        w.id = xcb_generate_id(c);
        w.x = load.size + int(i * 97) % spanX;
        w.y = load.size + int(i * 61) % spanY;
        // Override-redirect: no window manager frames, moves or focuses it.
        if (argb) {
            const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, 1, colormap};
            xcb_create_window(c, 32, w.id, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                              XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_COLORMAP,
                              values);
        } else {
            const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1};
            xcb_create_window(c, XCB_COPY_FROM_PARENT, w.id, screen->root, 0, 0, 1, 1, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                              XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        }
        // An empty input shape: clicks go to what lies under the window.
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, w.id, 0, 0, 0,
                             nullptr);
        w.left = w.top = -1;
        showPicture(c, w, pictures[0]);
        xcb_map_window(c, w.id);
        // Staggered, so that the windows' work does not fall on the same wake-ups.
        w.moveDebt = double(i) / double(windows.size());
        w.pictureDebt = w.moveDebt;
    }
    xcb_flush(c);

    const double totalRate = std::max(load.moves, load.pictures) * load.count;
    // Wake once per operation when they are rarer than frames, else once a frame.
    const double period = totalRate <= 0.0 ? 3600.0 : std::max(kFrameSeconds, 1.0 / totalRate);
    const double start = now();
    double last = start, next = start;
    int step = 1;
    pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
    while (load.seconds <= 0.0 || last - start < load.seconds) {
        const double left = next - now();
        if (left > 0.0) poll(&fd, 1, int(std::ceil(left * 1000.0)));
        // Errors and events are read and dropped (none are asked for).
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) std::free(event);
        if (xcb_connection_has_error(c)) return 1;
        const double at = now();
        if (at < next) continue;
        const double elapsed = at - last;
        last = at;
        next = at + period;
        step = -step;  // back and forth: the windows stay where they are on average
        for (Window& w : windows) {
            w.moveDebt += load.moves * elapsed;
            w.pictureDebt += load.pictures * elapsed;
            if (w.pictureDebt >= 1.0) {
                w.pictureDebt -= std::floor(w.pictureDebt);
                w.frame ^= 1;
                showPicture(c, w, pictures[w.frame]);
            }
            if (w.moveDebt >= 1.0) {
                w.moveDebt -= std::floor(w.moveDebt);
                move(c, w, step);
            }
        }
        xcb_flush(c);
    }
    xcb_disconnect(c);
    return 0;
}
