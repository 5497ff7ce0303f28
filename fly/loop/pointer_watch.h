// When the fly loop reads the pointer and the primary button, and what a reading means:
// a move to pass to the swarm, a press to swat with. Reports of pointer events from the
// platform make readings of a parked pointer rare; since not every platform reports
// every move, reports are trusted only once seen (or promised), and given up for good
// when a reading finds a move no report announced.
#pragma once

#include "fly_platform.h"

namespace gnatter {

class PointerWatch {
public:
    // A pointer slowly moved reads the same in some frames in a row: it counts as moving
    // for this long after its last change, and only then as parked.
    static constexpr double kStillSeconds = 0.25;
    // While moves are reported, a parked pointer is still read this seldom, in case one
    // goes unreported; a platform that promises its reports is not read at all.
    static constexpr double kSafetyReadSeconds = 1.0;
    // A moving pointer would report hundreds of times a second: the reports stop at the
    // first one and start again once the pointer has been still this long.
    static constexpr double kQuietSeconds = 0.5;
    // A move a reading found may have its report still on the way: how long to wait for it.
    static constexpr double kReportGraceSeconds = 0.1;
    // A press can show in a report and in the button's state, not always at the same
    // moment (Wine answers the button state from a cache for 50 ms): a press one of them
    // shows this soon after the other showed one is the same press.
    static constexpr double kPressEchoSeconds = 0.25;

    struct Reading {
        bool present = false;
        int x = 0, y = 0;
        bool moved = false;    // differs from the reading before (present or not, or where)
        bool pressed = false;  // a new press of the primary button, while swatting
    };

    PointerWatch(FlyPlatform& platform, bool movesPromised);

    // Starts the reports and forgets presses from before.
    void start(double now);
    void stop();
    // After a pause the pointer was moved where no report reached us: the next reading is
    // a fresh start, not a move to look into.
    void forgetPosition() { present_ = false; }

    double nextRead() const { return nextRead_; }
    Reading read(double now, bool swatting);
    // After each frame: when to read next, given what the swarm says now.
    void plan(double now, bool nearFly, bool swatting);

    // The platform reported a pointer event.
    void onReport(double now, bool primaryPressed);
    // Reads the button and drops what it says: the presses so far swat nothing.
    void forgetPresses(double now);

    // Seconds until the next reading; see the constants above.
    static double readDelay(bool nearFly, double secondsSinceMoved, bool buttonHeld, bool movesReported,
                            bool movesPromised);

private:
    enum class Reports { Unproven, Complete, Incomplete };
    enum class PressSeenIn { Nothing, Report, ButtonState };

    bool newPress(PressSeenIn seenIn, double now);
    bool buttonPressed(const PointerReading& reading, double now);
    bool movesReported() const { return reports_ == Reports::Complete && watching_; }
    double delayNow(double now, bool nearFly, bool swatting) const;
    void watch(bool on);
    void checkReports(double now, bool shifted, bool nearFly, bool swatting);

    FlyPlatform& platform_;
    const bool movesPromised_;
    Reports reports_;
    bool watching_ = false;
    double unreportedMoveAt_ = -1.0;  // a reading found a move that no report announced
    bool pressReported_ = false;
    PressSeenIn lastPressSeenIn_ = PressSeenIn::Nothing;
    double lastPressAt_ = 0.0;

    // What the swarm was last told, and the button as the last reading found it.
    bool present_ = false;
    int x_ = 0, y_ = 0;
    double movedAt_ = 0.0;
    bool buttonDown_ = false;
    bool nearFly_ = false;
    double nextRead_ = 0.0;
};

}  // namespace gnatter
