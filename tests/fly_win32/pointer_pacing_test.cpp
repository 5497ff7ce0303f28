// The fly program's clock. How often it reads the pointer: every frame only while the
// pointer could startle or swat a fly, at the slow pace when it is far from every fly or
// parked, and seldom when the system reports every mouse event. How long it sleeps while
// every fly rests: the wake-up shows what ended the rest.
#include "fly_program.h"
#include "swarm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const double kFrame = 1.0 / 60.0;
const double kSlow = gnatter::Swarm::kPointerReadSeconds;
const double kSafety = 1.0;  // a parked pointer's safety reading while moves are reported

struct PacingCase {
    const char* name;
    bool nearFly;
    double secondsSinceMoved;
    bool buttonHeld;
    double delay;
    double delayWithReports;
};

TEST(PointerPacing, EveryFrameOnlyWhileAThreatIsPossible) {
    const PacingCase cases[] = {
        {"moving near a fly", true, 0.0, false, kFrame, kFrame},
        {"paused a moment near a fly", true, 0.2, false, kFrame, kFrame},
        {"parked near a fly", true, 0.3, false, kSlow, kSafety},
        {"parked for long near a fly", true, 600.0, false, kSlow, kSafety},
        {"button held near a fly", true, 600.0, true, kFrame, kFrame},
        {"moving far from every fly", false, 0.0, false, kSlow, kSafety},
        {"button held far from every fly", false, 600.0, true, kSlow, kSafety},
    };
    for (const PacingCase& c : cases) {
        EXPECT_DOUBLE_EQ(c.delay,
                         gnatter::win32::pointerReadDelay(c.nearFly, c.secondsSinceMoved, c.buttonHeld, false))
            << c.name;
        EXPECT_DOUBLE_EQ(c.delayWithReports,
                         gnatter::win32::pointerReadDelay(c.nearFly, c.secondsSinceMoved, c.buttonHeld, true))
            << c.name << ", moves reported";
    }
}

// Ten flies paced as the program paces them, from half a minute after the start (when they
// have settled) for a minute: a wake-up after a rest that changes no window is one the
// loop should not have needed.
TEST(ClockPacing, AWakeUpAfterARestShowsWhatEndedIt) {
    gnatter::Options options;
    options.count = 10;
    options.timeoutSeconds = 0;
    gnatter::Monitor monitor;
    monitor.bounds = monitor.workArea = {0, 0, 1280, 800};
    gnatter::Swarm swarm(options, 1, {monitor});
    int restWakes = 0, emptyRestWakes = 0;
    std::vector<gnatter::FlyView> before(swarm.flyCount());
    for (double t = 0.0; t < 90.0;) {
        const bool resting = swarm.allResting();
        const double dt = resting ? gnatter::win32::restWaitSeconds(swarm.restingSecondsLeft()) : kFrame;
        for (std::size_t i = 0; i < before.size(); ++i) before[i] = swarm.flyView(i);
        swarm.advance(dt);
        t += dt;
        if (!resting || t < 30.0) continue;
        bool changed = false;
        for (std::size_t i = 0; i < before.size(); ++i) {
            const gnatter::FlyView& v = swarm.flyView(i);
            changed = changed || v.pictureChanged || std::lround(v.x) != std::lround(before[i].x) ||
                      std::lround(v.y) != std::lround(before[i].y) || v.visible != before[i].visible;
        }
        ++restWakes;
        emptyRestWakes += changed ? 0 : 1;
    }
    ASSERT_GT(restWakes, 60) << "the flies hardly rested";
    EXPECT_LT(emptyRestWakes * 4, restWakes) << emptyRestWakes << " of " << restWakes << " wake-ups changed nothing";
}

}  // namespace
