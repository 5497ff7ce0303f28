// The pointer's reading pace and the reports that make it slow.
#include "pointer_watch.h"

#include <algorithm>

namespace gnatter {

PointerWatch::PointerWatch(FlyPlatform& platform, bool movesPromised)
    : platform_(platform), movesPromised_(movesPromised),
      reports_(movesPromised ? Reports::Complete : Reports::Unproven) {}

// Near a fly the pointer is followed every frame while it could startle the fly (it
// moves) or swat it (the button is held). One parked beside a fly is read at the slow
// pace: it startles nothing, and a click on it is still caught by the "pressed since"
// of the next reading. Where every event is reported, the report wakes the loop and the
// reading is only a safety net, or not needed at all.
double PointerWatch::readDelay(bool nearFly, double secondsSinceMoved, bool buttonHeld, bool movesReported,
                               bool movesPromised) {
    const bool threat = nearFly && (secondsSinceMoved < kStillSeconds || buttonHeld);
    if (threat) return kFrameSeconds;
    if (!movesReported) return Swarm::kPointerReadSeconds;
    return movesPromised ? kNoDeadline : kSafetyReadSeconds;
}

double PointerWatch::delayNow(double now, bool nearFly, bool swatting) const {
    return readDelay(nearFly, now - movedAt_, swatting && buttonDown_, movesReported(), movesPromised_);
}

void PointerWatch::start(double now) {
    movedAt_ = now - kStillSeconds;
    nextRead_ = now;
    watch(true);
    forgetPresses(now);
}

void PointerWatch::stop() {
    if (watching_) watch(false);
}

// A watch that cannot be had reports nothing: the pointer is then read as it would be
// without one.
void PointerWatch::watch(bool on) {
    if (platform_.watchPointerMoves(on)) {
        watching_ = on;
    } else if (on) {
        reports_ = Reports::Incomplete;
    }
}

bool PointerWatch::newPress(PressSeenIn seenIn, double now) {
    const bool echo = lastPressSeenIn_ != PressSeenIn::Nothing && lastPressSeenIn_ != seenIn &&
                      now - lastPressAt_ <= kPressEchoSeconds;
    lastPressSeenIn_ = echo ? PressSeenIn::Nothing : seenIn;
    lastPressAt_ = now;
    return !echo;
}

bool PointerWatch::buttonPressed(const PointerReading& reading, double now) {
    const bool pressed = reading.pressedSince || (reading.buttonDown && !buttonDown_);
    buttonDown_ = reading.buttonDown;
    return pressed && newPress(PressSeenIn::ButtonState, now);
}

void PointerWatch::forgetPresses(double now) {
    buttonPressed(platform_.readPointer(), now);
    pressReported_ = false;
}

PointerWatch::Reading PointerWatch::read(double now, bool swatting) {
    const PointerReading raw = platform_.readPointer();
    Reading reading;
    reading.present = raw.present;
    reading.x = raw.x;
    reading.y = raw.y;
    reading.pressed = swatting && buttonPressed(raw, now);
    if (pressReported_ && swatting) {
        reading.pressed = true;
        buttonDown_ = true;
    }
    pressReported_ = false;

    reading.moved = reading.present != present_ || (reading.present && (reading.x != x_ || reading.y != y_));
    const bool shifted = reading.moved && present_ && reading.present;
    if (reading.moved) {
        movedAt_ = now;
        present_ = reading.present;
        x_ = reading.x;
        y_ = reading.y;
    }
    nextRead_ = now + delayNow(now, nearFly_, swatting);
    checkReports(now, shifted, nearFly_, swatting);
    return reading;
}

void PointerWatch::plan(double now, bool nearFly, bool swatting) {
    nearFly_ = nearFly;
    nextRead_ = std::min(nextRead_, now + delayNow(now, nearFly, swatting));
}

// After each reading: starts the reports again once the pointer is still, and notices a
// move that was not reported (looked at again a moment later, in case its report was on
// the way; a report stops them).
void PointerWatch::checkReports(double now, bool shifted, bool nearFly, bool swatting) {
    if (reports_ == Reports::Incomplete) return;
    if (!watching_) {
        if (now - movedAt_ >= kQuietSeconds) {
            watch(true);
            nextRead_ = std::max(nextRead_, now + delayNow(now, nearFly, swatting));
        }
        return;
    }
    if (movesPromised_) return;
    if (unreportedMoveAt_ >= 0.0 && isDue(now, unreportedMoveAt_ + kReportGraceSeconds)) {
        reports_ = Reports::Incomplete;
        watch(false);
        nextRead_ = std::min(nextRead_, now + delayNow(now, nearFly, swatting));
        return;
    }
    if (shifted && unreportedMoveAt_ < 0.0) {
        unreportedMoveAt_ = now;
        nextRead_ = std::min(nextRead_, now + kReportGraceSeconds);
    }
}

void PointerWatch::onReport(double now, bool primaryPressed) {
    if (primaryPressed && newPress(PressSeenIn::Report, now)) pressReported_ = true;
    if (reports_ == Reports::Incomplete) return;
    reports_ = Reports::Complete;
    unreportedMoveAt_ = -1.0;
    if (watching_) watch(false);
    nextRead_ = now;
}

}  // namespace gnatter
