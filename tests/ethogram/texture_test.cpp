// The ethogram's texture measures on synthetic tracks: a fly that moves like a program
// (one speed, a metronome, a picture that flips, copies of one bout, flies piled up)
// must be caught, and one that moves like a living fly must pass. Faults in the
// yardstick itself show here, apart from whatever the swarm does.
#include "texture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace gnatter::ethogram {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSize = 36.0;

// Builds one fly's record a frame at a time.
struct Recorder {
    Track track;
    double t = 0.0, x = 500.0, y = 500.0, heading = 0.0;

    Recorder() { track.size = kSize; }
    Frame& frame(Activity a, double seconds = kFrameSeconds) {
        t += seconds;
        Frame f;
        f.t = t;
        f.x = float(x);
        f.y = float(y);
        f.heading = f.drawn = float(heading);
        f.activity = a;
        f.visible = a != Activity::Away;
        track.frames.push_back(f);
        return track.frames.back();
    }
    void sit(int frames, Activity a = Activity::Resting) {
        for (int i = 0; i < frames; ++i) frame(a);
    }
    // Frames in the air; per frame the speed (BL/s) and the change of course (radians).
    void fly(int frames, const std::function<double(int)>& speed, const std::function<double(int)>& turn = nullptr,
             Activity a = Activity::Flying) {
        for (int i = 0; i < frames; ++i) {
            if (turn) heading += turn(i);
            x += std::cos(heading) * speed(i) * kSize * kFrameSeconds;
            y += std::sin(heading) * speed(i) * kSize * kFrameSeconds;
            frame(a);
        }
    }
};

// Resting, a flight, resting again.
Track hop(int frames, const std::function<double(int)>& speed, const std::function<double(int)>& turn = nullptr) {
    Recorder r;
    r.sit(10);
    r.fly(frames, speed, turn);
    r.sit(10);
    return r.track;
}

double heldShare(const Track& track) {
    const std::vector<Flight> f = flights(track);
    EXPECT_EQ(f.size(), 1u);
    const Constancy c = speedConstancy(flightSpeeds(track, f.front()));
    return double(c.held) / double(c.frames);
}

TEST(FlightSpeed, OneSpeedHeldIsCaughtAndAVaryingOnePasses) {
    EXPECT_GT(heldShare(hop(120, [](int) { return 50.0; })), 0.95);
    // Gathering speed, wavering in cruise, braking: no speed holds for long.
    const auto living = [](int i) { return std::min(55.0, 5.0 + 4.0 * i) * (1.0 + 0.25 * std::sin(i * 0.45)) * std::min(1.0, (120 - i) / 12.0 + 0.1); };
    EXPECT_LE(heldShare(hop(120, living)), 0.2);
}

TEST(FlightSpeed, TimeToCruiseCountsFromTheLastFrameOnTheGround) {
    const Track instant = hop(60, [](int) { return 50.0; });
    const Track building = hop(60, [](int i) { return std::min(50.0, 4.0 + 5.0 * i); });
    const Flight a = flights(instant).front(), b = flights(building).front();
    EXPECT_LT(secondsToCruise(instant, a, flightSpeeds(instant, a)), 0.06);
    const double s = secondsToCruise(building, b, flightSpeeds(building, b));
    EXPECT_NEAR(s, 10 * kFrameSeconds, 1e-6);  // 4 + 5i passes 45 BL/s at the tenth frame in the air
    // An arrival from off the screen has no take-off to count from.
    Recorder arrival;
    arrival.sit(5, Activity::Away);
    arrival.fly(60, [](int) { return 50.0; });
    arrival.sit(5);
    const Flight c = flights(arrival.track).front();
    EXPECT_FALSE(c.fromGround);
    EXPECT_LT(secondsToCruise(arrival.track, c, flightSpeeds(arrival.track, c)), 0.0);
}

TEST(SharpTurns, AngleDurationAndSpeedLostAreMeasured) {
    // Straight, then 90 deg over six frames at two thirds of the speed, then straight on.
    const Track track = hop(
        60, [](int i) { return i >= 20 && i < 26 ? 30.0 : 45.0; }, [](int i) { return i >= 20 && i < 26 ? kPi / 12.0 : 0.0; });
    const std::vector<SharpTurn> turns = sharpTurns(track, flights(track).front());
    ASSERT_EQ(turns.size(), 1u);
    EXPECT_NEAR(turns[0].degrees, 90.0, 0.5);
    EXPECT_NEAR(turns[0].seconds, 0.1, 1e-9);
    EXPECT_NEAR(turns[0].loss, 1.0 / 3.0, 1e-3);
}

TEST(SharpTurns, RankCorrelationFollowsOrderOnly) {
    const std::vector<double> angles = {40, 60, 90, 120, 140};
    EXPECT_NEAR(rankCorrelation(angles, {0.1, 0.2, 0.25, 0.5, 0.9}), 1.0, 1e-12);
    EXPECT_NEAR(rankCorrelation(angles, {0.9, 0.5, 0.3, 0.2, 0.1}), -1.0, 1e-12);
    EXPECT_EQ(rankCorrelation(angles, {0.3, 0.3, 0.3, 0.3, 0.3}), 0.0);  // one loss for every angle
}

// ---- circling and the turning rate ----------------------------------------------------------

struct PathCase {
    const char* name;
    std::function<double(int)> speed, turn;
    int frames;
    bool circles;
};

void PrintTo(const PathCase& c, std::ostream* out) { *out << c.name; }

class Paths : public ::testing::TestWithParam<PathCase> {};

TEST_P(Paths, CirclingIsARoundAtSeveralBodyLengths) {
    const PathCase& c = GetParam();
    const Track track = hop(c.frames, c.speed, c.turn);
    const Flight flight = flights(track).front();
    EXPECT_EQ(!circling(track, flight.begin, flight.end).empty(), c.circles);
    Turning turning;
    ethogram::turning(track, flight, turning);
    EXPECT_EQ(turning.circles > 0, c.circles);
    EXPECT_EQ(turning.rates.size() + turning.circlingRates.size(), std::size_t(c.frames - 30));
}

// At 40 BL/s a course turning by w radians a frame goes round a radius of 40 / (60 w) BL.
const PathCase kPaths[] = {
    {"WideOrbit", [](int) { return 40.0; }, [](int) { return 40.0 / 60.0 / 5.0; }, 150, true},  // 5 BL, 2.5 s
    {"TightLoops", [](int) { return 40.0; }, [](int) { return 40.0 / 60.0 / 1.0; }, 150, false},  // 1 BL
    {"Wiggle", [](int) { return 40.0; }, [](int i) { return 0.12 * std::sin(i * 0.4); }, 150, false},
    {"GentleArc", [](int) { return 40.0; }, [](int) { return 40.0 / 60.0 / 20.0; }, 150, false},  // 20 BL, not round
    {"Straight", [](int) { return 40.0; }, nullptr, 150, false},
    // Round and round a triangle of straight 10 BL legs and 120 deg saccades: no circle.
    {"Triangle", [](int) { return 40.0; }, [](int i) { return i % 15 >= 9 ? 2.0 * kPi / 3.0 / 6.0 : 0.0; }, 240, false},
};

INSTANTIATE_TEST_SUITE_P(Flight, Paths, ::testing::ValuesIn(kPaths), [](const auto& info) { return std::string(info.param.name); });

TEST(Circling, TightLoopsWhileDriftingRoundAPointAreNotCircling) {
    // Loops of 1 BL at 40 rad/s, their centre going round one of 8 BL in 2 s: the path
    // keeps to the orbit's ring, but steps back round its centre in every loop.
    Track track;
    track.size = kSize;
    for (int i = 0; i < 180; ++i) {
        Frame f;
        f.t = i * kFrameSeconds;
        const double orbit = kPi * f.t, loop = 40.0 * f.t;
        f.x = float(1000 + kSize * (8.0 * std::cos(orbit) + std::cos(loop)));
        f.y = float(500 + kSize * (8.0 * std::sin(orbit) + std::sin(loop)));
        f.activity = Activity::Flying;
        f.visible = true;
        track.frames.push_back(f);
    }
    EXPECT_TRUE(circling(track, 0, track.frames.size()).empty());
}

TEST(Turning, ASaccadeBetweenStraightLegsStaysUnder360DegreesASecondAndLoopsDoNot) {
    Turning saccade, loops;
    const Track straight = hop(90, [](int) { return 45.0; }, [](int i) { return i >= 40 && i < 46 ? kPi / 12.0 : 0.0; });
    turning(straight, flights(straight).front(), saccade);
    const Track looping = hop(90, [](int) { return 45.0; }, [](int) { return 0.4; });  // loops of 1.9 BL
    turning(looping, flights(looping).front(), loops);
    double fastest = 0.0;
    for (double r : saccade.rates) fastest = std::max(fastest, r);
    EXPECT_NEAR(fastest, 180.0, 2.0);  // 90 deg within one half second
    ASSERT_FALSE(loops.rates.empty());
    EXPECT_TRUE(loops.circlingRates.empty());
    EXPECT_NEAR(percentile(loops.rates, 0.5), 0.4 * 60.0 * 180.0 / kPi, 2.0);
}

// ---- the picture's heading and the jump ---------------------------------------------------

TEST(Heading, AFlipInOneFrameIsCountedOnTheGroundAndAtTakeOff) {
    Recorder r;
    r.sit(5);
    for (int i = 0; i < 9; ++i) {  // a saccade on the spot, 10 deg a frame: fine
        r.heading += 10.0 * kPi / 180.0;
        r.frame(Activity::Walking);
    }
    r.heading += kPi;  // the picture turns round at once
    r.frame(Activity::Resting);
    r.sit(5);
    r.heading += kPi / 2;  // and jumps sideways
    r.fly(20, [](int) { return 30.0; });
    r.sit(5);
    HeadingSteps ground, takeOff;
    headingSteps(r.track, ground, takeOff);
    EXPECT_EQ(ground.over, 1);
    EXPECT_NEAR(ground.maxDegrees, 180.0, 1e-3);
    EXPECT_EQ(takeOff.over, 1);
    EXPECT_NEAR(takeOff.maxDegrees, 90.0, 1e-3);
    EXPECT_EQ(takeOff.pairs, 9);  // from the last grounded frame, 0.15 s into the air
}

TEST(Heading, TheDrawnHeadingIsTheHeldOneWhileHeld) {
    FlyView v;
    v.heading = 1.0f;
    v.pose.heading = 2.0f;
    EXPECT_EQ(frameOf(v, 0.0).drawn, 1.0f);
    v.pose.headingHeld = true;
    EXPECT_EQ(frameOf(v, 0.0).drawn, 2.0f);
}

TEST(TakeOff, SpontaneousJumpsGoAlongTheBodyEscapesAwayFromThePointer) {
    TakeOffs seen;
    for (double off : {0.0, 0.5, 1.5, kPi}) {  // the jump's direction against the body's
        Recorder r;
        r.sit(5);
        r.heading = off;
        r.fly(10, [](int) { return 20.0; });
        r.sit(5);
        takeOffDirections(r.track, seen);
    }
    EXPECT_EQ(seen.spontaneous, 4);
    EXPECT_EQ(seen.forward, 2);  // 0 and 0.5 rad lie within 60 deg
    for (double pointerX : {400.0, 450.0, 600.0}) {  // behind the fly twice, then ahead of it
        Recorder r;
        r.sit(5);
        r.fly(10, [](int) { return 20.0; }, nullptr, Activity::Escaping);
        for (Frame& f : r.track.frames) {
            f.pointerX = float(pointerX);
            f.pointerY = 500.0f;
            f.pointerSeen = true;
        }
        r.sit(5);
        takeOffDirections(r.track, seen);
    }
    EXPECT_EQ(seen.escapes, 3);
    EXPECT_EQ(seen.away, 2);
}

// ---- walking --------------------------------------------------------------------------------

// A run of 60 frames; the leg picture changes after every `stride` BL, or every
// `period` frames when period > 0.
Gait walk(const std::function<double(int)>& speed, double stride, int period = 0) {
    Recorder r;
    r.sit(5);
    double sinceStep = 0.0;
    std::uint8_t leg = 0;
    for (int i = 0; i < 60; ++i) {
        const double step = speed(i) * kFrameSeconds;
        r.x += step * kSize;
        sinceStep += step;
        if (period > 0 ? i % period == period - 1 : sinceStep >= stride) {
            leg = std::uint8_t((leg + 1) % kWalkFrames);
            sinceStep = 0.0;
        }
        r.frame(Activity::Walking).walkFrame = leg;
    }
    r.sit(5);
    Gait gait;
    walkingGait(r.track, gait);
    return gait;
}

TEST(Walking, AGlideAtOneSpeedIsCaughtAndAPulsingGaitPasses) {
    const Gait glide = walk([](int) { return 3.5; }, 0.3);
    ASSERT_EQ(glide.variation.size(), 1u);
    EXPECT_LT(glide.variation[0], 0.01);
    EXPECT_EQ(glide.nearMedian, glide.frames);
    const Gait pulsing = walk([](int i) { return 3.5 * (1.0 + 0.4 * std::sin(i * 1.1)); }, 0.3);
    EXPECT_GE(pulsing.variation[0], 0.15);
    EXPECT_LT(pulsing.nearMedian, pulsing.frames / 2);
}

TEST(Walking, LegPicturesMustFollowTheDistanceNotTheClock) {
    const auto speeding = [](int i) { return i < 30 ? 1.5 : 6.0; };
    EXPECT_GE(stepsInProportion(walk(speeding, 0.3).stepLengths), 0.9);
    EXPECT_LT(stepsInProportion(walk(speeding, 0.0, 6).stepLengths), 0.9);
    // Turning on the spot moves the feet too: half a body length per radian.
    Recorder r;
    for (int i = 0; i < 12; ++i) {
        r.heading += 0.1;
        r.frame(Activity::Walking).walkFrame = std::uint8_t(i / 4);
    }
    Gait turn;
    walkingGait(r.track, turn);
    ASSERT_EQ(turn.stepLengths.size(), 1u);
    EXPECT_NEAR(turn.stepLengths[0], 4 * 0.1 * 0.5, 1e-6);
}

// ---- grooming -------------------------------------------------------------------------------

// One bout: (action, frames held) per stroke, the picture alternating within an action.
void groom(Recorder& r, const std::vector<std::pair<Groom, int>>& strokes) {
    std::uint8_t side = 0;
    Groom last = strokes.front().first;
    for (const auto& [action, frames] : strokes) {
        side = action == last ? std::uint8_t(1 - side) : 0;
        last = action;
        for (int i = 0; i < frames; ++i) {
            Frame& f = r.frame(Activity::Grooming);
            f.groom = action;
            f.groomFrame = side;
        }
    }
    r.sit(30);
}

TEST(Grooming, AMetronomeFailsEveryRhythmMeasure) {
    Recorder r;
    r.sit(5);
    for (int bout = 0; bout < 2; ++bout) {
        std::vector<std::pair<Groom, int>> strokes;
        for (Groom g : {Groom::Head, Groom::FrontLegs, Groom::Wings, Groom::HindLegs}) {
            for (int i = 0; i < 4; ++i) strokes.push_back({g, 36});  // every 0.6 s
        }
        groom(r, strokes);
    }
    Grooming g;
    grooming(r.track, g);
    EXPECT_EQ(g.bouts, 2);
    EXPECT_LT(percentile(g.strokeRates, 0.5), 3.0);
    EXPECT_LT(percentile(g.intervalVariation, 0.5), 0.01);
    double step = 0.0;
    EXPECT_EQ(multipleShare(g.intervals, g.actionLengths, step), 1.0);
    EXPECT_NEAR(step, 0.6, 1e-9);
    EXPECT_EQ(identicalPairs(g.signatures), 1);  // the two bouts are copies
    EXPECT_EQ(g.frontToBack, 2);
    EXPECT_EQ(g.notHeadFirst, 0);
}

TEST(Grooming, QuickIrregularStrokesPassAndBoutsAreTold) {
    Recorder r;
    const int lengths[] = {7, 12, 9, 15, 8, 11, 6, 13, 10, 7, 14, 9, 12, 8, 10};
    std::vector<std::pair<Groom, int>> rub, full;
    for (int i = 0; i < 15; ++i) rub.push_back({Groom::FrontLegs, lengths[i]});
    for (int i = 0; i < 15; ++i) full.push_back({i < 5 ? Groom::Head : i < 8 ? Groom::Wings : Groom::FrontLegs, lengths[14 - i]});
    groom(r, rub);
    groom(r, full);
    Grooming g;
    grooming(r.track, g);
    ASSERT_EQ(g.bouts, 2);
    EXPECT_GE(percentile(g.strokeRates, 0.5), 3.0);
    EXPECT_GE(percentile(g.intervalVariation, 0.5), 0.2);
    double step = 0.0;
    EXPECT_LE(multipleShare(g.intervals, g.actionLengths, step), 0.5);
    EXPECT_EQ(g.singleFrontLegRub, 1);
    EXPECT_EQ(g.notHeadFirst, 1);
    EXPECT_EQ(g.frontToBack, 1);  // front legs after the wings
    EXPECT_EQ(identicalPairs(g.signatures), 0);
}

TEST(Grooming, BoutsDifferingInOneFrameAreNotIdentical) {
    std::vector<std::pair<Groom, int>> strokes(20, {Groom::Head, 6});
    Recorder r;
    groom(r, strokes);
    groom(r, strokes);
    strokes[7].second = 7;
    groom(r, strokes);
    Grooming g;
    grooming(r.track, g);
    EXPECT_EQ(identicalPairs(g.signatures), 1);
}

// ---- flies among flies, and leaving ----------------------------------------------------

// Two flies over 100 s in frames of 0.1 s; `at` places a fly at each time.
std::vector<Track> twoFlies(const std::function<void(double, Recorder&, Recorder&)>& at) {
    Recorder a, b;
    for (int i = 0; i < 1000; ++i) {
        at(i * 0.1, a, b);
        a.frame(Activity::Resting, 0.1);
        b.frame(Activity::Resting, 0.1);
    }
    return {a.track, b.track};
}

TEST(Crowding, FliesTakingTurnsAtOneSpotAreApartYetChanceSaysOtherwise) {
    Crowding turns;
    crowding(twoFlies([](double t, Recorder& a, Recorder& b) {
                 a.x = t < 50 ? 100 : 900;
                 b.x = t < 50 ? 1500 : 100;
             }),
             turns);
    EXPECT_EQ(turns.closeSeconds, 0.0);
    EXPECT_GT(turns.chanceSeconds, 10.0);
    Crowding piled;
    crowding(twoFlies([](double t, Recorder& a, Recorder& b) {
                 a.x = 100;
                 b.x = t >= 20 && t < 30 ? 110 : 900;  // 10 s a third of a body length away
             }),
             piled);
    EXPECT_NEAR(piled.closeSeconds, 20.0, 0.25);  // both flies, 10 s each
    EXPECT_NEAR(piled.longest, 10.0, 0.15);
    EXPECT_NEAR(piled.groundSeconds, 200.0, 0.25);
}

TEST(Crowding, LandingBesideASittingFlyAndWalkingOntoOneAreCounted) {
    Recorder a, b;
    b.x = 520;  // half a body length from where a lands
    for (int i = 0; i < 40; ++i) {
        a.frame(i < 10 ? Activity::Flying : i < 20 ? Activity::Resting : Activity::Walking);
        if (i >= 20) a.x += 4.0;  // walks off, through b's place
        b.frame(Activity::Resting);
    }
    Crowding c;
    crowding({a.track, b.track}, c);
    EXPECT_EQ(c.landings, 1);
    EXPECT_EQ(c.crowdedLandings, 1);
    EXPECT_EQ(c.walkFrames, 20);
    EXPECT_EQ(c.walkOnto, 9);  // from 504 to 536: within 18 px of 520
}

TEST(Departure, TakeOffDelayFlightAndEdgeAreRead) {
    Monitor left, right;  // two monitors side by side: their shared edge leads nowhere
    left.bounds = {0, 0, 1920, 1080};
    right.bounds = {1920, 0, 3840, 1080};
    // Leaves across the top after 0.3 s; leaves across the far edge; vanishes from the
    // ground; leaves the other monitor across its top; leaves a corner across the edge a
    // little further than the other. All but the third take off in the same frame.
    auto leaver = [](double x, double y, double course, int wait, bool flies) {
        Recorder r;
        r.x = x;
        r.y = y;
        r.heading = course;
        r.frame(Activity::Resting, 0.0);
        r.sit(wait);
        if (flies) r.fly(60, [](int) { return 50.0; });
        r.frame(Activity::Away);
        return r.track;
    };
    const std::vector<Track> tracks = {leaver(1900, 300, -kPi / 2, 18, true), leaver(1800, 300, kPi / 2, 18, true),
                                       leaver(300, 500, 0, 5, false), leaver(3000, 200, -kPi / 2, 18, true),
                                       leaver(20, 45, -kPi / 2, 18, true)};
    Departure d;
    departure(tracks, {left, right}, d);
    EXPECT_EQ(d.groundedFlies, 5);
    ASSERT_EQ(d.takeOffDelays.size(), 5u);
    EXPECT_NEAR(d.takeOffDelays[0], 19 * kFrameSeconds, 1e-9);
    EXPECT_LT(d.takeOffDelays[2], 0.0);  // never took off
    EXPECT_EQ(d.distinctTakeOffFrames, 1);
    EXPECT_EQ(d.seenFlying, 4);
    EXPECT_EQ(d.nearestEdge, 3);  // not the second: it went down, not up
    EXPECT_TRUE(d.allGone);
}

TEST(LauncherDefault, AFlyMustLandWalkGroomAndFlyAgainBeforeTheTimeout) {
    auto life = [](bool flyAgain, double timeout) {
        Recorder r;
        r.sit(5, Activity::Away);
        r.fly(30, [](int) { return 40.0; });
        r.sit(60, Activity::Grooming);
        r.sit(60);
        for (int i = 0; i < 20; ++i) {
            r.x += 2.0;
            r.frame(Activity::Walking);
        }
        r.sit(60);
        if (flyAgain) r.fly(20, [](int) { return 40.0; });
        while (r.t < 15.0) r.frame(Activity::Resting);
        r.fly(30, [](int) { return 40.0; });  // the departure, at 15 s
        r.frame(Activity::Away);
        return showsItsWays(r.track, timeout);
    };
    EXPECT_TRUE(life(true, 15.0));
    EXPECT_FALSE(life(false, 15.0));  // the departure does not count as a second flight
    EXPECT_FALSE(life(true, 2.0));    // nor does what comes after the timeout (the walk)
}

}  // namespace
}  // namespace gnatter::ethogram
