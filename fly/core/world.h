// The ground the flies live on: the union of the monitors' work areas, where a fly may
// stand, and the monitors' bounds, which a fly must clear to be out of sight. Used by
// the simulation; kept apart so that the geometry reads on its own.
#pragma once

#include "fly_math.h"
#include "swarm.h"

#include <vector>

namespace gnatter {

struct Point {
    double x = 0.0, y = 0.0;
};

class World {
public:
    void set(const std::vector<Monitor>& monitors);

    bool hasGround() const { return !areas_.empty(); }
    double maxScale() const { return maxScale_; }
    // Scale of the monitor under the point, or of the nearest one off-screen.
    float scaleAt(double x, double y) const;

    // True when a body of half-extent `half` centred here lies wholly on work areas: on
    // one of them, or straddling neighbours without overhanging any gap between them.
    bool canStand(double x, double y, double half) const;
    // Closest point where such a body can stand (clamped into the nearest work area).
    Point nearestStandingPoint(double x, double y, double half) const;
    // Uniform over the total work area, then clamped so the body fits.
    Point randomStandingPoint(fm::Rng& rng, double half) const;
    // A random standing point in the work area nearest to (x, y).
    Point randomStandingPointNear(double x, double y, fm::Rng& rng, double half) const;

    // True when a square reaching `reach` from the point on every side touches no monitor.
    bool outOfSight(double x, double y, double reach) const;
    // The nearest out-of-sight point straight across one monitor edge from (x, y).
    Point exitPoint(double x, double y, double reach) const;

private:
    struct Box {
        double left, top, right, bottom;
    };
    int nearestArea(double x, double y) const;
    // Index of the box nearest to (x, y), the first of equals; -1 when there is none.
    static int nearestBox(const std::vector<Box>& boxes, double x, double y);
    Point clampInto(const Box& a, double x, double y, double half) const;
    bool coveredByAreas(const Box& b) const;

    std::vector<Box> areas_;
    std::vector<Box> bounds_;
    std::vector<float> scales_;
    double maxScale_ = 1.0;
    mutable std::vector<double> xs_, ys_;  // scratch for coveredByAreas
};

}  // namespace gnatter
