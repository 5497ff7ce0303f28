// Chases: now and then a fly takes off after the nearest other fly on the ground. The chased fly darts off
// on a zigzag of short legs and sharp turns for a second or two; the chaser follows a
// moment behind, aiming where the other just was. Then the chaser breaks off and both
// land well apart.
#include "fly_state.h"

namespace gnatter {

bool startChase(Habitat& h, std::size_t chaserIndex) {
    Fly& chaser = h.flies[chaserIndex];
    int chased = -1;
    double nearest = tuning::kChaseReach * chaser.drawnSize();
    for (std::size_t i = 0; i < h.flies.size(); ++i) {
        const Fly& other = h.flies[i];
        if (i == chaserIndex || !other.grounded()) continue;
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
    // Off away from the chaser, then zigzagging; kept over the ground so that it can land.
    double course = fm::atan2(leader.y - chaser.y, leader.x - chaser.x);
    Point at{leader.x, leader.y};
    std::vector<Point> waypoints;
    double time = 0.0;
    while (time < seconds && waypoints.size() < 32) {
        const double leg = leader.rng.range(4.0, 9.0) * size;
        Point next = h.world.nearestStandingPoint(at.x + fm::cos(course) * leg, at.y + fm::sin(course) * leg,
                                                  half + 2.0 * size);
        if (distance(next.x, next.y, at.x, at.y) < size) break;
        time += distance(next.x, next.y, at.x, at.y) / cruise + 0.12;
        course = fm::atan2(next.y - at.y, next.x - at.x);
        waypoints.push_back(next);
        at = next;
        const double turn = leader.rng.range(tuning::kTurnMin, tuning::kTurnMax);
        course += leader.rng.chance(0.5) ? turn : -turn;
    }
    waypoints.push_back(landingSpot(h, leader, at.x, at.y, 15.0 * size));
    takeOff(h, leader, FlightKind::Chase, waypoints);

    takeOff(h, chaser, FlightKind::Chase, {Point{leader.x, leader.y}});
    FlightState& fl = chaser.flight;
    fl.chasing = chased;
    fl.chaseEnd = h.now + stepsFor(seconds);
    fl.cruise = leader.flight.cruise * 1.08;
    fl.deadline = fl.chaseEnd + stepsFor(3.0);
    return true;
}

Point chaseTarget(const Habitat& h, const Fly& f) {
    const Fly& leader = h.flies[std::size_t(f.flight.chasing)];
    const double lag = leader.flight.speed * tuning::kChaseLag;
    return {leader.x - fm::cos(leader.heading) * lag, leader.y - fm::sin(leader.heading) * lag};
}

void endChase(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    const Fly& leader = h.flies[std::size_t(fl.chasing)];
    const Point theirs = leader.mode == Mode::Flying ? leader.flight.waypoints.back() : Point{leader.x, leader.y};
    fl.chasing = -1;
    const double size = f.drawnSize();
    Point spot{};
    for (int attempt = 0; attempt < 8; ++attempt) {
        spot = landingSpot(h, f, f.x, f.y, 20.0 * size);
        if (distance(spot.x, spot.y, theirs.x, theirs.y) >= tuning::kChaseLandApart * size) break;
    }
    fl.waypoints = pathTo(h, f, {f.x, f.y}, spot);
    fl.next = 0;
    fl.deadline = h.now + stepsFor(4.0);
}

}  // namespace gnatter
