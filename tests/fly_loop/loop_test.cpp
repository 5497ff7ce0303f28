// The fly loop's rules on a scripted desktop and clock: how often it reads the pointer
// (parked, moving near a fly, with and without reports), that a press seen twice swats
// once, how often it reads the other windows and when it raises the flies, that a pause
// stops the clock and the timeout, that the flies leave within their deadline, that a
// moved perch is noticed in time, and that a wake-up after a rest shows what ended it.
#include "scripted_platform.h"
#include "window_rules.h"

#include <cmath>

namespace gnatter::testing {
namespace {

constexpr double kFrame = gnatter::kFrameSeconds;

Options flies(int count, int timeout = 0) {
    Options o;
    o.count = count;
    o.timeoutSeconds = timeout;
    return o;
}

bool grounded(const FlyView& v) {
    return v.activity == Activity::Resting || v.activity == Activity::Grooming || v.activity == Activity::Walking;
}

// The slowest gap between two readings from `from` on.
double longestGap(const std::vector<double>& times, double from, double to) {
    double last = from, longest = 0.0;
    for (double t : times) {
        if (t < from || t >= to) continue;
        longest = std::max(longest, t - last);
        last = t;
    }
    return std::max(longest, to - last);
}

TEST(PointerPacing, EveryFrameOnlyWhileAThreatIsPossible) {
    struct Case {
        const char* name;
        bool nearFly;
        double sinceMoved;
        bool buttonHeld;
        double unreported, reported, promised;
    };
    const double slow = Swarm::kPointerReadSeconds, safety = PointerWatch::kSafetyReadSeconds;
    const Case cases[] = {
        {"moving near a fly", true, 0.0, false, kFrame, kFrame, kFrame},
        {"paused a moment near a fly", true, 0.2, false, kFrame, kFrame, kFrame},
        {"parked near a fly", true, 0.3, false, slow, safety, kNoDeadline},
        {"button held near a fly", true, 600.0, true, kFrame, kFrame, kFrame},
        {"moving far from every fly", false, 0.0, false, slow, safety, kNoDeadline},
        {"button held far from every fly", false, 600.0, true, slow, safety, kNoDeadline},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.unreported, PointerWatch::readDelay(c.nearFly, c.sinceMoved, c.buttonHeld, false, false)) << c.name;
        EXPECT_EQ(c.reported, PointerWatch::readDelay(c.nearFly, c.sinceMoved, c.buttonHeld, true, false)) << c.name;
        EXPECT_EQ(c.promised, PointerWatch::readDelay(c.nearFly, c.sinceMoved, c.buttonHeld, true, true)) << c.name;
    }
}

// A pointer parked far from the flies: ten readings a second where moves go unreported,
// one once a report proved they are, none where the platform promises them; and no
// wake-up at all without a frame there, however long the flies rest.
TEST(PointerPacing, AParkedPointerIsReadAtItsSlowPace) {
    struct Case {
        const char* name;
        bool promised, report;
        int fewest, most;  // readings from 60 s to 120 s
    };
    for (const Case& c : {Case{"unreported", false, false, 550, 620}, Case{"reported", false, true, 55, 62},
                          Case{"promised", true, false, 0, 0}}) {
        ScriptedPlatform platform;
        platform.promised.pointerMovesReported = c.promised;
        platform.promised.windowMovesReported = true;
        platform.endAt = 120.0;
        if (c.report) platform.at(1.0, [](FlyLoop& loop) { loop.onPointerReport(false); });
        FlyLoop loop(platform, flies(10), 1);
        loop.run();
        const int reads = ScriptedPlatform::countIn(platform.pointerReads, 60.0, 120.0);
        EXPECT_GE(reads, c.fewest) << c.name;
        EXPECT_LE(reads, c.most) << c.name;
        if (c.promised) {
            EXPECT_LE(ScriptedPlatform::countIn(platform.wakeUps, 60.0, 120.0),
                      ScriptedPlatform::countIn(platform.frames, 60.0, 120.0))
                << "a wake-up without a frame";
        }
    }
}

// A pointer circling slowly round a resting fly is read every frame; parked beside it,
// at the slow pace again.
TEST(PointerPacing, APointerMovingNearAFlyIsReadEveryFrame) {
    ScriptedPlatform platform;
    platform.endAt = 34.0;
    float fx = -1000.0f, fy = -1000.0f;
    platform.at(30.0, [&](FlyLoop& loop) {
        for (std::size_t i = 0; i < loop.swarm().flyCount(); ++i) {
            const FlyView& v = loop.swarm().flyView(i);
            if (grounded(v)) fx = v.x, fy = v.y;
        }
    });
    platform.pointer = [&](double t) {
        PointerReading r;
        r.present = fx > 0.0f;  // appears beside the fly rather than jumping at it
        const double angle = t < 32.0 ? t * 2.0 : 64.0;  // still from 32 s on
        r.x = int(fx + 60.0 * std::cos(angle));
        r.y = int(fy + 60.0 * std::sin(angle));
        return r;
    };
    FlyLoop loop(platform, flies(3), 2);
    loop.run();
    ASSERT_GT(fx, 0.0f) << "no fly on the ground at 30 s";
    EXPECT_GE(ScriptedPlatform::countIn(platform.pointerReads, 30.5, 31.5), 55) << "moving near a fly";
    EXPECT_LE(ScriptedPlatform::countIn(platform.pointerReads, 32.5, 33.5), 11) << "parked near a fly";
}

// A press shows in a report and in the button's state, in either order, and counts
// once; two presses a fifth of a second apart (a double click) count twice, as do two
// far apart; none counts while swatting is off.
TEST(PointerPresses, APressSeenInTwoPlacesCountsOnce) {
    struct Sighting {
        double at;
        bool inReport;  // else in the button's state at a reading
    };
    struct Case {
        const char* name;
        std::vector<Sighting> sightings;
        bool swatting;
        int presses;
    };
    const Case cases[] = {
        {"report, then state", {{1.0, true}, {1.05, false}}, true, 1},
        {"state, then report", {{1.0, false}, {1.05, true}}, true, 1},
        {"double click", {{1.0, true}, {1.01, false}, {1.2, true}, {1.21, false}}, true, 2},
        {"double click, state first", {{1.0, false}, {1.01, true}, {1.2, false}, {1.21, true}}, true, 2},
        {"far apart", {{1.0, true}, {2.0, false}}, true, 2},
        {"swatting off", {{1.0, true}, {1.05, false}}, false, 0},
    };
    for (const Case& c : cases) {
        ScriptedPlatform platform;
        bool pressedSince = false;
        platform.pointer = [&](double) {
            PointerReading r;
            r.present = true;
            r.pressedSince = pressedSince;
            pressedSince = false;
            return r;
        };
        PointerWatch watch(platform, false);
        watch.start(0.0);
        int presses = 0;
        for (const Sighting& s : c.sightings) {
            if (s.inReport) watch.onReport(s.at, true);
            pressedSince = !s.inReport;
            presses += watch.read(s.at + 0.001, c.swatting).pressed ? 1 : 0;  // the loop reads right after
        }
        EXPECT_EQ(c.presses, presses) << c.name;
    }
}

// The session locked for 200 s from 5 s: no frame in between, the flies out of sight,
// and the 10-second timeout runs out 200 s late; the flies are gone two seconds after.
TEST(Pause, ALockedSessionStopsTheClockAndTheTimeout) {
    ScriptedPlatform platform;
    bool hiddenWhilePaused = false;
    platform.at(5.0, [](FlyLoop& loop) { loop.onPaused(true); });
    platform.at(100.0, [&](FlyLoop&) { hiddenWhilePaused = platform.hidden; });
    platform.at(205.0, [](FlyLoop& loop) { loop.onPaused(false); });
    FlyLoop loop(platform, flies(5, 10), 3);
    loop.run();
    EXPECT_TRUE(hiddenWhilePaused);
    EXPECT_EQ(0, ScriptedPlatform::countIn(platform.frames, 5.001, 205.0));
    EXPECT_TRUE(loop.swarm().done());
    EXPECT_GE(platform.now(), 210.0);
    EXPECT_LE(platform.now(), 212.0);
}

// Asked to leave, twenty flies are gone and the loop ends within two seconds; asked
// while paused (the flies out of sight), at once.
TEST(Departure, TheLoopEndsWithinItsDeadline) {
    for (bool paused : {false, true}) {
        ScriptedPlatform platform;
        if (paused) platform.at(30.0, [](FlyLoop& loop) { loop.onPaused(true); });
        platform.at(40.0, [](FlyLoop& loop) { loop.onLeaveRequest(); });
        FlyLoop loop(platform, flies(20), 4);
        loop.run();
        EXPECT_GE(platform.now(), 40.0) << "paused " << paused;
        EXPECT_LE(platform.now(), paused ? 40.0 : 42.0) << "paused " << paused;
        EXPECT_TRUE(paused || loop.swarm().done());
    }
}

// The other windows are read soon after a reported change, and otherwise polled: fast
// where moves go unreported (even if other events come), slowly once a move was
// reported, never where the platform promises every change.
TEST(DesktopPacing, ReadsFollowTheReportsAndPollWhereMovesGoUnreported) {
    struct Case {
        const char* name;
        bool promised;
        DesktopEvent event;
        double poll;  // the longest gap between readings from 20 s to 60 s, events aside
        int fewest, most;
    };
    for (const Case& c : {Case{"creations only", false, DesktopEvent::Created, 0.76, 52, 54},
                          Case{"moves reported", false, DesktopEvent::Moved, 2.01, 19, 20},
                          Case{"promised", true, DesktopEvent::Moved, 40.0, 0, 0}}) {
        ScriptedPlatform platform;
        platform.promised.windowMovesReported = c.promised;
        platform.endAt = 61.0;
        for (double t = 5.0; t < 20.0; t += 3.0) platform.at(t, [&](FlyLoop& loop) { loop.onDesktopEvent(c.event); });
        platform.at(60.0, [&](FlyLoop& loop) { loop.onDesktopEvent(c.event); });
        FlyLoop loop(platform, flies(5), 5);
        loop.run();
        EXPECT_LE(longestGap(platform.desktopReads, 20.0, 60.0), c.poll) << c.name;
        const int reads = ScriptedPlatform::countIn(platform.desktopReads, 20.0, 60.0);
        EXPECT_GE(reads, c.fewest) << c.name;
        EXPECT_LE(reads, c.most) << c.name;
        EXPECT_EQ(1, ScriptedPlatform::countIn(platform.desktopReads, 60.0, 60.06)) << c.name << ": after the event";
    }
}

// A window that shows or comes forward may cover the flies: they are raised a quarter
// second after (it may reach the screen a little after its report), but not more than
// twice a second however often that happens. Where readings see which flies are covered,
// only a reading that finds one raises them. A window that a reading finds new, unreported,
// raises them too.
TEST(Raising, AfterAWindowComesForwardAndNeverInARace) {
    for (bool burialSeen : {false, true}) {
        ScriptedPlatform platform;
        platform.promised.burialSeen = burialSeen;
        platform.endAt = 22.0;
        platform.at(5.0, [](FlyLoop& loop) { loop.onDesktopEvent(DesktopEvent::Shown); });
        for (double t = 10.0; t < 15.0; t += 0.05) {
            platform.at(t, [](FlyLoop& loop) { loop.onDesktopEvent(DesktopEvent::Foreground); });
        }
        platform.at(20.0, [&](FlyLoop& loop) {
            platform.desktop.fliesBuried = true;
            loop.onDesktopEvent(DesktopEvent::Restacked);
        });
        platform.at(17.0, [&](FlyLoop&) { platform.desktop.windows.push_back(WindowBox{{0, 0, 100, 100}, 9}); });
        FlyLoop loop(platform, flies(5), 6);
        loop.run();
        const char* name = burialSeen ? "burial seen" : "burial unseen";
        EXPECT_EQ(burialSeen ? 0 : 1, ScriptedPlatform::countIn(platform.raises, 17.0, 18.0)) << name << ": a new window";
        EXPECT_EQ(0, ScriptedPlatform::countIn(platform.raises, 5.0, 5.2)) << name << ": before the window shows";
        EXPECT_EQ(burialSeen ? 0 : 1, ScriptedPlatform::countIn(platform.raises, 5.2, 5.3)) << name;
        EXPECT_EQ(0, ScriptedPlatform::countIn(platform.raises, 5.3, 10.0)) << name << ": raised with nothing new";
        const int race = ScriptedPlatform::countIn(platform.raises, 10.0, 15.5);
        EXPECT_GE(race, burialSeen ? 0 : 10) << name;
        EXPECT_LE(race, burialSeen ? 0 : 12) << name;
        EXPECT_EQ(1, ScriptedPlatform::countIn(platform.raises, 20.0, 20.3)) << name << ": a fly found covered";
    }
}

// A window moved where no report comes (Wine): every fly on it takes off within a
// second, for ten moves.
TEST(Perches, AWindowMovedUnreportedIsLeftWithinASecond) {
    ScriptedPlatform platform;
    platform.desktop.windows = {WindowBox{{200, 150, 1000, 650}, 1}};
    platform.endAt = 400.0;
    std::vector<std::size_t> onIt;
    std::vector<bool> tookOff;
    int moves = 0, perched = 0;
    for (int move = 0; move < 10; ++move) {
        const double at = 60.0 + 30.0 * move;
        platform.at(at, [&, move](FlyLoop& loop) {
            const Rect r = platform.desktop.windows[0].rect;
            onIt.clear();
            for (std::size_t i = 0; i < loop.swarm().flyCount(); ++i) {
                const FlyView& v = loop.swarm().flyView(i);
                if (grounded(v) && v.x >= r.left && v.x < r.right && v.y >= r.top && v.y < r.bottom) onIt.push_back(i);
            }
            tookOff.assign(onIt.size(), false);
            perched += int(onIt.size());
            const int shift = move % 2 == 0 ? 60 : -60;
            platform.desktop.windows[0].rect = {r.left + shift, r.top, r.right + shift, r.bottom};
            ++moves;
        });
        platform.at(at + 1.0, [&, at](FlyLoop&) {
            for (std::size_t k = 0; k < onIt.size(); ++k) {
                EXPECT_TRUE(tookOff[k]) << "fly " << onIt[k] << " still sat on the window 1 s after its move at " << at;
            }
        });
    }
    FlyLoop loop(platform, flies(20), 7);
    const auto watchTakeOffs = [&] {
        for (std::size_t k = 0; k < onIt.size(); ++k) tookOff[k] = tookOff[k] || !grounded(loop.swarm().flyView(onIt[k]));
    };
    platform.afterFrame = watchTakeOffs;
    loop.run();
    EXPECT_EQ(10, moves);
    EXPECT_GE(perched, 10) << "too few flies sat on the window to tell";
}

// The desktop is read before the flies arrive: their first landings take in the windows'
// edges as well as the screen's.
TEST(Perches, FirstLandingsKnowTheWindows) {
    ScriptedPlatform platform;
    const Rect window{300, 200, 900, 600};
    platform.desktop.windows = {WindowBox{window, 1}};
    platform.endAt = 4.0;
    int onWindow = 0;
    platform.at(4.0, [&](FlyLoop& loop) {
        for (std::size_t i = 0; i < loop.swarm().flyCount(); ++i) {
            const FlyView& v = loop.swarm().flyView(i);
            onWindow += grounded(v) && v.x >= window.left && v.x < window.right && v.y >= window.top &&
                        v.y < window.bottom;
        }
    });
    FlyLoop loop(platform, flies(20), 8);
    loop.run();
    EXPECT_GE(onWindow, 3) << "of 20 flies, 4 s after their start";
}

// Ten flies paced as the loop paces them, from half a minute after the start (when they
// have settled) for a minute: a wake-up after a rest that changes no window is one the
// loop should not have needed.
TEST(ClockPacing, AWakeUpAfterARestShowsWhatEndedIt) {
    gnatter::Monitor monitor;
    monitor.bounds = monitor.workArea = {0, 0, 1280, 800};
    Swarm swarm(flies(10), 1, {monitor});
    int restWakes = 0, emptyRestWakes = 0;
    std::vector<FlyView> before(swarm.flyCount());
    for (double t = 0.0; t < 90.0;) {
        const bool resting = swarm.allResting();
        const double dt = resting ? FlyLoop::restWaitSeconds(swarm.restingSecondsLeft()) : kFrame;
        for (std::size_t i = 0; i < before.size(); ++i) before[i] = swarm.flyView(i);
        swarm.advance(dt);
        t += dt;
        if (!resting || t < 30.0) continue;
        bool changed = false;
        for (std::size_t i = 0; i < before.size(); ++i) {
            const FlyView& v = swarm.flyView(i);
            changed = changed || v.pictureChanged || std::lround(v.x) != std::lround(before[i].x) ||
                      std::lround(v.y) != std::lround(before[i].y) || v.visible != before[i].visible;
        }
        ++restWakes;
        emptyRestWakes += changed ? 0 : 1;
    }
    ASSERT_GT(restWakes, 60) << "the flies hardly rested";
    EXPECT_LT(emptyRestWakes * 4, restWakes) << emptyRestWakes << " of " << restWakes << " wake-ups changed nothing";
}

// A fly beside a monitor that a full-screen program covers stays out of sight while any
// of its picture would reach onto it; a body length and a half off it shows.
TEST(WindowRules, NoPartOfAFlyShowsOverACoveredMonitor) {
    const std::vector<Rect> covered = {{0, 0, 1280, 800}};
    FlyView fly;
    fly.visible = true;
    fly.size = 36.0f;
    fly.y = 400.0f;
    for (float x : {1279.0f, 1290.0f, 1300.0f}) {
        fly.x = x;
        EXPECT_TRUE(keepOutOfSight(fly, covered)) << "body at x " << x << ", a wing over the edge";
    }
    fly.x = 1280.0f + 1.5f * fly.size;
    EXPECT_FALSE(keepOutOfSight(fly, covered)) << "a body length and a half off";
    fly.x = 1200.0f;
    EXPECT_FALSE(keepOutOfSight(fly, {})) << "nothing covered";
}

TEST(DesktopReadings, DifferWhenAnyWindowOrAnyEdgeDiffers) {
    const auto box = [](std::uint64_t id, int l, int t, int r, int b) { return WindowBox{{l, t, r, b}, id}; };
    const std::vector<WindowBox> reading = {box(1, 10, 20, 30, 40), box(2, 0, 0, 5, 5)};
    EXPECT_TRUE(sameWindows(reading, reading));
    const std::vector<std::vector<WindowBox>> others = {
        {box(1, 10, 20, 30, 40)},                                                        // one went
        {box(2, 0, 0, 5, 5), box(1, 10, 20, 30, 40)},                                    // z-order swapped
        {box(3, 10, 20, 30, 40), box(2, 0, 0, 5, 5)},                                    // another window
        {box(1, 11, 20, 30, 40), box(2, 0, 0, 5, 5)}, {box(1, 10, 21, 30, 40), box(2, 0, 0, 5, 5)},
        {box(1, 10, 20, 31, 40), box(2, 0, 0, 5, 5)}, {box(1, 10, 20, 30, 41), box(2, 0, 0, 5, 5)},  // each edge
        {box(1, 10, 20, 30, 40), box(2, 0, 0, 5, 6)},                                    // the second one
    };
    for (std::size_t i = 0; i < others.size(); ++i) {
        EXPECT_FALSE(sameWindows(reading, others[i])) << "case " << i;
        EXPECT_FALSE(sameWindows(others[i], reading)) << "case " << i;
    }
}

}  // namespace
}  // namespace gnatter::testing
