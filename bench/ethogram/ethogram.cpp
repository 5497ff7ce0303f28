// The ethogram's measurements. The swarm is paced as the Win32 layer paces it: one
// advance per 60 Hz frame while anything moves, one advance over the whole quiet time
// while every fly rests. Per fly a small tracker turns the reported views into bouts
// (rests, runs, grooming, flights), turns, landings and window operations.
#include "ethogram.h"
#include "texture.h"

#include "fly_math.h"
#include "landmarks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace gnatter::ethogram {
namespace {

constexpr double kFrame = kFrameSeconds;

double share(long part, long whole) { return whole > 0 ? double(part) / double(whole) : 0.0; }

std::string format(const char* pattern, double a, double b = 0.0, double c = 0.0, double d = 0.0) {
    char text[200];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

struct Tracker {
    Activity last = Activity::Away;
    double boutStart = 0.0;
    bool wasVisible = false;
    long windowX = 0, windowY = 0;
    std::uint64_t shownKey = 0;
    bool hasPicture = false;
    double x = 0.0, y = 0.0, heading = 0.0;

    // Walking
    double walkDistance = 0.0;
    bool walkSideways = false, walkBackward = false;
    double saccadeAngle = 0.0;
    int saccadeFrames = 0;

    // Grooming

    // Flight
    bool inFlight = false;
    bool fromGround = false;
    double flightStart = 0.0;
    int airFrames = 0;
    double takeOffX = 0.0, takeOffY = 0.0;
    std::vector<double> speeds;  // body lengths per second, visible frames in the air
    double lastSpeed = 0.0;
    double lastLegsDownAt = -1.0;
    bool escaping = false;
    bool chasing = false;
    int chaseId = -1;
    double landedAt = -1.0;

    // Escape bookkeeping
    double lastThreatAt = -1.0;  // first reading of the current fast approach (contact within 0.3 s)
    double collisionAt = -1.0;   // first reading of it on a course through the fly's body
    double escapeFromX = 0.0, escapeFromY = 0.0, escapeStartGap = 0.0;  // the pointer at take-off
    double perchMovedAt = -1.0;
};

struct Chase {
    double start = 0.0;
    int landed = 0;
    Point spots[2];
};

// A visitor with the mouse: dashes at flies, creeps up on them, moves away from them,
// passes them wide and parks beside them, in turn.
class PointerScript {
public:
    explicit PointerScript(std::uint64_t seed) : rng_(seed ^ 0x5DEECE66Dull) {}

    Point at(double t, const Swarm& swarm) {
        if (t >= segmentEnd_) plan(t, swarm);
        const double u = std::min(1.0, std::max(0.0, (t - segmentStart_) / std::max(1e-9, segmentEnd_ - segmentStart_ - hold_)));
        return {from_.x + (to_.x - from_.x) * u, from_.y + (to_.y - from_.y) * u};
    }

private:
    void plan(double t, const Swarm& swarm) {
        std::vector<std::size_t> candidates;
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            if (grounded(swarm.flyView(i).activity)) candidates.push_back(i);
        }
        segmentStart_ = t;
        if (candidates.empty()) {
            from_ = to_ = current_;
            hold_ = 0.5;
            segmentEnd_ = t + 0.5;
            return;
        }
        const FlyView& v = swarm.flyView(candidates[std::size_t(rng_.unit() * double(candidates.size())) % candidates.size()]);
        const double size = v.size, a = rng_.range(0.0, fm::kTwoPi);
        const Point fly{v.x, v.y}, dir{fm::cos(a), fm::sin(a)};
        double speed = 0.0;
        switch (visit_++ % 5) {
            case 0:  // a fast dash through the fly
                from_ = {fly.x - dir.x * 600.0, fly.y - dir.y * 600.0};
                to_ = {fly.x + dir.x * 200.0, fly.y + dir.y * 200.0};
                speed = rng_.range(1500.0, 3000.0);
                break;
            case 1:  // creeping up, and staying on it
                from_ = {fly.x - dir.x * 5.0 * size, fly.y - dir.y * 5.0 * size};
                to_ = fly;
                speed = 0.8 * size;
                break;
            case 2:  // from beside it, away fast
                from_ = {fly.x + dir.x * 1.5 * size, fly.y + dir.y * 1.5 * size};
                to_ = {fly.x + dir.x * 600.0, fly.y + dir.y * 600.0};
                speed = 2000.0;
                break;
            case 3:  // passing wide, fast
                from_ = {fly.x - dir.x * 500.0 - dir.y * 8.0 * size, fly.y - dir.y * 500.0 + dir.x * 8.0 * size};
                to_ = {fly.x + dir.x * 500.0 - dir.y * 8.0 * size, fly.y + dir.y * 500.0 + dir.x * 8.0 * size};
                speed = 2000.0;
                break;
            default:  // parked beside it
                from_ = to_ = {fly.x + dir.x * 1.5 * size, fly.y + dir.y * 1.5 * size};
                speed = 1.0;
        }
        // Get to the start unseen: the pointer leaves the screen and comes back there.
        const double length = std::sqrt((to_.x - from_.x) * (to_.x - from_.x) + (to_.y - from_.y) * (to_.y - from_.y));
        hold_ = 2.0;
        segmentEnd_ = t + length / speed + hold_;
        current_ = to_;
        jumped_ = true;
    }

public:
    bool takeJump() {
        const bool j = jumped_;
        jumped_ = false;
        return j;
    }

private:
    fm::Rng rng_;
    int visit_ = 0;
    double segmentStart_ = -1.0, segmentEnd_ = -1.0, hold_ = 0.0;
    Point from_{}, to_{}, current_{};
    bool jumped_ = false;
};

// As the Win32 layer paces the swarm: a frame at a time while anything moves, the whole
// quiet time in one advance while every fly rests (the pointer, when there is one, is read
// every frame).
double nextStep(const Swarm& swarm, bool everyFrame, double left) {
    double dt = kFrame;
    if (!everyFrame && swarm.allResting()) dt = std::max(kFrame, swarm.restingSecondsLeft());
    return std::min(dt, left);
}

// The measures over recorded tracks, pooled over runs.
struct Texture {
    Constancy held;
    long heldFlights = 0;
    std::vector<double> toCruise;
    std::vector<SharpTurn> turns;
    Turning turnRates;
    HeadingSteps groundSteps, takeOffSteps;
    TakeOffs takeOffs;
    Gait gait;
    Grooming bouts;
    long identicalBouts = 0;
    Crowding crowd;

    // One run's tracks, frame for frame aligned.
    void add(const std::vector<Track>& tracks) {
        const std::size_t firstSignature = bouts.signatures.size();
        for (const Track& track : tracks) {
            for (const Flight& flight : flights(track)) {
                const std::vector<Speed> speeds = flightSpeeds(track, flight);
                if (flight.landed && !speeds.empty()) {
                    const Constancy c = speedConstancy(speeds);
                    held.held += c.held;
                    held.frames += c.frames;
                    ++heldFlights;
                }
                const double seconds = secondsToCruise(track, flight, speeds);
                if (seconds >= 0.0) toCruise.push_back(seconds);
                const std::vector<SharpTurn> more = sharpTurns(track, flight);
                turns.insert(turns.end(), more.begin(), more.end());
                turning(track, flight, turnRates);
            }
            headingSteps(track, groundSteps, takeOffSteps);
            takeOffDirections(track, takeOffs);
            walkingGait(track, gait);
            grooming(track, bouts);
        }
        // Identical bouts among the flies of one run: one program replaying a sequence.
        identicalBouts += identicalPairs({bouts.signatures.begin() + long(firstSignature), bouts.signatures.end()});
        crowding(tracks, crowd);
    }
};

void record(const Swarm& swarm, double t, std::vector<Track>& tracks) {
    for (std::size_t i = 0; i < swarm.flyCount() && i < tracks.size(); ++i) {
        const FlyView& v = swarm.flyView(i);
        tracks[i].frames.push_back(frameOf(v, t));
        if (v.visible) tracks[i].size = v.size;
    }
}

// After the measured time the flies are asked to leave (the timeout, the tray menu) and
// are followed for at most five seconds. Every track starts with the frame at the request.
std::vector<Track> depart(Swarm& swarm, double t, bool pointer) {
    if (pointer) swarm.setPointer(false, 0.0f, 0.0f);
    swarm.requestDeparture();
    std::vector<Track> tracks(swarm.flyCount());
    record(swarm, t, tracks);
    const double until = t + 5.0;
    while (!swarm.done() && t < until - 1e-9) {
        const double dt = nextStep(swarm, false, until - t);
        swarm.advance(dt);
        t += dt;
        record(swarm, t, tracks);
    }
    return tracks;
}

Monitor defaultMonitor() {
    Monitor m;
    m.bounds = {0, 0, 1920, 1080};
    m.workArea = {0, 0, 1920, 1040};
    return m;
}

}  // namespace

bool Report::allPass() const {
    for (const Row& r : rows) {
        if (r.applies && !r.pass) return false;
    }
    return true;
}

Report run(const Setup& setup) {
    std::vector<Monitor> monitors = setup.monitors;
    if (monitors.empty()) monitors.push_back(defaultMonitor());
    Landmarks landmarks;
    landmarks.set(monitors, setup.windows);
    double groundArea = 0.0;
    for (const Monitor& m : monitors) {
        groundArea += double(m.workArea.right - m.workArea.left) * double(m.workArea.bottom - m.workArea.top);
    }
    const double cornerCount = double(landmarks.corners().size());
    Point desktop{1e18, 1e18}, desktopEnd{-1e18, -1e18};
    for (const Monitor& m : monitors) {
        desktop = {std::min(desktop.x, double(m.bounds.left)), std::min(desktop.y, double(m.bounds.top))};
        desktopEnd = {std::max(desktopEnd.x, double(m.bounds.right)), std::max(desktopEnd.y, double(m.bounds.bottom))};
    }
    const Point desktopSize{desktopEnd.x - desktop.x, desktopEnd.y - desktop.y};
    int flyCount = 0;

    std::vector<double> rests, runDurations, runSpeeds, saccadeAngles, cruises, flightSeconds, groomBouts;
    Texture texture;
    Departure leaving;
    double saccadeTurning = 0.0, allWalkTurning = 0.0;
    // A finished turn of a walking fly counts as a saccade when it is 15-45 degrees and
    // took at most a tenth of a second.
    auto endSaccade = [&](const Tracker& k) {
        const double angle = std::fabs(k.saccadeAngle);
        if (angle >= 0.26 - 1e-3 && angle <= 0.79 && k.saccadeFrames * kFrame <= 0.1 + 1e-9) {
            saccadeTurning += angle;
            saccadeAngles.push_back(angle * 180.0 / fm::kPi);
        }
    };
    long sideOrBackRuns = 0, walkRuns = 0;
    long jumps = 0, goodJumps = 0, landings = 0, edgeLandings = 0, cornerLandings = 0, gentleLandings = 0;
    long groomAfterLanding = 0, boutsInRange = 0;
    long moves = 0, pictures = 0;
    long escapes = 0, quickEscapes = 0, lateEscapes = 0, escapesTooClose = 0, escapesAway = 0, startlesWithoutApproach = 0;
    long perchMoves = 0, perchLate = 0;
    double visibleTime = 0.0, stillTime = 0.0, groomTime = 0.0, flyTime = 0.0;
    int chasesApart = 0, chasesDone = 0;
    long chaseCount = 0;

    for (int runIndex = 0; runIndex < std::max(1, setup.runs); ++runIndex) {
    const std::uint64_t seed = setup.seed + std::uint64_t(runIndex);
    std::vector<WindowBox> windows = setup.windows;
    Options options;
    options.count = setup.flies;
    options.sizePixels = setup.size;
    options.timeoutSeconds = 0;
    Swarm swarm(options, seed, monitors);
    if (!windows.empty()) swarm.setWindows(windows);
    landmarks.set(monitors, windows);
    flyCount = int(swarm.flyCount());
    std::vector<Tracker> trackers(swarm.flyCount());
    // What a tracker records of each fly, frame by frame, for the texture measures.
    std::vector<Track> tracks(swarm.flyCount());
    for (Track& track : tracks) track.frames.reserve(std::size_t(setup.seconds / kFrame) + 2);
    Point seenPointer{-1.0, -1.0};
    bool pointerSeen = false;
    std::vector<Chase> chases;
    PointerScript script(seed);
    Point pointer{-1.0, -1.0}, previousPointer{-1.0, -1.0};
    bool pointerShown = false;
    double nextWindowMove = setup.moveWindowEvery > 0.0 && !windows.empty() ? setup.moveWindowEvery : -1.0;

    double t = 0.0;
    while (t < setup.seconds - 1e-9) {
        double dt = nextStep(swarm, setup.pointer, setup.seconds - t);
        if (nextWindowMove > 0.0) dt = std::min(dt, std::max(nextWindowMove - t, 1e-6));
        swarm.advance(dt);
        t += dt;

        if (nextWindowMove > 0.0 && t >= nextWindowMove - 1e-9 && t + 1.0 < setup.seconds) {
            // The first window moves: whoever sits on it must take off.
            const std::uint64_t id = windows.front().id;
            for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
                const FlyView& v = swarm.flyView(i);
                if (grounded(v.activity) && landmarks.windowAt(v.x, v.y) == id) {
                    trackers[i].perchMovedAt = t;
                    ++perchMoves;
                }
            }
            Rect& r = windows.front().rect;
            const int shift = (r.left > 600) ? -240 : 240;
            r.left += shift;
            r.right += shift;
            swarm.setWindows(windows);
            landmarks.set(monitors, windows);
            nextWindowMove += setup.moveWindowEvery;
        }

        bool jumped = false;
        bool hadPointer = pointerShown;
        if (setup.pointer) {
            previousPointer = pointer;
            // The pointer never leaves the desktop.
            pointer = script.at(t, swarm);
            pointer.x = std::min(std::max(pointer.x, desktop.x), desktop.x + desktopSize.x - 1.0);
            pointer.y = std::min(std::max(pointer.y, desktop.y), desktop.y + desktopSize.y - 1.0);
            // Between visits the pointer goes off the screen and comes back at the next
            // start: one reading without it.
            jumped = script.takeJump();
            swarm.setPointer(!jumped, float(pointer.x), float(pointer.y));
            pointerShown = !jumped;
        }
        if (hadPointer) {
            seenPointer = previousPointer;
            pointerSeen = true;
        }

        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const FlyView& v = swarm.flyView(i);
            Tracker& k = trackers[i];
            const Activity a = v.activity;
            const double size = v.size;

            // Time budget, over the time the fly is on the screen and alive.
            if (a != Activity::Away && a != Activity::Squashed) {
                visibleTime += dt;
                if (a == Activity::Resting || a == Activity::Grooming) stillTime += dt;
                if (a == Activity::Grooming) groomTime += dt;
                if (airborne(a)) flyTime += dt;
            }

            // What the Win32 layer would do: an upload when the picture changed (it puts
            // the window in place too), else a move when the rounded position changed.
            if (v.visible) {
                const long wx = std::lround(v.x), wy = std::lround(v.y);
                if (!k.hasPicture || v.pictureKey != k.shownKey) {
                    ++pictures;
                    k.shownKey = v.pictureKey;
                    k.hasPicture = true;
                } else if (!k.wasVisible || wx != k.windowX || wy != k.windowY) {
                    ++moves;
                }
                k.windowX = wx;
                k.windowY = wy;
            }

            // Walking: distance, side/back steps, saccades.
            if (a == Activity::Walking && k.last == Activity::Walking) {
                const double dx = v.x - k.x, dy = v.y - k.y;
                const double step = std::sqrt(dx * dx + dy * dy);
                k.walkDistance += step;
                if (step > 0.01 * size) {
                    const double off = std::fabs(fm::angleDiff(fm::atan2(dy, dx), v.heading));
                    if (off > 1.2 && off < 1.95) k.walkSideways = true;
                    if (off > 2.6) k.walkBackward = true;
                }
                const double dh = fm::angleDiff(v.heading, k.heading);
                allWalkTurning += std::fabs(dh);
                if (std::fabs(dh) > 1e-4) {
                    k.saccadeAngle += dh;
                    ++k.saccadeFrames;
                } else if (k.saccadeFrames > 0) {
                    endSaccade(k);
                    k.saccadeAngle = 0.0;
                    k.saccadeFrames = 0;
                }
            }
            if (a == Activity::Grooming) {
            }

            // Flight frames: speeds, the jump and the legs-down braking (the turns of the
            // path are read from the recorded track).
            if (airborne(a) && v.visible && k.wasVisible && k.inFlight) {
                ++k.airFrames;
                const double dx = v.x - k.x, dy = v.y - k.y;
                const double speed = std::sqrt(dx * dx + dy * dy) / dt / size;
                if (k.fromGround && k.airFrames == 2) {
                    ++jumps;
                    goodJumps += std::hypot(v.x - k.takeOffX, v.y - k.takeOffY) >= 0.5 * size;
                }
                k.speeds.push_back(speed);
                k.lastSpeed = speed;
                if (v.pose.stance == Stance::Landing) k.lastLegsDownAt = t;
            }
            // An escape keeps clear of where the pointer was when the fly took off: never
            // within a body length of it, nor closer than it started.
            if (k.escaping && v.visible) {
                if (std::hypot(v.x - k.escapeFromX, v.y - k.escapeFromY) < std::min(size, k.escapeStartGap) - 0.5) {
                    k.escaping = false;
                    ++escapesTooClose;
                }
            }

            // Bout boundaries.
            if (a != k.last) {
                const double bout = t - k.boutStart;
                if (k.last == Activity::Resting) rests.push_back(bout);
                if (k.last == Activity::Walking && k.saccadeFrames > 0) {
                    endSaccade(k);
                }
                if (k.last == Activity::Walking && k.walkDistance > 0.1 * size) {
                    ++walkRuns;
                    runDurations.push_back(bout);
                    runSpeeds.push_back(k.walkDistance / size / std::max(bout, kFrame));
                    sideOrBackRuns += k.walkSideways || k.walkBackward;
                }
                if (k.last == Activity::Grooming) {
                    groomBouts.push_back(bout);
                    boutsInRange += bout >= 2.0 && bout <= 15.0;
                }
                // Take-off from the ground (or the first arrival).
                if (airborne(a) && !k.inFlight) {
                    k.inFlight = true;
                    k.fromGround = grounded(k.last);
                    k.flightStart = t;
                    k.airFrames = 0;
                    k.takeOffX = k.x;
                    k.takeOffY = k.y;
                    k.speeds.clear();
                    k.lastLegsDownAt = -1.0;
                    if (k.perchMovedAt >= 0.0) {
                        perchLate += t - k.perchMovedAt > 0.2 + kFrame;
                        k.perchMovedAt = -1.0;
                    }
                }
                if (a == Activity::Escaping && k.last != Activity::Escaping) {
                    ++escapes;
                    k.escaping = true;
                    k.escapeFromX = previousPointer.x;
                    k.escapeFromY = previousPointer.y;
                    k.escapeStartGap = std::hypot(k.x - previousPointer.x, k.y - previousPointer.y);
                    if (k.lastThreatAt < 0.0) ++startlesWithoutApproach;
                    if (k.collisionAt >= 0.0) {
                        quickEscapes += t - k.collisionAt <= 2.0 * kFrame + 1e-9;
                        lateEscapes += t - k.collisionAt > 2.0 * kFrame + 1e-9;
                        k.collisionAt = -1.0;
                    }
                }
                if (a == Activity::Away && k.last == Activity::Escaping) ++escapesAway;
                if (a == Activity::Away) k.escaping = false;
                if (a == Activity::Chasing && !k.chasing) {
                    k.chasing = true;
                    k.chaseId = -1;
                    for (std::size_t c = 0; c < chases.size(); ++c) {
                        if (std::fabs(chases[c].start - t) < 1e-9 && chases[c].landed < 2) k.chaseId = int(c);
                    }
                    if (k.chaseId < 0) {
                        chases.push_back({t, 0, {}});
                        k.chaseId = int(chases.size() - 1);
                    }
                }
                // Landing.
                if (grounded(a) && k.inFlight) {
                    k.inFlight = false;
                    ++landings;
                    flightSeconds.push_back(t - k.flightStart);
                    edgeLandings += landmarks.distanceToEdge(v.x, v.y) <= size;
                    cornerLandings += landmarks.distanceToCorner(v.x, v.y) <= 1.5 * size;
                    gentleLandings += k.lastLegsDownAt >= 0.0 && t - k.lastLegsDownAt <= 0.1 &&
                                      k.lastSpeed <= 0.4 * percentile(k.speeds, 0.8);
                    // Cruise: flights long enough to have one (a quarter second in the air).
                    if (k.speeds.size() >= 15) cruises.push_back(percentile(k.speeds, 0.9));
                    k.landedAt = t;
                    k.escaping = false;
                    if (k.chasing && k.chaseId >= 0) {
                        Chase& c = chases[std::size_t(k.chaseId)];
                        if (c.landed < 2) c.spots[c.landed++] = {v.x, v.y};
                        if (c.landed == 2) {
                            ++chasesDone;
                            chasesApart += std::hypot(c.spots[0].x - c.spots[1].x, c.spots[0].y - c.spots[1].y) >= 3.0 * size;
                        }
                    }
                    k.chasing = false;
                }
                if (a == Activity::Grooming && k.landedAt >= 0.0) {
                    groomAfterLanding += t - k.landedAt <= 2.0;
                    k.landedAt = -1.0;
                }
                if (a == Activity::Walking) {
                    k.walkDistance = 0.0;
                    k.walkSideways = k.walkBackward = false;
                    k.saccadeAngle = 0.0;
                    k.saccadeFrames = 0;
                }
                k.boutStart = t;
                k.last = a;
            }
            // Threats: a reading that brings a fast pointer closer (it shows in the next
            // frame's take-offs, so it is looked at after them).
            if (pointerShown && hadPointer && grounded(a)) {
                const double before = std::hypot(v.x - previousPointer.x, v.y - previousPointer.y);
                const double now = std::hypot(v.x - pointer.x, v.y - pointer.y);
                const double closing = (before - now) / dt;
                const bool threat = closing > 0.0 && (now - 0.5 * size) / closing < 0.3;
                // Looming: on a collision course (the pointer's line passes through the
                // body) and faster than any fly walks; a creeping pointer is no threat.
                const double mx = pointer.x - previousPointer.x, my = pointer.y - previousPointer.y;
                const double moved = std::hypot(mx, my);
                const bool collision = threat && closing > 6.0 * size && moved > 0.0 &&
                                       std::fabs(mx * (v.y - pointer.y) - my * (v.x - pointer.x)) / moved < 0.5 * size;
                if (threat && k.lastThreatAt < 0.0) k.lastThreatAt = t;
                if (!threat) k.lastThreatAt = -1.0;
                if (collision && k.collisionAt < 0.0) k.collisionAt = t;
                if (!collision && k.collisionAt >= 0.0 && t - k.collisionAt > 2.0 * kFrame + 1e-9) {
                    ++lateEscapes;  // the threat came and went, and the fly stayed
                    k.collisionAt = -1.0;
                }
                if (!collision && k.collisionAt >= 0.0) k.collisionAt = -1.0;
            }

            k.wasVisible = v.visible;
            k.x = v.x;
            k.y = v.y;
            k.heading = v.heading;

            Frame frame = frameOf(v, t);
            frame.pointerX = float(seenPointer.x);
            frame.pointerY = float(seenPointer.y);
            frame.pointerSeen = pointerSeen;
            tracks[i].frames.push_back(frame);
            if (v.visible) tracks[i].size = v.size;
        }
    }
    texture.add(tracks);
    tracks.clear();
    tracks.shrink_to_fit();
    departure(depart(swarm, t, setup.pointer), monitors, leaving);

    // Flies still sitting on a window that moved, never having left.
    for (const Tracker& k : trackers) perchLate += k.perchMovedAt >= 0.0;
    chaseCount += long(chases.size());
    }

    Report r;
    const int runs = std::max(1, setup.runs);
    const double flySeconds = double(flyCount) * setup.seconds * runs;
    r.stillShare = visibleTime > 0 ? stillTime / visibleTime : 0;
    r.groomShare = visibleTime > 0 ? groomTime / visibleTime : 0;
    r.flyShare = visibleTime > 0 ? flyTime / visibleTime : 0;
    r.restMedian = percentile(rests, 0.5);
    r.restP90 = percentile(rests, 0.9);
    r.restLongest = rests.empty() ? 0.0 : *std::max_element(rests.begin(), rests.end());
    r.edgeLandingShare = share(edgeLandings, landings);
    r.movesPerFlySecond = double(moves) / flySeconds;
    r.picturesPerFlySecond = double(pictures) / flySeconds;
    r.opsPerFlySecond = r.movesPerFlySecond + r.picturesPerFlySecond;
    r.landings = int(landings);
    r.escapes = int(escapes);
    r.startlesWithoutApproach = int(startlesWithoutApproach);
    r.escapesTooClose = int(escapesTooClose);
    r.chases = int(chaseCount);
    r.chasesEndedTogether = chasesDone - chasesApart;
    r.perchMoves = int(perchMoves);
    r.perchLateTakeOffs = int(perchLate);

    auto add = [&r](std::string name, std::string measured, std::string target, bool pass, bool applies = true) {
        r.rows.push_back({std::move(name), std::move(measured), std::move(target), applies, pass});
    };
    const double minutes = setup.seconds * runs / 60.0;
    // Shares and medians of fewer events than this say little: such rows are shown as
    // "too few to judge" (pool runs with Setup::runs to judge them). The time budget and
    // the rests describe undisturbed flies, so a run with the pointer leaves them out.
    constexpr long kFewest = 8;
    const bool undisturbed = !setup.pointer;
    add("Sitting still (resting + grooming)", format("%.1f %%", 100 * r.stillShare), ">= 90 %", r.stillShare >= 0.90, undisturbed);
    add("Grooming", format("%.1f %%", 100 * r.groomShare), "10-20 %", r.groomShare >= 0.10 && r.groomShare <= 0.20, undisturbed);
    add("Flying (on screen)", format("%.2f %%", 100 * r.flyShare), "<= 2 %", r.flyShare <= 0.02, undisturbed);
    add("Rests: median", format("%.1f s", r.restMedian), "2-6 s", r.restMedian >= 2.0 && r.restMedian <= 6.0, undisturbed);
    add("Rests: 90th percentile", format("%.1f s", r.restP90), ">= 20 s", r.restP90 >= 20.0, undisturbed);
    add("Rests: longest", format("%.0f s", r.restLongest), "> 90 s", r.restLongest > 90.0, undisturbed);
    const double runMedian = percentile(runDurations, 0.5), speedMedian = percentile(runSpeeds, 0.5);
    add("Walking runs: median length", format("%.2f s", runMedian), "0.2-1.5 s", runMedian >= 0.2 && runMedian <= 1.5, walkRuns >= kFewest);
    add("Walking speed: median", format("%.1f BL/s", speedMedian), "2-6 BL/s", speedMedian >= 2.0 && speedMedian <= 6.0, walkRuns >= kFewest);
    const double saccadeShare = allWalkTurning > 0 ? saccadeTurning / allWalkTurning : 0.0;
    add("Walking turns in saccades of 15-45 deg within 0.1 s",
        format("%.0f %% of turning (median %.0f deg)", 100 * saccadeShare, percentile(saccadeAngles, 0.5)), ">= 90 %",
        saccadeShare >= 0.9, walkRuns >= kFewest);
    const double sideShare = share(sideOrBackRuns, walkRuns);
    add("Runs that side-step or step back", format("%.1f %%", 100 * sideShare), "2-25 %", sideShare >= 0.02 && sideShare <= 0.25, walkRuns >= 4 * kFewest);
    // Speed pulses with the gait and builds up and dies down at a run's ends.
    const Gait& gait = texture.gait;
    const double gaitVariation = percentile(gait.variation, 0.5);
    add("Walking speed varying within a run: median coefficient of variation",
        format("%.2f over %.0f runs (%.0f %% of frames within +-2 %% of their run's median)", gaitVariation, double(gait.variation.size()),
               100 * share(gait.nearMedian, gait.frames)),
        ">= 0.15", gaitVariation >= 0.15, long(gait.variation.size()) >= kFewest);
    const double inStep = stepsInProportion(gait.stepLengths);
    add("Leg pictures in step with the distance walked",
        format("%.0f %% of %.0f steps within 1.5x of the median (%.2f BL)", 100 * inStep, double(gait.stepLengths.size()),
               percentile(gait.stepLengths, 0.5)),
        ">= 90 %", inStep >= 0.9, long(gait.stepLengths.size()) >= kFewest);
    const double jumpShare = share(goodJumps, jumps);
    add("Take-off jump >= 0.5 BL in two frames", format("%.0f %% of %.0f", 100 * jumpShare, double(jumps)), ">= 95 %", jumpShare >= 0.95,
        jumps >= kFewest);
    // The picture never spins: a body turns by at most a few tens of degrees a frame.
    const HeadingSteps &onGround = texture.groundSteps, &takingOff = texture.takeOffSteps;
    add("Picture turning over 45 deg in one frame, on the ground",
        format("%.2f %% of %.0f frame pairs (largest %.0f deg)", 100 * share(onGround.over, onGround.pairs), double(onGround.pairs),
               onGround.maxDegrees),
        "none", onGround.over == 0, onGround.pairs > 0);
    add("Picture turning over 45 deg in one frame, taking off (first 0.15 s)",
        format("%.1f %% of %.0f frame pairs (largest %.0f deg)", 100 * share(takingOff.over, takingOff.pairs), double(takingOff.pairs),
               takingOff.maxDegrees),
        "none", takingOff.over == 0, takingOff.pairs > 0);
    const TakeOffs& jumpsSeen = texture.takeOffs;
    const double forward = share(jumpsSeen.forward, jumpsSeen.spontaneous);
    add("Spontaneous take-offs forward (within 60 deg of the body)", format("%.0f %% of %.0f", 100 * forward, double(jumpsSeen.spontaneous)),
        ">= 95 %", forward >= 0.95, jumpsSeen.spontaneous >= kFewest);
    const double cruiseMedian = percentile(cruises, 0.5);
    add("Cruise speed: median of flights", format("%.0f BL/s", cruiseMedian), "40-70 BL/s", cruiseMedian >= 40 && cruiseMedian <= 70,
        long(cruises.size()) >= kFewest);
    // A real fly's speed changes all the time; a program's holds one value per flight.
    const Constancy& held = texture.held;
    const double heldShare = share(held.held, held.frames);
    add("Flight speed held: frames within +-2 % of one speed of their flight",
        format("%.0f %% of %.0f frames (%.0f flights)", 100 * heldShare, double(held.frames), double(texture.heldFlights)), "<= 20 %",
        heldShare <= 0.20, texture.heldFlights >= kFewest);
    // The jump takes the fly off the ground within a few hundredths of a second; flight
    // speed then builds up over the next tens of wingbeats: not full speed in the first
    // frame, nor still gathering speed after a third of a second.
    const double toCruise = percentile(texture.toCruise, 0.5);
    add("Take-off to 90 % of cruise speed: median", format("%.2f s (%.0f take-offs)", toCruise, double(texture.toCruise.size())),
        "0.06-0.3 s", toCruise >= 0.06 && toCruise <= 0.3, long(texture.toCruise.size()) >= kFewest);
    std::vector<double> turnAngles, turnSeconds, turnLoss;
    for (const SharpTurn& turn : texture.turns) {
        turnAngles.push_back(turn.degrees);
        turnSeconds.push_back(turn.seconds);
        turnLoss.push_back(turn.loss);
    }
    const double turnMedian = percentile(turnAngles, 0.5), turnTime = percentile(turnSeconds, 0.5) * 1000.0,
                 lossMedian = percentile(turnLoss, 0.5);
    add("Sharp turns in flight: median angle", format("%.0f deg (%.0f turns)", turnMedian, double(turnAngles.size())), "40-140 deg",
        turnMedian >= 40 && turnMedian <= 140, long(turnAngles.size()) >= kFewest);
    add("Sharp turns: median duration", format("%.0f ms", turnTime), "80-160 ms", turnTime >= 80 && turnTime <= 160,
        long(turnAngles.size()) >= kFewest);
    add("Sharp turns: speed lost", format("%.0f %%", 100 * lossMedian), "about 30 % (20-40)", lossMedian >= 0.2 && lossMedian <= 0.4,
        long(turnLoss.size()) >= kFewest);
    long saccades = 0, wide = 0, slow = 0;
    for (const SharpTurn& turn : texture.turns) {
        const bool angleFits = turn.degrees >= 40.0 && turn.degrees <= 140.0;
        const bool timeFits = turn.seconds >= 0.080 - 1e-9 && turn.seconds <= 0.160 + 1e-9;
        saccades += angleFits && timeFits;
        wide += turn.degrees > 140.0;
        slow += turn.seconds > 0.160 + 1e-9;
    }
    const long turnCount = long(texture.turns.size());
    const double saccadeTurns = share(saccades, turnCount);
    add("Sharp turns that are saccades: 40-140 deg in 80-160 ms",
        format("%.0f %% of %.0f (over 140 deg %.0f %%, over 160 ms %.0f %%)", 100 * saccadeTurns, double(turnCount),
               100 * share(wide, turnCount), 100 * share(slow, turnCount)),
        ">= 70 %", saccadeTurns >= 0.7, turnCount >= kFewest);
    // Ranked to the whole point: differences of a fraction of a percent are no variation
    // anyone sees, and a loss that is the same in every turn must not correlate by its noise.
    std::vector<double> lossPoints;
    for (double loss : turnLoss) lossPoints.push_back(std::round(100.0 * loss));
    const double lossFollows = rankCorrelation(turnAngles, lossPoints);
    add("Sharp turns: the sharper, the more speed lost", format("rank correlation %.2f", lossFollows), ">= 0.3", lossFollows >= 0.3,
        turnCount >= kFewest);
    const double lossLow = 100 * percentile(turnLoss, 0.25), lossHigh = 100 * percentile(turnLoss, 0.75);
    add("Sharp turns: spread of the speed lost", format("%.1f points between quartiles (%.0f-%.0f %%)", lossHigh - lossLow, lossLow, lossHigh),
        ">= 5 points", lossHigh - lossLow >= 5.0, turnCount >= kFewest);
    const Turning& rates = texture.turnRates;
    long fastWindows = 0;
    for (double rate : rates.rates) fastWindows += rate > 360.0;
    const long windowCount = long(rates.rates.size());
    const double fastShare = share(fastWindows, windowCount);
    add("Turning over 0.5 s in flight, circling aside: windows over 360 deg/s",
        format("%.1f %% of %.0f (median %.0f deg/s)", 100 * fastShare, double(windowCount), percentile(rates.rates, 0.5)), "0 %",
        fastWindows == 0, windowCount >= kFewest);
    add("Circling round a point (radius >= 3 BL, >= 1 s, a whole turn)",
        format("%.0f times, %.1f s (median %.0f deg/s)", double(rates.circles), rates.circlingSeconds, percentile(rates.circlingRates, 0.5)),
        "shown", true, false);
    const double gentle = share(gentleLandings, landings);
    add("Landings slowing with legs down", format("%.0f %%", 100 * gentle), ">= 95 %", gentle >= 0.95, landings >= kFewest);
    long longFlights = 0, shortFlights = 0;
    for (double s : flightSeconds) {
        longFlights += s > 3.0;
        shortFlights += s < 1.0;
    }
    const double longShare = share(longFlights, long(flightSeconds.size())), shortShare = share(shortFlights, long(flightSeconds.size()));
    add("Flights under 1 s (hops) / over 3 s", format("%.0f %% / %.1f %%", 100 * shortShare, 100 * longShare), "most / >= 5 %",
        shortShare > 0.5 && longShare >= 0.05, long(flightSeconds.size()) >= 4 * kFewest);
    add("Landings within 1 BL of an edge", format("%.0f %% of %.0f", 100 * r.edgeLandingShare, double(landings)), ">= 50 %",
        r.edgeLandingShare >= 0.5, landings >= kFewest);
    // Share of the ground within 1.5 BL of a corner, counted as quarter discs (corners
    // with ground all round count more, so this flatters the baseline a little).
    const double cornerArea = cornerCount * fm::kPi * std::pow(1.5 * setup.size, 2) / 4.0;
    const double cornerBase = groundArea > 0 ? cornerArea / groundArea : 0.0;
    const double cornerShare = share(cornerLandings, landings);
    const double cornerRatio = cornerBase > 0 ? cornerShare / cornerBase : 0.0;
    add("Corner landings vs the corners' share of the ground", format("%.1f %% (%.0fx)", 100 * cornerShare, cornerRatio), ">= 3x",
        cornerRatio >= 3.0, landings >= 4 * kFewest);
    const double boutRange = share(boutsInRange, long(groomBouts.size()));
    add("Grooming bouts 2-15 s", format("%.0f %% (median %.1f s)", 100 * boutRange, percentile(groomBouts, 0.5)), ">= 90 %",
        boutRange >= 0.9, long(groomBouts.size()) >= kFewest);
    // Rubbing is quick and irregular, several strokes a second; bouts differ, and go from
    // the front of the body to the back.
    const Grooming& groomed = texture.bouts;
    const long boutCount = groomed.bouts;
    const double ordered = share(groomed.frontToBack, boutCount);
    add("Bouts go front to back (no head or front legs after wings, abdomen or hind legs)", format("%.0f %%", 100 * ordered), ">= 95 %",
        ordered >= 0.95, boutCount >= kFewest);
    const double strokeRate = percentile(groomed.strokeRates, 0.5);
    add("Grooming strokes per second: median of bouts", format("%.1f (%.0f bouts)", strokeRate, double(boutCount)), ">= 3",
        strokeRate >= 3.0, boutCount >= kFewest);
    const double irregular = percentile(groomed.intervalVariation, 0.5);
    add("Grooming strokes irregular: median coefficient of variation of intervals",
        format("%.2f (%.0f bouts)", irregular, double(groomed.intervalVariation.size())), ">= 0.2", irregular >= 0.2,
        long(groomed.intervalVariation.size()) >= kFewest);
    double usualStroke = 0.0;
    const double multiples = multipleShare(groomed.intervals, groomed.actionLengths, usualStroke);
    add("Grooming actions lasting a whole number of the usual stroke",
        format("%.0f %% of %.0f (stroke %.2f s)", 100 * multiples, double(groomed.actionLengths.size()), usualStroke), "<= 50 %",
        multiples <= 0.5, long(groomed.actionLengths.size()) >= kFewest);
    const double frontRubs = share(groomed.singleFrontLegRub, boutCount), notHead = share(groomed.notHeadFirst, boutCount);
    add("Grooming bouts of a single front-leg rub", format("%.1f %% of %.0f", 100 * frontRubs, double(boutCount)), ">= 5 %",
        frontRubs >= 0.05, boutCount >= 4 * kFewest);
    add("Grooming bouts starting elsewhere than the head", format("%.1f %% of %.0f", 100 * notHead, double(boutCount)), ">= 5 %",
        notHead >= 0.05, boutCount >= 4 * kFewest);
    add("Grooming bouts identical frame for frame (pairs in a run)",
        format("%.0f pairs among %.0f bouts of >= 1 s", double(texture.identicalBouts), double(groomed.signatures.size())), "0",
        texture.identicalBouts == 0, groomed.signatures.size() >= 2);
    const double afterLanding = share(groomAfterLanding, landings);
    add("Landings followed by a grooming bout", format("%.0f %%", 100 * afterLanding), ">= 50 %", afterLanding >= 0.5, landings >= kFewest);
    // Each chase has two flies in it, the chaser and the chased.
    const double chaseRate = flyCount > 0 ? 2.0 * double(chaseCount) / double(flyCount) / (minutes / 5.0) : 0.0;
    add("Chases per fly per 5 min (chasing or chased)", format("%.2f (%.0f chases)", chaseRate, double(chaseCount)), ">= 1",
        chaseRate >= 1.0, flyCount >= 2);
    add("Chases ending with both flies apart", format("%.0f of %.0f", double(chasesApart), double(chasesDone)), "all",
        chasesApart == chasesDone, flyCount >= 2 && chasesDone > 0);
    // Flies keep some distance; a touch makes one of them move. Chance is the same tracks
    // with the others shifted in time: the same favourite places, at unrelated times.
    const Crowding& crowd = texture.crowd;
    const double close = crowd.groundSeconds > 0 ? crowd.closeSeconds / crowd.groundSeconds : 0.0;
    const double chance = crowd.groundSeconds > 0 ? crowd.chanceSeconds / crowd.groundSeconds : 0.0;
    add("Grounded flies under 0.5 BL apart (share of ground time)", format("%.2f %% (chance %.2f %%)", 100 * close, 100 * chance),
        "under half of chance", close == 0.0 || close < 0.5 * chance, flyCount >= 2);
    add("Grounded flies under 0.5 BL apart: longest", format("%.1f s", crowd.longest), "<= 2 s", crowd.longest <= 2.0, flyCount >= 2);
    const double crowdedLandings = share(crowd.crowdedLandings, crowd.landings);
    add("Landings within 1 BL of a fly already there", format("%.1f %% of %.0f", 100 * crowdedLandings, double(crowd.landings)),
        "<= 2 %", crowdedLandings <= 0.02, flyCount >= 2 && crowd.landings >= kFewest);
    const double onto = share(crowd.walkOnto, crowd.walkFrames);
    add("Walking frames within 0.5 BL of a grounded fly", format("%.2f %% of %.0f", 100 * onto, double(crowd.walkFrames)),
        "0 or close (<= 1 %)", onto <= 0.01, flyCount >= 2 && crowd.walkFrames > 0);
    add("Startles without an approaching pointer", format("%.0f of %.0f escapes", double(startlesWithoutApproach), double(escapes)), "0",
        startlesWithoutApproach == 0, setup.pointer);
    const double quick = share(quickEscapes, quickEscapes + lateEscapes);
    add("Take-off within 2 frames of a pointer on a collision course", format("%.0f %% of %.0f", 100 * quick, double(quickEscapes + lateEscapes)),
        ">= 95 %", quick >= 0.95, setup.pointer && quickEscapes + lateEscapes > 0);
    add("Escapes coming within 1 BL of where the pointer was", format("%.0f", double(escapesTooClose)), "0", escapesTooClose == 0,
        setup.pointer && escapes > 0);
    const double awayShare = share(escapesAway, escapes);
    add("Escapes off the screen (coming back later)", format("%.0f %%", 100 * awayShare), ">= 10 %", awayShare >= 0.1,
        setup.pointer && escapes > 0);
    const double awayJumps = share(jumpsSeen.away, jumpsSeen.escapes);
    add("Escape jumps away from the pointer (within 90 deg)", format("%.0f %% of %.0f", 100 * awayJumps, double(jumpsSeen.escapes)),
        ">= 95 %", awayJumps >= 0.95, setup.pointer && jumpsSeen.escapes >= kFewest);
    add("Perch moved: took off within 0.2 s", format("%.0f of %.0f", double(perchMoves - perchLate), double(perchMoves)), "all",
        perchLate == 0, perchMoves > 0);
    add("Window moves + picture changes per fly per second",
        format("%.2f (%.2f + %.2f)", r.opsPerFlySecond, r.movesPerFlySecond, r.picturesPerFlySecond), "<= 3",
        r.opsPerFlySecond <= 3.0);

    // Leaving, after the measured time of every run: each fly at its own moment, soon,
    // seen in flight, across the nearest edge.
    const double slowest = leaving.takeOffDelays.empty() ? 0.0 : *std::max_element(leaving.takeOffDelays.begin(), leaving.takeOffDelays.end());
    const bool allOff = std::find_if(leaving.takeOffDelays.begin(), leaving.takeOffDelays.end(), [](double d) { return d < 0.0; }) ==
                        leaving.takeOffDelays.end();
    add("Departure: grounded flies taking off after the request",
        allOff ? format("%.2f s at the latest (%.0f flies)", slowest, double(leaving.groundedFlies))
               : format("some never did (%.0f flies)", double(leaving.groundedFlies)),
        "<= 0.6 s", allOff && slowest <= 0.6 + 1e-9, leaving.groundedFlies > 0);
    add("Departure: take-offs each at its own moment",
        format("%.0f distinct frames for %.0f flies", double(leaving.distinctTakeOffFrames), double(leaving.groundedFlies)),
        "over half the flies (of 36 frames)", 2 * leaving.distinctTakeOffFrames > leaving.framesInReach,
        flyCount >= 2 && leaving.groundedFlies >= 2 * runs);
    add("Departure: every fly seen flying before it goes", format("%.0f of %.0f", double(leaving.seenFlying), double(leaving.leavers)), "all",
        leaving.seenFlying == leaving.leavers, leaving.leavers > 0);
    const double nearestEdge = share(leaving.nearestEdge, leaving.leavers);
    add("Departure: leaving across the screen edge nearest to the take-off",
        format("%.0f %% of %.0f", 100 * nearestEdge, double(leaving.leavers)), ">= 90 %", nearestEdge >= 0.9, leaving.leavers >= kFewest);
    add("Departure: last fly gone", leaving.allGone ? format("%.2f s after the request", leaving.lastGone) : std::string("not within 5 s"),
        "<= 2 s", leaving.allGone && leaving.lastGone <= 2.0, leaving.leavers > 0);

    if (setup.launcherDefault) {
        const LauncherRuns launcher = launcherDefault(setup.seed);
        r.rows.insert(r.rows.end(), launcher.rows.begin(), launcher.rows.end());
    }
    return r;
}

LauncherRuns launcherDefault(std::uint64_t seed, int runs) {
    constexpr int kTimeout = 15;
    constexpr double kFollow = 20.0;  // seconds: long enough to see a late fly go
    LauncherRuns out;
    out.runs = std::max(1, runs);
    for (int run = 0; run < out.runs; ++run) {
        Options options;  // the launcher's defaults: one fly of 36 px for 15 s
        options.count = 1;
        options.sizePixels = 36;
        options.timeoutSeconds = kTimeout;
        Swarm swarm(options, seed + std::uint64_t(run), {defaultMonitor()});
        std::vector<Track> track(1);
        double t = 0.0;
        while (!swarm.done() && t < kFollow - 1e-9) {
            const double dt = nextStep(swarm, false, kFollow - t);
            swarm.advance(dt);
            t += dt;
            record(swarm, t, track);
        }
        out.complete += showsItsWays(track.front(), kTimeout);
        if (swarm.done()) out.latestGone = std::max(out.latestGone, t);
        out.allGone = out.allGone && swarm.done();
    }
    const double complete = share(out.complete, out.runs);
    out.rows.push_back({"Launcher's default (1 fly, 36 px, 15 s): lands, walks, grooms and flies again before leaving",
                        format("%.0f %% of %.0f runs", 100 * complete, double(out.runs)), ">= 95 %", true, complete >= 0.95});
    out.rows.push_back({"Launcher's default: gone", out.allGone ? format("%.1f s at the latest", out.latestGone) : std::string("not within 20 s"),
                        "<= 17 s", true, out.allGone && out.latestGone <= 17.0});
    return out;
}

std::string table(const Report& report) {
    std::string out = "| behaviour | measured | target | |\n|---|---|---|---|\n";
    for (const Row& r : report.rows) {
        out += "| " + r.name + " | " + (r.applies ? r.measured : r.measured + " (not judged)") + " | " + r.target + " | " +
               (!r.applies ? "-" : r.pass ? "\xE2\x9C\x94" : "\xE2\x9C\x97") + " |\n";
    }
    return out;
}

}  // namespace gnatter::ethogram
