// Inside the swarm: the state of one fly and of the world the flies share, and the
// behaviours that act on them, each in its own file (ground.cpp, grooming.cpp,
// flight.cpp, escape.cpp, chase.cpp) with swarm.cpp as the scheduler. Not part of the
// core's public interface.
#pragma once

#include "behaviour_tuning.h"
#include "fly_math.h"
#include "landmarks.h"
#include "options.h"
#include "picture.h"
#include "swarm.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace gnatter {

constexpr double kDt = Swarm::kStepSeconds;

inline std::int64_t stepsFor(double seconds) {
    return std::max<std::int64_t>(1, std::llround(seconds / kDt));
}

inline double distance(double ax, double ay, double bx, double by) {
    return std::sqrt((ax - bx) * (ax - bx) + (ay - by) * (ay - by));
}

// A fly's usual cruising speed in pixels a second, for planning how long a path takes.
inline double typicalCruise(double size) {
    return std::max(0.5 * (tuning::kCruiseMin + tuning::kCruiseMax) * size, tuning::kCruiseMinPixels);
}

enum class Mode : std::uint8_t { Waiting, Resting, Grooming, Walking, Flying, Away, Squashed, Gone };
enum class Gait : std::uint8_t { Forward, Sideways, Backward, Pivot };
enum class FlightKind : std::uint8_t { Arrive, Hop, Circle, Excursion, Escape, Chase, Return, Leave };

// What a fly new to the screen still means to do before it settles.
constexpr std::uint8_t kExploreWalk = 1, kExploreGroom = 2, kExploreHop = 4;

struct WalkState {
    Gait gait = Gait::Forward;
    double speed = 0.0;    // body lengths per second along the gait's direction, at full stride
    double side = 1.0;     // side-steps: +1 to the fly's right, -1 to its left
    double legPhase = 0.0; // in leg frames; the speed pulses with it, a beat per tripod step
    double pulse = 0.0;    // how deeply the speed dips between two tripod steps (share)
    // The run speeds up over [runStart, runStart + rampIn) and slows down over the last
    // rampOut steps before Fly::until.
    std::int64_t runStart = 0, rampIn = 1, rampOut = 1;
    // The current or next saccade: the heading turns from `from` by `by` radians over
    // [start, start + steps).
    std::int64_t saccadeStart = 0, saccadeSteps = 1;
    double from = 0.0, by = 0.0;
};

struct GroomState {
    static constexpr int kMaxActions = 8;
    Groom actions[kMaxActions] = {};
    int count = 0;
    int index = 0;
    std::int64_t actionEnd[kMaxActions] = {};
    std::int64_t start = 0;
    // Strokes: the legs change between their two positions at nextStroke, at an
    // irregular few times a second.
    int frame = 0;
    std::int64_t nextStroke = 0;
};

// A sharp turn in flight: the course swings by `by` radians over `steps` steps, and the
// speed dips by up to `loss` of what it was as the turn began.
struct Saccade {
    std::int64_t start = 0, steps = 1;
    double from = 0.0, by = 0.0, loss = 0.0;
};

struct FlightState {
    FlightKind kind = FlightKind::Hop;
    std::vector<Point> waypoints;  // the last one is where it lands (or leaves the screen)
    std::size_t next = 0;
    std::int64_t start = 0;        // step it sets off (an arrival may wait off-screen)
    std::int64_t deadline = 0;     // step by which it must be down, whatever happened
    double cruise = 0.0;           // pixels per second: this flight's usual speed
    double speed = 0.0;            // pixels per second now, before any dip of a turn
    double course = 0.0;           // direction of travel; the body's heading follows it
    double closest = 0.0;          // nearest it came to its landing spot so far
    bool gaveUp = false;           // running late, it chose a spot just ahead instead
    double brakeTo = 0.0;          // > 0: slowing to this speed for a turn close to landing
    // The share of cruise the fly is making for drifts from `urgeFrom` at urgeSince to
    // `urgeTo` at urgeUntil, then on to another: the speed never settles.
    double urgeFrom = 1.0, urgeTo = 1.0;
    std::int64_t urgeSince = 0, urgeUntil = 0;
    bool turning = false;
    Saccade turn;
    std::int64_t steadyUntil = 0;  // no sharp turn before this step (the jump, a straight leg)
    // How far the course turned in each of the last kTurnMemory steps: sharp turns are
    // spaced so that no half second holds more than a U-turn's worth.
    static constexpr int kTurnMemory = 60;
    float turned[kTurnMemory] = {};
    int turnedAt = 0;
    bool fromGround = false;       // began with a jump off the ground
    std::int64_t tookOff = 0;      // step of the jump
    bool legsDown = false;         // on the final approach, legs reaching for the ground
    bool escaping = false;         // fleeing the pointer
    double peak = 0.5;             // cruising altitude, body lengths
    int chasing = -1;              // a chaser: the fly whose track it follows
    int partner = -1;              // either fly of a chase: the other one ...
    bool partnerDown = false;      // ... and, once it has come down, where
    Point partnerSpot;
    std::int64_t chaseEnd = 0;
    std::int64_t awayUntil = 0;    // a trip off the screen: when it comes back
    // Circling a point, as flies do under a lamp: round `centre` at about `radius`,
    // clockwise when sense > 0, until circleUntil.
    bool circling = false;
    Point centre;
    double radius = 0.0, sense = 1.0;
    std::int64_t circleUntil = 0;
};

struct Fly {
    fm::Rng rng;
    double baseSize = 36.0;  // body length before monitor scale
    double x = 0.0, y = 0.0, heading = 0.0;
    float scale = 1.0f;
    Mode mode = Mode::Waiting;
    std::int64_t until = 0;       // step at which the current rest / bout / squash ends
    double altitude = 0.0;        // body lengths
    std::uint64_t perch = 0;      // window it sits on (0: the bare desktop)
    Rect perchRect;
    std::int64_t perchLostAt = -1;  // step at which it leaves a perch that moved
    std::int64_t chaseDueAt = 0;    // step from which it will chase the next fly it can
    std::int64_t squashedAt = 0;
    // Personal space: a fly that ended up too close to another moves off at this step.
    std::int64_t moveOnAt = -1;
    // Departure: a fly on the ground takes off for good at this step.
    std::int64_t leaveAt = -1;
    // A fly new to the screen looks round for a while: walks, grooms and hops to another
    // spot between short rests, before it settles into long ones. `agenda` holds what it
    // has yet to do (kExplore* bits); `settled` is set with its first rest after that.
    std::int64_t exploreUntil = -1;
    std::uint8_t agenda = 0;
    bool arrivedOnce = false;
    bool settled = false;

    WalkState walk;
    GroomState groom;
    FlightState flight;

    // What the picture shows while walking or flying, refreshed on leg frames and turns.
    double pictureHeading = 0.0, pictureAltitude = 0.0;
    bool pictureDue = true;
    FlyView view;
    std::uint64_t keyBefore = 0;

    double drawnSize() const { return std::min(baseSize * double(scale), double(kMaxDrawnSize)); }
    bool grounded() const {
        return mode == Mode::Resting || mode == Mode::Grooming || mode == Mode::Walking;
    }
};

// The world every fly lives in, and the scheduler's clock.
struct Habitat {
    Options options;
    World world;
    Landmarks landmarks;
    std::vector<Monitor> monitors;
    std::vector<WindowBox> windows;
    std::vector<Fly> flies;
    std::int64_t now = 0;
    bool departing = false;

    // The pointer: the last reading, the one before, and when each was taken.
    bool pointerPresent = false;
    double pointerX = 0.0, pointerY = 0.0;
    double pointerVX = 0.0, pointerVY = 0.0;  // pixels per second between the last two readings
    std::int64_t pointerAt = -1;

    // The fly's body length on the monitor that draws it largest.
    double largestSize(const Fly& f) const;
    // Half the side of the square a fly's body needs on the ground, on any monitor.
    double standHalf(const Fly& f) const;
    // How far a fly's picture may reach from its centre, shadow included.
    double sightReach(const Fly& f) const;
};

// ---- ground.cpp ----
void rest(Habitat& h, Fly& f, double seconds);
double restSeconds(const Habitat& h, Fly& f);
void decide(Habitat& h, Fly& f);
void stepWalk(Habitat& h, Fly& f);
// A fly too close to another walks or hops off.
void moveOn(Habitat& h, Fly& f);
void noteLanded(Habitat& h, Fly& f);
void updatePerch(Habitat& h, Fly& f);

// ---- grooming.cpp ----
// A bout of `seconds`, or of a usual length when 0.
void startGrooming(Habitat& h, Fly& f, double seconds = 0.0);
void stepGrooming(Habitat& h, Fly& f);
Groom groomingAction(const Fly& f);
int groomingFrame(const Fly& f);
std::int64_t groomingStillSteps(const Fly& f, std::int64_t now);

// ---- flight.cpp ----
// The way a fly jumps when nothing startled it: along its body axis, leaning toward `goal`.
double forwardJumpToward(Fly& f, Point goal);
// True when another fly sits (or is about to land) within `share` body lengths of p.
bool crowded(const Habitat& h, const Fly& f, Point p, double share);
// p, or where p is taken by another fly, a free spot close by.
Point clearSpot(Habitat& h, Fly& f, Point p);
// A spot to land on near (x, y) within `reach` pixels, edges and corners preferred, a body
// length clear of other flies; with `facing`, one within `cone` radians of that
// direction, seen from (x, y), where it can.
Point landingSpot(Habitat& h, Fly& f, double x, double y, double reach, const double* facing, double cone = 1.75);
// Sets off along `waypoints`. A fly on the ground jumps along `jump` (radians) first; one
// already in the air keeps its course.
void takeOff(Habitat& h, Fly& f, FlightKind kind, const std::vector<Point>& waypoints, double jump);
// The way from `from`, setting off along `course`, to `to`: straight, or a dogleg.
std::vector<Point> pathTo(Habitat& h, Fly& f, Point from, double course, Point to);
// A point out of sight straight along the course from the fly.
Point exitAlong(const Habitat& h, const Fly& f, double course);
void hop(Habitat& h, Fly& f);
void hopTo(Habitat& h, Fly& f, Point spot);
void longFlight(Habitat& h, Fly& f);
// Where the other fly of f's chase comes down: the spot it landed on, the end of its
// flight, or where it stands. f must have a partner.
Point partnerComesDown(const Habitat& h, const Fly& f);
void arrive(Habitat& h, Fly& f, double delaySeconds);
void leave(Habitat& h, Fly& f);
void returnToGround(Habitat& h, Fly& f);
void stepFlight(Habitat& h, Fly& f);
void stepAway(Habitat& h, Fly& f);
bool flightOnScreen(const Habitat& h, const Fly& f);

// ---- escape.cpp ----
bool threatened(const Habitat& h, const Fly& f);
void escape(Habitat& h, Fly& f);

// ---- chase.cpp ----
bool startChase(Habitat& h, std::size_t chaser);
void endChase(Habitat& h, Fly& f);

}  // namespace gnatter
