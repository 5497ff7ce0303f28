// The flies' world: a fixed-step simulation of every fly on the desktop. Platform-free:
// the Win32 layer feeds it elapsed time, the monitors' work areas and the pointer, and
// draws what flyView() reports. Same seed + same inputs + same calls = same flies, on
// every platform and compiler (own generator, no std::rand or std distributions).
#pragma once

#include "options.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace gnatter {

// Half-open rectangle in virtual-screen pixels: left <= x < right, top <= y < bottom.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct Monitor {
    Rect workArea;       // where flies may walk and land (the taskbar excluded)
    Rect bounds;         // the whole monitor; flies arrive and leave across its edges
    float scale = 1.0f;  // DPI / 96: a fly on this monitor is drawn scale times larger
};

// What the picture of a fly depends on, apart from its size and heading.
struct Pose {
    std::uint8_t walkFrame = 0;   // 0..kWalkFrames-1, legs in their stepping phases (moot
                                  // while grooming or with wings blurred)
    std::uint8_t groomFrame = 0;  // 0 = not grooming, 1..kGroomFrames = leg-rubbing frames
    bool wingsBlurred = false;    // in flight: wings drawn as a blur
    float altitude = 0.0f;        // 0 on the ground; in flight the shadow's offset in pixels,
                                  // never more than the fly's size
    // When set, the picture faces `heading` rather than FlyView::heading: the swarm holds a
    // walking or flying fly's picture still between leg steps and wing beats while its
    // course bends smoothly, so the picture changes a few times a second, not every frame.
    bool headingHeld = false;
    float heading = 0.0f;         // radians, as FlyView::heading
};

constexpr int kWalkFrames = 4;
constexpr int kGroomFrames = 4;

struct FlyView {
    float x = 0.0f, y = 0.0f;  // centre of the fly's body (in flight: of the fly, not the shadow)
    float heading = 0.0f;      // radians; 0 faces right (+x), grows clockwise (screen y is down)
    float size = 0.0f;         // body length in pixels, monitor scale included
    Pose pose;
    bool visible = false;         // false once gone, or while hidden by the caller
    bool pictureChanged = false;  // pictureKey changed during the last advance() (true at first)
    std::uint32_t pictureKey = 0; // equal keys <=> identical pictures (for caching)
};

// The picture key of a fly of this size, heading and pose, as FlyView::pictureKey holds
// it: size counts in quarter pixels (up to 1023 px), heading in 128 directions (64 below
// 32 px), altitude in 1/32nds of the size; renderFly draws exactly what the key says.
std::uint32_t pictureKeyFor(float size, float heading, const Pose& pose);

// The seed to give Swarm: --seed when given, else one drawn from `entropy` (a clock, a
// process id; anything that differs from run to run).
std::uint64_t chooseSeed(const Options& options, std::uint64_t entropy);

class Swarm {
public:
    // Flies start outside the monitors and fly in. `seed` fixes every random choice.
    Swarm(const Options& options, std::uint64_t seed, std::vector<Monitor> monitors);
    ~Swarm();
    Swarm(const Swarm&) = delete;
    Swarm& operator=(const Swarm&) = delete;

    // Monitors may change at any time; flies outside the new set fly back in.
    void setMonitors(std::vector<Monitor> monitors);
    // Pointer position in virtual-screen pixels, or none (e.g. unknown / off-screen).
    void setPointer(bool present, float x, float y);
    // Every fly takes off and leaves across the nearest screen edge (timeout, --stop, menu).
    void requestDeparture();

    // Advances the world by real elapsed seconds: clamped to a quarter second (a stall does
    // not teleport flies), then consumed in fixed steps of kStepSeconds. While allResting(),
    // the quiet time up to restingSecondsLeft() is skipped whole first, since nothing moves
    // in it: a caller that slept may pass the full time it slept. Returns the steps taken.
    int advance(double elapsedSeconds);

    static constexpr double kStepSeconds = 1.0 / 120.0;

    // True once departure was requested (or the timeout passed) and every fly has gone.
    bool done() const;
    // True while no fly moves or changes its picture: the caller may stop its clock until
    // restingSecondsLeft() passes or the pointer / monitors change.
    bool allResting() const;
    // Seconds until the next scheduled change while allResting(), else 0; an hour when
    // nothing at all is due (every fly gone).
    double restingSecondsLeft() const;

    std::size_t flyCount() const;
    const FlyView& flyView(std::size_t index) const;

    // Fold of every fly's state, for determinism tests.
    std::uint64_t stateHash() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gnatter
