// Chases: now and then a fly takes off after the nearest other fly on the ground. The
// chased fly darts off on a zigzag of straight legs and sharp turns for a second or so;
// the chaser follows its track a moment behind, turn for turn. Then the chaser breaks off
// and both land well apart.
#include "fly_state.h"

namespace gnatter {

bool startChase(Habitat& h, std::size_t chaserIndex) {
    Fly& chaser = h.flies[chaserIndex];
    int chased = -1;
    double nearest = tuning::kChaseReach * chaser.drawnSize();
    for (std::size_t i = 0; i < h.flies.size(); ++i) {
        const Fly& other = h.flies[i];
        if (i == chaserIndex || !other.grounded() || other.leaveAt >= 0) continue;
        const double d = distance(other.x, other.y, chaser.x, chaser.y);
        if (d <= nearest) {
            nearest = d;
            chased = int(i);
        }
    }
    if (chased < 0) return false;

    Fly& leader = h.flies[std::size_t(chased)];
    const double size = leader.drawnSize(), half = h.standHalf(leader);
    const double seconds = chaser.rng.range(tuning::kChaseMin, tuning::kChaseMax);
    const double cruise = typicalCruise(size);
    // Off away from the chaser as far as its jump allows, then zigzagging, each leg long
    // enough that two turns never crowd into one half second; kept over the ground so
    // that it can land, by turning the way that stays on the screen.
    const Point away{2.0 * leader.x - chaser.x, 2.0 * leader.y - chaser.y};
    const double jump = forwardJumpToward(leader, away);
    const double room = half + 2.0 * size;
    double course = jump;
    double side = leader.rng.chance(0.5) ? 1.0 : -1.0;
    Point at{leader.x, leader.y};
    std::vector<Point> waypoints;
    double time = 0.0;
    while (time < seconds && waypoints.size() < 8) {
        const double leg = leader.rng.range(tuning::kChaseLegMin, tuning::kChaseLegMax) * size;
        Point next{at.x + fm::cos(course) * leg, at.y + fm::sin(course) * leg};
        if (!h.world.canStand(next.x, next.y, room)) next = h.world.nearestStandingPoint(next.x, next.y, room);
        if (distance(next.x, next.y, at.x, at.y) < 4.0 * size) break;
        time += distance(next.x, next.y, at.x, at.y) / cruise;
        course = fm::atan2(next.y - at.y, next.x - at.x);
        waypoints.push_back(next);
        at = next;
        const double turn = leader.rng.range(tuning::kChaseTurnMin, tuning::kChaseTurnMax);
        if (leader.rng.chance(0.75)) side = -side;
        const Point ahead{at.x + fm::cos(course + side * turn) * leg, at.y + fm::sin(course + side * turn) * leg};
        if (!h.world.canStand(ahead.x, ahead.y, room)) side = -side;
        course += side * turn;
    }
    const double facing = course;
    waypoints.push_back(landingSpot(h, leader, at.x, at.y, 11.0 * size, &facing));
    takeOff(h, leader, FlightKind::Chase, waypoints, jump);

    // The chaser cuts in on the other's zigzag and flies it a moment behind, turn for
    // turn, until it gives up.
    std::vector<Point> trail(waypoints.begin(), waypoints.end() - 1);
    if (trail.empty()) trail.push_back(waypoints.front());
    takeOff(h, chaser, FlightKind::Chase, trail, forwardJumpToward(chaser, trail.front()));
    FlightState& fl = chaser.flight;
    fl.chasing = chased;
    fl.partner = chased;
    leader.flight.partner = int(chaserIndex);
    fl.chaseEnd = h.now + stepsFor(seconds);
    // A little faster than the other, but never faster than a fly of its own size flies.
    fl.cruise = std::min(leader.flight.cruise * 1.08,
                         std::max(tuning::kCruiseMax * chaser.drawnSize(), tuning::kCruiseMinPixels));
    fl.deadline = fl.chaseEnd + stepsFor(3.0);
    return true;
}

void endChase(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    const Point theirs = partnerComesDown(h, f);
    fl.chasing = -1;
    const double size = f.drawnSize();
    const double facing = fl.course;
    // Well apart from where the other comes down: ahead if it can be, else wherever.
    Point spot{};
    bool apart = false;
    for (int attempt = 0; attempt < 16 && !apart; ++attempt) {
        spot = landingSpot(h, f, f.x, f.y, (attempt < 8 ? 15.0 : 26.0) * size, &facing, attempt < 8 ? 1.0 : 1.6);
        apart = distance(spot.x, spot.y, theirs.x, theirs.y) >= tuning::kChaseLandApart * size;
    }
    if (!apart) {
        const double away = fm::atan2(f.y - theirs.y, f.x - theirs.x);
        const double reach = tuning::kChaseLandApart * size;
        spot = clearSpot(h, f, h.world.nearestStandingPoint(theirs.x + fm::cos(away) * reach, theirs.y + fm::sin(away) * reach,
                                                            h.standHalf(f)));
    }
    fl.waypoints = pathTo(h, f, {f.x, f.y}, fl.course, spot);
    fl.next = 0;
    fl.deadline = h.now + stepsFor(4.0);
}

}  // namespace gnatter
