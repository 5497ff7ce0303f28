// How often the fly program reads the pointer: every frame only while the pointer could
// startle or swat a fly, at the slow pace when it is far from every fly or parked.
#include "fly_program.h"
#include "swarm.h"

#include <gtest/gtest.h>

namespace {

const double kFrame = 1.0 / 60.0;
const double kSlow = gnatter::Swarm::kPointerReadSeconds;

struct PacingCase {
    const char* name;
    bool nearFly;
    double secondsSinceMoved;
    bool buttonHeld;
    double delay;
};

TEST(PointerPacing, EveryFrameOnlyWhileAThreatIsPossible) {
    const PacingCase cases[] = {
        {"moving near a fly", true, 0.0, false, kFrame},
        {"paused a moment near a fly", true, 0.2, false, kFrame},
        {"parked near a fly", true, 0.3, false, kSlow},
        {"parked for long near a fly", true, 600.0, false, kSlow},
        {"button held near a fly", true, 600.0, true, kFrame},
        {"moving far from every fly", false, 0.0, false, kSlow},
        {"button held far from every fly", false, 600.0, true, kSlow},
    };
    for (const PacingCase& c : cases) {
        EXPECT_DOUBLE_EQ(c.delay, gnatter::win32::pointerReadDelay(c.nearFly, c.secondsSinceMoved, c.buttonHeld))
            << c.name;
    }
}

}  // namespace
