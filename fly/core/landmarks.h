// What flies steer by on a desktop: the edges they can see (where the work areas end, and
// the outlines of other programs' windows where no window above hides them), the corners
// where such edges meet, and which window lies under a point. Flies prefer to land on
// edges and in corners, as real ones gather on window frames and along ledges.
#pragma once

#include "fly_math.h"
#include "swarm.h"
#include "world.h"

#include <cstdint>
#include <vector>

namespace gnatter {

class Landmarks {
public:
    // An axis-aligned stretch of a visible edge, with the sides of it that are ground.
    struct Edge {
        Point a, b;          // a.x == b.x (vertical) or a.y == b.y (horizontal); a before b
        bool groundBefore;   // ground on the side of smaller x (vertical) or y (horizontal)
        bool groundAfter;
    };

    // Recomputes everything from the work areas and the windows, topmost first.
    void set(const std::vector<Monitor>& monitors, const std::vector<WindowBox>& topFirst);

    const std::vector<Edge>& edges() const { return edges_; }
    const std::vector<Point>& corners() const { return corners_; }
    const std::vector<WindowBox>& windows() const { return windows_; }

    // Distance from the point to the nearest visible edge / corner; huge when there is none.
    double distanceToEdge(double x, double y) const;
    double distanceToCorner(double x, double y) const;

    // The id of the topmost window under the point, or 0 for the bare desktop.
    std::uint64_t windowAt(double x, double y) const;
    // The window with this id, or null when it is gone.
    const WindowBox* find(std::uint64_t id) const;

    // A point on a visible edge (chosen by length) and the unit normal pointing to a side
    // of it that is ground; false when there are no edges.
    bool randomEdgePoint(fm::Rng& rng, Point& at, Point& normal) const;
    // A corner; false when there are none.
    bool randomCorner(fm::Rng& rng, Point& at) const;
    // The point of a visible edge nearest to (x, y), and the unit normal pointing to the
    // side of it where (x, y) lies, or to its ground side when (x, y) lies on the other;
    // false when there are no edges.
    bool nearestEdgePoint(double x, double y, Point& at, Point& normal) const;
    // The corner nearest to (x, y); false when there are none.
    bool nearestCorner(double x, double y, Point& at) const;

private:
    std::vector<WindowBox> windows_;
    std::vector<Edge> edges_;
    std::vector<Point> corners_;
    double totalLength_ = 0.0;
};

}  // namespace gnatter
