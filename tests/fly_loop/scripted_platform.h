// A desktop for the fly loop's tests: a scripted clock that jumps to the loop's deadline
// or to the next scripted event, a pointer that goes where a function of time says, one
// monitor, other windows as a test sets them, and a record of what the loop asked for.
#pragma once

#include "fly_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace gnatter::testing {

class ScriptedPlatform : public FlyPlatform {
public:
    PlatformTraits promised;
    std::vector<Monitor> monitors;
    DesktopReading desktop;
    // Where the pointer is and whether the button is held, by time.
    std::function<PointerReading(double)> pointer = [](double) {
        PointerReading r;
        r.present = true;
        return r;
    };
    double endAt = 600.0;  // the loop is told to quit at this time
    std::function<void()> afterFrame = [] {};

    // What the loop did, by time.
    std::vector<double> pointerReads, desktopReads, raises, frames, wakeUps;
    bool watching = false;
    bool hidden = false;

    ScriptedPlatform() {
        Monitor m;
        m.bounds = {0, 0, 1280, 800};
        m.workArea = {0, 0, 1280, 760};
        monitors.push_back(m);
    }

    // Runs `action` on the loop at `time`, from inside a wait, as a platform's events come.
    void at(double time, std::function<void(FlyLoop&)> action) { script_.emplace(time, std::move(action)); }

    static int countIn(const std::vector<double>& times, double from, double to) {
        return int(std::count_if(times.begin(), times.end(), [&](double t) { return t >= from && t < to; }));
    }

    PlatformTraits traits() const override { return promised; }
    double now() override { return clock_; }

    void waitForEvents(FlyLoop& loop, double deadline) override {
        const double next = script_.empty() ? kNoDeadline : script_.begin()->first;
        const double until = std::min({deadline, next, endAt});
        clock_ = std::max(clock_, until);
        wakeUps.push_back(clock_);
        while (!script_.empty() && script_.begin()->first <= clock_) {
            auto action = std::move(script_.begin()->second);
            script_.erase(script_.begin());
            action(loop);
        }
        if (clock_ >= endAt) loop.quit();
    }

    PointerReading readPointer() override {
        pointerReads.push_back(clock_);
        return pointer(clock_);
    }
    bool watchPointerMoves(bool on) override {
        watching = on;
        return true;
    }
    DesktopReading readDesktop() override {
        desktopReads.push_back(clock_);
        return desktop;
    }
    std::vector<Monitor> readMonitors() override { return monitors; }

    void showFlies(const Swarm&, const std::vector<Rect>&) override {
        frames.push_back(clock_);
        hidden = false;
        afterFrame();
    }
    void hideFlies() override { hidden = true; }
    void raiseFlies() override { raises.push_back(clock_); }
    void showFlyCount(std::size_t) override {}

private:
    double clock_ = 0.0;
    std::multimap<double, std::function<void(FlyLoop&)>> script_;
};

}  // namespace gnatter::testing
