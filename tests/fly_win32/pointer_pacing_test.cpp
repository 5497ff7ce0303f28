// How often the fly program reads the pointer: every frame only while the pointer could
// startle or swat a fly, at the slow pace when it is far from every fly or parked, and
// seldom when the system reports every mouse event.
#include "fly_program.h"
#include "swarm.h"

#include <gtest/gtest.h>

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

}  // namespace
