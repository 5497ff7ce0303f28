// The fly program's loop, the same on every platform: it gives the swarm real elapsed
// time, the monitors, the other programs' windows, the pointer and clicks, shows what the
// swarm reports, and sleeps as long as it can in between.
//
// Clock: about 60 frames a second while any fly moves. While every fly rests the loop
// sleeps until the first rest ends, waking only to read the pointer (see PointerWatch)
// and the desktop (see DesktopWatch); the swarm is advanced only when one of these
// changed. While paused (the session locked, the display off) the loop waits for events
// only, and that time does not count: the swarm's clock, and so the timeout, stands
// still until the user is back.
#pragma once

#include "desktop_watch.h"
#include "fly_platform.h"
#include "pointer_watch.h"
#include "swarm.h"

#include <memory>

namespace gnatter {

class FlyLoop {
public:
    static constexpr double kLongestRestWaitSeconds = 3600.0;
    static constexpr double kWindowWorkLogSeconds = 1.0;

    FlyLoop(FlyPlatform& platform, const Options& options, std::uint64_t seed);

    // Runs until every fly has gone (the timeout, a request to leave, the last one
    // swatted) or quit() is called.
    void run();

    // What the platform reports, from inside FlyPlatform::waitForEvents.
    void onPointerReport(bool primaryPressed);
    void onDesktopEvent(DesktopEvent event);
    void onMonitorsChanged();
    void onPaused(bool paused);
    void onLeaveRequest();
    void quit() { quitting_ = true; }

    bool swatting() const { return swatting_; }
    void setSwatting(bool on);
    // Clicks that went to the program's own menu or icon: they swat nothing.
    void forgetPresses();

    const Swarm& swarm() const { return *swarm_; }

    // Seconds to sleep while every fly rests, given the swarm's restingSecondsLeft().
    static double restWaitSeconds(double restingSecondsLeft);

private:
    void tick();
    void frame(double now, const PointerWatch::Reading* reading);
    double deadline() const;

    FlyPlatform& platform_;
    const PlatformTraits traits_;
    PointerWatch pointer_;
    DesktopWatch desktop_;
    std::unique_ptr<Swarm> swarm_;

    bool swatting_;
    bool paused_ = false;
    bool quitting_ = false;
    bool finished_ = false;
    bool wakeNow_ = true;  // something happened that the swarm must hear at once
    bool monitorsChanged_ = false;
    bool windowsChanged_ = false;
    std::size_t countShown_ = 0;
    double lastFrame_ = 0.0;
    double nextFrame_ = 0.0;
    double nextWorkLog_ = 0.0;
};

}  // namespace gnatter
