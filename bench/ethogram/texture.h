// The texture of motion: how speed, turning, stepping and rubbing vary from frame to
// frame and from one bout to the next. Medians hide a fly that moves like a program (one
// speed held, then exactly the same fraction of it in every turn; strokes on a metronome;
// bouts copied frame for frame); distributions show it. Each measure here is a pure
// function over what a tracker recorded of a fly, one Frame per advance taken from its
// FlyView alone, so that it can be checked on synthetic tracks as well as run on the swarm.
#pragma once

#include "swarm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gnatter::ethogram {

constexpr double kFrameSeconds = 1.0 / 60.0;

bool grounded(Activity a);
bool airborne(Activity a);
double percentile(std::vector<double> values, double p);  // p in [0, 1]; 0 when empty

// What one fly showed after one advance.
struct Frame {
    double t = 0.0;          // seconds since the run began
    float x = 0.0f, y = 0.0f;
    float heading = 0.0f;    // FlyView::heading: where the body points (in flight: the course)
    float drawn = 0.0f;      // where the picture points: the held picture heading, when held
    // The last pointer reading before this frame's advance, what a startled fly reacted to.
    float pointerX = 0.0f, pointerY = 0.0f;
    bool pointerSeen = false;
    Activity activity = Activity::Away;
    bool visible = false;
    std::uint8_t walkFrame = 0;
    Groom groom = Groom::Head;
    std::uint8_t groomFrame = 0;
};

Frame frameOf(const FlyView& v, double t);

struct Track {
    double size = 36.0;  // body length in pixels
    std::vector<Frame> frames;
};

// ---- flights ----------------------------------------------------------------------------

// From the first frame in the air to the landing, or to the end of the track; time off
// the screen in between belongs to the flight (a fly that leaves may come back).
struct Flight {
    std::size_t begin = 0, end = 0;  // frames [begin, end); `end` is the landing frame
    bool fromGround = false;         // the frame before `begin` was on the ground
    bool landed = false;
};
std::vector<Flight> flights(const Track& track);

// Speeds (body lengths a second) between consecutive visible frames in the air, from the
// second frame of the flight on: the jump's first frame starts from the ground.
struct Speed {
    std::size_t frame = 0;
    double bls = 0.0;
};
std::vector<Speed> flightSpeeds(const Track& track, const Flight& flight);

// Per flight, the speed s that gathers the most frames within +-tolerance of s: how many
// frames that is, of how many.
struct Constancy {
    long held = 0, frames = 0;
};
Constancy speedConstancy(const std::vector<Speed>& speeds, double tolerance = 0.02);

// The cruise of a flight with at least a quarter second of speeds: its 90th percentile.
constexpr std::size_t kCruiseSpeeds = 15;
double cruise(const std::vector<Speed>& speeds);
// Seconds from the last frame on the ground to the first frame at 90 % of the cruise;
// negative for flights that did not start from the ground or are too short to cruise.
double secondsToCruise(const Track& track, const Flight& flight, const std::vector<Speed>& speeds);

// A sharp turn: consecutive frames whose direction of travel changes by more than 5 deg
// a frame, 30 deg or more in all; the speed lost is against the fastest of the three
// frames before it.
struct SharpTurn {
    double degrees = 0.0, seconds = 0.0, loss = 0.0;
};
std::vector<SharpTurn> sharpTurns(const Track& track, const Flight& flight);
// Spearman's rank correlation (ties share their mean rank); 0 when either side is flat.
double rankCorrelation(const std::vector<double>& a, const std::vector<double>& b);

// Circling: the path goes round one point at a radius of at least 3 BL for a second or
// more, a whole turn at least. Every second-long window of it fits a circle with every
// frame within a fifth of the radius and goes round the centre one way; a tight loop, a
// wiggle or a gentle curve does not.
struct Stretch {
    std::size_t begin = 0, end = 0;  // frames [begin, end)
};
std::vector<Stretch> circling(const Track& track, std::size_t begin, std::size_t end);

// The turning rate over every half second of on-screen flight (sliding by a frame): the
// sum of |direction change| over the window, per second, in deg/s; windows that touch a
// circling stretch are kept apart.
struct Turning {
    std::vector<double> rates, circlingRates;
    int circles = 0;
    double circlingSeconds = 0.0;
};
void turning(const Track& track, const Flight& flight, Turning& out);

// ---- the picture's heading ----------------------------------------------------------------

struct HeadingSteps {
    long pairs = 0, over = 0;  // frame pairs, and those turning the picture by more than 45 deg
    double maxDegrees = 0.0;
};
// Between consecutive frames on the ground, and from the last frame on the ground through
// the first 0.15 s in the air.
void headingSteps(const Track& track, HeadingSteps& ground, HeadingSteps& takeOff);

// Where the jump goes: a spontaneous take-off along the body (within 60 deg of where the
// picture pointed on the ground), an escape away from the pointer.
struct TakeOffs {
    long spontaneous = 0, forward = 0;
    long escapes = 0, away = 0;
};
void takeOffDirections(const Track& track, TakeOffs& out);

// ---- walking -------------------------------------------------------------------------------

struct Gait {
    std::vector<double> variation;  // per run with >= 6 moving frames: speed's coefficient of variation
    long frames = 0, nearMedian = 0;  // moving frames, and those within +-2 % of their run's median
    // Body lengths the feet travelled between successive changes of the leg picture: the
    // path, plus the turn times half a body length (a fly turning on the spot steps too).
    std::vector<double> stepLengths;
};
void walkingGait(const Track& track, Gait& out);
// Share of step lengths within a factor 1.5 of their median.
double stepsInProportion(const std::vector<double>& stepLengths);

// ---- grooming ------------------------------------------------------------------------------

// A bout as the picture shows it, frame for frame: (groom, groomFrame, frames held) runs.
using BoutSignature = std::vector<std::uint32_t>;

struct Grooming {
    long bouts = 0, singleFrontLegRub = 0, notHeadFirst = 0, frontToBack = 0;
    std::vector<double> strokeRates;        // strokes per second, per bout
    std::vector<double> intervalVariation;  // per bout with >= 3 intervals
    std::vector<double> intervals;          // seconds between strokes, every bout
    std::vector<double> actionLengths;      // seconds between changes of the action
    std::vector<BoutSignature> signatures;  // bouts of a second or more
};
// Finished bouts only. A stroke is a change of the action or of its frame within a bout.
void grooming(const Track& track, Grooming& out);
// Share of action lengths that are a whole multiple (to the frame) of the most common
// interval between strokes; that interval in seconds goes to `step`.
double multipleShare(const std::vector<double>& intervals, const std::vector<double>& actionLengths, double& step);
// Pairs of equal signatures.
long identicalPairs(std::vector<BoutSignature> signatures);

// ---- flies among flies ---------------------------------------------------------------------

struct Crowding {
    double groundSeconds = 0.0;  // fly-seconds on the ground
    double closeSeconds = 0.0;   // of which with another grounded fly under 0.5 BL away
    double chanceSeconds = 0.0;  // the same with the other tracks shifted in time (mean of shifts)
    double longest = 0.0;        // longest time one pair stayed that close
    long landings = 0, crowdedLandings = 0;  // landings within 1 BL of a fly already there
    long walkFrames = 0, walkOnto = 0;       // walking frames within 0.5 BL of a grounded fly
};
// Tracks of one run, frame for frame aligned. Sampled every `sample` seconds.
void crowding(const std::vector<Track>& tracks, Crowding& out, double sample = 0.1);

// ---- leaving -------------------------------------------------------------------------------

struct Departure {
    std::vector<double> takeOffDelays;  // grounded flies: request to take-off; < 0 never
    long groundedFlies = 0, distinctTakeOffFrames = 0, framesInReach = 0;
    long leavers = 0, seenFlying = 0, nearestEdge = 0;
    double lastGone = 0.0;  // seconds from the request until the last fly was gone
    bool allGone = true;    // false when a fly was still there when the record ended
};
// Tracks starting with the frame at the request. A fly on the ground must take off, be
// seen in flight and leave across the outer monitor edge nearest to where it took off.
void departure(const std::vector<Track>& tracks, const std::vector<Monitor>& monitors, Departure& out);

// The launcher's default run of one fly: before the timeout it lands, walks, grooms and
// takes off again from the ground.
bool showsItsWays(const Track& track, double timeoutSeconds);

}  // namespace gnatter::ethogram
