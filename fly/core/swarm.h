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

inline bool operator==(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const Rect& a, const Rect& b) { return !(a == b); }

// A visible top-level window of another program, as the flies see it: something to
// land on whose edges they like. `id` names the window for as long as it exists.
struct WindowBox {
    Rect rect;
    std::uint64_t id = 0;
};

struct Monitor {
    Rect workArea;       // where flies may walk and land (the taskbar excluded)
    Rect bounds;         // the whole monitor; flies arrive and leave across its edges
    float scale = 1.0f;  // DPI / 96: a fly on this monitor is drawn scale times larger
};

// What the fly's legs and wings are doing, as far as its picture shows it.
enum class Stance : std::uint8_t {
    Standing,  // legs in walkFrame's stepping phase, wings folded over the back
    Grooming,  // legs busy with `groom`, in groomFrame
    Jumping,   // take-off: legs stretched down and back, wings opening into the beat
    Flying,    // legs tucked, wings beating (a blur)
    Landing,   // legs reaching forward and down, wings beating
    Squashed,  // swatted flat; `fade` says how far the picture has faded
};

// The grooming sequence of a house fly, in the order a bout goes through it.
enum class Groom : std::uint8_t {
    Head,       // both front legs drawn over the head and eyes
    FrontLegs,  // front legs rubbed together in front of the head
    Wings,      // hind legs sweeping over the wings
    Abdomen,    // hind legs rubbing the sides and tip of the abdomen
    HindLegs,   // hind legs rubbed together behind the abdomen
};

constexpr int kWalkFrames = 4;
constexpr int kGroomActions = 5;
constexpr int kGroomFrames = 2;      // frames per grooming action, alternating
constexpr int kSquashFadeSteps = 8;  // fade levels of a squashed fly, 0 = fresh

// What the picture of a fly depends on, apart from its size and heading.
struct Pose {
    Stance stance = Stance::Standing;
    std::uint8_t walkFrame = 0;   // Standing: 0..kWalkFrames-1, legs in their stepping phases
    Groom groom = Groom::Head;    // Grooming: what the legs are doing
    std::uint8_t groomFrame = 0;  // Grooming: 0..kGroomFrames-1
    bool motionBlur = false;      // Flying fast: wings and body streaked along the heading
    std::uint8_t fade = 0;        // Squashed: 0..kSquashFadeSteps-1
    float altitude = 0.0f;        // 0 on the ground; in the air the shadow's offset in pixels,
                                  // never more than the fly's size
    // When set, the picture faces `heading` rather than FlyView::heading: the swarm holds a
    // walking or flying fly's picture still between leg steps and turns while its course
    // bends, so the picture changes a few times a second, not every frame.
    bool headingHeld = false;
    float heading = 0.0f;         // radians, as FlyView::heading
};

// What a fly is doing, for the caller's bookkeeping (tests, the ethogram); the picture
// goes by Pose alone.
enum class Activity : std::uint8_t {
    Away,      // not on any screen: not yet arrived, off-screen in flight, or gone
    Resting,   // on the ground, still
    Grooming,  // on the ground, cleaning itself
    Walking,   // on the ground, running or turning
    Flying,    // in the air on screen, take-off and touchdown included
    Escaping,  // in the air, fleeing the pointer
    Chasing,   // in the air, chasing another fly or being chased
    Squashed,  // swatted; the picture fades, then the fly is gone
};

struct FlyView {
    float x = 0.0f, y = 0.0f;  // centre of the fly's body (in flight: of the fly, not the shadow)
    float heading = 0.0f;      // radians; 0 faces right (+x), grows clockwise (screen y is down)
    float size = 0.0f;         // body length in pixels, monitor scale included
    Pose pose;
    Activity activity = Activity::Away;
    bool visible = false;         // false once gone, or while hidden by the caller
    bool pictureChanged = false;  // pictureKey changed during the last advance() (true at first)
    std::uint64_t pictureKey = 0; // equal keys <=> identical pictures (for caching)
};

// The picture key of a fly of this size, heading and pose, as FlyView::pictureKey holds
// it: size counts in quarter pixels (up to 1023 px), heading in 128 directions (64 below
// 32 px), altitude in 1/32nds of the size; renderFly draws exactly what the key says.
std::uint64_t pictureKeyFor(float size, float heading, const Pose& pose);

// With -v, each fly's body length lies between base / spread and base * spread, spread
// evenly on a log scale: spread is 1 + variation, but no varied fly is drawn smaller than
// kSmallestVariedSize pixels (the variation shrinks instead).
constexpr double kSmallestVariedSize = 9.0;
double flySizeSpread(double base, int variationPercent);

// The seed to give Swarm: --seed when given, else one drawn from `entropy` (a clock, a
// process id; anything that differs from run to run).
std::uint64_t chooseSeed(const Options& options, std::uint64_t entropy);

class Swarm {
public:
    // Flies start outside the monitors and fly in, to spots on the monitors' and the
    // windows' edges (the windows as setWindows() takes them). `seed` fixes every random
    // choice.
    Swarm(const Options& options, std::uint64_t seed, std::vector<Monitor> monitors,
          std::vector<WindowBox> topFirst = {});
    ~Swarm();
    Swarm(const Swarm&) = delete;
    Swarm& operator=(const Swarm&) = delete;

    // Monitors may change at any time; flies outside the new set fly back in.
    void setMonitors(std::vector<Monitor> monitors);
    // The visible top-level windows, topmost first (the parts of a window that windows
    // above it cover are worked out here). A fly sitting on a window that moves, shrinks
    // or disappears takes off. Pass the list again only when it changed.
    void setWindows(std::vector<WindowBox> topFirst);
    // A pointer reading in virtual-screen pixels, or none (e.g. unknown / off-screen),
    // taken now: call it right after advance(). The caller passes every reading that
    // differs from the last, and reads at least every kPointerReadSeconds, faster while
    // pointerNearFly(); a reading that did not change need not be passed.
    void setPointer(bool present, float x, float y);
    static constexpr double kPointerReadSeconds = 0.1;
    // True while the pointer is close enough to a fly that a click may hit it or that it
    // may soon startle it: the caller then reads the pointer and the button every frame.
    bool pointerNearFly() const;
    // A left click at this point, right after setPointer() there: the fly whose body lies
    // under it, if any, is squashed. Returns true when a fly was hit.
    bool swat(float x, float y);
    // Every fly takes off and leaves across the nearest screen edge (timeout, --stop, menu).
    void requestDeparture();

    // Advances the world by real elapsed seconds: clamped to a quarter second (a stall does
    // not teleport flies), then consumed in fixed steps of kStepSeconds. While allResting(),
    // the quiet time up to restingSecondsLeft() is skipped whole first, since nothing moves
    // in it: a caller that slept may pass the full time it slept. Returns the steps taken.
    int advance(double elapsedSeconds);

    static constexpr double kStepSeconds = 1.0 / 120.0;

    // True once every fly has gone: departure was requested (or the timeout passed) and
    // they have flown off, or the last one was swatted and has faded.
    bool done() const;
    // Flies neither swatted nor gone after a departure: what the tray icon counts.
    std::size_t aliveCount() const;
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
