// Geometry of the flies' world: which points a fly may stand on, the nearest such point,
// and the way out of sight. Monitors are few, so everything is a plain loop over them.
#include "world.h"

#include <algorithm>
#include <cmath>

namespace gnatter {

void World::set(const std::vector<Monitor>& monitors) {
    areas_.clear();
    bounds_.clear();
    scales_.clear();
    maxScale_ = 1.0;
    bool anyScale = false;
    for (const Monitor& m : monitors) {
        const Rect& w = m.workArea;
        if (w.right > w.left && w.bottom > w.top) {
            areas_.push_back({double(w.left), double(w.top), double(w.right), double(w.bottom)});
        }
        const Rect& b = m.bounds;
        if (b.right > b.left && b.bottom > b.top) {
            bounds_.push_back({double(b.left), double(b.top), double(b.right), double(b.bottom)});
            // A nonsensical scale would make flies vanish or fill the screen; 1 is safe.
            const float s = (m.scale >= 0.25f && m.scale <= 8.0f) ? m.scale : 1.0f;
            scales_.push_back(s);
            maxScale_ = anyScale ? std::max(maxScale_, double(s)) : double(s);
            anyScale = true;
        }
    }
}

int World::nearestBox(const std::vector<Box>& boxes, double x, double y) {
    int best = -1;
    double bestDistance = 0.0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Box& b = boxes[i];
        const double dx = std::max({b.left - x, 0.0, x - b.right});
        const double dy = std::max({b.top - y, 0.0, y - b.bottom});
        const double d = dx * dx + dy * dy;
        if (best < 0 || d < bestDistance) {
            best = int(i);
            bestDistance = d;
        }
    }
    return best;
}

float World::scaleAt(double x, double y) const {
    const int nearest = nearestBox(bounds_, x, y);
    return nearest < 0 ? 1.0f : scales_[std::size_t(nearest)];
}

bool World::canStand(double x, double y, double half) const {
    if (!(half >= 0.0)) half = 0.0;
    return coveredByAreas({x - half, y - half, x + half, y + half});
}

bool World::coveredByAreas(const Box& b) const {
    for (const Box& a : areas_) {
        if (a.left <= b.left && b.right <= a.right && a.top <= b.top && b.bottom <= a.bottom) return true;
    }
    // Straddling several areas: cut the box along every area edge that crosses it; it is
    // covered when the middle of every resulting cell lies in some area.
    xs_.assign({b.left, b.right});
    ys_.assign({b.top, b.bottom});
    for (const Box& a : areas_) {
        for (double v : {a.left, a.right}) if (v > b.left && v < b.right) xs_.push_back(v);
        for (double v : {a.top, a.bottom}) if (v > b.top && v < b.bottom) ys_.push_back(v);
    }
    std::sort(xs_.begin(), xs_.end());
    std::sort(ys_.begin(), ys_.end());
    for (std::size_t i = 0; i + 1 < xs_.size(); ++i) {
        const double cx = 0.5 * (xs_[i] + xs_[i + 1]);
        for (std::size_t j = 0; j + 1 < ys_.size(); ++j) {
            const double cy = 0.5 * (ys_[j] + ys_[j + 1]);
            bool inside = false;
            for (const Box& a : areas_) {
                if (a.left <= cx && cx <= a.right && a.top <= cy && cy <= a.bottom) {
                    inside = true;
                    break;
                }
            }
            if (!inside) return false;
        }
    }
    return true;
}

Point World::clampInto(const Box& a, double x, double y, double half) const {
    // An area narrower than the fly still gets it, centred, rather than none at all.
    const double l = a.left + half, r = a.right - half, t = a.top + half, bt = a.bottom - half;
    Point p;
    p.x = (l <= r) ? std::min(std::max(x, l), r) : 0.5 * (a.left + a.right);
    p.y = (t <= bt) ? std::min(std::max(y, t), bt) : 0.5 * (a.top + a.bottom);
    return p;
}

int World::nearestArea(double x, double y) const {
    return nearestBox(areas_, x, y);
}

Point World::nearestStandingPoint(double x, double y, double half) const {
    if (canStand(x, y, half)) return {x, y};
    Point best{x, y};
    double bestDistance = -1.0;
    for (const Box& a : areas_) {
        const Point p = clampInto(a, x, y, half);
        const double d = (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y);
        if (bestDistance < 0.0 || d < bestDistance) {
            bestDistance = d;
            best = p;
        }
    }
    return best;
}

Point World::randomStandingPoint(fm::Rng& rng, double half) const {
    if (areas_.empty()) return {0.0, 0.0};
    double total = 0.0;
    for (const Box& a : areas_) total += (a.right - a.left) * (a.bottom - a.top);
    double pick = rng.unit() * total;
    const Box* chosen = &areas_.back();
    for (const Box& a : areas_) {
        const double area = (a.right - a.left) * (a.bottom - a.top);
        if (pick < area) {
            chosen = &a;
            break;
        }
        pick -= area;
    }
    const double x = rng.range(chosen->left, chosen->right);
    const double y = rng.range(chosen->top, chosen->bottom);
    return clampInto(*chosen, x, y, half);
}

Point World::randomStandingPointNear(double x, double y, fm::Rng& rng, double half) const {
    const int i = nearestArea(x, y);
    if (i < 0) return {x, y};
    const Box& a = areas_[std::size_t(i)];
    // Drawn in separate statements: argument evaluation order differs between compilers.
    const double px = rng.range(a.left, a.right);
    const double py = rng.range(a.top, a.bottom);
    return clampInto(a, px, py, half);
}

bool World::outOfSight(double x, double y, double reach) const {
    for (const Box& b : bounds_) {
        if (x + reach > b.left && x - reach < b.right && y + reach > b.top && y - reach < b.bottom) return false;
    }
    return true;
}

Point World::exitPoint(double x, double y, double reach) const {
    if (outOfSight(x, y, reach)) return {x, y};
    const double out = reach + 1.0;
    Point best{x, y};
    double bestDistance = -1.0;
    auto consider = [&](double px, double py) {
        if (!outOfSight(px, py, reach)) return;
        const double d = (px - x) * (px - x) + (py - y) * (py - y);
        if (bestDistance < 0.0 || d < bestDistance) {
            bestDistance = d;
            best = {px, py};
        }
    };
    // The points just beyond each edge of a box, straight across from (x, y).
    auto considerEdgesOf = [&](const Box& b) {
        const double cx = std::min(std::max(x, b.left), b.right);
        const double cy = std::min(std::max(y, b.top), b.bottom);
        consider(b.left - out, cy);
        consider(b.right + out, cy);
        consider(cx, b.top - out);
        consider(cx, b.bottom + out);
    };
    Box all = bounds_.empty() ? Box{x, y, x, y} : bounds_.front();
    for (const Box& b : bounds_) {
        considerEdgesOf(b);
        all = {std::min(all.left, b.left), std::min(all.top, b.top),
               std::max(all.right, b.right), std::max(all.bottom, b.bottom)};
    }
    if (bestDistance < 0.0) {
        // Every edge leads onto another monitor: leave the whole desktop's bounding box,
        // which is always out of sight.
        considerEdgesOf(all);
    }
    return best;
}

}  // namespace gnatter
