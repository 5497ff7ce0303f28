// The flies' behaviour against what real house flies do, as the ethogram measures it on
// fixed seeds, plus the reactions a person sets off: a window pulled from under a fly,
// and a click on it.
#include "ethogram.h"
#include "swarm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace gnatter {
namespace {

constexpr double kFrame = 1.0 / 60.0;

Monitor desktop() {
    Monitor m;
    m.bounds = {0, 0, 1920, 1080};
    m.workArea = {0, 0, 1920, 1040};
    return m;
}

Options flies(int count) {
    Options o;
    o.count = count;
    o.sizePixels = 36;
    o.timeoutSeconds = 0;
    return o;
}

// ---------------------------------------------------------------------------------------
struct EthogramCase {
    const char* name;
    ethogram::Setup setup;
};

void PrintTo(const EthogramCase& c, std::ostream* out) { *out << c.name; }

ethogram::Setup setup(int flies, int size, std::uint64_t seed, int runs = 1) {
    ethogram::Setup s;
    s.flies = flies;
    s.size = size;
    s.seed = seed;
    s.runs = runs;
    return s;
}

ethogram::Setup withWindows(ethogram::Setup s) {
    s.windows = {{{300, 200, 1000, 700}, 1}, {{800, 400, 1600, 900}, 2}, {{100, 600, 700, 1000}, 3}};
    s.moveWindowEvery = 60.0;
    return s;
}

ethogram::Setup withPointer(ethogram::Setup s) {
    s.pointer = true;
    return s;
}

const EthogramCase kEthogramCases[] = {
    {"TwentyFlies", setup(20, 36, 1)},
    {"FiftyLargeFlies", setup(50, 54, 2)},
    {"OneFlyTwentyTimes", setup(1, 36, 1, 20)},
    {"WindowsThatMove", withWindows(setup(20, 36, 3))},
    {"PointerVisits", withPointer(setup(20, 36, 4))},
};

class Ethogram : public ::testing::TestWithParam<EthogramCase> {};

TEST_P(Ethogram, EveryMeasuredRowMatchesRealFlies) {
    const ethogram::Report report = ethogram::run(GetParam().setup);
    for (const ethogram::Row& row : report.rows) {
        if (row.applies) {
            EXPECT_TRUE(row.pass) << row.name << ": " << row.measured << ", wanted " << row.target;
        }
    }
    // The rows that matter were measured at all, not waved through for want of events.
    const ethogram::Setup& s = GetParam().setup;
    EXPECT_GT(report.landings, 0);
    EXPECT_GT(report.chases, s.flies >= 2 ? 0 : -1);
    EXPECT_GT(report.escapes, s.pointer ? 10 : -1);
    EXPECT_GT(report.perchMoves, s.moveWindowEvery > 0 ? 0 : -1);
    std::cout << ethogram::table(report);
}

INSTANTIATE_TEST_SUITE_P(Behaviour, Ethogram, ::testing::ValuesIn(kEthogramCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
bool grounded(const FlyView& v) {
    return v.activity == Activity::Resting || v.activity == Activity::Grooming || v.activity == Activity::Walking;
}

// A window moved, closed or minimised under flies: each fly that sat on it is in the air
// within 0.2 s, and no other fly takes off for it.
struct PerchCase {
    const char* name;
    std::vector<WindowBox> after;  // the windows once the first one changed
};

void PrintTo(const PerchCase& c, std::ostream* out) { *out << c.name; }

class PerchChange : public ::testing::TestWithParam<PerchCase> {};

TEST_P(PerchChange, FliesOnTheWindowTakeOffWithinAFifthOfASecond) {
    const std::vector<WindowBox> before = {{{400, 300, 1400, 800}, 7}, {{0, 0, 1920, 1040}, 9}};
    Swarm swarm(flies(40), 21, {desktop()});
    swarm.setWindows(before);
    for (int frame = 0; frame < 60 * 40; ++frame) swarm.advance(kFrame);
    std::vector<bool> onIt(swarm.flyCount());
    int sitting = 0;
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
        const FlyView& v = swarm.flyView(i);
        onIt[i] = grounded(v) && v.x >= 400 && v.x < 1400 && v.y >= 300 && v.y < 800;
        sitting += onIt[i];
    }
    ASSERT_GE(sitting, 3) << "too few flies sat on the window to tell";
    swarm.setWindows(GetParam().after);
    std::vector<bool> left(swarm.flyCount(), false);
    for (int frame = 0; frame < 12; ++frame) {
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) left[i] = left[i] || !grounded(swarm.flyView(i));
    }
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
        EXPECT_TRUE(left[i] || !onIt[i]) << "fly " << i << " stayed on its window";
    }
}

const PerchCase kPerchCases[] = {
    {"Moved", {{{500, 300, 1500, 800}, 7}, {{0, 0, 1920, 1040}, 9}}},
    {"Resized", {{{400, 300, 1300, 800}, 7}, {{0, 0, 1920, 1040}, 9}}},
    {"ClosedOrMinimised", {{{0, 0, 1920, 1040}, 9}}},
};

INSTANTIATE_TEST_SUITE_P(Behaviour, PerchChange, ::testing::ValuesIn(kPerchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// A chase is two flies taking off together from the ground, the chaser and the chased; no
// fly already in the air is drawn into one.
TEST(Chases, StartAsTwoFliesTakingOffTogetherFromTheGround) {
    Swarm swarm(flies(20), 5, {desktop()});
    std::vector<Activity> before(swarm.flyCount(), Activity::Away);
    int chases = 0;
    for (int frame = 0; frame < 60 * 600; ++frame) {
        swarm.advance(kFrame);
        int started = 0;
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const Activity now = swarm.flyView(i).activity;
            if (now == Activity::Chasing && before[i] != Activity::Chasing) {
                const bool fromGround =
                    before[i] == Activity::Resting || before[i] == Activity::Grooming || before[i] == Activity::Walking;
                started += fromGround;
                EXPECT_TRUE(fromGround || before[i] == Activity::Away)  // back from a moment off the screen
                    << "fly " << i << " was drawn into a chase from the air, frame " << frame;
            }
            before[i] = now;
        }
        EXPECT_EQ(started % 2, 0) << started << " flies set off chasing at frame " << frame;
        chases += started / 2;
    }
    EXPECT_GT(chases, 5);
}

// ---------------------------------------------------------------------------------------
// Clicks. The pointer starts eight body lengths out and comes in at `speed` body lengths a
// second along the line to the fly, read every frame, then clicks at `offset` (in body
// lengths, across the fly's long axis) from where the fly sat.
struct SwatCase {
    const char* name;
    double speed;   // 0: the pointer appears right there and clicks
    double offset;
    bool squashed;
};

void PrintTo(const SwatCase& c, std::ostream* out) { *out << c.name; }

class Swatting : public ::testing::TestWithParam<SwatCase> {};

// Lets a lone fly land and sit still.
void settle(Swarm& swarm) {
    for (int frame = 0; frame < 60 * 60; ++frame) {
        swarm.advance(kFrame);
        if (frame > 600 && swarm.flyView(0).activity == Activity::Resting) return;
    }
    FAIL() << "the fly never sat still";
}

TEST_P(Swatting, ABodyHitSquashesUnlessTheFlySawItComing) {
    const SwatCase& c = GetParam();
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        Swarm swarm(flies(1), seed, {desktop()});
        settle(swarm);
        // Where the click lands, relative to wherever the fly is.
        auto target = [&swarm, &c](double& tx, double& ty) {
            const FlyView& v = swarm.flyView(0);
            const double across = v.pose.heading + 1.5707963;
            tx = v.x + std::cos(across) * c.offset * v.size;
            ty = v.y + std::sin(across) * c.offset * v.size;
        };
        const FlyView at = swarm.flyView(0);
        double tx = 0.0, ty = 0.0;
        target(tx, ty);
        if (c.speed > 0.0) {
            const double side = at.x < 960.0f ? 1.0 : -1.0;
            const double distance = 8.0 * at.size;
            const int frames = int(distance / (c.speed * at.size) / kFrame);
            for (int frame = 0; frame <= frames; ++frame) {
                if (c.squashed) target(tx, ty);  // creeping after it, should it walk
                const double share = double(frame) / frames;
                swarm.setPointer(true, float(tx + side * distance * (1.0 - share)), float(ty));
                swarm.advance(kFrame);
            }
            if (c.squashed) target(tx, ty);
            // A fly that flew off on its own while the pointer crept up proves nothing.
            if (!grounded(swarm.flyView(0))) continue;
        }
        const bool hit = swarm.swat(float(tx), float(ty));
        EXPECT_EQ(hit, c.squashed) << "seed " << seed;
        EXPECT_EQ(swarm.aliveCount(), c.squashed ? 0u : 1u) << "seed " << seed;
        if (!c.squashed) continue;
        EXPECT_EQ(swarm.flyView(0).activity, Activity::Squashed);
        EXPECT_EQ(swarm.flyView(0).pose.stance, Stance::Squashed);
        // It stays a while, fades, and then the swarm is over, as after a timeout.
        double t = 0.0;
        int lastFade = 0;
        while (!swarm.done() && t < 30.0) {
            swarm.advance(kFrame);
            t += kFrame;
            if (swarm.flyView(0).visible) {
                EXPECT_GE(swarm.flyView(0).pose.fade, lastFade) << "the squashed picture came back";
                lastFade = swarm.flyView(0).pose.fade;
            }
        }
        EXPECT_TRUE(swarm.done()) << "seed " << seed;
        EXPECT_GE(t, 2.0) << "gone too soon to be seen";
        EXPECT_LE(t, 8.0);
        EXPECT_EQ(lastFade, kSquashFadeSteps - 1);
    }
}

const SwatCase kSwatCases[] = {
    {"ClickOnTheBody", 0.0, 0.0, true},
    {"ClickOnTheBodyNearItsSide", 0.0, 0.15, true},
    {"ClickBesideTheBody", 0.0, 0.42, false},
    {"SlowCreepThenClick", 1.5, 0.0, true},
    {"FastSwipeThenClick", 80.0, 0.0, false},
};

INSTANTIATE_TEST_SUITE_P(Behaviour, Swatting, ::testing::ValuesIn(kSwatCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SwattingSwarm, LastSwatEndsItAndEveryRunIsRepeatable) {
    auto swatAll = [](std::uint64_t seed) {
        Swarm swarm(flies(5), seed, {desktop()});
        for (int frame = 0; frame < 60 * 20; ++frame) swarm.advance(kFrame);
        for (int round = 0; round < 600 && swarm.aliveCount() > 0; ++round) {
            for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
                const FlyView v = swarm.flyView(i);
                if (!grounded(v)) continue;
                swarm.setPointer(true, v.x, v.y);
                EXPECT_TRUE(swarm.swat(v.x, v.y)) << "a click on a grounded fly's centre missed";
            }
            swarm.advance(kFrame);
        }
        EXPECT_EQ(swarm.aliveCount(), 0u);
        for (int frame = 0; frame < 60 * 10 && !swarm.done(); ++frame) swarm.advance(kFrame);
        EXPECT_TRUE(swarm.done());
        return swarm.stateHash();
    };
    EXPECT_EQ(swatAll(3), swatAll(3));
}

}  // namespace
}  // namespace gnatter
