// What the X11 tests of the real gnatter share: child processes that die with the test
// (Xvfb, xcompmgr, gnatter itself) and a fixture with a private X server that sees the
// fly windows from outside through XCB and clicks through XTest. Whatever a test starts
// is stopped when it ends, failed or not.
#pragma once

#include <gtest/gtest.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace x11test {

using Clock = std::chrono::steady_clock;
inline double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }
inline void sleepFor(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// Checks every 20 ms until the condition holds (true) or `seconds` have passed (false).
inline bool waitFor(double seconds, const std::function<bool()>& condition) {
    for (const Clock::time_point start = Clock::now(); !condition(); sleepFor(0.02)) {
        if (secondsSince(start) >= seconds) return false;
    }
    return true;
}

template <typename R>
std::unique_ptr<R, void (*)(void*)> reply(R* r) {
    return {r, std::free};
}

// A program run with DISPLAY set to `display` (unset when empty), its output kept in
// files. The kernel kills it should the test die; the destructor stops it.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& display, int fd3 = -1) {
        for (std::string* path : {&out_, &err_}) {
            char name[] = "/tmp/gnatter-test-XXXXXX";
            close(mkstemp(name));
            *path = name;
        }
        if ((pid_ = fork()) != 0) return;
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(open(out_.c_str(), O_WRONLY), 1), dup2(open(err_.c_str(), O_WRONLY), 2);
        if (fd3 >= 0) fd3 == 3 ? fcntl(3, F_SETFD, 0) : dup2(fd3, 3);  // dup2 onto itself keeps close-on-exec
        display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ~Child() { stop(), unlink(out_.c_str()), unlink(err_.c_str()); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Its exit status (128 + the signal, when a signal ended it), or -1 while it runs.
    int status() {
        int raw = 0;
        if (status_ < 0 && pid_ > 0 && waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        }
        return status_;
    }
    int wait(double seconds) {
        waitFor(seconds, [&] { return status() >= 0; });
        return status();
    }
    void stop() {
        if (status() >= 0 || pid_ <= 0) return;
        kill(pid_, SIGTERM);
        if (wait(2) < 0) kill(pid_, SIGKILL), wait(2);
    }
    std::string out() const { return contents(out_); }
    std::string err() const { return contents(err_); }

private:
    static std::string contents(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }
    pid_t pid_ = -1;
    int status_ = -1;
    std::string out_, err_;
};

// The gnatter built beside this test (both land in bin/), with these options.
inline std::vector<std::string> gnatter(const std::vector<std::string>& options) {
    char self[4096] = {};
    const std::string path(self, std::size_t(std::max<ssize_t>(0, readlink("/proc/self/exe", self, sizeof self - 1))));
    std::vector<std::string> argv{path.substr(0, path.rfind('/') + 1) + "gnatter"};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
    bool contains(double px, double py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

struct FlyWindow {
    xcb_window_t id = 0;
    Rect rect;
    int depth = 0;
    bool mapped = false, overrideRedirect = false;
};

class X11Test : public ::testing::Test {
protected:
    // A private Xvfb on a display it picks itself (-displayfd). No screen saver, which
    // would pause the flies; -noreset keeps what a test set up as clients come and go.
    void startServer(const std::string& screen = "1280x800x24") {
        int fds[2];
        ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
        server_ = std::make_unique<Child>(std::vector<std::string>{"Xvfb", "-displayfd", "3", "-nolisten", "tcp",
                                                                   "-noreset", "-s", "0", "-screen", "0", screen},
                                          "", fds[1]);
        close(fds[1]);
        char ch = 0;
        pollfd in = {fds[0], POLLIN, 0};
        for (display_ = ":"; poll(&in, 1, 10000) > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n';) display_ += ch;
        close(fds[0]);
        c_ = xcb_connect(display_.c_str(), nullptr);
        ASSERT_EQ(0, xcb_connection_has_error(c_)) << "no Xvfb on display \"" << display_ << "\"";
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    }
    void TearDown() override {
        while (!children_.empty()) children_.pop_back();
        if (c_ != nullptr) xcb_disconnect(c_);
        server_.reset();
    }
    Child& start(const std::vector<std::string>& argv) {
        children_.push_back(std::make_unique<Child>(argv, display_));
        return *children_.back();
    }
    // Runs a command to its end: its exit status, or -1 when it did not end in time.
    int run(const std::vector<std::string>& argv) { return start(argv).wait(5); }
    // xcompmgr, once it owns the compositing manager's selection.
    Child& startCompositor() {
        Child& compositor = start({"xcompmgr"});
        EXPECT_TRUE(waitFor(5, [&] {
            const auto cookie = xcb_get_selection_owner(c_, atom("_NET_WM_CM_S0"));
            auto r = reply(xcb_get_selection_owner_reply(c_, cookie, nullptr));
            return r && r->owner != XCB_WINDOW_NONE;
        })) << "xcompmgr did not start";
        return compositor;
    }
    xcb_atom_t atom(const std::string& name) {
        const auto cookie = xcb_intern_atom(c_, 0, std::uint16_t(name.size()), name.c_str());
        auto r = reply(xcb_intern_atom_reply(c_, cookie, nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // The fly windows (WM_CLASS "gnatter", "Gnatter") among the root's children.
    std::vector<FlyWindow> flies() {
        std::vector<FlyWindow> flies;
        auto tree = reply(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t w = xcb_query_tree_children(tree.get())[i];
            const auto clsCookie = xcb_get_property(c_, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 8);
            auto cls = reply(xcb_get_property_reply(c_, clsCookie, nullptr));
            auto attributes = reply(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr));
            auto geometry = reply(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr));
            if (!cls || !attributes || !geometry || xcb_get_property_value_length(cls.get()) != 16 ||
                std::memcmp(xcb_get_property_value(cls.get()), "gnatter\0Gnatter", 16) != 0) {
                continue;
            }
            flies.push_back({w, {geometry->x, geometry->y, geometry->width, geometry->height}, geometry->depth,
                             attributes->map_state == XCB_MAP_STATE_VIEWABLE, attributes->override_redirect != 0});
        }
        return flies;
    }
    std::vector<FlyWindow> shownFlies() {
        std::vector<FlyWindow> shown = flies();
        shown.erase(std::remove_if(shown.begin(), shown.end(), [](auto& f) { return !f.mapped; }), shown.end());
        return shown;
    }
    // A fly's body: the middle of its window's shape, as a resting fly's picture is about
    // symmetric round its body (legs and wings pull it a few pixels at most; a window
    // with no shape of its own gives its centre).
    bool bodyOf(const FlyWindow& fly, double& x, double& y) {
        const auto cookie = xcb_shape_get_rectangles(c_, fly.id, XCB_SHAPE_SK_BOUNDING);
        auto r = reply(xcb_shape_get_rectangles_reply(c_, cookie, nullptr));
        double area = 0, sumX = 0, sumY = 0;
        for (int i = 0; r && i < xcb_shape_get_rectangles_rectangles_length(r.get()); ++i) {
            const xcb_rectangle_t& part = xcb_shape_get_rectangles_rectangles(r.get())[i];
            area += double(part.width) * part.height;
            sumX += double(part.width) * part.height * (part.x + part.width / 2.0);
            sumY += double(part.width) * part.height * (part.y + part.height / 2.0);
        }
        if (area > 0) x = fly.rect.x + sumX / area, y = fly.rect.y + sumY / area;
        return area > 0;
    }
    // The shown flies whose bodies kept their place (within 3 px: a resting fly grooms,
    // and its picture changes) for `seconds`, as far as the calls so far saw: call it as
    // often as the wait allows.
    std::vector<FlyWindow> restingFlies(double seconds = 0.6) {
        std::vector<FlyWindow> resting;
        for (const FlyWindow& f : shownFlies()) {
            double x = 0, y = 0;
            if (!bodyOf(f, x, y)) continue;
            Still& still = stillSince_[f.id];
            if (std::hypot(x - still.x, y - still.y) > 3) still = {x, y, Clock::now()};
            if (secondsSince(still.since) >= seconds) resting.push_back(f);
        }
        return resting;
    }
    // A left click as a mouse makes it: the pointer goes there, button 1 goes down and up.
    void click(int x, int y) {
        xcb_test_fake_input(c_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, std::int16_t(x), std::int16_t(y), 0);
        xcb_test_fake_input(c_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, root_, 0, 0, 0);
        xcb_test_fake_input(c_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, root_, 0, 0, 0);
        xcb_flush(c_);
    }
    // A plain window of the test's own, mapped.
    xcb_window_t makeWindow(const Rect& r, bool overrideRedirect = false, std::uint32_t events = 0,
                            std::uint32_t background = 0x406080) {
        const xcb_window_t w = xcb_generate_id(c_);
        const std::uint32_t values[] = {background, overrideRedirect ? 1u : 0u, events};
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, std::int16_t(r.x), std::int16_t(r.y), std::uint16_t(r.w),
                          std::uint16_t(r.h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_map_window(c_, w);
        xcb_flush(c_);
        return w;
    }

    std::unique_ptr<Child> server_;
    std::string display_;  // empty before startServer(): programs run without DISPLAY
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    std::vector<std::unique_ptr<Child>> children_;
    struct Still {
        double x = -1e6, y = -1e6;
        Clock::time_point since;
    };
    std::map<xcb_window_t, Still> stillSince_;
};

}  // namespace x11test
