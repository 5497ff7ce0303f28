// The tray icon of the Linux fly program on a private Xvfb with a real tray (trayer, a GTK
// panel that runs without a window manager), clicked through XTest: the icon docks, and
// docks again with a tray that starts after the first one went; its name counts the flies;
// a click on it opens the menu; with "Swatting" turned off there a click on a resting fly
// squashes nothing, and turned on again the same click does; "Shoo the flies" ends the
// program with 0 at once.
#include "x11_harness.h"

namespace x11test {
namespace {

class TrayTest : public X11Test {
protected:
    void SetUp() override {
        startServer();
        startTray(24);
        gnatter_ = &start(gnatter({"-n", "2", "-t", "0", "-s", "48", "--seed", "7"}));
    }
    // A tray along the bottom edge; the program starts once it owns the tray selection.
    void startTray(int height) {
        tray_ = &start({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height",
                        std::to_string(height)});
        ASSERT_TRUE(waitFor(10, [&] {
            auto r = reply(xcb_get_selection_owner_reply(
                c_, xcb_get_selection_owner(c_, atom("_NET_SYSTEM_TRAY_S0")), nullptr));
            return r && r->owner != XCB_WINDOW_NONE;
        })) << "no trayer (scripts/setup-deps.sh installs it)";
    }
    std::string property(xcb_window_t window, const char* name) {
        auto r = reply(xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr));
        return r ? std::string(static_cast<const char*>(xcb_get_property_value(r.get())),
                               std::size_t(xcb_get_property_value_length(r.get())))
                 : "";
    }
    // The first window at any depth whose name starts so, or 0; and its parent.
    xcb_window_t named(const std::string& start, xcb_window_t under, xcb_window_t* parent = nullptr) {
        auto r = reply(xcb_query_tree_reply(c_, xcb_query_tree(c_, under), nullptr));
        for (int i = 0; r && i < xcb_query_tree_children_length(r.get()); ++i) {
            const xcb_window_t w = xcb_query_tree_children(r.get())[i];
            if (property(w, "_NET_WM_NAME").rfind(start, 0) == 0) {
                if (parent != nullptr) *parent = under;
                return w;
            }
            if (xcb_window_t found = named(start, w, parent)) return found;
        }
        return 0;
    }
    // Where a window shows on the screen; empty when it does not.
    Rect shown(xcb_window_t window) {
        auto a = reply(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr));
        auto g = reply(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr));
        auto t = reply(xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, window, root_, 0, 0), nullptr));
        if (!a || !g || !t || a->map_state != XCB_MAP_STATE_VIEWABLE) return {};
        return {t->dst_x, t->dst_y, g->width, g->height};
    }
    // The icon once a tray has taken it in and shows it, else 0.
    xcb_window_t dockedIcon() {
        xcb_window_t parent = 0;
        const xcb_window_t icon = named("Gnatter:", root_, &parent);
        return icon != 0 && parent != root_ && shown(icon).w > 0 ? icon : 0;
    }
    std::string iconName() { return property(dockedIcon(), "_NET_WM_NAME"); }
    // Opens the menu from the icon and clicks its first item (Swatting) or its second (Shoo the flies).
    void choose(bool shoo) {
        const Rect icon = shown(dockedIcon());
        click(icon.x + icon.w / 2, icon.y + icon.h / 2);
        Rect menu;
        ASSERT_TRUE(waitFor(2, [&] { return (menu = shown(named("Gnatter menu", root_))).w > 0; })) << "no menu";
        click(menu.x + menu.w / 2, menu.y + menu.h * (shoo ? 3 : 1) / 4);
        EXPECT_TRUE(waitFor(2, [&] { return shown(named("Gnatter menu", root_)).w == 0; })) << "the menu stayed open";
    }
    // Clicks the body of a resting fly; false when none rests.
    bool clickRestingFly() {
        const std::vector<FlyWindow> resting = restingFlies();
        double x = 0, y = 0;
        if (resting.empty() || !bodyOf(resting[0], x, y)) return false;
        click(int(x), int(y));
        return true;
    }

    Child* tray_ = nullptr;
    Child* gnatter_ = nullptr;
};

TEST_F(TrayTest, DocksCountsTheFliesAndTurnsSwattingOffAndOn) {
    ASSERT_TRUE(waitFor(10, [&] { return dockedIcon() != 0; })) << "the icon did not dock";
    const xcb_window_t first = dockedIcon();
    EXPECT_EQ("Gnatter: 2 flies", property(first, "_NET_WM_NAME"));
    EXPECT_EQ("Gnatter: 2 flies", property(first, "WM_NAME"));

    tray_->stop();
    startTray(32);
    ASSERT_TRUE(waitFor(10, [&] { return dockedIcon() != 0 && dockedIcon() != first; })) << "no dock with the new tray";

    choose(false);  // swatting off
    ASSERT_TRUE(waitFor(20, [&] { return clickRestingFly(); })) << "no fly came to rest";
    sleepFor(1);
    EXPECT_EQ("Gnatter: 2 flies", iconName()) << "a fly was squashed with swatting off";

    choose(false);  // on again: the same click squashes (a few tries, as a fly may walk off first)
    EXPECT_TRUE(waitFor(20, [&] {
        return clickRestingFly() && waitFor(1, [&] { return iconName() == "Gnatter: 1 fly"; });
    })) << "no click squashed a fly with swatting on";
}

TEST_F(TrayTest, ShooTheFliesEndsTheProgramAtOnce) {
    ASSERT_TRUE(waitFor(10, [&] { return dockedIcon() != 0; })) << "the icon did not dock";
    ASSERT_TRUE(waitFor(20, [&] { return !restingFlies().empty(); })) << "no fly came to rest";
    choose(true);
    EXPECT_EQ(0, gnatter_->wait(2.5)) << "still running, or ended badly";
}

}  // namespace
}  // namespace x11test
