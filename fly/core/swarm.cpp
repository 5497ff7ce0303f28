// The swarm: the scheduler that steps every fly through its behaviours (ground.cpp,
// grooming.cpp, flight.cpp, escape.cpp, chase.cpp) at a fixed rate, hands them the
// desktop (monitors, windows, the pointer), and reports what each fly looks like.
//
// Determinism: every random choice comes from a per-fly splitmix64 stream, timers count
// whole steps, and the state update uses only IEEE-exact operations (the trigonometry,
// exp and log are our own from fly_math.h), so a seed gives bit-identical flies
// everywhere. stateHash() folds positions quantised to 1/256 px, so the golden value in
// the tests does not hinge on the last bit of a double.
#include "swarm.h"

#include "fly_state.h"
#include "picture.h"
#include "sprite.h"

#include <limits>
#include <stdexcept>

namespace gnatter {
namespace {

// The longest stretch of real time one advance() simulates while anything moves: at 60 Hz
// a hitch of a quarter second is still smooth, a longer stall just pauses the flies.
constexpr double kMaxAdvanceSeconds = 0.25;
constexpr std::int64_t kMaxAdvanceSteps = 30;
// When nothing at all is scheduled, resting is reported as this long.
constexpr double kLongestRestSeconds = 3600.0;
// Drawn with the motion blur above this speed (body lengths per second).
constexpr double kBlurBodyLengths = 25.0;

// Body outline in body lengths, in the fly's frame (x forward): abdomen, thorax, head.
struct BodyPart {
    double x, rx, ry;
};
constexpr BodyPart kBody[3] = {{-0.22, 0.27, 0.19}, {0.12, 0.17, 0.16}, {0.335, 0.085, 0.165}};

}  // namespace

double Habitat::largestSize(const Fly& f) const {
    return std::min(f.baseSize * world.maxScale(), double(kMaxDrawnSize));
}

double Habitat::standHalf(const Fly& f) const {
    // A twentieth of a pixel to spare keeps the body inside after rounding to float.
    return 0.5 * largestSize(f) + 0.05;
}

double Habitat::sightReach(const Fly& f) const { return double(spriteSide(float(largestSize(f)))); }

double flySizeSpread(double base, int variationPercent) {
    const double variation = std::min(std::max(variationPercent, 0), 100) / 100.0;
    // The smallest fly still reads as a fly, the largest is at most three times the size
    // asked for, and the spread stays symmetric about it.
    const double floor = std::min(base, kSmallestVariedSize);
    return std::max(1.0, std::min(1.0 + variation, base / floor));
}

std::uint64_t chooseSeed(const Options& options, std::uint64_t entropy) {
    return options.hasSeed ? options.seed : fm::mix64(entropy ^ 0x6A09E667F3BCC909ull);
}

struct Swarm::Impl : Habitat {
    double accumulator = 0.0;
    std::int64_t departAt = -1;  // step of the timeout, or -1
    bool pointerMoved = false;
    bool monitorsChanged = false;
    bool windowsChanged = false;
    bool reportedOnce = false;  // the caller has not seen any picture before the first advance

    // Every fly goes: those in the air at once, those on the ground each at its own
    // moment within half a second, as a disturbed group of flies lifts off.
    void departAll() {
        departing = true;
        // The flies on the ground share out the half second: each gets a slot of its own,
        // in an order that is drawn afresh, and a moment within it.
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < flies.size(); ++i) {
            if (flies[i].grounded()) order.push_back(i);
            else leave(*this, flies[i]);
        }
        if (order.empty()) return;
        fm::Rng shuffle(flies[order.front()].rng.next());
        for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[std::size_t(shuffle.unit() * double(i))]);
        const double slot = tuning::kDepartureSpread / double(order.size());
        for (std::size_t k = 0; k < order.size(); ++k) {
            Fly& f = flies[order[k]];
            f.leaveAt = now + stepsFor(0.02 + slot * (double(k) + f.rng.unit()));
        }
    }

    std::int64_t squashSteps() const { return stepsFor(tuning::kSquashSeconds); }
    std::int64_t fadeSteps() const { return stepsFor(tuning::kFadeSeconds); }

    int fadeLevel(const Fly& f) const {
        const std::int64_t into = now - f.squashedAt - squashSteps();
        if (into < 0) return 0;
        return int(std::min<std::int64_t>(kSquashFadeSteps - 1, into * kSquashFadeSteps / fadeSteps()));
    }

    void handleMonitorChange() {
        for (Fly& f : flies) {
            if (f.mode == Mode::Gone || f.mode == Mode::Waiting || f.mode == Mode::Away || f.mode == Mode::Squashed) continue;
            if (f.mode == Mode::Flying) {
                FlightState& fl = f.flight;
                const Point end = fl.waypoints.back();
                if (fl.kind == FlightKind::Leave) {
                    const Point exit = world.exitPoint(end.x, end.y, sightReach(f));
                    if (exit.x != end.x || exit.y != end.y) leave(*this, f);
                } else if (fl.kind != FlightKind::Excursion && fl.chasing < 0 && world.hasGround() &&
                           !world.canStand(end.x, end.y, standHalf(f))) {
                    if (now < fl.start) arrive(*this, f, double(fl.start - now) * kDt);
                    else returnToGround(*this, f);
                }
            } else if (world.hasGround() && !world.canStand(f.x, f.y, standHalf(f))) {
                // One waiting for its turn to leave goes now: back on the ground it would
                // have no turn any more.
                if (departing) leave(*this, f);
                else returnToGround(*this, f);
            }
        }
    }

    // A fly whose window moved, changed size or went takes off a moment later.
    void handleWindowChange() {
        for (Fly& f : flies) {
            if (!f.grounded() || f.perch == 0 || f.perchLostAt >= 0) continue;
            const WindowBox* w = landmarks.find(f.perch);
            if (w == nullptr || w->rect != f.perchRect) f.perchLostAt = now + stepsFor(f.rng.range(0.0, tuning::kPerchReactionMax));
        }
    }

    void handlePointer() {
        for (Fly& f : flies) {
            if (f.grounded() && threatened(*this, f)) escape(*this, f);
        }
    }

    void updateView(Fly& f) {
        f.scale = world.scaleAt(f.x, f.y);
        FlyView& v = f.view;
        v.x = float(f.x);
        v.y = float(f.y);
        v.heading = float(f.heading);
        v.size = float(f.drawnSize());
        const bool inAir = f.mode == Mode::Flying;
        const bool airborneVisible = inAir && flightOnScreen(*this, f);
        v.visible = f.grounded() || f.mode == Mode::Squashed || airborneVisible;
        switch (f.mode) {
            case Mode::Resting: v.activity = Activity::Resting; break;
            case Mode::Grooming: v.activity = Activity::Grooming; break;
            case Mode::Walking: v.activity = Activity::Walking; break;
            case Mode::Squashed: v.activity = Activity::Squashed; break;
            case Mode::Flying:
                v.activity = !airborneVisible ? Activity::Away
                             : f.flight.kind == FlightKind::Chase ? Activity::Chasing
                             : f.flight.escaping ? Activity::Escaping
                                 : Activity::Flying;
                break;
            default: v.activity = Activity::Away;
        }
        // On the ground outside a run nothing bends the course, so the picture simply follows.
        if (f.pictureDue || (f.mode != Mode::Walking && f.mode != Mode::Flying)) {
            f.pictureHeading = f.heading;
            f.pictureAltitude = f.altitude;
            f.pictureDue = false;
        }
        Pose pose;
        pose.headingHeld = true;
        pose.heading = float(f.pictureHeading);
        if (inAir) {
            const FlightState& fl = f.flight;
            const bool jumping = fl.fromGround && now - fl.tookOff < stepsFor(tuning::kJumpSeconds);
            pose.stance = jumping ? Stance::Jumping : fl.legsDown ? Stance::Landing : Stance::Flying;
            pose.motionBlur = pose.stance == Stance::Flying && fl.speed >= kBlurBodyLengths * f.drawnSize();
            pose.altitude = float(f.pictureAltitude * f.drawnSize());
        } else if (f.mode == Mode::Grooming) {
            pose.stance = Stance::Grooming;
            pose.groom = groomingAction(f);
            pose.groomFrame = std::uint8_t(groomingFrame(f));
        } else if (f.mode == Mode::Squashed) {
            pose.stance = Stance::Squashed;
            pose.fade = std::uint8_t(fadeLevel(f));
        } else {
            pose.walkFrame = std::uint8_t(std::int64_t(std::floor(f.walk.legPhase)) % kWalkFrames);
        }
        v.pose = pose;
        v.pictureKey = pictureKeyFor(v.size, v.heading, v.pose);
    }

    bool perchGone(const Fly& f) const { return f.perchLostAt >= 0 && now >= f.perchLostAt; }

    void step() {
        if (!departing && departAt >= 0 && now >= departAt) departAll();
        if (monitorsChanged) {
            monitorsChanged = false;
            handleMonitorChange();
        }
        if (windowsChanged) {
            windowsChanged = false;
            handleWindowChange();
        }
        if (pointerMoved) {
            pointerMoved = false;
            if (pointerPresent && !departing) handlePointer();
        }
        for (Fly& f : flies) {
            if (f.grounded()) {
                if (departing && f.leaveAt >= 0 && now >= f.leaveAt) leave(*this, f);
                else if (perchGone(f) && !departing) hop(*this, f);
                else if (f.moveOnAt >= 0 && now >= f.moveOnAt && !departing) moveOn(*this, f);
            }
            switch (f.mode) {
                case Mode::Waiting:
                    if (world.hasGround()) arrive(*this, f, 0.0);
                    break;
                case Mode::Resting:
                    // Leaving: it sits until its moment comes.
                    if (now >= f.until && !departing) decide(*this, f);
                    break;
                case Mode::Grooming: stepGrooming(*this, f); break;
                case Mode::Walking: stepWalk(*this, f); break;
                case Mode::Flying: stepFlight(*this, f); break;
                case Mode::Away: stepAway(*this, f); break;
                case Mode::Squashed:
                    if (now >= f.until) f.mode = Mode::Gone;
                    break;
                case Mode::Gone: break;
            }
        }
        // Views last: a fly may set another off (a chase), and both show it at once.
        for (Fly& f : flies) updateView(f);
        ++now;
    }

    // Steps from now during which the fly neither moves nor changes its picture; 0 when
    // the next step may change something, and the longest rest when nothing is due.
    std::int64_t stillSteps(const Fly& f) const {
        const std::int64_t forever = std::llround(kLongestRestSeconds / kDt);
        std::int64_t still = 0;
        switch (f.mode) {
            case Mode::Gone: return forever;
            case Mode::Waiting: return world.hasGround() ? 0 : forever;
            case Mode::Resting: still = departing ? forever : f.until - now; break;
            case Mode::Grooming: still = groomingStillSteps(f, now); break;
            case Mode::Away: return departing ? 0 : std::max<std::int64_t>(0, f.flight.awayUntil - now);
            case Mode::Squashed: {
                const std::int64_t fadeStart = f.squashedAt + squashSteps();
                return now < fadeStart ? fadeStart - now : 0;
            }
            default: return 0;
        }
        for (std::int64_t due : {f.perchLostAt, f.moveOnAt, f.leaveAt}) {
            if (due >= 0) still = std::min(still, due - now);
        }
        return std::max<std::int64_t>(0, still);
    }

    bool resting() const {
        if (pointerMoved || monitorsChanged || windowsChanged) return false;
        if (!departing && departAt >= 0 && now >= departAt) return false;
        for (const Fly& f : flies) {
            if (stillSteps(f) == 0) return false;
        }
        return true;
    }

    // Whole steps until something is due, assuming resting() holds.
    std::int64_t restingSteps() const {
        std::int64_t left = std::llround(kLongestRestSeconds / kDt);
        if (!departing && departAt >= 0) left = std::min(left, departAt - now);
        for (const Fly& f : flies) left = std::min(left, stillSteps(f));
        return std::max<std::int64_t>(0, left);
    }

    bool onBody(const Fly& f, double x, double y) const {
        const double size = f.drawnSize();
        const double c = fm::cos(f.pictureHeading), s = fm::sin(f.pictureHeading);
        const double dx = x - f.x, dy = y - f.y;
        // A pixel of slack: a click on the body's rim counts.
        const double slack = std::max(0.03, 1.0 / size);
        const double along = (dx * c + dy * s) / size, across = (-dx * s + dy * c) / size;
        for (const BodyPart& part : kBody) {
            const double u = (along - part.x) / (part.rx + slack), v = across / (part.ry + slack);
            if (u * u + v * v <= 1.0) return true;
        }
        return false;
    }
};

Swarm::Swarm(const Options& options, std::uint64_t seed, std::vector<Monitor> monitors,
             std::vector<WindowBox> topFirst)
    : impl_(new Impl) {
    Impl& s = *impl_;
    s.options = options;
    s.monitors = std::move(monitors);
    s.windows = std::move(topFirst);
    s.world.set(s.monitors);
    s.landmarks.set(s.monitors, s.windows);
    const int count = std::min(std::max(options.count, 1), 200);
    const double base = std::min(std::max(options.sizePixels, 4), 256);
    const double spread = flySizeSpread(base, options.variationPercent);
    if (options.timeoutSeconds > 0) s.departAt = std::int64_t(options.timeoutSeconds) * 120;
    s.flies.resize(std::size_t(count));
    fm::Rng seeder(seed);
    // Arrivals trickle in over up to a second and a half rather than as one wave.
    const double arrivals = std::min(1.5, 0.1 + 0.05 * count);
    for (Fly& f : s.flies) {
        f.rng = fm::Rng(seeder.next());
        // Sizes spread evenly on a log scale round the size asked for: as many flies half
        // again as large as two thirds as large.
        f.baseSize = base * fm::exp(fm::log(spread) * f.rng.range(-1.0, 1.0));
        f.heading = f.rng.range(0.0, fm::kTwoPi);
        f.chaseDueAt = stepsFor(f.rng.range(0.0, tuning::kChaseEveryMax));
        if (s.world.hasGround()) arrive(s, f, f.rng.range(0.0, arrivals));
        s.updateView(f);
        f.view.pictureChanged = true;
    }
}

Swarm::~Swarm() = default;

void Swarm::setMonitors(std::vector<Monitor> monitors) {
    Impl& s = *impl_;
    s.monitors = std::move(monitors);
    s.world.set(s.monitors);
    s.landmarks.set(s.monitors, s.windows);
    s.monitorsChanged = true;
}

void Swarm::setWindows(std::vector<WindowBox> topFirst) {
    Impl& s = *impl_;
    // Each fly on the ground sits on whatever window was under it until now; the next
    // step compares that with the new list.
    for (Fly& f : s.flies) {
        if (f.grounded() && f.perchLostAt < 0) updatePerch(s, f);
    }
    s.windows = std::move(topFirst);
    s.landmarks.set(s.monitors, s.windows);
    s.windowsChanged = true;
}

void Swarm::setPointer(bool present, float x, float y) {
    Impl& s = *impl_;
    if (!std::isfinite(x) || !std::isfinite(y)) present = false;
    if (present) {
        if (s.pointerPresent && s.pointerAt >= 0) {
            // Readings come at least every kPointerReadSeconds, so a pointer that moved
            // after a longer gap stood still until at most that long ago.
            const double dt = std::min(std::max(double(s.now - s.pointerAt) * kDt, kDt), kPointerReadSeconds);
            s.pointerVX = (double(x) - s.pointerX) / dt;
            s.pointerVY = (double(y) - s.pointerY) / dt;
        } else {
            s.pointerVX = s.pointerVY = 0.0;
        }
        if (!s.pointerPresent || s.pointerX != x || s.pointerY != y) s.pointerMoved = true;
        s.pointerX = x;
        s.pointerY = y;
        s.pointerAt = s.now;
    } else {
        s.pointerVX = s.pointerVY = 0.0;
    }
    s.pointerPresent = present;
}

bool Swarm::pointerNearFly() const {
    const Impl& s = *impl_;
    if (!s.pointerPresent) return false;
    for (const Fly& f : s.flies) {
        if (!f.view.visible || f.mode == Mode::Squashed) continue;
        const double reach = tuning::kNearPointerBodyLengths * f.drawnSize() + 24.0;
        if (distance(f.x, f.y, s.pointerX, s.pointerY) <= reach) return true;
    }
    return false;
}

bool Swarm::swat(float x, float y) {
    Impl& s = *impl_;
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    for (Fly& f : s.flies) {
        if (!f.view.visible || f.mode == Mode::Squashed || !s.onBody(f, x, y)) continue;
        // Whoever was chasing it breaks off by itself (stepFlight sees it is no longer flying).
        f.mode = Mode::Squashed;
        f.squashedAt = s.now;
        f.until = s.now + s.squashSteps() + s.fadeSteps();
        f.altitude = 0.0;
        f.flight.chasing = -1;
        f.perchLostAt = -1;
        f.moveOnAt = -1;
        f.leaveAt = -1;
        s.updateView(f);
        return true;
    }
    return false;
}

void Swarm::requestDeparture() {
    if (!impl_->departing) impl_->departAll();
}

int Swarm::advance(double elapsedSeconds) {
    Impl& s = *impl_;
    if (!(elapsedSeconds > 0.0)) elapsedSeconds = 0.0;  // negative or NaN
    for (Fly& f : s.flies) {
        f.keyBefore = f.view.pictureKey;
        f.view.pictureChanged = false;
    }
    std::int64_t steps = 0;
    // Time in which nothing is due is skipped in one go, however long: nothing moves, so
    // nothing can jump, and a caller that slept for restingSecondsLeft() wakes on time.
    if (s.resting()) {
        const std::int64_t idle = std::min<std::int64_t>(s.restingSteps(),
            std::int64_t(std::min(elapsedSeconds / kDt, 1e9)));
        s.now += idle;
        steps += idle;
        elapsedSeconds -= double(idle) * kDt;
    }
    s.accumulator += std::min(elapsedSeconds, kMaxAdvanceSeconds);
    // A hair of tolerance so 1/60 s reliably makes two steps of 1/120 s.
    std::int64_t taken = 0;
    while (s.accumulator >= kDt - 1e-9 && taken < kMaxAdvanceSteps) {
        s.accumulator -= kDt;
        s.step();
        ++taken;
    }
    if (s.accumulator < 0.0 || taken == kMaxAdvanceSteps) s.accumulator = std::max(0.0, std::min(s.accumulator, kDt));
    for (Fly& f : s.flies) {
        if (f.view.pictureKey != f.keyBefore || !s.reportedOnce) f.view.pictureChanged = true;
    }
    s.reportedOnce = true;
    return int(std::min<std::int64_t>(steps + taken, std::numeric_limits<int>::max()));
}

bool Swarm::done() const {
    for (const Fly& f : impl_->flies) {
        if (f.mode != Mode::Gone) return false;
    }
    return true;
}

std::size_t Swarm::aliveCount() const {
    std::size_t alive = 0;
    for (const Fly& f : impl_->flies) alive += f.mode != Mode::Gone && f.mode != Mode::Squashed;
    return alive;
}

bool Swarm::allResting() const { return impl_->resting(); }

double Swarm::restingSecondsLeft() const {
    return impl_->resting() ? double(impl_->restingSteps()) * kDt : 0.0;
}

std::size_t Swarm::flyCount() const { return impl_->flies.size(); }

const FlyView& Swarm::flyView(std::size_t index) const {
    if (index >= impl_->flies.size()) throw std::out_of_range("Swarm::flyView: no such fly");
    return impl_->flies[index].view;
}

std::uint64_t Swarm::stateHash() const {
    const Impl& s = *impl_;
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a over 64-bit words
    auto fold = [&h](std::uint64_t w) {
        for (int i = 0; i < 8; ++i) {
            h ^= (w >> (8 * i)) & 0xff;
            h *= 0x100000001b3ull;
        }
    };
    auto fixed = [](double v) { return std::uint64_t(std::llround(v * 256.0)); };
    fold(std::uint64_t(s.now));
    fold(s.departing ? 1 : 0);
    for (const Fly& f : s.flies) {
        fold(std::uint64_t(f.mode));
        fold(fixed(f.x));
        fold(fixed(f.y));
        fold(fixed(f.heading * 256.0));
        fold(fixed(f.baseSize));
        fold(fixed(f.altitude * 256.0));
        fold(std::uint64_t(f.until));
        fold(f.rng.state);
        fold(f.view.pictureKey);
        fold(f.view.visible ? 1 : 0);
    }
    return fm::mix64(h);
}

}  // namespace gnatter
