// Tests of the flies' simulation: sizes, staying on the work areas through monitor
// changes, the pointer and the swat, arrival and departure, the clock, the picture, and
// determinism (--seed).
#include "fly_math.h"
#include "options.h"
#include "sprite.h"
#include "swarm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace gnatter {
namespace {

constexpr double kFrame = 1.0 / 60.0;

// A monitor with a 40 px taskbar along the bottom of its work area.
Monitor monitor(int left, int top, int right, int bottom, float scale = 1.0f) {
    Monitor m;
    m.bounds = {left, top, right, bottom};
    m.workArea = {left, top, right, bottom - 40};
    m.scale = scale;
    return m;
}

using Layout = std::vector<Monitor>;

const Layout kSingle = {monitor(0, 0, 1920, 1080)};
// Primary 1920x1080; a smaller one to its right, top-aligned, leaving a gap under it;
// a portrait one to the left at negative coordinates, lower down.
const Layout kMixed = {monitor(0, 0, 1920, 1080), monitor(1920, 0, 3200, 720),
                       monitor(-1080, 200, 0, 2120)};
const Layout kTwoScales = {monitor(0, 0, 1600, 900, 1.0f), monitor(1600, 0, 3200, 900, 2.0f)};

Options options(int count, int size, int variation, int timeout = 0) {
    Options o;
    o.count = count;
    o.sizePixels = size;
    o.variationPercent = variation;
    o.timeoutSeconds = timeout;
    return o;
}

bool inWorkArea(const Layout& layout, double x, double y) {
    for (const Monitor& m : layout) {
        const Rect& a = m.workArea;
        if (x >= a.left && x <= a.right && y >= a.top && y <= a.bottom) return true;
    }
    return false;
}

// The body's square (centre +- size/2) on work areas: checked at its corners, edge
// middles and centre, which is enough for the gaps our layouts have.
bool bodyOnWorkAreas(const Layout& layout, const FlyView& v) {
    const double h = v.size / 2.0;
    for (double dx : {-h, 0.0, h}) {
        for (double dy : {-h, 0.0, h}) {
            if (!inWorkArea(layout, v.x + dx, v.y + dy)) return false;
        }
    }
    return true;
}

bool squareClearOfMonitors(const Layout& layout, double x, double y, double reach) {
    for (const Monitor& m : layout) {
        const Rect& b = m.bounds;
        if (x + reach > b.left && x - reach < b.right && y + reach > b.top && y - reach < b.bottom) return false;
    }
    return true;
}

bool onGround(const FlyView& v) {
    return v.activity == Activity::Resting || v.activity == Activity::Grooming || v.activity == Activity::Walking;
}

std::string describe(const FlyView& v) {
    static const char* const kActivities[] = {"away", "resting", "grooming", "walking", "flying", "escaping", "chasing", "squashed"};
    return "fly at (" + std::to_string(v.x) + ", " + std::to_string(v.y) + ") size " + std::to_string(v.size) + " " +
           kActivities[int(v.activity)];
}

// ---------------------------------------------------------------------------------------
struct SizeCase {
    const char* name;
    int size, variation;
    float lowest, highest;  // the bounds every fly's size must respect
};

// Cases are named by their name alone, not by a dump of their bytes.
void PrintTo(const SizeCase& c, std::ostream* out) { *out << c.name; }

class SizeVariation : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeVariation, StaysWithinBoundsSpansThemAndCentresOnTheSizeAskedFor) {
    const SizeCase& c = GetParam();
    float seenMin = 1e9f, seenMax = 0.0f;
    std::vector<float> sizes;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        Swarm swarm(options(20, c.size, c.variation), seed, kSingle);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const float s = swarm.flyView(i).size;
            EXPECT_GE(s, c.lowest * 0.999f) << "seed " << seed << " fly " << i;
            EXPECT_LE(s, c.highest * 1.001f) << "seed " << seed << " fly " << i;
            seenMin = std::min(seenMin, s);
            seenMax = std::max(seenMax, s);
            sizes.push_back(s);
        }
    }
    // 800 draws come within 2 % of both ends of the range, and half are larger than the
    // size asked for.
    const float slack = 0.02f * (c.highest - c.lowest);
    EXPECT_LE(seenMin, c.lowest + slack) << "sizes never reached the low end";
    EXPECT_GE(seenMax, c.highest - slack) << "sizes never reached the high end";
    std::nth_element(sizes.begin(), sizes.begin() + long(sizes.size() / 2), sizes.end());
    EXPECT_NEAR(sizes[sizes.size() / 2], float(c.size), 0.04f * float(c.size)) << "median size";
}

// Without variation any size goes; with it, sizes spread from size / (1 + v) to
// size * (1 + v), but no varied fly is smaller than 9 px (the spread narrows instead).
const SizeCase kSizeCases[] = {
    {"NoVariation", 36, 0, 36.0f, 36.0f},
    {"HalfEitherWay", 36, 50, 24.0f, 54.0f},
    {"SmallestSize", 4, 0, 4.0f, 4.0f},
    {"FullVariationLarge", 54, 100, 27.0f, 108.0f},
    {"FullVariationNarrowsAboveNinePixels", 12, 100, 9.0f, 16.0f},
    {"LauncherSmallestNeverVaries", 9, 100, 9.0f, 9.0f},
    {"LargestSize", 256, 10, 232.7f, 281.6f},
};

INSTANTIATE_TEST_SUITE_P(Swarm, SizeVariation, ::testing::ValuesIn(kSizeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SwarmScale, DrawnSizeFollowsTheMonitorUnderTheFly) {
    Swarm swarm(options(40, 20, 0), 7, kTwoScales);
    int checked[2] = {0, 0};
    for (int frame = 0; frame < 60 * 30; ++frame) {
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const FlyView& v = swarm.flyView(i);
            if (!onGround(v)) continue;
            const int right = v.x >= 1600.0f ? 1 : 0;
            ASSERT_FLOAT_EQ(v.size, right ? 40.0f : 20.0f) << describe(v) << " at frame " << frame;
            ++checked[right];
        }
    }
    EXPECT_GT(checked[0], 0) << "no fly ever stood on the 100 % monitor";
    EXPECT_GT(checked[1], 0) << "no fly ever stood on the 200 % monitor";
}

// ---------------------------------------------------------------------------------------
struct BoundsCase {
    const char* name;
    Layout layout;
    Layout afterChange;  // empty: no change
    int count, size, variation;
};

void PrintTo(const BoundsCase& c, std::ostream* out) { *out << c.name; }

class WorldBounds : public ::testing::TestWithParam<BoundsCase> {};

TEST_P(WorldBounds, GroundedFliesStayOnWorkAreasForMinutes) {
    const BoundsCase& c = GetParam();
    for (std::uint64_t seed : {1u, 2u, 3u}) {
        Swarm swarm(options(c.count, c.size, c.variation), seed, c.layout);
        Layout current = c.layout;
        long grounded = 0;
        const int frames = 60 * 120;
        for (int frame = 0; frame < frames; ++frame) {
            if (frame == frames / 3 && !c.afterChange.empty()) {
                current = c.afterChange;
                swarm.setMonitors(current);
            }
            swarm.advance(kFrame);
            for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
                const FlyView& v = swarm.flyView(i);
                if (!onGround(v)) continue;
                ++grounded;
                ASSERT_TRUE(bodyOnWorkAreas(current, v))
                    << describe(v) << " off the work areas, seed " << seed << " frame " << frame;
            }
        }
        // Most of the time most flies are on the ground; a run that never lands proves nothing.
        EXPECT_GT(grounded, long(frames) * c.count / 2) << "seed " << seed;
    }
}

const BoundsCase kBoundsCases[] = {
    {"OneMonitor", kSingle, {}, 30, 36, 50},
    {"OneMonitorLargeFlies", kSingle, {}, 10, 256, 0},
    {"MixedSizesWithGaps", kMixed, {}, 40, 30, 50},
    {"TwoScales", kTwoScales, {}, 30, 24, 20},
    {"MonitorRemoved", kMixed, {monitor(0, 0, 1920, 1080)}, 40, 30, 50},
    {"MonitorsShrinkAndMove", kMixed, {monitor(200, 100, 1000, 700), monitor(1000, 100, 1400, 500)}, 30, 20, 0},
};

INSTANTIATE_TEST_SUITE_P(Swarm, WorldBounds, ::testing::ValuesIn(kBoundsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SwarmMonitors, FliesOnARemovedMonitorComeBack) {
    Swarm swarm(options(40, 30, 0), 11, kMixed);
    for (int frame = 0; frame < 60 * 20; ++frame) swarm.advance(kFrame);
    const Layout remaining = {monitor(0, 0, 1920, 1080)};
    int stranded = 0;
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) stranded += !bodyOnWorkAreas(remaining, swarm.flyView(i));
    ASSERT_GT(stranded, 0) << "the layout put no fly on the other monitors";
    swarm.setMonitors(remaining);
    for (int frame = 0; frame < 60 * 10; ++frame) swarm.advance(kFrame);
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
        const FlyView& v = swarm.flyView(i);
        if (!onGround(v)) continue;  // in the air, or off the screen for a while
        EXPECT_TRUE(inWorkArea(remaining, v.x, v.y)) << describe(v) << " still outside the remaining monitor";
    }
}

// The Win32 layer may report monitors or windows it already reported: that changes no
// fly's plans, and once seen to, the swarm may rest again.
TEST(SwarmMonitors, ALayoutReportedAgainChangesNothing) {
    const std::vector<WindowBox> windows = {{{300, 200, 1000, 700}, 1}, {{800, 400, 1600, 900}, 2}};
    Swarm plain(options(30, 30, 30), 6, kMixed), told(options(30, 30, 30), 6, kMixed);
    plain.setWindows(windows);
    told.setWindows(windows);
    for (int frame = 0; frame < 60 * 100; ++frame) {
        if (frame % 20 == 7) told.setMonitors(kMixed);
        if (frame % 20 == 17) told.setWindows(windows);
        if (frame == 60 * 90) {  // on the way out as well
            plain.requestDeparture();
            told.requestDeparture();
        }
        plain.advance(kFrame);
        told.advance(kFrame);
    }
    EXPECT_EQ(plain.stateHash(), told.stateHash()) << "the flies went other ways";
    Swarm lone(options(1, 36, 0, 600), 5, kSingle);  // a timeout far off does not keep it awake
    for (int frame = 0; frame < 60 * 20; ++frame) lone.advance(kFrame);
    lone.setMonitors(kSingle);
    lone.setWindows(windows);
    for (int frame = 0; frame < 60 * 60 && !lone.allResting(); ++frame) lone.advance(kFrame);
    EXPECT_TRUE(lone.allResting()) << "the change was never done with";
}

// ---------------------------------------------------------------------------------------
// Runs a single fly until it has been sitting, grooming or walking for a while.
void settle(Swarm& swarm) {
    for (int frame = 0; frame < 60 * 10; ++frame) swarm.advance(kFrame);
    for (int frame = 0; frame < 60 * 30 && !onGround(swarm.flyView(0)); ++frame) swarm.advance(kFrame);
    ASSERT_TRUE(onGround(swarm.flyView(0))) << "the fly never landed";
}

// A pointer that starts `from` body lengths out on the side with the most room and moves
// `speed` body lengths a second along `angle` relative to the line toward the fly (0:
// straight at it, pi: straight away), read every frame.
struct PointerCase {
    const char* name;
    double from, speed, angle;
    bool startles;
};

void PrintTo(const PointerCase& c, std::ostream* out) { *out << c.name; }

class PointerStartle : public ::testing::TestWithParam<PointerCase> {};

TEST_P(PointerStartle, OnlyALoomingPointerMakesTheFlyLeave) {
    const PointerCase& c = GetParam();
    for (std::uint64_t seed = 1; seed <= 10; ++seed) {
        Swarm swarm(options(1, 36, 0), seed, kSingle);
        Swarm twin(options(1, 36, 0), seed, kSingle);
        settle(swarm);
        settle(twin);
        const FlyView before = swarm.flyView(0);
        const double side = before.x < 960.0f ? 1.0 : -1.0;
        double px = before.x + side * c.from * before.size, py = before.y;
        const double toward = std::atan2(before.y - py, before.x - px) + c.angle;
        const double step = c.speed * before.size * kFrame;
        bool tookOff = false;
        double closest = 1e9;
        for (int frame = 0; frame < 60 * 2; ++frame) {
            swarm.advance(kFrame);
            twin.advance(kFrame);
            const FlyView& v = swarm.flyView(0);
            if (v.activity == Activity::Escaping && !tookOff) {
                tookOff = true;
                // Away from the pointer: the jump already opens the gap.
                EXPECT_GT(std::hypot(v.x - px, v.y - py), std::hypot(before.x - px, before.y - py) - 1.0) << "seed " << seed;
            }
            if (tookOff && v.visible) closest = std::min(closest, std::hypot(v.x - px, v.y - py));
            if (frame < 30) {
                px += std::cos(toward) * step;
                py += std::sin(toward) * step;
            }
            swarm.setPointer(true, float(px), float(py));
            twin.setPointer(true, float(px), float(py));
        }
        if (c.startles) {
            EXPECT_TRUE(tookOff) << "seed " << seed << ": " << c.name << " did not make the " << describe(before) << " leave";
            EXPECT_GE(closest, before.size) << "seed " << seed << ": the escape came within a body length of the pointer";
        } else {
            EXPECT_FALSE(tookOff) << "seed " << seed << ": " << c.name << " startled the " << describe(before);
        }
    }
}

const PointerCase kPointerCases[] = {
    {"FastStraightAtIt", 12.0, 60.0, 0.0, true},
    {"VeryFastFromFarAway", 40.0, 150.0, 0.0, true},
    {"FastSlightlyOffLine", 10.0, 60.0, 0.08, true},
    {"CreepingUpSlowly", 3.0, 1.0, 0.0, false},
    {"StandingStillBeside", 1.0, 0.0, 0.0, false},
    {"FastStraightAway", 1.0, 60.0, 3.14159, false},
    {"FastPassingWide", 12.0, 60.0, 0.6, false},
    {"FastButFarTooFar", 60.0, 60.0, 0.0, false},
};

INSTANTIATE_TEST_SUITE_P(Swarm, PointerStartle, ::testing::ValuesIn(kPointerCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SwarmPointer, NewPointerReadingEndsRest) {
    Swarm swarm(options(1, 36, 0), 5, kSingle);
    settle(swarm);
    for (int frame = 0; frame < 60 * 60 && !swarm.allResting(); ++frame) swarm.advance(kFrame);
    ASSERT_TRUE(swarm.allResting()) << "the fly never sat still";
    const FlyView v = swarm.flyView(0);
    swarm.setPointer(true, v.x + v.size, v.y);
    EXPECT_FALSE(swarm.allResting()) << "a new pointer reading left the swarm resting";
    EXPECT_TRUE(swarm.pointerNearFly());
    swarm.setPointer(true, v.x + 40 * v.size, v.y);
    EXPECT_FALSE(swarm.pointerNearFly());
}

TEST(SwarmPointer, AReadingThatDidNotChangeLeavesTheRestBe) {
    Swarm swarm(options(1, 36, 0), 5, kSingle);
    settle(swarm);
    const FlyView v = swarm.flyView(0);
    swarm.setPointer(true, v.x + 30 * v.size, v.y);
    for (int frame = 0; frame < 60 * 60 && !swarm.allResting(); ++frame) swarm.advance(kFrame);
    ASSERT_TRUE(swarm.allResting()) << "the fly never sat still";
    swarm.setPointer(true, v.x + 30 * v.size, v.y);
    EXPECT_TRUE(swarm.allResting()) << "the same reading again ended the rest";
}

TEST(SwarmPointer, OnlyLiveFliesInSightCallForCloseReading) {
    Swarm swarm(options(1, 36, 0), 5, kSingle);
    const FlyView waiting = swarm.flyView(0);  // not yet on the screen
    swarm.setPointer(true, waiting.x, waiting.y);
    EXPECT_FALSE(swarm.pointerNearFly()) << "a fly out of sight drew the pointer's attention";
    settle(swarm);
    const FlyView v = swarm.flyView(0);
    // Near: four body lengths and a little more (24 px) for the pointer's own speed.
    swarm.setPointer(true, v.x + 4 * v.size + 20, v.y);
    EXPECT_TRUE(swarm.pointerNearFly());
    swarm.setPointer(true, v.x, v.y - 4 * v.size - 30);
    EXPECT_FALSE(swarm.pointerNearFly());
    swarm.setPointer(true, v.x, v.y);
    ASSERT_TRUE(swarm.pointerNearFly());
    ASSERT_TRUE(swarm.swat(v.x, v.y));
    EXPECT_FALSE(swarm.pointerNearFly()) << "a squashed fly still drew the pointer's attention";
}

// A squashed fly lies fresh for three seconds, in which nothing needs the clock, then fades;
// a second click on it hits nothing.
TEST(SwarmSwat, TheSquashedFlyLiesStillThenFades) {
    Swarm swarm(options(1, 36, 0), 5, kSingle);
    settle(swarm);
    const FlyView v = swarm.flyView(0);
    ASSERT_TRUE(swarm.swat(v.x, v.y));
    EXPECT_FALSE(swarm.swat(v.x, v.y)) << "a squashed fly was hit again";
    ASSERT_TRUE(swarm.allResting());
    EXPECT_NEAR(swarm.restingSecondsLeft(), 3.0, 0.02) << "the clock would miss the start of the fade";
    for (int frame = 0; frame < 60 * 2.9; ++frame) {
        swarm.advance(kFrame);
        ASSERT_EQ(swarm.flyView(0).pose.fade, 0) << "faded " << frame << " frames after the swat";
    }
    for (int frame = 0; frame < 60 * 2 && swarm.flyView(0).pose.fade == 0; ++frame) swarm.advance(kFrame);
    EXPECT_GT(swarm.flyView(0).pose.fade, 0) << "never faded";
}

// Clicks in the fly's own frame, in body lengths along and across its heading: the head's
// front, the thorax's side, the abdomen's tip and side hit; past the head, behind the
// abdomen and beside the thorax or the head miss, whichever way the fly faces.
struct BodyClick {
    double along, across;
    bool hits;
};

constexpr BodyClick kBodyClicks[] = {
    {0.40, 0.0, true}, {0.12, -0.17, true}, {-0.45, 0.0, true}, {-0.22, 0.2, true},
    {0.50, 0.0, false}, {-0.56, 0.0, false}, {0.12, 0.26, false}, {0.30, -0.22, false},
};

TEST(SwarmSwat, HitsTheBodyOutlineAtAnyHeading) {
    Swarm swarm(options(60, 40, 0), 17, kSingle);
    for (int frame = 0; frame < 60 * 40; ++frame) swarm.advance(kFrame);
    int hitsTried = 0, slanted = 0;
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
        const FlyView v = swarm.flyView(i);
        if (!onGround(v)) continue;
        bool alone = true;  // no other fly within reach of the clicks
        for (std::size_t j = 0; j < swarm.flyCount(); ++j) {
            const FlyView& o = swarm.flyView(j);
            alone = alone && (j == i || !o.visible || std::hypot(o.x - v.x, o.y - v.y) > 1.6 * v.size);
        }
        if (!alone) continue;
        // The click lands on the body as drawn, which faces the picture's heading.
        const double c = std::cos(v.pose.heading), s = std::sin(v.pose.heading);
        auto click = [&](const BodyClick& k) {
            return swarm.swat(float(v.x + (k.along * c - k.across * s) * v.size),
                              float(v.y + (k.along * s + k.across * c) * v.size));
        };
        for (const BodyClick& k : kBodyClicks) {
            if (!k.hits) {
                ASSERT_FALSE(click(k)) << "a click at " << k.along << ", " << k.across << " hit the " << describe(v);
            }
        }
        // One hit per fly (it is squashed then), taking the hitting clicks in turn.
        const BodyClick& k = kBodyClicks[hitsTried++ % 4];
        EXPECT_TRUE(click(k)) << "a click at " << k.along << ", " << k.across << " missed the " << describe(v)
                              << " heading " << v.pose.heading;
        slanted += std::fabs(std::sin(2.0 * v.pose.heading)) > 0.5;
    }
    EXPECT_GE(hitsTried, 12) << "too few flies sat alone to try";
    EXPECT_GE(slanted, 4) << "too few flies faced a slanted way";
}

// ---------------------------------------------------------------------------------------
TEST(SwarmArrival, FliesStartOutOfSightAndLandInside) {
    Swarm swarm(options(30, 36, 50), 3, kMixed);
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
        const FlyView& v = swarm.flyView(i);
        EXPECT_TRUE(squareClearOfMonitors(kMixed, v.x, v.y, v.size / 2)) << describe(v) << " starts on a screen";
    }
    for (int frame = 0; frame < 60 * 6; ++frame) swarm.advance(kFrame);
    int landed = 0;
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) landed += onGround(swarm.flyView(i));
    EXPECT_GE(landed, 25) << "most flies should have landed within 6 s";
}

TEST(SwarmArrival, FliesWaitForGroundAndComeWhenItAppears) {
    Swarm swarm(options(10, 36, 0), 4, {});
    for (int frame = 0; frame < 60 * 2; ++frame) swarm.advance(kFrame);
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) EXPECT_FALSE(swarm.flyView(i).visible) << "a fly without ground to go to";
    EXPECT_FALSE(swarm.done());
    swarm.setMonitors(kSingle);
    std::vector<bool> landed(swarm.flyCount(), false);
    for (int frame = 0; frame < 60 * 6; ++frame) {
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) landed[i] = landed[i] || onGround(swarm.flyView(i));
    }
    EXPECT_EQ(std::count(landed.begin(), landed.end(), true), long(landed.size())) << "not every fly came down within 6 s";
}

// Once a new fly has looked round it joins the settled flies' rhythm: the minute after is
// neither a long busy tail (long rests only starting one by one) nor a hush. Pooled over
// many lone flies (a long rest weighs heavily in a few hundred), the share of time on the
// move 50-90 s after the start against 2-4 min.
TEST(SwarmArrival, FliesSettleSoonAfterLookingRound) {
    const double soonFrom = 50.0, soonTo = 90.0, laterFrom = 120.0, laterTo = 240.0;
    double busySoon = 0.0, seenSoon = 0.0, busyLater = 0.0, seenLater = 0.0;
    for (std::uint64_t seed = 1; seed <= 2000; ++seed) {
        Swarm swarm(options(1, 36, 0), seed, kSingle);
        for (double t = 0.0; t < laterTo;) {
            const double dt = swarm.allResting() ? std::max(std::min(swarm.restingSecondsLeft(), laterTo - t), kFrame) : kFrame;
            const Activity a = swarm.flyView(0).activity;
            const double soon = std::max(0.0, std::min(t + dt, soonTo) - std::max(t, soonFrom));
            const double later = std::max(0.0, std::min(t + dt, laterTo) - std::max(t, laterFrom));
            if (a != Activity::Away) {
                seenSoon += soon;
                seenLater += later;
            }
            if (a != Activity::Away && a != Activity::Resting) {
                busySoon += soon;
                busyLater += later;
            }
            swarm.advance(dt);
            t += dt;
        }
    }
    ASSERT_GT(seenSoon, 0.0);
    ASSERT_GT(busyLater, 0.0);
    const double ratio = (busySoon / seenSoon) / (busyLater / seenLater);
    // Measured 1.11 (seeds 1-4000: 1.06); settling only as a settled fly does gives about
    // 1.45, settling only one fly in five 1.30, a whole long rest instead of what is left
    // of one about 0.73.
    EXPECT_LT(ratio, 1.25) << "still busy from looking round";
    EXPECT_GT(ratio, 0.85) << "fell quiet together";
}

struct DepartureCase {
    const char* name;
    Layout layout;
    int count, timeout;
    double requestAt;  // seconds; < 0: leave by timeout only
    double doneBy;     // seconds
};

void PrintTo(const DepartureCase& c, std::ostream* out) { *out << c.name; }

class Departure : public ::testing::TestWithParam<DepartureCase> {};

TEST_P(Departure, EveryFlyLeavesAndTheSwarmIsDone) {
    const DepartureCase& c = GetParam();
    Swarm swarm(options(c.count, 30, 50, c.timeout), 9, c.layout);
    const double departAt = c.requestAt >= 0 ? c.requestAt : double(c.timeout);
    double t = 0.0;
    std::vector<bool> wasVisible(swarm.flyCount(), false);
    while (t < c.doneBy && !swarm.done()) {
        if (c.requestAt >= 0 && t >= c.requestAt && t < c.requestAt + kFrame) swarm.requestDeparture();
        swarm.advance(kFrame);
        t += kFrame;
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const FlyView& v = swarm.flyView(i);
            // Before departure a fly may leave the screen and come back; either way it
            // only vanishes once its picture is clear of every screen.
            if (wasVisible[i] && !v.visible) {
                EXPECT_TRUE(squareClearOfMonitors(c.layout, v.x, v.y, spriteSide(v.size)))
                    << describe(v) << " vanished while its picture could still be on a screen";
            }
            wasVisible[i] = v.visible;
        }
        if (t < departAt) {
            ASSERT_FALSE(swarm.done()) << "done before departure, at " << t << " s";
        }
    }
    EXPECT_TRUE(swarm.done()) << "not done " << c.doneBy << " s in";
    EXPECT_LT(t, c.doneBy);
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) EXPECT_FALSE(swarm.flyView(i).visible) << "fly " << i;
}

const DepartureCase kDepartureCases[] = {
    {"TimeoutOneMonitor", kSingle, 20, 15, -1.0, 30.0},
    {"TimeoutMixedMonitors", kMixed, 50, 10, -1.0, 25.0},
    {"RequestedWhileArriving", kSingle, 20, 0, 0.2, 12.0},
    {"RequestedLater", kMixed, 200, 0, 20.0, 35.0},
    {"RequestedBeforeTimeout", kSingle, 10, 60, 5.0, 20.0},
};

INSTANTIATE_TEST_SUITE_P(Swarm, Departure, ::testing::ValuesIn(kDepartureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SwarmDeparture, TimeoutZeroNeverLeavesOnItsOwn) {
    Swarm swarm(options(10, 30, 0, 0), 4, kSingle);
    for (int second = 0; second < 600; ++second) {
        for (int frame = 0; frame < 60; ++frame) swarm.advance(kFrame);
        ASSERT_FALSE(swarm.done()) << "left after " << second << " s";
    }
    // Some may be off the screen for a while, but none has gone for good.
    EXPECT_EQ(swarm.aliveCount(), swarm.flyCount());
}

TEST(SwarmDeparture, MonitorChangeWhileLeavingStillEnds) {
    Swarm swarm(options(30, 30, 0, 0), 2, kMixed);
    for (int frame = 0; frame < 60 * 5; ++frame) swarm.advance(kFrame);
    swarm.requestDeparture();
    for (int frame = 0; frame < 10; ++frame) swarm.advance(kFrame);
    const Layout bigger = {monitor(-3000, -2000, 5000, 3000)};
    swarm.setMonitors(bigger);
    for (int frame = 0; frame < 60 * 20 && !swarm.done(); ++frame) swarm.advance(kFrame);
    EXPECT_TRUE(swarm.done());
}

// The flies on the ground lift off one by one within half a second, not in the order
// they are listed.
TEST(SwarmDeparture, GroundedFliesLiftOffInTurnInAShuffledOrder) {
    for (std::uint64_t seed : {1u, 2u}) {
        Swarm swarm(options(20, 30, 0, 0), seed, kSingle);
        for (int frame = 0; frame < 60 * 30; ++frame) swarm.advance(kFrame);
        std::vector<int> liftOff(swarm.flyCount(), -1);
        std::vector<std::size_t> waiting;
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            if (onGround(swarm.flyView(i))) waiting.push_back(i);
        }
        ASSERT_GE(waiting.size(), 10u) << "seed " << seed;
        swarm.requestDeparture();
        for (int frame = 0; frame < 60; ++frame) {
            swarm.advance(kFrame);
            for (std::size_t i : waiting) {
                if (liftOff[i] < 0 && !onGround(swarm.flyView(i))) liftOff[i] = frame;
            }
        }
        long pairs = 0, inverted = 0;
        for (std::size_t a : waiting) {
            EXPECT_GE(liftOff[a], 0) << "seed " << seed << ": fly " << a << " still sits a second after the request";
            EXPECT_LE(liftOff[a], 30) << "seed " << seed << ": fly " << a << " lifted off late";
            for (std::size_t b : waiting) {
                if (a >= b) continue;
                ++pairs;
                inverted += liftOff[a] > liftOff[b];
            }
        }
        EXPECT_GT(inverted, pairs / 5) << "seed " << seed << ": the flies left nearly in the order they are listed";
    }
}

// One off the screen for a while when the flies are told to go does not come back.
TEST(SwarmDeparture, FliesAwayOffTheScreenStayAway) {
    Swarm swarm(options(20, 36, 0, 0), 3, kSingle);
    std::vector<bool> seen(swarm.flyCount(), false);
    std::vector<int> away(swarm.flyCount(), 0);  // frames out of sight since it was last seen
    bool someAway = false;
    for (int frame = 0; frame < 60 * 600 && !someAway; ++frame) {
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const FlyView& v = swarm.flyView(i);
            away[i] = seen[i] && v.activity == Activity::Away ? away[i] + 1 : 0;
            someAway = someAway || away[i] > 60 * 2;
            seen[i] = seen[i] || v.visible;
        }
    }
    ASSERT_TRUE(someAway) << "no fly went off the screen";
    swarm.requestDeparture();
    for (int frame = 0; frame < 60 * 10 && !swarm.done(); ++frame) swarm.advance(kFrame);
    EXPECT_TRUE(swarm.done()) << "a fly came back after the flies were told to go";
}

// A fly waiting for its turn to leave whose monitor goes still leaves.
TEST(SwarmDeparture, MonitorRemovedUnderFliesWaitingToLeave) {
    Swarm swarm(options(40, 30, 0, 0), 11, kMixed);
    for (int frame = 0; frame < 60 * 20; ++frame) swarm.advance(kFrame);
    swarm.requestDeparture();
    swarm.advance(kFrame);
    const Layout remaining = {monitor(0, 0, 1920, 1080)};
    int stranded = 0;
    for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
        stranded += onGround(swarm.flyView(i)) && !bodyOnWorkAreas(remaining, swarm.flyView(i));
    }
    ASSERT_GT(stranded, 0) << "no fly waited on the monitors that go";
    swarm.setMonitors(remaining);
    for (int frame = 0; frame < 60 * 20 && !swarm.done(); ++frame) swarm.advance(kFrame);
    EXPECT_TRUE(swarm.done()) << swarm.aliveCount() << " flies stayed";
}

// A swatted fly stays where it was hit while the others leave, and fades as usual.
TEST(SwarmDeparture, SquashedFlyStaysPutWhileTheOthersLeave) {
    Swarm swarm(options(6, 36, 0, 0), 3, kSingle);
    for (int frame = 0; frame < 60 * 20; ++frame) swarm.advance(kFrame);
    std::size_t hit = swarm.flyCount();
    for (std::size_t i = 0; i < swarm.flyCount() && hit == swarm.flyCount(); ++i) {
        const FlyView& v = swarm.flyView(i);
        if (onGround(v) && swarm.swat(v.x, v.y)) hit = i;
    }
    ASSERT_LT(hit, swarm.flyCount()) << "no fly to swat";
    const FlyView squashed = swarm.flyView(hit);
    swarm.requestDeparture();
    for (int frame = 0; frame < 60 * 10 && !swarm.done(); ++frame) {
        swarm.advance(kFrame);
        const FlyView& v = swarm.flyView(hit);
        if (!v.visible) continue;
        ASSERT_EQ(v.activity, Activity::Squashed) << "frame " << frame;
        ASSERT_EQ(v.x, squashed.x);
        ASSERT_EQ(v.y, squashed.y);
    }
    EXPECT_TRUE(swarm.done());
}

// ---------------------------------------------------------------------------------------
struct AdvanceCase {
    const char* name;
    std::vector<double> calls;
    int expectedSteps;  // total over the calls
};

void PrintTo(const AdvanceCase& c, std::ostream* out) { *out << c.name; }

class AdvanceSteps : public ::testing::TestWithParam<AdvanceCase> {};

TEST_P(AdvanceSteps, ConsumesFixedStepsAndClampsStalls) {
    const AdvanceCase& c = GetParam();
    Swarm swarm(options(5, 30, 0), 1, kSingle);  // arriving: never resting
    int steps = 0;
    for (double e : c.calls) steps += swarm.advance(e);
    EXPECT_EQ(steps, c.expectedSteps);
}

const AdvanceCase kAdvanceCases[] = {
    {"OneFrameAt60Hz", {1.0 / 60}, 2},
    {"OneStep", {1.0 / 120}, 1},
    {"SlicesAccumulate", {1.0 / 360, 1.0 / 360, 1.0 / 360}, 1},
    // A clock that reads a hair short of a step each time still steps each time.
    {"HairShortStepsDoNotDrift", std::vector<double>(12, 1.0 / 120 - 5e-10), 12},
    {"SecondInFrames", std::vector<double>(60, 1.0 / 60), 120},
    {"StallClampedToQuarterSecond", {10.0}, 30},
    {"HugeStallClamped", {1e300}, 30},
    {"NegativeIgnored", {-1.0}, 0},
    {"NaNIgnored", {std::nan("")}, 0},
    {"NegativeThenAFrame", {-1.0, 1.0 / 60}, 2},
    {"NaNThenAFrame", {std::nan(""), 1.0 / 60}, 2},
    {"ZeroIgnored", {0.0}, 0},
};

INSTANTIATE_TEST_SUITE_P(Swarm, AdvanceSteps, ::testing::ValuesIn(kAdvanceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SwarmAdvance, StallDoesNotTeleportFlies) {
    Swarm swarm(options(20, 36, 0), 3, kSingle);
    Swarm stepped(options(20, 36, 0), 3, kSingle);
    swarm.advance(5.0);
    for (int i = 0; i < 15; ++i) stepped.advance(kFrame);  // the same quarter second in frames
    EXPECT_EQ(swarm.stateHash(), stepped.stateHash()) << "a 5 s stall should act as 0.25 s";
}

TEST(SwarmAdvance, RestingTimeIsSkippedWithoutMoving) {
    Swarm swarm(options(1, 36, 0), 12, kSingle);
    settle(swarm);
    int frame = 0;
    while (frame < 60 * 120 && !(swarm.allResting() && swarm.restingSecondsLeft() > 0.5)) {
        swarm.advance(kFrame);
        ++frame;
    }
    ASSERT_TRUE(swarm.allResting()) << "the fly never sat still for half a second";
    const double rest = swarm.restingSecondsLeft();
    const FlyView before = swarm.flyView(0);
    const int steps = swarm.advance(rest);
    EXPECT_EQ(steps, int(std::lround(rest * 120))) << "resting for " << rest << " s";
    EXPECT_EQ(swarm.flyView(0).x, before.x);
    EXPECT_EQ(swarm.flyView(0).y, before.y);
    EXPECT_FALSE(swarm.allResting() && swarm.restingSecondsLeft() >= rest) << "the rest did not run down";
}

TEST(SwarmAdvance, LoneFlyRestsBetweenLegRubsAndPivotJerks) {
    Swarm swarm(options(1, 36, 0), 5, kSingle);
    int restingBusyFrames = 0;
    for (int frame = 0; frame < 60 * 120; ++frame) {
        const bool resting = swarm.allResting();
        const double left = swarm.restingSecondsLeft();
        const FlyView before = swarm.flyView(0);
        swarm.advance(kFrame);
        if (!resting || left < 2 * Swarm::kStepSeconds - 1e-12) continue;
        const FlyView& after = swarm.flyView(0);
        ASSERT_EQ(after.pictureKey, before.pictureKey) << "frame " << frame;
        ASSERT_EQ(after.x, before.x) << "frame " << frame;
        ASSERT_EQ(after.heading, before.heading) << "frame " << frame;
        restingBusyFrames += before.pose.stance == Stance::Grooming || after.pose.stance == Stance::Grooming;
    }
    EXPECT_GT(restingBusyFrames, 0) << "never rested while grooming";
}

// ---------------------------------------------------------------------------------------
TEST(SwarmPicture, ChangedFlagMatchesKeyChanges) {
    Swarm swarm(options(30, 36, 30), 8, kMixed);
    for (int frame = 0; frame < 60 * 30; ++frame) {
        std::vector<std::uint64_t> before;
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) before.push_back(swarm.flyView(i).pictureKey);
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const FlyView& v = swarm.flyView(i);
            const bool expected = frame == 0 || v.pictureKey != before[i];
            ASSERT_EQ(v.pictureChanged, expected) << "fly " << i << " frame " << frame;
            ASSERT_EQ(v.pictureKey, pictureKeyFor(v.size, v.heading, v.pose)) << "fly " << i << " frame " << frame;
        }
    }
}

TEST(SwarmPicture, SmallHeadingChangesKeepThePicture) {
    Swarm swarm(options(30, 36, 30), 8, kMixed);
    long turnedKeepingPicture = 0, turned = 0;
    for (int frame = 0; frame < 60 * 30; ++frame) {
        std::vector<float> headings;
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) headings.push_back(swarm.flyView(i).heading);
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const FlyView& v = swarm.flyView(i);
            if (v.heading == headings[i] || (v.pose.stance == Stance::Flying)) continue;
            ++turned;
            turnedKeepingPicture += !v.pictureChanged;
        }
    }
    EXPECT_GT(turnedKeepingPicture, turned / 10)
        << turnedKeepingPicture << " of " << turned << " heading changes on the ground kept the picture";
}

// The picture turns in steps while the fly walks or flies, but never lags the body by more
// than about 20 degrees; at rest it shows the heading exactly. Walking, the legs step
// through every frame.
TEST(SwarmPicture, TheDrawnHeadingKeepsUpWithTheBody) {
    Swarm swarm(options(30, 36, 30, 60), 8, kMixed);
    int airborne = 0, still = 0;
    bool walkFrames[kWalkFrames] = {};
    for (int frame = 0; frame < 60 * 60; ++frame) {
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const FlyView& v = swarm.flyView(i);
            if (!v.visible || v.activity == Activity::Squashed) continue;
            airborne += !onGround(v);
            ASSERT_LE(std::fabs(fm::angleDiff(v.pose.heading, v.heading)), 0.4) << describe(v) << " frame " << frame;
            if (v.activity == Activity::Resting || v.activity == Activity::Grooming) {
                ++still;
                ASSERT_EQ(v.pose.heading, v.heading) << describe(v) << " frame " << frame;
            }
            if (v.activity == Activity::Walking) walkFrames[v.pose.walkFrame % kWalkFrames] = true;
        }
    }
    EXPECT_GT(airborne, 1000) << "too little flight to tell";
    EXPECT_GT(still, 1000) << "too little rest to tell";
    for (int f = 0; f < kWalkFrames; ++f) EXPECT_TRUE(walkFrames[f]) << "walking never showed leg frame " << f;
}

// In the air the picture is lifted (its shadow falls away from it), never by more than a
// body length, and streaked only when fast; leaving the ground, a fly first shows the
// jump; coming in from off the screen, it faces the way it flies.
TEST(SwarmPicture, AirbornePicturesJumpRiseAndFaceTheirWay) {
    Swarm swarm(options(30, 36, 0, 0), 9, kSingle);
    std::vector<FlyView> before(swarm.flyCount());
    int takeOffs = 0, arrivals = 0, judged = 0;
    float highest = 0.0f;
    for (int frame = 0; frame < 60 * 120; ++frame) {
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const FlyView& v = swarm.flyView(i);
            const bool air = v.visible && !onGround(v) && v.activity != Activity::Squashed;
            if (air) {
                ASSERT_LE(v.pose.altitude, v.size) << describe(v);
                // Streaked when fast, sharp when slow (per frame, in body lengths a second).
                const double speed = std::hypot(v.x - before[i].x, v.y - before[i].y) / v.size / kFrame;
                if (before[i].visible && v.pose.stance == Stance::Flying && (speed > 45.0 || speed < 12.0)) {
                    ++judged;
                    EXPECT_EQ(v.pose.motionBlur, speed > 45.0) << describe(v) << " at " << speed << " BL/s";
                }
                highest = std::max(highest, v.pose.altitude / v.size);
                if (onGround(before[i])) {
                    ++takeOffs;
                    EXPECT_EQ(v.pose.stance, Stance::Jumping) << describe(v) << " left the ground without a jump";
                } else if (!before[i].visible && frame > 0) {
                    ++arrivals;
                    const double travel = std::atan2(v.y - before[i].y, v.x - before[i].x);
                    EXPECT_LT(std::fabs(fm::angleDiff(v.heading, travel)), 0.35) << describe(v) << " came in sideways";
                }
            }
            before[i] = v;
        }
    }
    EXPECT_GT(takeOffs, 20);
    EXPECT_GT(arrivals, 5);
    EXPECT_GT(highest, 0.3f) << "the picture never left the ground";
    EXPECT_GT(judged, 500);
}

TEST(SwarmPicture, PicturesChangeAFewTimesASecond) {
    // Leg frames by distance, pivots and wing beats in beats: no fly needs a new picture
    // on most frames, whatever it is doing.
    Swarm swarm(options(30, 36, 30, 60), 8, kMixed);
    std::vector<int> changes(swarm.flyCount(), 0);
    int busiest = 0;
    for (int frame = 1; frame <= 60 * 30; ++frame) {
        swarm.advance(kFrame);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) changes[i] += swarm.flyView(i).pictureChanged;
        if (frame % 60 != 0) continue;
        for (int& c : changes) {
            busiest = std::max(busiest, c);
            c = 0;
        }
    }
    EXPECT_LE(busiest, 25) << "picture changes of the busiest fly in one second";
}

// ---------------------------------------------------------------------------------------
std::uint64_t scriptedRunHash(std::uint64_t seed) {
    Swarm swarm(options(40, 30, 40, 100), seed, kMixed);
    for (int frame = 0; frame < 60 * 110; ++frame) {
        if (frame % 90 == 0) swarm.setPointer(true, float((frame * 37) % 3000 - 800), float((frame * 53) % 1500));
        if (frame == 60 * 40) swarm.setMonitors({monitor(0, 0, 1920, 1080), monitor(1920, 0, 3200, 720)});
        if (frame == 60 * 70) swarm.setMonitors(kMixed);
        swarm.advance(frame % 7 == 3 ? 0.05 : kFrame);  // an occasional slow frame
    }
    return swarm.stateHash();
}

TEST(SwarmDeterminism, SameSeedSameFlies) {
    EXPECT_EQ(scriptedRunHash(42), scriptedRunHash(42));
}

TEST(SwarmDeterminism, DifferentSeedsDifferentFlies) {
    EXPECT_NE(scriptedRunHash(42), scriptedRunHash(43));
}

// --seed repeats a run exactly; without it each run has a seed of its own.
TEST(SwarmDeterminism, SeedOptionRepeatsARunAndEachRunWithoutItDiffers) {
    const ParseResult seeded = parseOptions({"-n", "12", "--seed", "77"});
    const ParseResult unseeded = parseOptions({"-n", "12"});
    ASSERT_TRUE(seeded.ok && unseeded.ok);
    EXPECT_EQ(chooseSeed(seeded.options, 1), 77u);
    EXPECT_EQ(chooseSeed(seeded.options, 2), 77u);
    EXPECT_NE(chooseSeed(unseeded.options, 1), chooseSeed(unseeded.options, 2));
    auto run = [](const Options& o, std::uint64_t entropy) {
        Swarm swarm(o, chooseSeed(o, entropy), kSingle);
        for (int frame = 0; frame < 60 * 20; ++frame) swarm.advance(kFrame);
        return swarm.stateHash();
    };
    EXPECT_EQ(run(seeded.options, 1), run(seeded.options, 2));
    EXPECT_NE(run(unseeded.options, 1), run(unseeded.options, 2));
}

TEST(SwarmDeterminism, GoldenHashOfAScriptedRun) {
    // Obtained by running this very script once and printing the hash; g++ 12 and
    // clang 14 (x86-64; g++ at -O0 with sanitizers and at -O3, clang at -O3) agree on it.
    // A change here means the flies behave differently: if that was intended, update it.
    // Last updated when a fly that has looked round came to settle at once (and, before
    // that, when a run that outlasts its time to finish a turn no longer sped up).
    constexpr std::uint64_t kGolden = 0xff428f77fdd6b5e1ull;
    EXPECT_EQ(scriptedRunHash(42), kGolden) << std::hex << "actual 0x" << scriptedRunHash(42);
}

}  // namespace
}  // namespace gnatter
