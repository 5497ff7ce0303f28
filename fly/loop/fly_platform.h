// What the fly loop asks of a desktop platform: a clock and a wait, readings of the
// pointer, the other programs' windows and the monitors, and the fly windows to show.
// Each platform (fly/win32, fly/x11) carries these out with its own calls; when to read,
// wait, raise and show is decided once, by FlyLoop.
#pragma once

#include "swarm.h"

#include <cstddef>
#include <limits>
#include <vector>

namespace gnatter {

class FlyLoop;

// A wait with no deadline: only an event ends it.
constexpr double kNoDeadline = std::numeric_limits<double>::infinity();

// The loop's pace while anything moves.
constexpr double kFrameSeconds = 1.0 / 60.0;

// Waits are whole milliseconds, so a wake-up up to a millisecond early counts as on time.
inline bool isDue(double now, double when) { return now + 0.001 >= when; }

struct PointerReading {
    bool present = false;       // false where the pointer cannot be read (a secure desktop)
    int x = 0, y = 0;           // virtual-screen pixels
    bool buttonDown = false;    // the primary button is held
    bool pressedSince = false;  // it went down since the last reading, even if it is up again
};

// What a platform reports as it happens; the loop finds the rest out by reading.
enum class DesktopEvent {
    Created,     // a top-level window appeared
    Shown,       // one was shown or restored
    Moved,       // one moved or changed size
    Hidden,      // one was hidden, minimised or closed
    Restacked,   // the stacking order changed
    Foreground,  // another window came to the front
};

struct DesktopReading {
    std::vector<WindowBox> windows;  // other programs' visible top-level windows, topmost first
    std::vector<Rect> fullScreen;    // monitors a full-screen program in front covers
    bool fliesBuried = false;        // a fly window lies below another window that overlaps it
};

// What a platform promises about the reports it makes. What it does not promise the
// loop learns as reports come in, and meanwhile reads for itself.
struct PlatformTraits {
    // While watched, every move of the pointer anywhere on the desktop is reported.
    bool pointerMovesReported = false;
    // Every move, show and hide of another program's window is reported.
    bool windowMovesReported = false;
    // A desktop reading finds every fly window another window covers (fliesBuried):
    // the flies are raised only then, not after every event that might have buried them.
    bool burialSeen = false;
    // The platform logs its window work once a second (logWindowWork) for the bench.
    bool logsWindowWork = false;
};

class FlyPlatform {
public:
    virtual ~FlyPlatform() = default;

    virtual PlatformTraits traits() const = 0;

    // Seconds on a steady clock.
    virtual double now() = 0;
    // Sleeps until `deadline` (on now()'s clock; kNoDeadline for none) or until events
    // arrive, and hands each event that arrived to `loop`'s on...() handlers.
    virtual void waitForEvents(FlyLoop& loop, double deadline) = 0;

    virtual PointerReading readPointer() = 0;
    // Starts or stops reporting pointer events (FlyLoop::onPointerReport); presses may be
    // reported either way. False when the reports cannot be had.
    virtual bool watchPointerMoves(bool on) = 0;
    virtual DesktopReading readDesktop() = 0;
    virtual std::vector<Monitor> readMonitors() = 0;

    // Brings every fly window in line with its fly; flies on `hiddenOn` stay out of sight.
    virtual void showFlies(const Swarm& swarm, const std::vector<Rect>& hiddenOn) = 0;
    virtual void hideFlies() = 0;
    // Puts the shown fly windows back above every other window.
    virtual void raiseFlies() = 0;
    // Flies neither swatted nor gone, for the tray icon.
    virtual void showFlyCount(std::size_t alive) = 0;
    virtual void logWindowWork() {}
};

}  // namespace gnatter
