// Tests of the flies' plans, one behaviour at a time on a desktop set up by hand: the way a
// flight takes (doglegs, cruise, deadline), where a fly lands (edges, every kind of
// corner), circling, coming down late or beside the ground, quick course corrections, the
// escape's way past the pointer, personal space on the ground, and the order and rhythm of
// a grooming bout. These reach inside the swarm (fly_state.h), where a fault shows as a
// broken rule rather than as a slightly different ethogram.
#include "fly_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace gnatter {
namespace {

constexpr double kSize = 36.0;

Monitor desktop() {
    Monitor m;
    m.bounds = {0, 0, 1920, 1080};
    m.workArea = {0, 0, 1920, 1040};
    return m;
}

double bearing(Point from, Point to) { return fm::atan2(to.y - from.y, to.x - from.x); }
double length(Point a, Point b) { return distance(a.x, a.y, b.x, b.y); }

// One desktop, and flies placed on it by hand.
struct Scene {
    Habitat h;

    explicit Scene(std::vector<WindowBox> windows = {}, Monitor monitor = desktop()) {
        h.monitors = {monitor};
        h.windows = std::move(windows);
        h.world.set(h.monitors);
        h.landmarks.set(h.monitors, h.windows);
        h.flies.reserve(8);  // flies are handed out by reference
        h.now = 1000;
    }

    Fly& fly(double x, double y, double heading, std::uint64_t seed, double size = kSize) {
        Fly f;
        f.rng = fm::Rng(seed);
        f.baseSize = size;
        f.x = x;
        f.y = y;
        f.heading = f.pictureHeading = heading;
        f.mode = Mode::Resting;
        f.until = h.now + 100000;
        f.arrivedOnce = true;
        f.chaseDueAt = h.now + 100000;
        h.flies.push_back(f);
        return h.flies.back();
    }

    // Steps a flying fly (and the clock) until it is down or `seconds` pass.
    void flyOn(Fly& f, double seconds) {
        for (std::int64_t end = h.now + stepsFor(seconds); f.mode == Mode::Flying && h.now < end; ++h.now) stepFlight(h, f);
    }
};

// ---------------------------------------------------------------------------------------
TEST(FlightPlans, DoglegsTurnOnceOnTheScreenAfterALegAlongTheCourse) {
    Scene s;
    fm::Rng rng(1);
    int doglegs = 0, straight = 0, left = 0;
    for (std::uint64_t seed = 1; seed <= 600; ++seed) {
        Fly& f = s.fly(rng.range(100.0, 1820.0), rng.range(100.0, 940.0), 0.0, seed);
        const Point from{f.x, f.y}, to{rng.range(100.0, 1820.0), rng.range(100.0, 940.0)};
        const double course = fm::wrapAngle(bearing(from, to) + rng.range(-0.9, 0.9));
        const std::vector<Point> path = pathTo(s.h, f, from, course, to);
        s.h.flies.pop_back();
        ASSERT_TRUE(path.size() == 1 || path.size() == 2);
        ASSERT_TRUE(path.back().x == to.x && path.back().y == to.y);
        if (path.size() == 1) {
            straight += length(from, to) >= 2.0 * tuning::kLegMinBodyLengths * kSize;
            continue;
        }
        ++doglegs;
        const Point c = path.front();
        EXPECT_GE(length(from, c), tuning::kLegMinBodyLengths * kSize - 1e-6) << "a first leg too short to fly straight";
        EXPECT_GE(length(c, to), tuning::kLegMinBodyLengths * kSize - 1e-6) << "a last leg too short to fly straight";
        EXPECT_FALSE(s.h.world.outOfSight(c.x, c.y, 0.0)) << "a turn off the screen";
        EXPECT_LE(std::fabs(fm::angleDiff(bearing(from, c), course)), 36.0 * fm::kPi / 180.0 + 1e-9)
            << "the first leg leaves far off the course the fly sets off on";
        const double turn = std::fabs(fm::angleDiff(bearing(c, to), bearing(from, c)));
        EXPECT_GE(turn, tuning::kTurnMin - 1e-3);
        EXPECT_LE(turn, tuning::kTurnMax + 1e-3);
        left += (c.x - from.x) * (to.y - from.y) - (c.y - from.y) * (to.x - from.x) > 0.0;
    }
    EXPECT_GT(doglegs, 60) << "long paths hardly ever dogleg";
    EXPECT_GT(straight, 60) << "long paths hardly ever go straight";
    EXPECT_GT(left, doglegs / 4) << "doglegs bend one way only";
    EXPECT_LT(left, doglegs * 3 / 4) << "doglegs bend one way only";
    // Along the top of the screen, setting off a little downward, a corner fits on one side
    // only: it goes there (as often as a free dogleg on that side would).
    int alongTheTop = 0;
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        Fly& f = s.fly(300.0, 60.0, 0.0, seed);
        alongTheTop += pathTo(s.h, f, {300.0, 60.0}, 0.35, {1600.0, 60.0}).size() == 2;
        s.h.flies.pop_back();
    }
    EXPECT_GT(alongTheTop, 100) << "doglegs along an edge are rare";
}

// A spontaneous jump goes along the body, leaning toward the goal by at most 30 degrees,
// scattered a little either way.
TEST(FlightPlans, JumpsGoAlongTheBodyLeaningTowardTheGoal) {
    Scene s;
    constexpr double kDegree = fm::kPi / 180.0;
    int leftOfLean = 0, jumps = 0;
    for (std::uint64_t seed = 1; seed <= 400; ++seed) {
        const double heading = 0.37 * double(seed), goalOff = (double(seed % 19) - 9.0) * 10.0 * kDegree;
        Fly& f = s.fly(960.0, 520.0, heading, seed);
        const double jump = forwardJumpToward(f, {f.x + std::cos(heading + goalOff) * 300.0, f.y + std::sin(heading + goalOff) * 300.0});
        s.h.flies.pop_back();
        const double lean = std::max(-30.0 * kDegree, std::min(30.0 * kDegree, goalOff));
        const double scatter = fm::angleDiff(jump, heading + lean);
        EXPECT_LE(std::fabs(scatter), 6.0 * kDegree + 1e-4) << "a goal " << goalOff << " rad off the body";
        ++jumps;
        leftOfLean += scatter < 0.0;
    }
    EXPECT_GT(leftOfLean, jumps / 4) << "the scatter goes one way only";
    EXPECT_LT(leftOfLean, jumps * 3 / 4) << "the scatter goes one way only";
}

// A dogleg is flown round its corner, cutting it only a little.
TEST(FlightPlans, ADoglegIsFlownRoundItsCorner) {
    for (std::uint64_t seed = 1; seed <= 10; ++seed) {
        Scene s;
        // Setting off 20 degrees off the first leg, away from the way the second one goes.
        Fly& f = s.fly(300.0, 800.0, 0.35, seed);
        const Point corner{300.0 + 14.0 * kSize, 800.0}, end{corner.x + 2.0 * kSize, 800.0 - 14.0 * kSize};
        takeOff(s.h, f, FlightKind::Hop, {corner, end}, 0.35);
        double nearest = 1e9;
        for (int step = 0; step < 120 * 4 && f.mode == Mode::Flying; ++step, ++s.h.now) {
            stepFlight(s.h, f);
            nearest = std::min(nearest, length({f.x, f.y}, corner));
        }
        EXPECT_LT(nearest, 2.0 * kSize) << "seed " << seed << ": the corner was cut short";
    }
}

// Short hops are flown slower (no room to reach full speed and brake again); long ones
// and trips off the screen at full cruise. The deadline allows three times the path at
// cruise, and three seconds.
TEST(FlightPlans, ShortHopsCruiseSlowerAndTheDeadlineAllowsForThePath) {
    Scene s;
    double fastestShort = 0.0, fastestLong = 0.0, slowestLeave = 1e9;
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        for (int kind = 0; kind < 3; ++kind) {
            Fly& f = s.fly(400.0, 500.0, 0.0, seed);
            // A hop of 6 BL; a dogleg of 12 + 13 BL; a short stretch on the way off the screen.
            const std::vector<Point> path = kind == 0   ? std::vector<Point>{{400.0 + 6 * kSize, 500.0}}
                                            : kind == 1 ? std::vector<Point>{{400.0 + 12 * kSize, 500.0}, {400.0 + 12 * kSize, 500.0 + 13 * kSize}}
                                                        : std::vector<Point>{{400.0, 500.0 - 6 * kSize}};
            takeOff(s.h, f, kind == 2 ? FlightKind::Leave : FlightKind::Hop, path, 0.0);
            const double cruise = f.flight.cruise / kSize;
            if (kind == 0) {
                EXPECT_GE(cruise, 0.85 * tuning::kCruiseMin - 1e-9);
                EXPECT_LE(cruise, 0.85 * tuning::kCruiseMax + 1e-9) << "a short hop flown at full speed";
                fastestShort = std::max(fastestShort, cruise);
            } else if (kind == 1) {
                EXPECT_GE(cruise, tuning::kCruiseMin - 1e-9) << "a long flight flown as slowly as a hop";
                EXPECT_LE(cruise, tuning::kCruiseMax + 1e-9);
                fastestLong = std::max(fastestLong, cruise);
                const double seconds = 25.0 * kSize / f.flight.cruise * 3.0 + 3.0;
                EXPECT_NEAR(double(f.flight.deadline - s.h.now), seconds / kDt, 1.0) << "the deadline does not follow the path";
            } else {
                slowestLeave = std::min(slowestLeave, cruise);
            }
            s.h.flies.pop_back();
        }
    }
    EXPECT_GT(fastestShort, 0.95 * 0.85 * tuning::kCruiseMax);
    EXPECT_GT(fastestLong, 0.95 * tuning::kCruiseMax);
    EXPECT_GE(slowestLeave, tuning::kCruiseMin - 1e-9) << "a fly leaving the screen was slowed as for a hop";
}

// ---------------------------------------------------------------------------------------
// Landing spots: on the ground, within reach, mostly on an edge or in a corner, and in
// corners of every orientation (the screen's own, and all round a window's).
TEST(LandingSpots, OnTheGroundWithinReachMostlyOnEdgesAndInCornersOfEveryKind) {
    Scene s({{{600, 300, 1300, 800}, 1}});
    fm::Rng rng(3);
    int spots = 0, onEdge = 0, inCorner = 0, ahead = 0, faced = 0;
    int quarter[4] = {0, 0, 0, 0};
    for (std::uint64_t seed = 1; seed <= 1500; ++seed) {
        const Point from = s.h.world.randomStandingPoint(rng, 20.0);
        Fly& f = s.fly(from.x, from.y, rng.range(0.0, fm::kTwoPi), seed);
        const double reach = rng.range(tuning::kHopMin, tuning::kHopMax) * kSize;
        const double facing = f.heading;
        const bool withFacing = seed % 2 == 0;
        const Point p = landingSpot(s.h, f, f.x, f.y, reach, withFacing ? &facing : nullptr);
        s.h.flies.pop_back();
        ++spots;
        ASSERT_TRUE(s.h.world.canStand(p.x, p.y, s.h.standHalf(f))) << "a spot where the fly cannot stand";
        EXPECT_LE(length(from, p), reach + 1e-6) << "a spot out of reach";
        onEdge += s.h.landmarks.distanceToEdge(p.x, p.y) <= kSize;
        Point c{};
        if (s.h.landmarks.nearestCorner(p.x, p.y, c) && length(c, p) <= 1.2 * kSize) {
            ++inCorner;
            ++quarter[(p.x > c.x ? 1 : 0) + (p.y > c.y ? 2 : 0)];
        }
        if (withFacing) {
            ++faced;
            ahead += std::fabs(fm::angleDiff(bearing(from, p), facing)) <= 1.75 + 1e-9;
        }
    }
    EXPECT_GT(onEdge, spots * 6 / 10) << "too few spots on an edge";
    EXPECT_GT(inCorner, spots / 10) << "too few spots in a corner";
    for (int q = 0; q < 4; ++q) EXPECT_GT(quarter[q], inCorner / 12) << "corner spots seldom lie to the " << (q & 1 ? "right" : "left")
                                                                     << " and " << (q & 2 ? "below" : "above");
    EXPECT_GT(ahead, faced * 9 / 10) << "a fly facing somewhere mostly lands ahead of it";
}

// ---------------------------------------------------------------------------------------
// Circling: round a point beside the way the fly jumps, the way it turns, for seconds,
// then down within a few seconds more.
TEST(Circling, GoesRoundAPointBesideItsJumpForSecondsThenLands) {
    Scene s;
    int circles = 0;
    for (std::uint64_t seed = 1; circles < 6 && seed < 200; ++seed) {
        const double size = 20.0;
        Fly& f = s.fly(960.0, 300.0, 0.5 * fm::kPi, seed, size);  // facing down the screen
        longFlight(s.h, f);
        FlightState& fl = f.flight;
        if (fl.kind != FlightKind::Circle) {
            s.h.flies.pop_back();
            continue;
        }
        ++circles;
        ASSERT_TRUE(fl.circling);
        const std::int64_t start = s.h.now;
        EXPECT_GE(fl.circleUntil - start, stepsFor(tuning::kCircleSecondsMin));
        EXPECT_LE(fl.circleUntil - start, stepsFor(tuning::kCircleSecondsMax));
        // The centre: a radius to the side the fly circles, a little ahead.
        const Point from{f.x, f.y}, centre = fl.centre;
        EXPECT_NEAR(length(from, centre), std::hypot(fl.radius, 2.0 * size), 1.0);
        const double side = std::cos(fl.course) * (centre.y - from.y) - std::sin(fl.course) * (centre.x - from.x);
        EXPECT_GT(side * fl.sense, 0.0) << "the centre lies on the side away from the turn";
        // Round it, the same way, at about its radius, until it is time to leave the circle.
        double turned = 0.0, farthest = 0.0, nearest = 1e9;
        while (f.mode == Mode::Flying && s.h.now < fl.circleUntil) {
            const double before = fl.course;
            stepFlight(s.h, f);
            ++s.h.now;
            turned += fm::angleDiff(fl.course, before);
            if (s.h.now - start > stepsFor(0.6)) {
                const double r = length({f.x, f.y}, centre) / fl.radius;
                farthest = std::max(farthest, r);
                nearest = std::min(nearest, r);
            }
        }
        EXPECT_EQ(f.mode, Mode::Flying) << "down before its time was up";
        // Out of the loop to a spot ahead.
        stepFlight(s.h, f);
        ++s.h.now;
        EXPECT_LE(std::fabs(fm::angleDiff(bearing({f.x, f.y}, fl.waypoints.back()), fl.course)), 55.0 * fm::kPi / 180.0 + 0.05)
            << "out of the circle to a spot behind it";
        // The loop used up the half second's turning: no sharp turn straight out of it.
        for (std::int64_t end = s.h.now + stepsFor(0.12); f.mode == Mode::Flying && s.h.now < end; ++s.h.now) {
            stepFlight(s.h, f);
            EXPECT_FALSE(fl.turning) << "a sharp turn straight out of the circle";
        }
        EXPECT_GT(turned * fl.sense, 1.5 * fm::kTwoPi) << "it did not go round";
        EXPECT_LT(farthest, 1.4) << "it strayed off the circle";
        EXPECT_GT(nearest, 0.6) << "it strayed off the circle";
        s.flyOn(f, 5.0);
        EXPECT_TRUE(f.grounded()) << "still in the air 5 s after circling";
        s.h.flies.pop_back();
    }
    EXPECT_EQ(circles, 6);
    // On a monitor too small for the circle, its centre is the middle of the screen, where
    // the fly may be: passing the centre is no corner passed.
    Monitor small;
    small.bounds = small.workArea = {0, 0, 600, 400};
    for (std::uint64_t seed = 1; seed < 60; ++seed) {
        Scene by({}, small);
        Fly& f = by.fly(300.0, 200.0, 0.0, seed);
        longFlight(by.h, f);
        if (f.flight.kind != FlightKind::Circle) continue;
        for (int step = 0; step < 120 * 3 && f.mode == Mode::Flying; ++step, ++by.h.now) {
            stepFlight(by.h, f);
            ASSERT_LT(f.flight.next, f.flight.waypoints.size()) << "seed " << seed << ": past the last waypoint";
        }
    }
}

// A chase: the chased fly jumps off leaning away from its chaser, and the chaser follows it.
TEST(Chase, TheChasedFlyJumpsOffAwayFromItsChaser) {
    int zigzags = 0, following = 0;
    for (int k = 0; k < 16; ++k) {
        Scene s;
        Fly& leader = s.fly(960.0, 520.0, k < 8 ? 1.5 * fm::kPi : 0.0, 7);  // facing up the screen, or right
        const double from = 0.25 * fm::kPi * k + 0.3;
        s.fly(960.0 + std::cos(from) * 6.0 * kSize, 520.0 + std::sin(from) * 6.0 * kSize, 0.0, 9);
        s.fly(960.0 - std::cos(from) * 20.0 * kSize, 520.0 - std::sin(from) * 12.0 * kSize, 0.0, 11);  // farther off
        ASSERT_TRUE(startChase(s.h, 1));
        ASSERT_NE(s.h.flies[2].mode, Mode::Flying) << "the chaser went after a fly farther off";
        ASSERT_EQ(leader.flight.kind, FlightKind::Chase);
        const Fly& chaser = s.h.flies[1];
        EXPECT_EQ(chaser.flight.chasing, 0);
        // The zigzag (all but the landing spot) lasts about as long as the chase, give or
        // take a leg, at the chased fly's usual speed.
        const double seconds = double(chaser.flight.chaseEnd - s.h.now) * kDt;
        EXPECT_GE(seconds, tuning::kChaseMin - kDt);
        EXPECT_LE(seconds, tuning::kChaseMax + kDt);
        const std::vector<Point>& way = leader.flight.waypoints;
        double zigzag = 0.0;
        for (std::size_t i = 0; i + 1 < way.size(); ++i) zigzag += length(i ? way[i - 1] : Point{leader.x, leader.y}, way[i]);
        const double leg = tuning::kChaseLegMax / (0.5 * (tuning::kCruiseMin + tuning::kCruiseMax));
        EXPECT_LT(zigzag / typicalCruise(kSize), seconds + leg) << "a zigzag far longer than the chase";
        zigzags += way.size() >= 3;  // two legs or more before the landing spot
        // Away from the chaser is `from` + pi.
        const double awayOff = fm::angleDiff(from + fm::kPi, leader.heading);
        if (std::fabs(awayOff) < 0.3) continue;
        EXPECT_GT(fm::angleDiff(leader.flight.course, leader.heading) * awayOff, 0.0)
            << "chased from " << from << " rad, it leans toward its chaser";
        // The chaser keeps after it for the first half second.
        for (int step = 0; step < 60; ++step, ++s.h.now) {
            stepFlight(s.h, leader);
            stepFlight(s.h, s.h.flies[1]);
        }
        following += s.h.flies[1].flight.chasing == 0;
    }
    EXPECT_GE(zigzags, 12) << "the chased fly seldom zigzags";
    EXPECT_GE(following, 8) << "the chaser seldom keeps after it for half a second";
}

// Out in the open (small flies, far from any edge), the zigzag turns now one way, now the
// other.
TEST(Chase, TheZigzagTurnsBothWays) {
    int zigzags = 0, bothWays = 0;
    for (std::uint64_t seed = 1; seed <= 30; ++seed) {
        Scene s;
        Fly& leader = s.fly(960.0, 520.0, 0.1 * double(seed), seed, 12.0);
        s.fly(960.0 - 60.0, 520.0, 0.0, seed + 100, 12.0);
        ASSERT_TRUE(startChase(s.h, 1));
        const std::vector<Point>& way = leader.flight.waypoints;
        int left = 0, right = 0;  // turns between the legs, the landing spot left out
        for (std::size_t i = 0; i + 2 < way.size(); ++i) {
            const double turn = fm::angleDiff(bearing(way[i], way[i + 1]), bearing(i ? way[i - 1] : Point{leader.x, leader.y}, way[i]));
            left += turn < -0.2;
            right += turn > 0.2;
        }
        if (left + right < 3) continue;
        ++zigzags;
        bothWays += left > 0 && right > 0;
    }
    EXPECT_GT(zigzags, 20);
    EXPECT_GT(bothWays, zigzags * 3 / 4) << "zigzags that turn one way only";
}

// ---------------------------------------------------------------------------------------
// Coming down. A fly with a second left and its spot far off comes down on one a few body
// lengths ahead; one whose touchdown is beside the ground goes round again rather than
// slide there; one out of time ends on its spot.
TEST(Approach, ALateFlyComesDownAhead) {
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        Scene s;
        Fly& f = s.fly(300.0, 520.0, 0.0, seed);
        f.mode = Mode::Flying;  // already on its way, along x
        f.flight.course = 0.0;
        takeOff(s.h, f, FlightKind::Hop, {{1700.0, 600.0}}, 0.0);
        f.flight.speed = f.flight.cruise;
        f.flight.deadline = s.h.now + stepsFor(1.0);
        stepFlight(s.h, f);
        ASSERT_EQ(f.flight.waypoints.size(), 1u);
        const Point spot = f.flight.waypoints.back();
        EXPECT_GT(spot.x - f.x, 5.0 * kSize) << "seed " << seed << ": not ahead";
        EXPECT_LT(spot.x - f.x, 10.0 * kSize) << "seed " << seed << ": not a few body lengths ahead";
        EXPECT_LT(std::fabs(spot.y - f.y), 2.0 * kSize) << "seed " << seed << ": not ahead";
    }
}

// A spot far off square to the jump is flown to: only close to it may a fly facing away
// come down short of it.
TEST(Approach, ASpotFarOffTheCourseIsFlownToNotGivenUp) {
    for (std::uint64_t seed = 1; seed <= 10; ++seed) {
        Scene s;
        Fly& f = s.fly(900.0, 820.0, 0.0, seed);
        const Point spot{900.0, 820.0 - 20.0 * kSize};
        takeOff(s.h, f, FlightKind::Hop, {spot}, 0.0);
        s.flyOn(f, 5.0);
        ASSERT_TRUE(f.grounded()) << "seed " << seed;
        EXPECT_LT(length({f.x, f.y}, spot), 5.0 * kSize) << "seed " << seed << ": it came down far short of its spot";
    }
}

TEST(Approach, ATouchdownBesideTheGroundGoesRoundAgainAndOutOfTimeEndsOnTheSpot) {
    for (std::uint64_t seed = 1; seed <= 10; ++seed) {
        Scene s;
        const double size = 20.0;
        Fly& f = s.fly(900.0, 700.0, 0.5 * fm::kPi, seed, size);
        takeOff(s.h, f, FlightKind::Hop, {{900.0, 1076.0}}, 0.5 * fm::kPi);  // in the taskbar, 2 BL off
        Point last{f.x, f.y};
        double largest = 0.0;
        for (int step = 0; step < 120 * 10 && f.mode == Mode::Flying; ++step, ++s.h.now) {
            stepFlight(s.h, f);
            largest = std::max(largest, length(last, {f.x, f.y}));
            last = {f.x, f.y};
        }
        ASSERT_TRUE(f.grounded()) << "seed " << seed;
        EXPECT_TRUE(s.h.world.canStand(f.x, f.y, s.h.standHalf(f))) << "seed " << seed;
        EXPECT_LT(largest, 1.5 * size) << "seed " << seed << ": the fly was put down, not flown down";
    }
    // Out of time on the first leg of a dogleg: down at its end.
    Scene s;
    Fly& f = s.fly(300.0, 300.0, 0.0, 4);
    takeOff(s.h, f, FlightKind::Hop, {{900.0, 300.0}, {900.0, 800.0}}, 0.0);
    s.h.now = f.flight.deadline;
    stepFlight(s.h, f);
    EXPECT_TRUE(f.grounded());
    EXPECT_EQ(f.x, 900.0);
    EXPECT_EQ(f.y, 800.0);
}

// A goal a little off the course is put right with a flick, at next to no cost in speed;
// one far off takes a sharp turn, and a straight leg after it.
TEST(Steering, SharperTurnsTakeLonger) {
    std::int64_t steps[2] = {0, 0};
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        for (int sharp = 0; sharp < 2; ++sharp) {
            Scene s;
            Fly& f = s.fly(960.0, 520.0, 0.0, seed);
            f.mode = Mode::Flying;
            f.flight.course = 0.0;
            const double off = sharp ? 2.2 : 0.9;
            takeOff(s.h, f, FlightKind::Leave, {{960.0 + std::cos(off) * 3000.0, 520.0 + std::sin(off) * 3000.0}}, 0.0);
            f.flight.speed = f.flight.cruise;
            for (int step = 0; step < 30 && !f.flight.turning; ++step, ++s.h.now) stepFlight(s.h, f);
            ASSERT_TRUE(f.flight.turning);
            steps[sharp] += f.flight.turn.steps;
        }
    }
    EXPECT_GT(steps[1], steps[0] + 8) << "a turn of 125 degrees is no slower than one of 50";
}

TEST(Steering, AGoalSlightlyOffIsPutRightQuicklyAndOneFarOffWithASharpTurn) {
    for (double off : {-0.45, -0.3, 0.3, 0.45, 1.4, -1.9}) {
        for (std::uint64_t seed = 1; seed <= 5; ++seed) {
            Scene s;
            Fly& f = s.fly(960.0, 520.0, 0.0, seed);
            f.mode = Mode::Flying;
            f.flight.course = 0.0;
            const Point goal{960.0 + std::cos(off) * 3000.0, 520.0 + std::sin(off) * 3000.0};
            takeOff(s.h, f, FlightKind::Leave, {goal}, 0.0);
            f.flight.speed = f.flight.cruise;
            const double speed = f.flight.speed;
            double slowest = speed;
            const double seconds = std::fabs(off) < 0.7 ? 0.12 : 0.25;
            for (std::int64_t end = s.h.now + stepsFor(seconds); s.h.now < end; ++s.h.now) {
                stepFlight(s.h, f);
                slowest = std::min(slowest, f.flight.speed);
            }
            EXPECT_LT(std::fabs(fm::angleDiff(bearing({f.x, f.y}, goal), f.flight.course)), 0.1)
                << "a goal " << off << " rad off is not put right within " << seconds << " s";
            if (std::fabs(off) < 0.7) {
                EXPECT_GT(slowest, 0.85 * speed) << "a flick cost much speed";
                EXPECT_GE(f.flight.turn.steps, stepsFor(0.05)) << "a flick in a frame or two";
                continue;
            }
            // After a sharp turn it flies a straight leg: a goal that moves aside as the turn
            // ends is not followed at once.
            Scene again;
            Fly& g = again.fly(960.0, 520.0, 0.0, seed);
            g.mode = Mode::Flying;
            g.flight.course = 0.0;
            takeOff(again.h, g, FlightKind::Leave, {goal}, 0.0);
            g.flight.speed = g.flight.cruise;
            bool turned = false;
            for (int step = 0; step < 60 && !(turned && !g.flight.turning); ++step, ++again.h.now) {
                stepFlight(again.h, g);
                turned = turned || g.flight.turning;
            }
            ASSERT_TRUE(turned && !g.flight.turning);
            const double course = g.flight.course;
            g.flight.waypoints.back() = {g.x + std::cos(course + 0.4) * 3000.0, g.y + std::sin(course + 0.4) * 3000.0};
            for (std::int64_t end = again.h.now + stepsFor(tuning::kLegAfterTurnMin) - 1; again.h.now < end; ++again.h.now) {
                stepFlight(again.h, g);
                ASSERT_EQ(g.flight.course, course) << "a turn straight after a sharp turn";
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Escape: a pointer looming at a fly, from any side, in the open, by an edge or in a
// corner: its way out never comes within a body length of where the pointer goes, and one
// that the pointer passes clearly to one side of flees to that side of its track.
TEST(Escape, TheWayOutKeepsClearOfThePointersTrack) {
    const Point spots[] = {{960, 520}, {60, 60}, {960, 30}, {1860, 520}, {300, 1000}, {1880, 1000}};
    int escapes = 0;
    for (const Point& at : spots) {
        for (int from = 0; from < 8; ++from) {
            const double toward = from * 0.25 * fm::kPi + 0.2, ux = std::cos(toward), uy = std::sin(toward);
            for (double speed : {60.0 * kSize, 120.0 * kSize}) {
                for (double back : {5.0, 9.0}) {
                    for (double offset : {-1.0, 0.0, 1.0}) {
                        for (std::uint64_t seed = 1; seed <= 2; ++seed) {
                            Scene s;
                            Fly& f = s.fly(at.x, at.y, double(seed) * 1.3, seed);
                            // `back` body lengths back along its track, passing `offset` to one side.
                            double px = f.x - (ux * back + uy * offset) * kSize, py = f.y - (uy * back - ux * offset) * kSize;
                            s.h.pointerPresent = true;
                            s.h.pointerAt = s.h.now;
                            s.h.pointerX = px;
                            s.h.pointerY = py;
                            s.h.pointerVX = ux * speed;
                            s.h.pointerVY = uy * speed;
                            if (!threatened(s.h, f)) continue;
                            const double side = ux * (f.y - py) - uy * (f.x - px);
                            escape(s.h, f);
                            ASSERT_EQ(f.mode, Mode::Flying);
                            const FlightKind kind = f.flight.kind;
                            const Point end = f.flight.waypoints.back();
                            ++escapes;
                            double closest = 1e9;  // the pointer goes on for half a second
                            for (int step = 0; step < 144 && f.mode == Mode::Flying; ++step, ++s.h.now) {
                                stepFlight(s.h, f);
                                if (step < 60) {
                                    px += ux * speed * kDt;
                                    py += uy * speed * kDt;
                                }
                                closest = std::min(closest, distance(f.x, f.y, px, py));
                            }
                            const std::string what = "a fly at " + std::to_string(at.x) + ", " + std::to_string(at.y) +
                                                     ", the pointer heading " + std::to_string(toward) + " from " +
                                                     std::to_string(back) + " BL, " + std::to_string(offset) + " BL off, seed " +
                                                     std::to_string(seed);
                            EXPECT_GT(closest, kSize) << what << ": the escape came within a body length of the pointer";
                            EXPECT_EQ(kind == FlightKind::Excursion, s.h.world.outOfSight(end.x, end.y, s.h.sightReach(f)))
                                << what << ": an escape off the screen must stay away a while, one on it land";
                            if (at.x == 960 && at.y == 520 && offset != 0.0) {
                                EXPECT_GT(side * (ux * (end.y - py) - uy * (end.x - px)), 0.0) << what << ": it fled across the pointer's track";
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(escapes, 1000);
}

// ---------------------------------------------------------------------------------------
// Personal space. A fly touching another walks off away from it (or hops), never into an
// edge; a walker stops short of another fly but not far short, and walks away from one.
Point walkDirection(const Fly& f) {
    double d = f.heading;
    if (f.walk.gait == Gait::Backward) d += fm::kPi;
    if (f.walk.gait == Gait::Sideways) d += f.walk.side * fm::kHalfPi;
    return {std::cos(d), std::sin(d)};
}

TEST(PersonalSpace, MovingOffLeadsAwayFromTheOtherAndNeverIntoAnEdge) {
    int walked = 0, hopped = 0;
    for (int k = 0; k < 32; ++k) {
        for (std::uint64_t seed = 1; seed <= 4; ++seed) {
            Scene s;
            const double heading = 0.7 * k, rel = fm::kTwoPi * k / 32.0 + 0.05;
            Fly& f = s.fly(960.0, 520.0, heading, seed * 100 + std::uint64_t(k));
            Fly& other = s.fly(f.x + std::cos(heading + rel) * 0.4 * kSize, f.y + std::sin(heading + rel) * 0.4 * kSize, 0.0, 1);
            moveOn(s.h, f);
            if (f.mode == Mode::Flying) {
                ++hopped;
                continue;
            }
            ASSERT_EQ(f.mode, Mode::Walking);
            ++walked;
            const Point d = walkDirection(f);
            const double toward = (d.x * (other.x - f.x) + d.y * (other.y - f.y)) / (0.4 * kSize);
            EXPECT_LT(toward, std::cos(95.0 * fm::kPi / 180.0))
                << "the other fly sits " << rel << " rad off its heading, yet it walks toward it";
        }
    }
    EXPECT_GT(walked, 40);
    EXPECT_GT(hopped, 10);
    // Against the top edge with the other fly behind it, or beside it away from the edge:
    // it moves off, but never into the edge.
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        Scene s;
        const bool behind = seed % 2 == 0;
        Fly& f = s.fly(960.0, 0.5 * kSize + 1.0, behind ? 1.5 * fm::kPi : 0.0, seed);  // facing up, or along the edge
        s.fly(f.x, f.y + 0.4 * kSize, 0.0, 1);
        moveOn(s.h, f);
        EXPECT_NE(f.mode, Mode::Resting) << "seed " << seed << ": it stayed touching the other fly";
        if (f.mode == Mode::Walking) {
            const Point d = walkDirection(f);
            EXPECT_GT(d.y, -0.5) << "seed " << seed << ": it walks into the edge";
        }
    }
    // The other one gone meanwhile: it stays.
    Scene s;
    Fly& f = s.fly(960.0, 520.0, 0.0, 5);
    s.fly(970.0, 520.0, 0.0, 1).mode = Mode::Flying;
    moveOn(s.h, f);
    EXPECT_EQ(f.mode, Mode::Resting);
}

// One that walks off goes far enough to leave a body length between them.
TEST(PersonalSpace, WalkingOffLeavesABodyLength) {
    int walked = 0;
    for (int k = 0; k < 24; ++k) {
        Scene s;
        const double heading = 0.9 * k, rel = fm::kTwoPi * k / 24.0 + 0.05;
        Fly& f = s.fly(960.0, 520.0, heading, 300 + std::uint64_t(k));
        const Fly& other = s.fly(f.x + std::cos(heading + rel) * 0.5 * kSize, f.y + std::sin(heading + rel) * 0.5 * kSize, 0.0, 1);
        moveOn(s.h, f);
        if (f.mode != Mode::Walking) continue;
        ++walked;
        for (int step = 0; step < 600 && f.mode == Mode::Walking; ++step, ++s.h.now) stepWalk(s.h, f);
        EXPECT_GT(length({f.x, f.y}, {other.x, other.y}), 1.0 * kSize) << "it stopped too close, " << rel << " rad off its heading";
    }
    EXPECT_GT(walked, 8);
}

TEST(PersonalSpace, OneThatLandsTouchingAnotherSoonMovesOff) {
    for (double apart : {0.4, 1.0}) {
        Scene s;
        Fly& f = s.fly(900.0, 520.0, 0.0, 3);
        s.fly(900.0 + apart * kSize, 520.0, 0.0, 1);
        f.mode = Mode::Flying;
        noteLanded(s.h, f);
        if (apart < tuning::kTouchBodyLengths) {
            EXPECT_GE(f.moveOnAt, s.h.now + stepsFor(tuning::kMoveOnMin)) << "moves off too soon";
            EXPECT_LE(f.moveOnAt, s.h.now + stepsFor(tuning::kMoveOnMax)) << "does not move off soon";
        } else {
            EXPECT_LT(f.moveOnAt, 0) << "moves off from a fly a body length away";
        }
    }
}

// A run picks up speed over its first steps and slows over its last; where it ends, the
// fly sits on whatever window is under it now.
// What a rested fly does on the ground: some runs are side-steps, to either side; a pivot
// turns on the spot by a whole saccade.
TEST(Walking, SideStepsGoEitherWayAndPivotsTurnAllTheWay) {
    int sideways[2] = {0, 0}, pivots = 0;
    for (std::uint64_t seed = 1; seed <= 1500; ++seed) {
        Scene s;
        Fly& f = s.fly(960.0, 520.0, 0.3, seed);
        s.h.now = f.until;
        decide(s.h, f);
        if (f.mode != Mode::Walking) continue;
        if (f.walk.gait == Gait::Sideways) ++sideways[f.walk.side > 0.0];
        if (f.walk.gait != Gait::Pivot || pivots >= 30) continue;
        ++pivots;
        const double by = f.walk.by, from = f.heading;
        while (f.mode == Mode::Walking) {
            stepWalk(s.h, f);
            ++s.h.now;
        }
        EXPECT_NEAR(fm::angleDiff(f.heading, from), by, 1e-6) << "seed " << seed << ": a pivot stopped short";
    }
    EXPECT_GT(sideways[0], 5);
    EXPECT_GT(sideways[1], 5);
    EXPECT_EQ(pivots, 30);
}

TEST(Walking, RunsSpeedUpAndSlowDownAndEndOnTheWindowUnderThem) {
    int runs = 0;
    for (std::uint64_t seed = 1; runs < 20 && seed < 400; ++seed) {
        Scene s({{{600, 300, 1300, 800}, 5}});
        Fly& f = s.fly(1300.0, 550.0, seed * 0.7, seed);  // on the window's right edge
        f.perch = 5;
        s.h.now = f.until;
        decide(s.h, f);
        if (f.mode != Mode::Walking || f.walk.gait != Gait::Forward) continue;
        ++runs;
        std::vector<double> strides;
        while (f.mode == Mode::Walking) {
            const Point before{f.x, f.y};
            stepWalk(s.h, f);
            ++s.h.now;
            strides.push_back(length(before, {f.x, f.y}));
        }
        const double top = *std::max_element(strides.begin(), strides.end());
        if (strides.size() < 20 || top == 0.0) continue;  // stopped at an edge
        EXPECT_LT(strides.front(), 0.5 * top) << "seed " << seed << ": a run set off at full speed";
        std::size_t last = strides.size();
        while (last > 0 && strides[last - 1] == 0.0) --last;  // standing out the end of a turn
        EXPECT_LT(strides[last - 1], 0.5 * top) << "seed " << seed << ": a run stopped from full speed";
        EXPECT_EQ(f.perch, s.h.landmarks.windowAt(f.x, f.y)) << "seed " << seed << ": it sits on a window it left";
    }
    EXPECT_EQ(runs, 20);
}

TEST(PersonalSpace, AWalkerStopsShortOfAnotherFlyButWalksAwayFromOne) {
    for (double start : {2.0, 0.5}) {
        for (std::uint64_t seed = 1; seed <= 5; ++seed) {
            Scene s;
            Fly& f = s.fly(900.0, 520.0, start > 1.0 ? 0.0 : fm::kPi, seed);
            const Fly& other = s.fly(900.0 + start * kSize, 520.0, 0.0, 1);
            // A plain run along the heading at 4 BL/s for two seconds, no turns.
            f.mode = Mode::Walking;
            f.walk.gait = Gait::Forward;
            f.walk.speed = 4.0;
            f.walk.runStart = s.h.now;
            f.walk.rampIn = f.walk.rampOut = 1;
            f.walk.pulse = 0.0;
            f.until = s.h.now + stepsFor(2.0);
            f.walk.saccadeStart = f.until + 1;
            double nearest = 1e9;
            for (int step = 0; step < 240 && f.mode == Mode::Walking; ++step, ++s.h.now) {
                stepWalk(s.h, f);
                nearest = std::min(nearest, distance(f.x, f.y, other.x, other.y) / kSize);
            }
            const double end = distance(f.x, f.y, other.x, other.y) / kSize;
            if (start > 1.0) {
                EXPECT_GE(nearest, tuning::kWalkClearance - 0.05) << "seed " << seed << ": it walked into the other fly";
                EXPECT_LT(end, tuning::kWalkClearance + 0.2) << "seed " << seed << ": it stopped far short";
            } else {
                EXPECT_GT(end, 3.0) << "seed " << seed << ": it could not walk away from a fly it touched";
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Grooming: front to back and never back again, in each of its kinds (head first, the legs
// first, a lone rub of the front legs, the back only); a lone rub is short; every action
// lasts a few strokes, and strokes come several a second, irregularly.
TEST(GroomingBouts, GoFrontToBackInEveryKindWithStrokesSeveralASecond) {
    Scene s;
    int bouts = 0, headFirst = 0, legsFirst = 0, loneRub = 0, backOnly = 0;
    std::vector<double> intervals;
    for (std::uint64_t seed = 1; seed <= 1500; ++seed) {
        Fly& f = s.fly(900.0, 500.0, 0.0, seed);
        startGrooming(s.h, f);
        const GroomState& g = f.groom;
        ++bouts;
        ASSERT_GE(g.count, 1);
        bool back = false;
        for (int i = 0; i < g.count; ++i) {
            const bool front = g.actions[i] == Groom::Head || g.actions[i] == Groom::FrontLegs;
            ASSERT_FALSE(back && front) << "seed " << seed << ": back to the front after the back";
            back = back || !front;
            ASSERT_GE(g.actionEnd[i] - (i ? g.actionEnd[i - 1] : s.h.now), stepsFor(0.7) - 1) << "seed " << seed << ": an action too short";
        }
        if (back) {
            EXPECT_EQ(g.actions[g.count - 1], Groom::HindLegs) << "seed " << seed << ": the back is done without rubbing the hind legs";
        }
        const double seconds = double(f.until - s.h.now) * kDt;
        if (g.count == 1 && g.actions[0] == Groom::FrontLegs) {
            ++loneRub;
            EXPECT_LE(seconds, 4.0 + 1e-9) << "seed " << seed << ": a lone rub of the front legs lasts long";
        } else if (g.actions[0] == Groom::FrontLegs) {
            ++legsFirst;
        } else if (g.actions[0] == Groom::Head) {
            ++headFirst;
        } else {
            ++backOnly;
        }
        // The first bouts in full, stroke by stroke.
        if (seed <= 150) {
            Groom action = groomingAction(f);
            int frame = groomingFrame(f);
            std::int64_t last = s.h.now;
            while (f.mode == Mode::Grooming) {
                ++s.h.now;
                stepGrooming(s.h, f);
                if (f.mode != Mode::Grooming) break;
                if (groomingAction(f) != action) {  // a new action starts its strokes afresh
                    action = groomingAction(f);
                    frame = groomingFrame(f);
                    last = s.h.now;
                    EXPECT_EQ(frame, 0) << "seed " << seed << ": an action began with the legs half way";
                } else if (groomingFrame(f) != frame) {
                    frame = groomingFrame(f);
                    intervals.push_back(double(s.h.now - last) * kDt);
                    last = s.h.now;
                }
            }
            EXPECT_EQ(f.mode, Mode::Resting);
        }
        s.h.flies.pop_back();
    }
    for (const int kind : {headFirst, legsFirst, loneRub, backOnly}) EXPECT_GT(kind, bouts / 30) << "a kind of bout hardly ever happens";
    EXPECT_GT(headFirst, bouts / 2) << "most bouts start at the head";
    ASSERT_GT(intervals.size(), 500u);
    std::sort(intervals.begin(), intervals.end());
    EXPECT_GE(intervals.front(), tuning::kStrokeShortest - kDt);
    EXPECT_LE(intervals.back(), tuning::kStrokeLongest + kDt);
    const double median = intervals[intervals.size() / 2];
    EXPECT_GT(median, 0.2) << "strokes too quick";
    EXPECT_LT(median, 0.4) << "strokes too slow";
    EXPECT_GT(intervals[intervals.size() * 9 / 10], 1.3 * intervals[intervals.size() / 10]) << "strokes on a metronome";
}

}  // namespace
}  // namespace gnatter
