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

struct WalkState {
    Gait gait = Gait::Forward;
    double speed = 0.0;    // body lengths per second along the gait's direction
    double side = 1.0;     // side-steps: +1 to the fly's right, -1 to its left
    double legPhase = 0.0; // in leg frames
    // The current or next saccade: the heading turns from `from` by `by` radians over
    // [start, start + steps).
    std::int64_t saccadeStart = 0, saccadeSteps = 1;
    double from = 0.0, by = 0.0;
};

struct GroomState {
    Groom actions[8] = {};
    int count = 0;
    int index = 0;
    std::int64_t actionEnd[8] = {};
    std::int64_t start = 0;
};

struct FlightState {
    FlightKind kind = FlightKind::Hop;
    std::vector<Point> waypoints;  // the last one is where it lands (or leaves the screen)
    std::size_t next = 0;
    std::int64_t start = 0;        // step it sets off (an arrival may wait off-screen)
    std::int64_t deadline = 0;     // step by which it must be down, whatever happened
    double cruise = 0.0;           // pixels per second
    double speed = 0.0;            // pixels per second now
    double turnRate = 0.0;         // radians per second of the sharp turn in progress
    bool turning = false;
    bool fromGround = false;       // began with a jump off the ground
    std::int64_t tookOff = 0;      // step of the jump
    bool legsDown = false;
    bool escaping = false;         // fleeing the pointer         // on the final approach, legs reaching for the ground
    double peak = 0.5;             // cruising altitude, body lengths
    int chasing = -1;              // a chaser: the fly it follows
    std::int64_t chaseEnd = 0;
    std::int64_t awayUntil = 0;    // a trip off the screen: when it comes back
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
    bool groomNext = false;       // a bout follows the settling rest after a landing
    std::int64_t squashedAt = 0;

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
double restSeconds(Fly& f);
void decide(Habitat& h, Fly& f);
void stepWalk(Habitat& h, Fly& f);
void noteLanded(Habitat& h, Fly& f);
void updatePerch(Habitat& h, Fly& f);

// ---- grooming.cpp ----
void startGrooming(Habitat& h, Fly& f);
void stepGrooming(Habitat& h, Fly& f);
Groom groomingAction(const Fly& f, std::int64_t now);
int groomingFrame(const Fly& f, std::int64_t now);
std::int64_t groomingStillSteps(const Fly& f, std::int64_t now);

// ---- flight.cpp ----
// A spot to land on near (x, y) within `reach` pixels, edges and corners preferred.
Point landingSpot(Habitat& h, Fly& f, double x, double y, double reach);
void takeOff(Habitat& h, Fly& f, FlightKind kind, const std::vector<Point>& waypoints);
std::vector<Point> pathTo(Habitat& h, Fly& f, Point from, Point to);
// A point out of sight straight along the course from the fly.
Point exitAlong(const Habitat& h, const Fly& f, double course);
void hop(Habitat& h, Fly& f);
void longFlight(Habitat& h, Fly& f);
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
Point chaseTarget(const Habitat& h, const Fly& f);
void endChase(Habitat& h, Fly& f);

}  // namespace gnatter
