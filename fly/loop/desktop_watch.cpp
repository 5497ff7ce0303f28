// The desktop's reading pace and the raising of the fly windows.
#include "desktop_watch.h"

#include <algorithm>

namespace gnatter {

bool sameWindows(const std::vector<WindowBox>& a, const std::vector<WindowBox>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].id != b[i].id || a[i].rect != b[i].rect) return false;
    }
    return true;
}

namespace {

// True when `now` has a window `before` did not: shown without a report, it may lie above
// the flies.
bool appeared(const std::vector<WindowBox>& now, const std::vector<WindowBox>& before) {
    return std::any_of(now.begin(), now.end(), [&](const WindowBox& w) {
        return std::none_of(before.begin(), before.end(), [&](const WindowBox& b) { return b.id == w.id; });
    });
}

}  // namespace

void DesktopWatch::onEvent(DesktopEvent event, double now) {
    dirty_ = true;
    if (event == DesktopEvent::Moved) movesReported_ = true;
    // A window that appears or comes forward may go above the flies; where a reading
    // cannot tell, they are raised all the same.
    if (!burialSeen_ && event != DesktopEvent::Moved && event != DesktopEvent::Hidden) wantRaise(now);
}

// The first event after a quiet spell is read at once, the ones that follow it no sooner
// than kEventDelaySeconds after that reading.
double DesktopWatch::nextRead() const {
    if (dirty_) return lastRead_ + kEventDelaySeconds;
    if (movesPromised_) return kNoDeadline;
    return lastRead_ + (movesReported_ ? kPollSeconds : kPollWithoutMoveReportsSeconds);
}

bool DesktopWatch::read(FlyPlatform& platform, double now) {
    dirty_ = false;
    lastRead_ = now;
    DesktopReading reading = platform.readDesktop();
    if (reading.fliesBuried || (!burialSeen_ && appeared(reading.windows, last_.windows))) wantRaise(now);
    const bool windowsChanged = !sameWindows(reading.windows, last_.windows);
    const bool changed = windowsChanged || reading.fullScreen != last_.fullScreen;
    windowsChanged_ = windowsChanged_ || windowsChanged;
    if (changed) last_ = std::move(reading);
    return changed;
}

bool DesktopWatch::takeWindowsChanged() {
    const bool changed = windowsChanged_;
    windowsChanged_ = false;
    return changed;
}

void DesktopWatch::wantRaise(double now) {
    if (raiseWanted_) return;
    raiseWanted_ = true;
    raiseWantedAt_ = now;
}

double DesktopWatch::nextRaise() const {
    if (!raiseWanted_) return kNoDeadline;
    return std::max(raiseWantedAt_ + kRaiseDelaySeconds, lastRaise_ + kRaiseGapSeconds);
}

void DesktopWatch::raised(double now) {
    raiseWanted_ = false;
    lastRaise_ = now;
}

}  // namespace gnatter
