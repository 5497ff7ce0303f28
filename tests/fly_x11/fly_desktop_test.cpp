// The real gnatter on a private Xvfb, watched and clicked from outside: its fly windows
// (override-redirect, click-through, never focused, kept above other windows, out of
// sight under a full-screen window or a screen locker), a click that squashes a resting
// fly and still reaches the window under it, the look with and without a compositing
// manager, and where flies settle on two monitors with a panel on one of them.
#include "x11_harness.h"

#include <set>

using namespace x11test;

namespace {

const std::size_t kFlies = 6;

class FlyDesktopTest : public X11Test {
protected:
    void startFliesAndWait(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"-n", std::to_string(kFlies), "-t", "0"});
        startFlies(options);
        ASSERT_TRUE(waitFor(5, [&] { return shownFlies().size() == kFlies; })) << shownFlies().size() << " flies shown";
    }
    void startFlies(const std::vector<std::string>& options) { start(gnatter(options)); }
    // Waits for a fly that rested `still` seconds with its body on `area`, clear of the
    // other flies' windows (a click there must find that fly alone).
    bool restingFlyOn(const Rect& area, FlyWindow& fly, double& x, double& y, double still = 0.6) {
        return waitFor(20, [&] {
            const std::vector<FlyWindow> shown = shownFlies();
            for (const FlyWindow& f : restingFlies(still)) {
                bool alone = bodyOf(f, x, y) && area.contains(x, y);
                for (const FlyWindow& other : shown) alone = alone && (other.id == f.id || !other.rect.contains(x, y));
                if (alone) {
                    fly = f;
                    return true;
                }
            }
            return false;
        });
    }
    // True when every shown fly window lies above `window` in the root's stacking order.
    bool fliesAbove(xcb_window_t window) {
        const std::vector<FlyWindow> shown = shownFlies();
        auto tree = reply(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
        const xcb_window_t* bottom = xcb_query_tree_children(tree.get());
        const xcb_window_t* at = std::find(bottom, bottom + xcb_query_tree_children_length(tree.get()), window);
        for (const FlyWindow& f : shown) {
            if (std::find(bottom, at, f.id) != at) return false;
        }
        return !shown.empty();
    }
};

TEST_F(FlyDesktopTest, FliesAreClickThroughOverrideRedirectWindowsThatLandAndTakeNoFocus) {
    startServer();
    startFliesAndWait();
    std::set<xcb_window_t> landed, focused;
    waitFor(15, [&] {
        for (const FlyWindow& f : restingFlies()) landed.insert(f.id);
        auto focus = reply(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
        for (const FlyWindow& f : flies()) {
            if (focus && focus->focus == f.id) focused.insert(f.id);
        }
        return landed.size() == kFlies;
    });
    EXPECT_EQ(kFlies, landed.size()) << "flies that kept still for 0.6 s";
    EXPECT_TRUE(focused.empty()) << "a fly window had the input focus";
    for (const FlyWindow& f : flies()) {
        auto input = reply(
            xcb_shape_get_rectangles_reply(c_, xcb_shape_get_rectangles(c_, f.id, XCB_SHAPE_SK_INPUT), nullptr));
        ASSERT_TRUE(input);
        EXPECT_EQ(0, xcb_shape_get_rectangles_rectangles_length(input.get())) << "input rectangles of fly " << f.id;
        EXPECT_TRUE(f.overrideRedirect) << "fly " << f.id;
    }
}

// Swatting is on, off with --no-swat, or turned off with "gnatter --swatting off".
class FlySwatTest : public FlyDesktopTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(FlySwatTest, AClickOnARestingFlyReachesTheWindowUnderIt) {
    const bool squashes = GetParam() == "On";
    startServer();
    const Rect place{60, 60, 1160, 680};
    const xcb_window_t target = makeWindow(place, false, XCB_EVENT_MASK_BUTTON_PRESS);
    std::vector<std::string> options{"-s", "48"};
    if (GetParam() == "NoSwatOption") options.push_back("--no-swat");
    startFliesAndWait(options);
    if (GetParam() == "TurnedOffByACommand") {
        ASSERT_EQ(0, run(gnatter({"--swatting", "off"})));
    }
    // A fly new to the screen rests only a second or so: a short rest may end before the click.
    FlyWindow fly;
    double bodyX = 0, bodyY = 0;
    ASSERT_TRUE(restingFlyOn(place, fly, bodyX, bodyY, 1.5)) << "no fly rests over the window";
    const int x = int(std::lround(bodyX)), y = int(std::lround(bodyY));
    click(x, y);
    const Clock::time_point clicked = Clock::now();

    int pressX = -1, pressY = -1;
    EXPECT_TRUE(waitFor(2, [&] {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
            const auto* press = reinterpret_cast<xcb_button_press_event_t*>(e);
            if ((e->response_type & 0x7f) == XCB_BUTTON_PRESS && press->event == target) {
                pressX = press->root_x, pressY = press->root_y;
            }
            std::free(e);
        }
        return pressX >= 0;
    })) << "the window under the fly got no click";
    EXPECT_EQ(x, pressX);
    EXPECT_EQ(y, pressY);

    // A squashed fly stays where it was hit for a few seconds, fading, then its window
    // goes. One that was not squashed sits on, or flies off: it moves before it goes.
    bool moved = false;
    double goneAfter = -1;
    waitFor(8, [&] {
        double nowX = 0, nowY = 0;
        for (const FlyWindow& f : shownFlies()) {
            if (f.id == fly.id && bodyOf(f, nowX, nowY)) return moved = std::hypot(nowX - x, nowY - y) > 12;
        }
        goneAfter = secondsSince(clicked);
        return true;
    });
    if (squashes) {
        EXPECT_FALSE(moved) << "the fly moved off after the click";
        EXPECT_GT(goneAfter, 2.0) << "seconds from the click until the squashed fly's window went";
    } else {
        EXPECT_LT(goneAfter, 0) << "seconds from the click until the fly's window went without moving";
    }
}

INSTANTIATE_TEST_SUITE_P(Swatting, FlySwatTest, ::testing::Values("On", "NoSwatOption", "TurnedOffByACommand"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST_F(FlyDesktopTest, FliesStayAboveAWindowMappedOrRaisedOverThem) {
    startServer();
    startFliesAndWait();
    // Over a resting fly: the program raises its windows when it finds one below another
    // window that overlaps it.
    FlyWindow fly;
    double x = 0, y = 0;
    ASSERT_TRUE(restingFlyOn({0, 0, 1280, 800}, fly, x, y));
    const xcb_window_t window = makeWindow({int(x) - 150, int(y) - 100, 300, 200});
    EXPECT_TRUE(waitFor(1, [&] { return fliesAbove(window); })) << "a fly window stayed below a new window";
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(c_);
    EXPECT_TRUE(waitFor(1, [&] { return fliesAbove(window); })) << "a fly window stayed below a raised window";
}

TEST_F(FlyDesktopTest, FliesHideUnderAFullScreenWindowAndUnderAScreenLocker) {
    startServer();
    startFliesAndWait();
    for (bool locker : {false, true}) {
        SCOPED_TRACE(locker ? "a screen locker's window" : "a full-screen window");
        const xcb_window_t window = makeWindow({0, 0, 1280, 800}, locker);
        EXPECT_TRUE(waitFor(1, [&] { return shownFlies().empty(); })) << shownFlies().size() << " flies still shown";
        xcb_destroy_window(c_, window);
        xcb_flush(c_);
        EXPECT_TRUE(waitFor(1.5, [&] { return shownFlies().size() == kFlies; }))
            << shownFlies().size() << " flies shown again";
    }
}

// A screen locker's window covers the screen from before the start until the flies have
// gone (-t 2): no part of a fly may show over it, as they arrive or as they leave.
TEST_F(FlyDesktopTest, NoFlyShowsOverAScreenLockedFromTheStartToTheEnd) {
    startServer();
    makeWindow({0, 0, 1280, 800}, true);
    Child& program = start(gnatter({"-n", std::to_string(kFlies), "-t", "2"}));
    std::set<std::string> shown;
    waitFor(6, [&] {
        for (const FlyWindow& f : shownFlies()) {
            if (f.rect.x < 1280 && f.rect.x + f.rect.w > 0 && f.rect.y < 800 && f.rect.y + f.rect.h > 0) {
                shown.insert(std::to_string(f.rect.w) + "x" + std::to_string(f.rect.h) + "+" + std::to_string(f.rect.x) +
                             "+" + std::to_string(f.rect.y));
            }
        }
        return program.status() >= 0;
    });
    EXPECT_EQ(0, program.status()) << "exit status (-1: still running)";
    EXPECT_TRUE(shown.empty()) << "fly windows shown over the locker: " << ::testing::PrintToString(shown);
}

// The look a user sees, with a compositing manager at the start, after it stops and after
// it starts again. Without one a fly window has the screen's depth and the fly's outline
// as its shape, so every pixel is the fly's own or the desktop's (a hard outline); with
// one, 32 bits with alpha, and its wings and edges mix the fly with what lies below.
class FlyLookTest : public FlyDesktopTest {
protected:
    // The screen over `r` once it shows `window` in `colour` (a compositor repaints a
    // moment later): two photos alike and unlike `before`.
    std::vector<std::uint32_t> photoOver(xcb_window_t window, std::uint32_t colour, const Rect& r,
                                         const std::vector<std::uint32_t>& before) {
        xcb_change_window_attributes(c_, window, XCB_CW_BACK_PIXEL, &colour);
        xcb_clear_area(c_, 0, window, 0, 0, 0, 0);
        std::vector<std::uint32_t> last;
        waitFor(2, [&] {
            auto image = reply(xcb_get_image_reply(c_,
                xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, std::int16_t(r.x), std::int16_t(r.y),
                              std::uint16_t(r.w), std::uint16_t(r.h), 0xffffff), nullptr));
            std::vector<std::uint32_t> now;
            if (image) {
                const auto* pixels = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image.get()));
                now.assign(pixels, pixels + r.w * r.h);
            }
            std::swap(now, last);
            return now == last && last != before;
        });
        return last;
    }
    // Every fly window within a second has this depth and is shaped or not; then a resting
    // fly, photographed over two colours of the plain `window` under it: a pixel alike in
    // both is the fly's own, one that shows each colour exactly is see-through, any other
    // mixes the two. The fly keeps still and keeps its picture through three photos.
    void expectLook(xcb_window_t window, bool composited) {
        SCOPED_TRACE(composited ? "with a compositor" : "without a compositor");
        const int depth = composited ? 32 : 24;
        EXPECT_TRUE(waitFor(1, [&] {
            const std::vector<FlyWindow> shown = shownFlies();
            return shown.size() == kFlies && std::all_of(shown.begin(), shown.end(), [&](const FlyWindow& f) {
                auto extents = reply(xcb_shape_query_extents_reply(c_, xcb_shape_query_extents(c_, f.id), nullptr));
                return f.depth == depth && extents && bool(extents->bounding_shaped) != composited;
            });
        })) << "fly windows of depth " << depth << (composited ? ", not shaped" : ", shaped");
        FlyWindow fly;
        std::vector<std::uint32_t> a, b;
        ASSERT_TRUE(waitFor(20, [&] {
            double x = 0, y = 0;
            if (!restingFlyOn({64, 64, 1152, 671}, fly, x, y)) return false;
            a = photoOver(window, kFirst, fly.rect, {});
            b = photoOver(window, kSecond, fly.rect, a);
            const std::vector<FlyWindow> now = flies();
            return a == photoOver(window, kFirst, fly.rect, b) && std::any_of(now.begin(), now.end(), [&](auto& f) {
                       return f.id == fly.id && f.rect == fly.rect;
                   });
        })) << "no fly kept still for three photos";
        int own = 0, seeThrough = 0, mixed = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            a[i] == b[i] ? ++own : a[i] == kFirst && b[i] == kSecond ? ++seeThrough : ++mixed;
        }
        EXPECT_TRUE(own > 100 && seeThrough > 100 && (composited ? mixed > 100 : mixed == 0))
            << own << " pixels of the fly's own, " << seeThrough << " see-through, " << mixed << " mixed in its "
            << fly.rect.w << "x" << fly.rect.h << " window";
    }
    static constexpr std::uint32_t kFirst = 0x3070b0, kSecond = 0xd0a040;
};

TEST_F(FlyLookTest, SoftEdgesWithACompositorAndAHardOutlineWithout) {
    startServer();
    // Not the whole screen: a window that fills it is a full-screen program's.
    const xcb_window_t window = makeWindow({0, 0, 1280, 799}, false, 0, kFirst);
    Child& compositor = startCompositor();
    startFliesAndWait({"-s", "64"});
    expectLook(window, true);
    compositor.stop();
    expectLook(window, false);
    startCompositor();
    expectLook(window, true);
}

// Two monitors side by side, 1280x800 and 1024x768: the strip under the smaller one
// (x >= 1280, y >= 768) lies on neither. A panel (without a window manager: a window
// with a strut) reserves the lowest 100 px of the first monitor only.
TEST_F(FlyDesktopTest, OnTwoMonitorsFliesSettleOnBothButNotOffThemOrUnderAPanel) {
    startServer("2304x800x24");
    ASSERT_EQ(0, run({"xrandr", "--setmonitor", "left", "1280/338x800/211+0+0", "screen"}));
    ASSERT_EQ(0, run({"xrandr", "--setmonitor", "right", "1024/270x768/203+1280+0", "none"}));
    const std::uint32_t strut[12] = {0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 1279};
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, makeWindow({0, 700, 1280, 100}), atom("_NET_WM_STRUT_PARTIAL"),
                        XCB_ATOM_CARDINAL, 32, 12, strut);
    xcb_flush(c_);
    startFlies({"-n", "16", "-t", "0"});

    // Flies perch within half a body of a monitor's edge: on the second one also low
    // down, where the panel would be, had it been taken for both monitors.
    bool onFirst = false, onSecond = false, lowOnSecond = false;
    std::set<std::string> misplaced;
    const Clock::time_point start = Clock::now();
    waitFor(40, [&] {
        for (const FlyWindow& f : restingFlies()) {
            double x = 0, y = 0;
            if (!bodyOf(f, x, y)) continue;
            onFirst = onFirst || x < 1280;
            onSecond = onSecond || x >= 1280;
            lowOnSecond = lowOnSecond || (x >= 1280 && y > 720);
            if (y >= (x < 1280 ? 700 : 768)) misplaced.insert(std::to_string(int(x)) + "," + std::to_string(int(y)));
        }
        return secondsSince(start) > 10 && onFirst && onSecond && lowOnSecond;
    });
    EXPECT_TRUE(onFirst && onSecond) << "flies settled on the first monitor: " << onFirst
                                     << ", on the second: " << onSecond;
    EXPECT_TRUE(lowOnSecond) << "no fly settled low on the second monitor (y > 720)";
    EXPECT_TRUE(misplaced.empty()) << "flies settled under the panel or off the monitors at "
                                   << ::testing::PrintToString(misplaced);
}

}  // namespace
