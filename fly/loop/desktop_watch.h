// When the fly loop reads the other programs' windows and puts the fly windows back on
// top. A reading costs round trips to the window system, so it follows the platform's
// reports of window changes; where moves go unreported it polls, fast enough that the
// flies on a moved window leave it within a second.
#pragma once

#include "fly_platform.h"

#include <vector>

namespace gnatter {

class DesktopWatch {
public:
    // A window being dragged reports dozens of moves a second: one reading per this much.
    static constexpr double kEventDelaySeconds = 0.05;
    // The safety poll while moves are reported.
    static constexpr double kPollSeconds = 2.0;
    // The poll while they are not: a perch moved unreported is seen this late at most,
    // and its flies react within a tenth of a second or so after.
    static constexpr double kPollWithoutMoveReportsSeconds = 0.75;
    // A window reported as it is made may reach the screen a little later (under Wine its
    // X window comes about 50 ms after the report): the flies go back on top this long after.
    static constexpr double kRaiseDelaySeconds = 0.25;
    // Putting the flies back on top as often as another program raises itself would be a
    // race without end: at most once per this much.
    static constexpr double kRaiseGapSeconds = 0.5;

    explicit DesktopWatch(const PlatformTraits& traits)
        : movesReported_(traits.windowMovesReported), movesPromised_(traits.windowMovesReported),
          burialSeen_(traits.burialSeen) {}

    void onEvent(DesktopEvent event, double now);
    // After a pause anything may have changed.
    void markDirty() { dirty_ = true; }

    double nextRead() const;
    // Takes a reading; true when the windows or the full-screen state changed.
    bool read(FlyPlatform& platform, double now);
    // True once after a reading found the windows changed.
    bool takeWindowsChanged();

    double nextRaise() const;
    void raised(double now);

    const std::vector<WindowBox>& windows() const { return last_.windows; }
    const std::vector<Rect>& fullScreen() const { return last_.fullScreen; }

private:
    void wantRaise(double now);

    bool movesReported_;
    const bool movesPromised_;
    const bool burialSeen_;
    bool dirty_ = true;  // an event arrived since the last reading (the first is due at once)
    double lastRead_ = -kPollSeconds;
    DesktopReading last_;
    bool windowsChanged_ = false;
    bool raiseWanted_ = false;
    double raiseWantedAt_ = 0.0;
    double lastRaise_ = -kRaiseGapSeconds;
};

bool sameWindows(const std::vector<WindowBox>& a, const std::vector<WindowBox>& b);

}  // namespace gnatter
