// Visible edges and corners of a desktop. Each window edge is cut where a window above
// it covers it or where it leaves the work areas; each work-area edge is kept where the
// other side is not ground (two monitors side by side show no edge between them). The
// lists are rebuilt only when the monitors or the windows change, a few times a minute.
#include "landmarks.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gnatter {
namespace {

// Beyond this many windows the ones further down are mostly hidden anyway.
constexpr std::size_t kMostWindows = 64;

struct Box {
    double left, top, right, bottom;
};

bool onAnyArea(const std::vector<Box>& areas, double x, double y) {
    for (const Box& a : areas) {
        if (x >= a.left && x <= a.right && y >= a.top && y <= a.bottom) return true;
    }
    return false;
}

bool strictlyInside(const Rect& r, double x, double y) {
    return x > r.left && x < r.right && y > r.top && y < r.bottom;
}

double segmentDistance(const Point& p, const Point& a, const Point& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0;
    t = std::min(1.0, std::max(0.0, t));
    const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
    return std::sqrt(ex * ex + ey * ey);
}

class EdgeBuilder {
public:
    EdgeBuilder(const std::vector<Box>& areas, const std::vector<WindowBox>& windows,
                std::vector<Landmarks::Edge>& out)
        : areas_(areas), windows_(windows), out_(out) {}

    // The stretch from t0 to t1 of the line x = c (vertical) or y = c (horizontal).
    // `above` windows (the first ones in the list) may hide it; a work-area edge is kept
    // only where one side of it is not ground.
    void add(bool vertical, double c, double t0, double t1, std::size_t above, bool areaEdge) {
        if (!(t1 > t0)) return;
        cuts_.assign({t0, t1});
        for (const Box& a : areas_) addCuts(vertical ? a.top : a.left, vertical ? a.bottom : a.right, t0, t1);
        for (std::size_t j = 0; j < above; ++j) {
            const Rect& r = windows_[j].rect;
            addCuts(vertical ? r.top : r.left, vertical ? r.bottom : r.right, t0, t1);
        }
        std::sort(cuts_.begin(), cuts_.end());
        bool open = false;
        Landmarks::Edge current{};
        for (std::size_t i = 0; i + 1 < cuts_.size(); ++i) {
            const double s0 = cuts_[i], s1 = cuts_[i + 1];
            if (!(s1 > s0)) continue;
            const double m = 0.5 * (s0 + s1);
            const double x = vertical ? c : m, y = vertical ? m : c;
            bool keep = onAnyArea(areas_, x, y);
            for (std::size_t j = 0; keep && j < above; ++j) keep = !strictlyInside(windows_[j].rect, x, y);
            const bool before = onAnyArea(areas_, vertical ? x - 1.0 : x, vertical ? y : y - 1.0);
            const bool after = onAnyArea(areas_, vertical ? x + 1.0 : x, vertical ? y : y + 1.0);
            if (areaEdge && before && after) keep = false;
            if (!(before || after)) keep = false;
            const Point a = vertical ? Point{c, s0} : Point{s0, c};
            const Point b = vertical ? Point{c, s1} : Point{s1, c};
            if (keep && open && current.groundBefore == before && current.groundAfter == after) {
                current.b = b;
                continue;
            }
            if (open) out_.push_back(current);
            open = keep;
            current = {a, b, before, after};
        }
        if (open) out_.push_back(current);
    }

private:
    void addCuts(double lo, double hi, double t0, double t1) {
        if (lo > t0 && lo < t1) cuts_.push_back(lo);
        if (hi > t0 && hi < t1) cuts_.push_back(hi);
    }

    const std::vector<Box>& areas_;
    const std::vector<WindowBox>& windows_;
    std::vector<Landmarks::Edge>& out_;
    std::vector<double> cuts_;
};

}  // namespace

void Landmarks::set(const std::vector<Monitor>& monitors, const std::vector<WindowBox>& topFirst) {
    std::vector<Box> areas;
    for (const Monitor& m : monitors) {
        const Rect& w = m.workArea;
        if (w.right > w.left && w.bottom > w.top) {
            areas.push_back({double(w.left), double(w.top), double(w.right), double(w.bottom)});
        }
    }
    windows_.clear();
    for (const WindowBox& w : topFirst) {
        if (windows_.size() == kMostWindows) break;
        if (w.rect.right > w.rect.left && w.rect.bottom > w.rect.top) windows_.push_back(w);
    }

    edges_.clear();
    EdgeBuilder builder(areas, windows_, edges_);
    for (const Box& a : areas) {
        builder.add(false, a.top, a.left, a.right, 0, true);
        builder.add(false, a.bottom, a.left, a.right, 0, true);
        builder.add(true, a.left, a.top, a.bottom, 0, true);
        builder.add(true, a.right, a.top, a.bottom, 0, true);
    }
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        const Rect& r = windows_[i].rect;
        builder.add(false, r.top, r.left, r.right, i, false);
        builder.add(false, r.bottom, r.left, r.right, i, false);
        builder.add(true, r.left, r.top, r.bottom, i, false);
        builder.add(true, r.right, r.top, r.bottom, i, false);
    }
    totalLength_ = 0.0;
    for (const Edge& e : edges_) totalLength_ += (e.b.x - e.a.x) + (e.b.y - e.a.y);

    // Corners: where a horizontal and a vertical edge meet and at least one of them ends
    // (an L or a T, not a crossing).
    corners_.clear();
    const double slack = 1.5;
    for (const Edge& h : edges_) {
        if (h.a.y != h.b.y) continue;
        for (const Edge& v : edges_) {
            if (v.a.x != v.b.x) continue;
            const double x = v.a.x, y = h.a.y;
            if (x < h.a.x - slack || x > h.b.x + slack || y < v.a.y - slack || y > v.b.y + slack) continue;
            const bool hEnds = std::fabs(x - h.a.x) <= slack || std::fabs(x - h.b.x) <= slack;
            const bool vEnds = std::fabs(y - v.a.y) <= slack || std::fabs(y - v.b.y) <= slack;
            if (!hEnds && !vEnds) continue;
            bool known = false;
            for (const Point& c : corners_) known = known || (std::fabs(c.x - x) <= 2.0 && std::fabs(c.y - y) <= 2.0);
            if (!known) corners_.push_back({x, y});
        }
    }
}

double Landmarks::distanceToEdge(double x, double y) const {
    double best = std::numeric_limits<double>::max();
    for (const Edge& e : edges_) best = std::min(best, segmentDistance({x, y}, e.a, e.b));
    return best;
}

double Landmarks::distanceToCorner(double x, double y) const {
    double best = std::numeric_limits<double>::max();
    for (const Point& c : corners_) best = std::min(best, std::sqrt((c.x - x) * (c.x - x) + (c.y - y) * (c.y - y)));
    return best;
}

std::uint64_t Landmarks::windowAt(double x, double y) const {
    for (const WindowBox& w : windows_) {
        if (x >= w.rect.left && x < w.rect.right && y >= w.rect.top && y < w.rect.bottom) return w.id;
    }
    return 0;
}

const WindowBox* Landmarks::find(std::uint64_t id) const {
    for (const WindowBox& w : windows_) {
        if (w.id == id) return &w;
    }
    return nullptr;
}

bool Landmarks::randomEdgePoint(fm::Rng& rng, Point& at, Point& normal) const {
    if (edges_.empty() || !(totalLength_ > 0.0)) return false;
    double r = rng.unit() * totalLength_;
    const Edge* chosen = &edges_.back();
    for (const Edge& e : edges_) {
        const double length = (e.b.x - e.a.x) + (e.b.y - e.a.y);
        if (r < length) {
            chosen = &e;
            break;
        }
        r -= length;
    }
    const double t = rng.unit();
    at = {chosen->a.x + (chosen->b.x - chosen->a.x) * t, chosen->a.y + (chosen->b.y - chosen->a.y) * t};
    const bool side = rng.chance(0.5);
    const bool after = chosen->groundBefore && chosen->groundAfter ? side : chosen->groundAfter;
    const bool vertical = chosen->a.x == chosen->b.x;
    const double sign = after ? 1.0 : -1.0;
    normal = vertical ? Point{sign, 0.0} : Point{0.0, sign};
    return true;
}

bool Landmarks::nearestEdgePoint(double x, double y, Point& at, Point& normal) const {
    const Edge* nearest = nullptr;
    double best = std::numeric_limits<double>::max();
    for (const Edge& e : edges_) {
        const double d = segmentDistance({x, y}, e.a, e.b);
        if (d < best) {
            best = d;
            nearest = &e;
        }
    }
    if (nearest == nullptr) return false;
    const bool vertical = nearest->a.x == nearest->b.x;
    // Edges run along an axis, so the nearest point is (x, y) clamped onto the segment.
    at = vertical ? Point{nearest->a.x, std::min(std::max(y, nearest->a.y), nearest->b.y)}
                  : Point{std::min(std::max(x, nearest->a.x), nearest->b.x), nearest->a.y};
    const bool pointAfter = vertical ? x > at.x : y > at.y;
    const bool after = pointAfter ? (nearest->groundAfter || !nearest->groundBefore) : !nearest->groundBefore;
    const double sign = after ? 1.0 : -1.0;
    normal = vertical ? Point{sign, 0.0} : Point{0.0, sign};
    return true;
}

bool Landmarks::nearestCorner(double x, double y, Point& at) const {
    double best = std::numeric_limits<double>::max();
    for (const Point& c : corners_) {
        const double d = (c.x - x) * (c.x - x) + (c.y - y) * (c.y - y);
        if (d < best) {
            best = d;
            at = c;
        }
    }
    return !corners_.empty();
}

bool Landmarks::randomCorner(fm::Rng& rng, Point& at) const {
    if (corners_.empty()) return false;
    const std::size_t i = std::min(corners_.size() - 1, std::size_t(rng.unit() * double(corners_.size())));
    at = corners_[i];
    return true;
}

}  // namespace gnatter
