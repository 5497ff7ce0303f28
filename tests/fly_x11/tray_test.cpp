// The tray icon of the Linux fly program on a private Xvfb with a real tray (trayer, a GTK
// panel that runs without a window manager), clicked through XTest: the icon docks, and
// docks again with a tray that starts after the first one went; its name counts the flies;
// a click on it opens the menu; with "Swatting" turned off there a click on a resting fly
// squashes nothing, and turned on again the same click does; "Shoo the flies" ends the
// program with 0 at once.
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

pid_t spawn(std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

bool waitFor(double seconds, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (; std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
        if (done()) return true;
    }
    return done();
}

template <typename T>
std::unique_ptr<T, decltype(&std::free)> own(T* reply) {
    return {reply, &std::free};
}

struct Box {
    int x = 0, y = 0, width = 0, height = 0;  // all 0 for a window not on the screen
    bool operator==(const Box& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
};

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];  // Xvfb picks a free display and says which
        ASSERT_EQ(0, pipe(fds));
        xvfb_ = spawn({XVFB_EXE, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten",
                       "tcp", "-s", "0"});
        close(fds[1]);
        char number[16] = {};
        ASSERT_GT(read(fds[0], number, sizeof number - 1), 0) << "no Xvfb (scripts/setup-deps.sh installs it)";
        close(fds[0]);
        setenv("DISPLAY", (":" + std::to_string(std::atoi(number))).c_str(), 1);
        c_ = xcb_connect(nullptr, nullptr);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        startTray(24);
        gnatter_ = spawn({GNATTER_EXE, "-n", "2", "-t", "0", "-s", "48", "--seed", "7"});
    }
    void TearDown() override {
        for (pid_t pid : {gnatter_, tray_, xvfb_}) {
            if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
        }
        xcb_disconnect(c_);
    }
    // A tray along the bottom edge; the program starts once it owns the tray selection.
    void startTray(int height) {
        tray_ = spawn({TRAYER_EXE, "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height",
                       std::to_string(height)});
        const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
        ASSERT_TRUE(waitFor(10, [&] {
            auto r = own(xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, selection), nullptr));
            return r && r->owner != XCB_WINDOW_NONE;
        })) << "no trayer (scripts/setup-deps.sh installs it)";
    }
    xcb_atom_t atom(const char* name) {
        const auto cookie = xcb_intern_atom(c_, 0, std::uint16_t(std::strlen(name)), name);
        auto r = own(xcb_intern_atom_reply(c_, cookie, nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    std::string property(xcb_window_t window, const char* name) {
        auto r = own(xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr));
        return r ? std::string(static_cast<const char*>(xcb_get_property_value(r.get())),
                               std::size_t(xcb_get_property_value_length(r.get())))
                 : "";
    }
    std::vector<xcb_window_t> children(xcb_window_t window, xcb_window_t* parent = nullptr) {
        auto r = own(xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
        if (parent != nullptr) *parent = r ? r->parent : 0;
        if (!r) return {};
        const xcb_window_t* first = xcb_query_tree_children(r.get());
        return {first, first + xcb_query_tree_children_length(r.get())};
    }
    // The first window at any depth whose name starts so, or 0.
    xcb_window_t named(const std::string& start, xcb_window_t under = 0) {
        for (xcb_window_t w : children(under != 0 ? under : root_)) {
            if (property(w, "_NET_WM_NAME").rfind(start, 0) == 0) return w;
            if (xcb_window_t found = named(start, w)) return found;
        }
        return 0;
    }
    Box shown(xcb_window_t window) {
        auto a = own(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr));
        auto g = own(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr));
        auto t = own(xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, window, root_, 0, 0), nullptr));
        if (!a || !g || !t || a->map_state != XCB_MAP_STATE_VIEWABLE) return {};
        return {t->dst_x, t->dst_y, g->width, g->height};
    }
    // The icon once a tray has taken it in and shows it, else 0.
    xcb_window_t dockedIcon() {
        xcb_window_t icon = named("Gnatter:"), parent = 0;
        if (icon != 0) children(icon, &parent);
        return icon != 0 && parent != root_ && shown(icon).width > 0 ? icon : 0;
    }
    std::string iconName() { return property(dockedIcon(), "_NET_WM_NAME"); }
    // A click at this point of a window on the screen: {1, 2} is the middle, {1, 4} the middle of its top half.
    void click(const Box& box, int across, int down) {
        const int x = box.x + box.width * across / 2, y = box.y + box.height * down / 4;
        xcb_test_fake_input(c_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, std::int16_t(x), std::int16_t(y), 0);
        xcb_test_fake_input(c_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(c_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    // Opens the menu from the icon and clicks its first item (Swatting) or its second (Shoo the flies).
    void choose(bool shoo) {
        click(shown(dockedIcon()), 1, 2);
        Box menu;
        ASSERT_TRUE(waitFor(2, [&] { return (menu = shown(named("Gnatter menu"))).width > 0; })) << "no menu";
        click(menu, 1, shoo ? 3 : 1);
        EXPECT_TRUE(waitFor(2, [&] { return shown(named("Gnatter menu")).width == 0; })) << "the menu stayed open";
    }
    // The program's windows on the screen without a name: the flies.
    std::map<xcb_window_t, Box> flies() {
        std::map<xcb_window_t, Box> out;
        for (xcb_window_t w : children(root_)) {
            if (property(w, "WM_CLASS").rfind("gnatter", 0) != 0 || !property(w, "_NET_WM_NAME").empty()) continue;
            out[w] = shown(w);
        }
        return out;
    }
    // A fly on the screen that stays still for half a second, or an empty box.
    Box restingFly() {
        const auto before = flies();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        for (const auto& [window, box] : flies()) {
            if (box.width > 0 && before.count(window) != 0 && before.at(window) == box) return box;
        }
        return {};
    }
    // Clicks the middle of a resting fly, where its body is; false when none rests.
    bool clickRestingFly() {
        const Box fly = restingFly();
        if (fly.width > 0) click(fly, 1, 2);
        return fly.width > 0;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    pid_t xvfb_ = -1, tray_ = -1, gnatter_ = -1;
};

TEST_F(TrayTest, DocksCountsTheFliesAndTurnsSwattingOffAndOn) {
    ASSERT_TRUE(waitFor(10, [&] { return dockedIcon() != 0; })) << "the icon did not dock";
    const xcb_window_t first = dockedIcon();
    EXPECT_EQ("Gnatter: 2 flies", property(first, "_NET_WM_NAME"));
    EXPECT_EQ("Gnatter: 2 flies", property(first, "WM_NAME"));

    kill(tray_, SIGTERM);
    waitpid(tray_, nullptr, 0);
    startTray(32);
    ASSERT_TRUE(waitFor(10, [&] { return dockedIcon() != 0 && dockedIcon() != first; })) << "no dock with the new tray";

    choose(false);  // swatting off
    ASSERT_TRUE(waitFor(20, [&] { return clickRestingFly(); })) << "no fly came to rest";
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ("Gnatter: 2 flies", iconName()) << "a fly was squashed with swatting off";

    choose(false);  // on again: the same click squashes (a few tries, as a fly may walk off first)
    EXPECT_TRUE(waitFor(20, [&] {
        return clickRestingFly() && waitFor(1, [&] { return iconName() == "Gnatter: 1 fly"; });
    })) << "no click squashed a fly with swatting on";
}

TEST_F(TrayTest, ShooTheFliesEndsTheProgramAtOnce) {
    ASSERT_TRUE(waitFor(10, [&] { return dockedIcon() != 0; })) << "the icon did not dock";
    ASSERT_TRUE(waitFor(20, [&] { return restingFly().width > 0; })) << "no fly came to rest";
    choose(true);
    int status = -1;
    ASSERT_TRUE(waitFor(2.5, [&] { return waitpid(gnatter_, &status, WNOHANG) == gnatter_; })) << "still running";
    gnatter_ = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
