// The texture measures over recorded frames. Each takes what an observer with a tracker
// had, positions, headings and the picture's pose per frame, and nothing of the swarm.
#include "texture.h"

#include "fly_math.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gnatter::ethogram {
namespace {

constexpr double kDegree = fm::kPi / 180.0;

bool anterior(Groom g) { return g == Groom::Head || g == Groom::FrontLegs; }

double distance(const Frame& a, const Frame& b) {
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

double variation(const std::vector<double>& v) {
    if (v.size() < 2) return 0.0;
    double mean = 0.0;
    for (double x : v) mean += x;
    mean /= double(v.size());
    double sq = 0.0;
    for (double x : v) sq += (x - mean) * (x - mean);
    return mean > 0.0 ? std::sqrt(sq / double(v.size() - 1)) / mean : 0.0;
}

std::vector<double> ranks(const std::vector<double>& v) {
    std::vector<std::size_t> order(v.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&v](std::size_t a, std::size_t b) { return v[a] < v[b]; });
    std::vector<double> r(v.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
        for (std::size_t k = i; k <= j; ++k) r[order[k]] = 0.5 * double(i + j);
        i = j + 1;
    }
    return r;
}

// Runs of consecutive frames with a given activity: [begin, end).
template <typename Pred>
std::vector<Stretch> runsOf(const Track& track, Pred pred) {
    std::vector<Stretch> out;
    const std::vector<Frame>& f = track.frames;
    for (std::size_t i = 0; i < f.size();) {
        if (!pred(f[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < f.size() && pred(f[j])) ++j;
        out.push_back({i, j});
        i = j;
    }
    return out;
}

// The on-screen legs of a flight: consecutive visible frames in the air.
std::vector<Stretch> legs(const Track& track, const Flight& flight) {
    std::vector<Stretch> out;
    const std::vector<Frame>& f = track.frames;
    for (std::size_t i = flight.begin; i < flight.end;) {
        if (!(f[i].visible && airborne(f[i].activity))) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < flight.end && f[j].visible && airborne(f[j].activity)) ++j;
        out.push_back({i, j});
        i = j;
    }
    return out;
}

// Per frame of a leg, the change of the direction of travel since the last frame that had
// one (none below 1 BL/s, where a hovering fly's direction means nothing); radians.
std::vector<double> directionChanges(const Track& track, const Stretch& leg) {
    std::vector<double> out(leg.end - leg.begin, 0.0);
    bool has = false;
    double last = 0.0;
    for (std::size_t i = leg.begin + 1; i < leg.end; ++i) {
        const Frame &a = track.frames[i - 1], &b = track.frames[i];
        const double dt = b.t - a.t;
        if (dt <= 0.0 || distance(a, b) / dt / track.size <= 1.0) continue;
        const double dir = fm::atan2(double(b.y) - a.y, double(b.x) - a.x);
        if (has) out[i - leg.begin] = fm::angleDiff(dir, last);
        last = dir;
        has = true;
    }
    return out;
}

// Fits a circle to the frames [begin, end) (algebraic least squares about their mean).
bool fitCircle(const Track& track, std::size_t begin, std::size_t end, double& cx, double& cy, double& r) {
    const std::vector<Frame>& f = track.frames;
    const double n = double(end - begin);
    double mx = 0.0, my = 0.0;
    for (std::size_t i = begin; i < end; ++i) {
        mx += f[i].x;
        my += f[i].y;
    }
    mx /= n;
    my /= n;
    double suu = 0, svv = 0, suv = 0, suuu = 0, svvv = 0, suvv = 0, svuu = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const double u = f[i].x - mx, v = f[i].y - my;
        suu += u * u;
        svv += v * v;
        suv += u * v;
        suuu += u * u * u;
        svvv += v * v * v;
        suvv += u * v * v;
        svuu += v * u * u;
    }
    const double det = suu * svv - suv * suv;
    if (std::fabs(det) < 1e-9 * (suu + svv) * (suu + svv) + 1e-12) return false;  // on a line
    const double bu = 0.5 * (suuu + suvv), bv = 0.5 * (svvv + svuu);
    const double uc = (bu * svv - bv * suv) / det, vc = (suu * bv - suv * bu) / det;
    cx = uc + mx;
    cy = vc + my;
    r = std::sqrt(uc * uc + vc * vc + (suu + svv) / n);
    return true;
}

// One second-long window of a circling path (see circling()).
bool goesRound(const Track& track, std::size_t begin, std::size_t end) {
    double cx = 0, cy = 0, r = 0;
    if (!fitCircle(track, begin, end, cx, cy, r) || r < 3.0 * track.size) return false;
    const std::vector<Frame>& f = track.frames;
    double swept = 0.0, sweptAbs = 0.0, last = 0.0;
    for (std::size_t i = begin; i < end; ++i) {
        const double dx = f[i].x - cx, dy = f[i].y - cy;
        if (std::fabs(std::hypot(dx, dy) - r) > 0.2 * r) return false;
        const double around = fm::atan2(dy, dx);
        if (i > begin) {
            const double d = fm::angleDiff(around, last);
            swept += d;
            sweptAbs += std::fabs(d);
        }
        last = around;
    }
    // One way round (a back-and-forth wiggle sweeps both ways), a quarter turn at least.
    return std::fabs(swept) >= 0.95 * sweptAbs && std::fabs(swept) >= 0.5 * fm::kPi;
}

// Distances from a point to the sides of a monitor's bounds (0 left, 1 top, 2 right,
// 3 bottom) that lead off the desktop; a side into a neighbouring monitor is no way out
// and gets an infinite distance. Returns the nearest side, -1 for none.
int outerSides(const Rect& b, const std::vector<Monitor>& monitors, double x, double y, double gaps[4]) {
    gaps[0] = x - b.left;
    gaps[1] = y - b.top;
    gaps[2] = b.right - x;
    gaps[3] = b.bottom - y;
    const double beyondX[4] = {b.left - 1.0, std::clamp(x, double(b.left), b.right - 1.0), double(b.right),
                               std::clamp(x, double(b.left), b.right - 1.0)};
    const double beyondY[4] = {std::clamp(y, double(b.top), b.bottom - 1.0), b.top - 1.0,
                               std::clamp(y, double(b.top), b.bottom - 1.0), double(b.bottom)};
    int best = -1;
    for (int s = 0; s < 4; ++s) {
        bool inner = false;
        for (const Monitor& m : monitors) {
            const Rect& o = m.bounds;
            inner = inner || (beyondX[s] >= o.left && beyondX[s] < o.right && beyondY[s] >= o.top && beyondY[s] < o.bottom);
        }
        if (inner) gaps[s] = std::numeric_limits<double>::infinity();
        else if (best < 0 || gaps[s] < gaps[best]) best = s;
    }
    return best;
}

// The monitor under a point, or the nearest one.
std::size_t monitorAt(const std::vector<Monitor>& monitors, double x, double y) {
    std::size_t best = 0;
    double bestGap = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const Rect& b = monitors[i].bounds;
        const double gx = std::max({double(b.left) - x, 0.0, x - double(b.right)});
        const double gy = std::max({double(b.top) - y, 0.0, y - double(b.bottom)});
        const double gap = std::hypot(gx, gy);
        if (gap < bestGap) {
            bestGap = gap;
            best = i;
        }
    }
    return best;
}

}  // namespace

bool grounded(Activity a) { return a == Activity::Resting || a == Activity::Grooming || a == Activity::Walking; }
bool airborne(Activity a) { return a == Activity::Flying || a == Activity::Escaping || a == Activity::Chasing; }

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const double at = p * double(v.size() - 1);
    const std::size_t i = std::size_t(at);
    const double frac = at - double(i);
    return i + 1 < v.size() ? v[i] * (1.0 - frac) + v[i + 1] * frac : v[i];
}

Frame frameOf(const FlyView& v, double t) {
    Frame f;
    f.t = t;
    f.x = v.x;
    f.y = v.y;
    f.heading = v.heading;
    f.drawn = v.pose.headingHeld ? v.pose.heading : v.heading;
    f.activity = v.activity;
    f.visible = v.visible;
    f.walkFrame = v.pose.walkFrame;
    f.groom = v.pose.groom;
    f.groomFrame = v.pose.groomFrame;
    return f;
}

// ---- flights ------------------------------------------------------------------------------

std::vector<Flight> flights(const Track& track) {
    std::vector<Flight> out;
    const std::vector<Frame>& f = track.frames;
    bool inFlight = false;
    Flight flight;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (!inFlight && airborne(f[i].activity)) {
            inFlight = true;
            flight = Flight{};
            flight.begin = i;
            flight.fromGround = i > 0 && grounded(f[i - 1].activity);
        } else if (inFlight && grounded(f[i].activity)) {
            inFlight = false;
            flight.end = i;
            flight.landed = true;
            out.push_back(flight);
        }
    }
    if (inFlight) {
        flight.end = f.size();
        out.push_back(flight);
    }
    return out;
}

std::vector<Speed> flightSpeeds(const Track& track, const Flight& flight) {
    std::vector<Speed> out;
    const std::vector<Frame>& f = track.frames;
    for (std::size_t i = flight.begin + 1; i < flight.end; ++i) {
        if (!(airborne(f[i].activity) && f[i].visible && f[i - 1].visible)) continue;
        const double dt = f[i].t - f[i - 1].t;
        if (dt > 0.0) out.push_back({i, distance(f[i - 1], f[i]) / dt / track.size});
    }
    return out;
}

Constancy speedConstancy(const std::vector<Speed>& speeds, double tolerance) {
    std::vector<double> v;
    for (const Speed& s : speeds) v.push_back(s.bls);
    std::sort(v.begin(), v.end());
    // Some best band [s(1 - tol), s(1 + tol)] has its lowest speed on its lower edge, so
    // trying each speed as that edge finds the best.
    long best = 0;
    std::size_t top = 0;
    for (std::size_t low = 0; low < v.size(); ++low) {
        const double ceiling = v[low] * (1.0 + tolerance) / (1.0 - tolerance);
        top = std::max(top, low);
        while (top < v.size() && v[top] <= ceiling) ++top;
        best = std::max(best, long(top - low));
    }
    return {best, long(v.size())};
}

double cruise(const std::vector<Speed>& speeds) {
    if (speeds.size() < kCruiseSpeeds) return 0.0;
    std::vector<double> v;
    for (const Speed& s : speeds) v.push_back(s.bls);
    return percentile(v, 0.9);
}

double secondsToCruise(const Track& track, const Flight& flight, const std::vector<Speed>& speeds) {
    const double top = cruise(speeds);
    if (!flight.fromGround || top <= 0.0) return -1.0;
    for (const Speed& s : speeds) {
        if (s.bls >= 0.9 * top) return track.frames[s.frame].t - track.frames[flight.begin - 1].t;
    }
    return -1.0;
}

std::vector<SharpTurn> sharpTurns(const Track& track, const Flight& flight) {
    std::vector<SharpTurn> out;
    const std::vector<Frame>& f = track.frames;
    bool hasDirection = false, inTurn = false;
    double direction = 0.0, angle = 0.0, speedBefore = 0.0, slowest = 0.0;
    int frames = 0;
    double recent[3] = {0.0, 0.0, 0.0};  // the last frames' speeds, newest first
    std::size_t last = 0;
    for (const Speed& s : flightSpeeds(track, flight)) {
        const Frame &a = f[s.frame - 1], &b = f[s.frame];
        // Back on the screen after a while out of sight: what it did out there is unseen,
        // so the path starts afresh.
        if (last != 0 && s.frame != last + 1) {
            hasDirection = inTurn = false;
            recent[0] = recent[1] = recent[2] = 0.0;
        }
        last = s.frame;
        if (s.bls > 1.0) {
            const double dir = fm::atan2(double(b.y) - a.y, double(b.x) - a.x);
            if (hasDirection) {
                const double change = fm::angleDiff(dir, direction);
                if (std::fabs(change) > 5.0 * kDegree) {
                    if (!inTurn) {
                        inTurn = true;
                        angle = 0.0;
                        frames = 0;
                        speedBefore = std::max({recent[0], recent[1], recent[2]});
                        slowest = s.bls;
                    }
                    angle += change;
                    ++frames;
                    slowest = std::min(slowest, s.bls);
                } else if (inTurn) {
                    inTurn = false;
                    if (std::fabs(angle) >= 30.0 * kDegree && speedBefore > 0.0) {
                        out.push_back({std::fabs(angle) / kDegree, frames * kFrameSeconds, 1.0 - slowest / speedBefore});
                    }
                }
            }
            direction = dir;
            hasDirection = true;
        }
        recent[2] = recent[1];
        recent[1] = recent[0];
        recent[0] = s.bls;
    }
    return out;
}

double rankCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0.0;
    const std::vector<double> ra = ranks(std::vector<double>(a.begin(), a.begin() + long(n)));
    const std::vector<double> rb = ranks(std::vector<double>(b.begin(), b.begin() + long(n)));
    const double mean = 0.5 * double(n - 1);
    double sab = 0.0, saa = 0.0, sbb = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sab += (ra[i] - mean) * (rb[i] - mean);
        saa += (ra[i] - mean) * (ra[i] - mean);
        sbb += (rb[i] - mean) * (rb[i] - mean);
    }
    return saa > 0.0 && sbb > 0.0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

std::vector<Stretch> circling(const Track& track, std::size_t begin, std::size_t end) {
    constexpr std::size_t kWindow = 61, kStride = 6;  // a second of frames, tried every 0.1 s
    std::vector<bool> round(end - begin, false);
    for (std::size_t w = begin; w + kWindow <= end; w += kStride) {
        if (goesRound(track, w, w + kWindow)) std::fill(round.begin() + long(w - begin), round.begin() + long(w - begin + kWindow), true);
    }
    // Stretches of windows that go round, kept when they last a second and make a whole
    // turn: the direction of travel turns as far as the path goes round.
    std::vector<Stretch> out;
    const std::vector<double> changes = directionChanges(track, {begin, end});
    for (std::size_t i = 0; i < round.size();) {
        if (!round[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        double turned = 0.0;
        while (j < round.size() && round[j]) {
            if (j > i) turned += changes[j];
            ++j;
        }
        const Stretch s{begin + i, begin + j};
        if (track.frames[s.end - 1].t - track.frames[s.begin].t >= 1.0 - 1e-9 && std::fabs(turned) >= fm::kTwoPi) out.push_back(s);
        i = j;
    }
    return out;
}

void turning(const Track& track, const Flight& flight, Turning& out) {
    constexpr std::size_t kWindow = 30;  // half a second of frames
    for (const Stretch& leg : legs(track, flight)) {
        if (leg.end - leg.begin < kWindow + 1) continue;
        const std::vector<double> changes = directionChanges(track, leg);
        const std::vector<Stretch> circles = circling(track, leg.begin, leg.end);
        std::vector<bool> inCircle(leg.end - leg.begin, false);
        for (const Stretch& c : circles) {
            ++out.circles;
            out.circlingSeconds += track.frames[c.end - 1].t - track.frames[c.begin].t;
            for (std::size_t i = c.begin; i < c.end; ++i) inCircle[i - leg.begin] = true;
        }
        // Window w covers the frame steps w+1 .. w+kWindow.
        double sum = 0.0;
        int circled = 0;
        for (std::size_t i = 1; i <= kWindow; ++i) {
            sum += std::fabs(changes[i]);
            circled += inCircle[i];
        }
        const std::size_t n = leg.end - leg.begin;
        for (std::size_t w = 0;; ++w) {
            const double seconds = track.frames[leg.begin + w + kWindow].t - track.frames[leg.begin + w].t;
            const double rate = sum / kDegree / std::max(seconds, 1e-9);
            (circled > 0 || inCircle[w] ? out.circlingRates : out.rates).push_back(rate);
            if (w + kWindow + 1 >= n) break;
            sum += std::fabs(changes[w + kWindow + 1]) - std::fabs(changes[w + 1]);
            circled += int(inCircle[w + kWindow + 1]) - int(inCircle[w + 1]);
        }
    }
}

// ---- the picture's heading ----------------------------------------------------------------

namespace {
void addStep(HeadingSteps& s, const Frame& a, const Frame& b) {
    const double d = std::fabs(fm::angleDiff(b.drawn, a.drawn)) / kDegree;
    ++s.pairs;
    s.over += d > 45.0;
    s.maxDegrees = std::max(s.maxDegrees, d);
}
}  // namespace

void headingSteps(const Track& track, HeadingSteps& ground, HeadingSteps& takeOff) {
    const std::vector<Frame>& f = track.frames;
    for (std::size_t i = 1; i < f.size(); ++i) {
        if (grounded(f[i - 1].activity) && grounded(f[i].activity) && f[i - 1].visible && f[i].visible) addStep(ground, f[i - 1], f[i]);
    }
    for (const Flight& flight : flights(track)) {
        if (!flight.fromGround) continue;
        const double start = f[flight.begin - 1].t;
        for (std::size_t i = flight.begin; i < flight.end && f[i].t - start <= 0.15 + 1e-9; ++i) {
            if (f[i - 1].visible && f[i].visible) addStep(takeOff, f[i - 1], f[i]);
        }
    }
}

void takeOffDirections(const Track& track, TakeOffs& out) {
    const std::vector<Frame>& f = track.frames;
    for (const Flight& flight : flights(track)) {
        if (!flight.fromGround || flight.begin + 1 >= flight.end) continue;
        const Frame &ground = f[flight.begin - 1], &jump = f[flight.begin], &second = f[flight.begin + 1];
        if (!ground.visible || !second.visible || !airborne(second.activity)) continue;
        const double dx = double(second.x) - ground.x, dy = double(second.y) - ground.y;
        const bool moved = std::hypot(dx, dy) > 1e-6;
        if (jump.activity == Activity::Escaping) {
            if (!jump.pointerSeen) continue;
            ++out.escapes;
            // Away: the jump has a positive part along the line from the pointer to the fly.
            out.away += moved && dx * (ground.x - jump.pointerX) + dy * (ground.y - jump.pointerY) > 0.0;
        } else {
            ++out.spontaneous;
            out.forward += moved && std::fabs(fm::angleDiff(fm::atan2(dy, dx), ground.drawn)) <= 60.0 * kDegree;
        }
    }
}

// ---- walking ------------------------------------------------------------------------------

void walkingGait(const Track& track, Gait& out) {
    const std::vector<Frame>& f = track.frames;
    for (const Stretch& run : runsOf(track, [](const Frame& x) { return x.activity == Activity::Walking; })) {
        std::vector<double> speeds;
        double travelled = 0.0;
        bool stepped = false;
        for (std::size_t i = run.begin + 1; i < run.end; ++i) {
            const double step = distance(f[i - 1], f[i]);
            const double dt = f[i].t - f[i - 1].t;
            if (step > 1e-3 * track.size && dt > 0.0) speeds.push_back(step / dt / track.size);
            travelled += step + std::fabs(fm::angleDiff(f[i].heading, f[i - 1].heading)) * 0.5 * track.size;
            if (f[i].walkFrame != f[i - 1].walkFrame) {
                if (stepped) out.stepLengths.push_back(travelled / track.size);
                stepped = true;
                travelled = 0.0;
            }
        }
        if (speeds.size() < 6) continue;
        out.variation.push_back(variation(speeds));
        const double median = percentile(speeds, 0.5);
        out.frames += long(speeds.size());
        for (double s : speeds) out.nearMedian += std::fabs(s - median) <= 0.02 * median;
    }
}

double stepsInProportion(const std::vector<double>& stepLengths) {
    if (stepLengths.empty()) return 0.0;
    const double median = percentile(stepLengths, 0.5);
    long inside = 0;
    for (double d : stepLengths) inside += d >= median / 1.5 && d <= median * 1.5;
    return double(inside) / double(stepLengths.size());
}

// ---- grooming -----------------------------------------------------------------------------

void grooming(const Track& track, Grooming& out) {
    const std::vector<Frame>& f = track.frames;
    for (const Stretch& bout : runsOf(track, [](const Frame& x) { return x.activity == Activity::Grooming; })) {
        if (bout.end >= f.size()) continue;  // still grooming when the record ends
        const double start = f[bout.begin].t, length = f[bout.end].t - start;
        ++out.bouts;
        std::vector<double> strokes;
        std::vector<double> intervals;
        double actionStart = start;
        bool frontLegsOnly = true, reachedBack = false, inOrder = true;
        BoutSignature signature;
        double held = start;
        auto closeRun = [&](const Frame& was, double until) {
            signature.push_back(std::uint32_t(was.groom) << 24 | std::uint32_t(was.groomFrame) << 16 |
                                std::uint32_t(std::lround((until - held) / kFrameSeconds)));
            held = until;
        };
        for (std::size_t i = bout.begin; i < bout.end; ++i) {
            frontLegsOnly = frontLegsOnly && f[i].groom == Groom::FrontLegs;
            if (!anterior(f[i].groom)) reachedBack = true;
            else if (reachedBack) inOrder = false;
            if (i == bout.begin) continue;
            const bool actionChanged = f[i].groom != f[i - 1].groom;
            if (actionChanged || f[i].groomFrame != f[i - 1].groomFrame) {
                if (!strokes.empty()) intervals.push_back(f[i].t - strokes.back());
                strokes.push_back(f[i].t);
                closeRun(f[i - 1], f[i].t);
            }
            if (actionChanged) {
                out.actionLengths.push_back(f[i].t - actionStart);
                actionStart = f[i].t;
            }
        }
        closeRun(f[bout.end - 1], f[bout.end].t);
        out.actionLengths.push_back(f[bout.end].t - actionStart);
        out.singleFrontLegRub += frontLegsOnly;
        out.notHeadFirst += f[bout.begin].groom != Groom::Head;
        out.frontToBack += inOrder;
        if (length > 0.0) out.strokeRates.push_back(double(strokes.size()) / length);
        if (intervals.size() >= 3) out.intervalVariation.push_back(variation(intervals));
        out.intervals.insert(out.intervals.end(), intervals.begin(), intervals.end());
        if (length >= 1.0) out.signatures.push_back(std::move(signature));
    }
}

double multipleShare(const std::vector<double>& intervals, const std::vector<double>& actionLengths, double& step) {
    step = 0.0;
    if (intervals.empty() || actionLengths.empty()) return 0.0;
    // The most common interval, to the frame (the shorter one on a tie).
    std::vector<long> frames;
    for (double s : intervals) frames.push_back(std::lround(s / kFrameSeconds));
    std::sort(frames.begin(), frames.end());
    long mode = frames.front(), bestCount = 0;
    for (std::size_t i = 0; i < frames.size();) {
        std::size_t j = i;
        while (j < frames.size() && frames[j] == frames[i]) ++j;
        if (long(j - i) > bestCount && frames[i] > 0) {
            bestCount = long(j - i);
            mode = frames[i];
        }
        i = j;
    }
    if (mode <= 0) return 0.0;
    step = double(mode) * kFrameSeconds;
    long multiples = 0;
    for (double length : actionLengths) {
        const double n = std::round(length / step);
        multiples += n >= 1.0 && std::fabs(length - n * step) <= 0.5 * kFrameSeconds + 1e-9;
    }
    return double(multiples) / double(actionLengths.size());
}

long identicalPairs(std::vector<BoutSignature> signatures) {
    std::sort(signatures.begin(), signatures.end());
    long pairs = 0;
    for (std::size_t i = 0; i < signatures.size();) {
        std::size_t j = i;
        while (j < signatures.size() && signatures[j] == signatures[i]) ++j;
        pairs += long((j - i) * (j - i - 1) / 2);
        i = j;
    }
    return pairs;
}

// ---- flies among flies --------------------------------------------------------------------

void crowding(const std::vector<Track>& tracks, Crowding& out, double sample) {
    if (tracks.size() < 2) return;
    std::size_t frames = tracks.front().frames.size();
    for (const Track& k : tracks) frames = std::min(frames, k.frames.size());
    if (frames == 0) return;
    const std::vector<Frame>& first = tracks.front().frames;

    // Where each grounded fly was, on a regular clock (the last frame at or before each
    // tick), sorted by x so that a fly's neighbours are a short sweep away.
    struct Spot {
        float x, y;
        std::uint32_t fly;
    };
    const double start = first.front().t, seconds = first[frames - 1].t - start;
    const std::size_t ticks = std::size_t(seconds / sample) + 1;
    std::vector<std::vector<Spot>> grounds(ticks);
    double largest = 0.0;
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        largest = std::max(largest, tracks[k].size);
        std::size_t i = 0;
        for (std::size_t g = 0; g < ticks; ++g) {
            const double at = start + double(g) * sample;
            while (i + 1 < frames && first[i + 1].t <= at + 1e-9) ++i;
            const Frame& f = tracks[k].frames[i];
            if (grounded(f.activity) && f.visible) grounds[g].push_back({f.x, f.y, std::uint32_t(k)});
        }
    }
    for (std::vector<Spot>& spots : grounds) {
        std::sort(spots.begin(), spots.end(), [](const Spot& a, const Spot& b) { return a.x < b.x; });
    }
    auto near = [&](std::size_t a, double x, double y, std::size_t b, double bx, double by, double bodies) {
        const double reach = bodies * 0.5 * (tracks[a].size + tracks[b].size);
        return (x - bx) * (x - bx) + (y - by) * (y - by) < reach * reach;
    };
    // Calls visit(other fly) for every grounded fly under 0.5 BL from p at tick h, until
    // visit returns false.
    auto neighbours = [&](const Spot& p, std::size_t h, auto visit) {
        const std::vector<Spot>& spots = grounds[h];
        const double reach = 0.5 * largest;
        auto it = std::lower_bound(spots.begin(), spots.end(), p.x - reach, [](const Spot& s, double x) { return s.x < x; });
        for (; it != spots.end() && it->x <= p.x + reach; ++it) {
            if (it->fly != p.fly && near(p.fly, p.x, p.y, it->fly, it->x, it->y, 0.5) && !visit(it->fly)) return;
        }
    };
    // Chance: each fly against the others' tracks shifted by a fifth, two fifths, ... of
    // the run, round the end: the same places, the same habits, unrelated times.
    constexpr int kShifts = 4;
    long ground = 0, close = 0, chance = 0;
    const std::size_t n = tracks.size();
    std::vector<long> together(n * n, 0), lastSeen(n * n, -2);
    long longest = 0;
    for (std::size_t g = 0; g < ticks; ++g) {
        for (const Spot& p : grounds[g]) {
            ++ground;
            bool now = false;
            neighbours(p, g, [&](std::size_t b) {
                now = true;
                // The pair's current episode, counted once (from the lower-numbered fly).
                if (p.fly < b) {
                    const std::size_t pair = p.fly * n + b;
                    together[pair] = lastSeen[pair] == long(g) - 1 ? together[pair] + 1 : 1;
                    lastSeen[pair] = long(g);
                    longest = std::max(longest, together[pair]);
                }
                return true;
            });
            close += now;
            for (int s = 1; s <= kShifts; ++s) {
                bool shifted = false;
                neighbours(p, (g + ticks * std::size_t(s) / (kShifts + 1)) % ticks, [&](std::size_t) {
                    shifted = true;
                    return false;  // one is enough
                });
                chance += shifted;
            }
        }
    }
    out.groundSeconds += double(ground) * sample;
    out.closeSeconds += double(close) * sample;
    out.chanceSeconds += double(chance) * sample / kShifts;
    out.longest = std::max(out.longest, double(longest) * sample);

    // Landings beside a fly already sitting there, and walking into one, frame by frame.
    for (std::size_t a = 0; a < tracks.size(); ++a) {
        const std::vector<Frame>& f = tracks[a].frames;
        for (std::size_t i = 1; i < frames; ++i) {
            const bool landing = grounded(f[i].activity) && airborne(f[i - 1].activity);
            const bool walking = f[i].activity == Activity::Walking;
            if (!landing && !walking) continue;
            bool beside = false, onto = false;
            for (std::size_t b = 0; b < tracks.size(); ++b) {
                if (b == a) continue;
                const Frame& o = tracks[b].frames[i];
                if (!grounded(o.activity) || !o.visible) continue;
                beside = beside || (landing && grounded(tracks[b].frames[i - 1].activity) && near(a, f[i].x, f[i].y, b, o.x, o.y, 1.0));
                onto = onto || (walking && near(a, f[i].x, f[i].y, b, o.x, o.y, 0.5));
            }
            out.landings += landing;
            out.crowdedLandings += beside;
            out.walkFrames += walking;
            out.walkOnto += onto;
        }
    }
}

// ---- leaving -------------------------------------------------------------------------------

void departure(const std::vector<Track>& tracks, const std::vector<Monitor>& monitors, Departure& out) {
    constexpr double kReach = 0.6;  // seconds within which every grounded fly is to be off
    std::vector<std::size_t> takeOffFrames;
    for (const Track& track : tracks) {
        const std::vector<Frame>& f = track.frames;
        if (f.empty() || !f.front().visible || f.front().activity == Activity::Squashed || f.front().activity == Activity::Away) continue;
        const double asked = f.front().t;
        std::size_t from = 0;
        if (grounded(f.front().activity)) {
            ++out.groundedFlies;
            std::size_t i = 1;
            while (i < f.size() && !airborne(f[i].activity)) ++i;
            out.takeOffDelays.push_back(i < f.size() ? f[i].t - asked : -1.0);
            if (i < f.size()) takeOffFrames.push_back(i);
            from = i < f.size() ? i - 1 : 0;
        }
        // Seen in flight before it went, and gone across the edge nearest to where it
        // took off (or was, when it was flying already).
        ++out.leavers;
        bool flew = false;
        std::size_t last = 0, gone = f.size();
        for (std::size_t i = 0; i < f.size(); ++i) {
            if (!f[i].visible || f[i].activity == Activity::Away) {
                gone = i;
                break;
            }
            flew = flew || airborne(f[i].activity);
            last = i;
        }
        out.seenFlying += flew && gone < f.size();
        if (gone < f.size()) out.lastGone = std::max(out.lastGone, f[gone].t - asked);
        out.allGone = out.allGone && gone < f.size();
        if (monitors.empty() || gone >= f.size()) continue;
        // The edge it crossed is the one nearest to where it went out of sight; from a
        // corner either edge is as near, so any edge within a body length of the nearest counts.
        const std::size_t home = monitorAt(monitors, f[from].x, f[from].y);
        const std::size_t exit = monitorAt(monitors, f[last].x, f[last].y);
        double homeGaps[4], exitGaps[4];
        const int nearest = outerSides(monitors[home].bounds, monitors, f[from].x, f[from].y, homeGaps);
        const int crossed = outerSides(monitors[exit].bounds, monitors, f[last].x, f[last].y, exitGaps);
        out.nearestEdge += flew && home == exit && nearest >= 0 && crossed >= 0 && homeGaps[crossed] <= homeGaps[nearest] + track.size;
    }
    std::sort(takeOffFrames.begin(), takeOffFrames.end());
    out.distinctTakeOffFrames += long(std::unique(takeOffFrames.begin(), takeOffFrames.end()) - takeOffFrames.begin());
    out.framesInReach += std::min(long(takeOffFrames.size()), long(std::lround(kReach / kFrameSeconds)));
}

bool showsItsWays(const Track& track, double timeoutSeconds) {
    const std::vector<Frame>& f = track.frames;
    double firstLanding = -1.0;
    bool again = false, walked = false, groomed = false;
    for (const Flight& flight : flights(track)) {
        if (!flight.landed || f[flight.end].t >= timeoutSeconds) continue;
        if (firstLanding < 0.0) firstLanding = f[flight.end].t;
    }
    for (const Flight& flight : flights(track)) {
        again = again || (flight.fromGround && firstLanding >= 0.0 && f[flight.begin].t > firstLanding && f[flight.begin].t < timeoutSeconds);
    }
    for (const Stretch& run : runsOf(track, [](const Frame& x) { return x.activity == Activity::Walking; })) {
        double path = 0.0;
        for (std::size_t i = run.begin + 1; i < run.end; ++i) path += distance(f[i - 1], f[i]);
        walked = walked || (f[run.begin].t < timeoutSeconds && path > 0.1 * track.size);
    }
    for (const Frame& x : f) groomed = groomed || (x.activity == Activity::Grooming && x.t < timeoutSeconds);
    return firstLanding >= 0.0 && again && walked && groomed;
}

}  // namespace gnatter::ethogram
