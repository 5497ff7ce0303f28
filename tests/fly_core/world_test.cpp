// Tests of the desktop as the flies see it. World: where a body may stand (right and
// bottom edges, seams and gaps between monitors), where to put one that cannot, how the
// ground is shared out, the way out of sight, and monitor scales (nonsense ones ignored,
// the largest found wherever it is listed). Landmarks: the visible edges and their ground
// sides, corners (L- and T-shaped), the window under a point, and the nearest and random
// picks the flies make from them. Each is checked against a plain pointwise definition
// on hand-made desktops and on seeded random ones.
#include "landmarks.h"
#include "world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace gnatter {
namespace {

// A monitor with a 40 px taskbar along its bottom.
Monitor monitor(int left, int top, int right, int bottom, float scale = 1.0f) {
    Monitor m;
    m.bounds = {left, top, right, bottom};
    m.workArea = {left, top, right, bottom - 40};
    m.scale = scale;
    return m;
}

struct Desktop {
    std::string name;
    std::vector<Monitor> monitors;
    std::vector<WindowBox> windows;  // topmost first
};

// Every coordinate is a multiple of ten, so that a probe half a pixel off an edge or a
// sample at a half pixel never lands on another edge.
std::vector<Desktop> desktops() {
    std::vector<Desktop> all = {
        {"one monitor", {monitor(0, 0, 1920, 1080)}, {}},
        {"a seam between two monitors", {monitor(0, 0, 1920, 1080), monitor(1920, 0, 3840, 1080)}, {}},
        {"monitors of different heights with a gap under one",
         {monitor(0, 0, 1920, 1080), monitor(1920, 0, 3200, 720), monitor(-1080, 200, 0, 2120)}, {}},
        // A window under another: its edges end in T-junctions on the upper one's edges.
        // One more reaches past the right and bottom of the screen, and two have no area.
        {"windows over windows",
         {monitor(0, 0, 1920, 1080)},
         {{{300, 200, 1000, 700}, 1}, {{800, 400, 1600, 900}, 2}, {{100, 600, 700, 1000}, 3},
          {{1700, 900, 2100, 1200}, 4}, {{500, 100, 500, 300}, 5}, {{200, 800, 600, 800}, 6}}},
        {"a window across a seam", {monitor(0, 0, 1920, 1080), monitor(1920, 0, 3840, 1080)},
         {{{1500, 300, 2500, 800}, 1}}},
    };
    // Seeded random desktops: a row of one to three monitors at different heights, now and
    // then with a gap, and up to seven windows that may reach off the screens.
    fm::Rng rng(2024);
    auto tens = [&rng](int lo, int hi) { return 10 * (lo + int(rng.unit() * (hi - lo + 1))); };
    for (int d = 0; d < 24; ++d) {
        Desktop desk;
        desk.name = "random desktop " + std::to_string(d);
        const int count = 1 + int(rng.unit() * 3);
        int x = tens(-50, 50);
        for (int m = 0; m < count; ++m) {
            const int w = tens(60, 200), h = tens(50, 120), top = tens(-20, 20);
            desk.monitors.push_back(monitor(x, top, x + w, top + h));
            x += w + (rng.chance(0.2) ? tens(1, 20) : 0);
        }
        const int windows = int(rng.unit() * 8);
        for (int i = 0; i < windows; ++i) {
            const int left = tens(-60, x / 10), top = tens(-30, 120);
            desk.windows.push_back({{left, top, left + tens(10, 100), top + tens(10, 80)}, std::uint64_t(i + 1)});
        }
        all.push_back(desk);
    }
    return all;
}

// ---- the definitions the code must meet ----

bool inClosed(const Rect& r, double x, double y) { return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom; }
bool strictlyInside(const Rect& r, double x, double y) { return x > r.left && x < r.right && y > r.top && y < r.bottom; }
bool empty(const Rect& r) { return !(r.right > r.left && r.bottom > r.top); }

// Ground: the union of the (closed) work areas that have an inside.
bool ground(const Desktop& d, double x, double y) {
    for (const Monitor& m : d.monitors) {
        if (!empty(m.workArea) && inClosed(m.workArea, x, y)) return true;
    }
    return false;
}

// Whether this point lies on the outline of r, along a horizontal or a vertical side.
bool onOutline(const Rect& r, double x, double y, bool horizontal) {
    if (empty(r)) return false;
    return horizontal ? (y == r.top || y == r.bottom) && x >= r.left && x <= r.right
                      : (x == r.left || x == r.right) && y >= r.top && y <= r.bottom;
}

// A point of a horizontal (vertical) line is on a visible edge when it is on the ground,
// with ground on at least one side of the line, and lies on the outline of a work area
// with ground on one side only (where two monitors meet there is no edge), or on the
// outline of a window that no window above it covers.
bool visible(const Desktop& d, double x, double y, bool horizontal) {
    if (!ground(d, x, y)) return false;
    const bool before = horizontal ? ground(d, x, y - 0.5) : ground(d, x - 0.5, y);
    const bool after = horizontal ? ground(d, x, y + 0.5) : ground(d, x + 0.5, y);
    if (!before && !after) return false;
    if (before != after) {
        for (const Monitor& m : d.monitors) {
            if (onOutline(m.workArea, x, y, horizontal)) return true;
        }
    }
    for (std::size_t i = 0; i < d.windows.size(); ++i) {
        if (!onOutline(d.windows[i].rect, x, y, horizontal)) continue;
        bool covered = false;
        for (std::size_t j = 0; j < i; ++j) covered = covered || strictlyInside(d.windows[j].rect, x, y);
        if (!covered) return true;
    }
    return false;
}

bool horizontal(const Landmarks::Edge& e) { return e.a.y == e.b.y; }

double distanceToSegment(double x, double y, const Landmarks::Edge& e) {
    const double cx = std::min(std::max(x, e.a.x), e.b.x), cy = std::min(std::max(y, e.a.y), e.b.y);
    return std::hypot(x - cx, y - cy);
}

std::string at(double x, double y) {
    std::ostringstream s;
    s << "(" << x << ", " << y << ")";
    return s.str();
}

// ---------------------------------------------------------------------------------------
TEST(Landmarks, EdgesAreExactlyTheVisibleOutlinesWithTheirGroundSides) {
    Landmarks marks;  // one for all: each desktop replaces what the one before left
    for (const Desktop& d : desktops()) {
        marks.set(d.monitors, d.windows);
        // Along every outline, half a pixel off the corners: on an edge exactly where visible.
        std::vector<Rect> outlines;
        for (const Monitor& m : d.monitors) outlines.push_back(m.workArea);
        for (const WindowBox& w : d.windows) outlines.push_back(w.rect);
        int wrong = 0;
        for (const Rect& r : outlines) {
            for (bool h : {true, false}) {
                const double lo = h ? r.left : r.top, hi = h ? r.right : r.bottom;
                for (int side = 0; side < 2; ++side) {
                    const double c = h ? (side ? r.bottom : r.top) : (side ? r.right : r.left);
                    for (double t = lo + 0.5; t < hi; t += 5.0) {
                        const double x = h ? t : c, y = h ? c : t;
                        const bool want = visible(d, x, y, h);
                        if ((marks.distanceToEdge(x, y) < 1e-9) != want && ++wrong <= 3) {
                            ADD_FAILURE() << d.name << ": " << at(x, y) << (want ? " should be" : " should not be")
                                          << " on a visible " << (h ? "horizontal" : "vertical") << " edge";
                        }
                    }
                }
            }
        }
        EXPECT_EQ(wrong, 0) << d.name << ": points misjudged along the outlines";
        // Every edge runs along an axis, is visible all along, and says truly which of its
        // sides are ground.
        for (const Landmarks::Edge& e : marks.edges()) {
            const bool h = horizontal(e);
            ASSERT_TRUE(h || e.a.x == e.b.x) << d.name << ": a slanted edge";
            ASSERT_LT(h ? e.a.x : e.a.y, h ? e.b.x : e.b.y) << d.name << ": an edge not running from a to b";
            const double length = h ? e.b.x - e.a.x : e.b.y - e.a.y;
            for (double s = 0.5; s < length; s += 5.0) {
                const double x = h ? e.a.x + s : e.a.x, y = h ? e.a.y : e.a.y + s;
                ASSERT_TRUE(visible(d, x, y, h)) << d.name << ": an edge through " << at(x, y) << ", which is not visible";
                ASSERT_EQ(e.groundBefore, h ? ground(d, x, y - 0.5) : ground(d, x - 0.5, y)) << d.name << " at " << at(x, y);
                ASSERT_EQ(e.groundAfter, h ? ground(d, x, y + 0.5) : ground(d, x + 0.5, y)) << d.name << " at " << at(x, y);
            }
        }
    }
}

// Corners are where a horizontal and a vertical edge meet and at least one of them ends
// there: an L or a T. Where a window's edge goes under a window above, it ends on that
// window's edge in a T.
TEST(Landmarks, CornersAreWhereEdgesMeetAndOneEnds) {
    constexpr double kSlack = 1.5;
    auto passes = [](const Landmarks::Edge& e, Point p) { return distanceToSegment(p.x, p.y, e) <= kSlack; };
    auto endsAt = [](const Landmarks::Edge& e, Point p) {
        return std::hypot(e.a.x - p.x, e.a.y - p.y) <= kSlack || std::hypot(e.b.x - p.x, e.b.y - p.y) <= kSlack;
    };
    Landmarks marks;  // one for all: each desktop replaces what the one before left
    for (const Desktop& d : desktops()) {
        marks.set(d.monitors, d.windows);
        const auto& edges = marks.edges();
        const auto& corners = marks.corners();
        for (std::size_t i = 0; i < corners.size(); ++i) {
            const Point c = corners[i];
            bool found = false;
            for (const auto& a : edges) {
                for (const auto& b : edges) {
                    found = found || (horizontal(a) && !horizontal(b) && passes(a, c) && passes(b, c) &&
                                      (endsAt(a, c) || endsAt(b, c)));
                }
            }
            EXPECT_TRUE(found) << d.name << ": corner " << at(c.x, c.y) << " is no meeting of edges";
            for (std::size_t j = 0; j < i; ++j) {
                EXPECT_FALSE(std::fabs(corners[j].x - c.x) <= 2.0 && std::fabs(corners[j].y - c.y) <= 2.0)
                    << d.name << ": corner " << at(c.x, c.y) << " listed twice";
            }
        }
        // Conversely every meeting where one edge ends has its corner, and no edges cross
        // without either ending (an edge that goes under a window stops at its outline).
        for (const auto& a : edges) {
            if (!horizontal(a)) continue;
            for (const auto& b : edges) {
                if (horizontal(b)) continue;
                const Point meet{b.a.x, a.a.y};
                if (!passes(a, meet) || !passes(b, meet)) continue;
                EXPECT_TRUE(endsAt(a, meet) || endsAt(b, meet)) << d.name << ": edges cross at " << at(meet.x, meet.y);
                EXPECT_LE(marks.distanceToCorner(meet.x, meet.y), 2.0 * std::sqrt(2.0))
                    << d.name << ": edges meet at " << at(meet.x, meet.y) << " without a corner there";
            }
        }
    }
    // Counted by hand: the screen's 4, the top window's 4, and the window under it 3 Ls and
    // 2 Ts where its top and left edges go under the top window.
    marks.set({monitor(0, 0, 1920, 1080)}, {{{300, 200, 1000, 700}, 1}, {{800, 400, 1600, 900}, 2}});
    EXPECT_EQ(marks.corners().size(), 13u);
    for (Point t : {Point{1000, 400}, Point{800, 700}, Point{1920, 1040}}) {
        EXPECT_EQ(marks.distanceToCorner(t.x, t.y), 0.0) << "no corner at " << at(t.x, t.y);
    }
}

// What the flies ask of the landmarks, against a search through the lists themselves.
TEST(Landmarks, NearestAndRandomPicksAgreeWithTheLists) {
    for (const Desktop& d : desktops()) {
        Landmarks marks;
        marks.set(d.monitors, d.windows);
        const auto& edges = marks.edges();
        const auto& corners = marks.corners();
        ASSERT_FALSE(edges.empty()) << d.name;
        ASSERT_FALSE(corners.empty()) << d.name;
        fm::Rng rng(7);
        for (int k = 0; k < 300; ++k) {
            const double x = rng.range(-1500.0, 4500.0), y = rng.range(-500.0, 2300.0);
            double edgeDistance = std::numeric_limits<double>::max(), cornerDistance = edgeDistance;
            for (const auto& e : edges) edgeDistance = std::min(edgeDistance, distanceToSegment(x, y, e));
            for (const Point& c : corners) cornerDistance = std::min(cornerDistance, std::hypot(c.x - x, c.y - y));
            ASSERT_NEAR(marks.distanceToEdge(x, y), edgeDistance, 1e-9) << d.name << " from " << at(x, y);
            ASSERT_NEAR(marks.distanceToCorner(x, y), cornerDistance, 1e-9) << d.name << " from " << at(x, y);
            Point corner{};
            ASSERT_TRUE(marks.nearestCorner(x, y, corner));
            ASSERT_NEAR(std::hypot(corner.x - x, corner.y - y), cornerDistance, 1e-9) << d.name << " from " << at(x, y);
            // The nearest edge point, and a normal toward the point's side of the edge when
            // that side is ground, else toward the ground.
            Point p{}, n{};
            ASSERT_TRUE(marks.nearestEdgePoint(x, y, p, n));
            ASSERT_NEAR(std::hypot(p.x - x, p.y - y), edgeDistance, 1e-9) << d.name << " from " << at(x, y);
            bool explained = false;
            for (const auto& e : edges) {
                const bool h = horizontal(e);
                if (distanceToSegment(p.x, p.y, e) > 1e-9 || (h ? n.x : n.y) != 0.0 || std::fabs(h ? n.y : n.x) != 1.0) continue;
                const bool towardAfter = (h ? n.y : n.x) > 0.0;
                const double side = h ? y - p.y : x - p.x;
                if (side > 0.0 && e.groundAfter) explained = explained || towardAfter;
                else if (side < 0.0 && e.groundBefore) explained = explained || !towardAfter;
                else explained = explained || (towardAfter ? e.groundAfter : e.groundBefore);
            }
            ASSERT_TRUE(explained) << d.name << ": from " << at(x, y) << " the nearest edge point " << at(p.x, p.y)
                                   << " has normal " << at(n.x, n.y);
        }
        // Random edge points spread by length over the edges, with normals to a ground side,
        // both sides of an edge that has ground on both.
        double total = 0.0;
        for (const auto& e : edges) total += (e.b.x - e.a.x) + (e.b.y - e.a.y);
        // A point where edges overlap (a window flush with the screen's edge) counts a share
        // to each of them.
        std::vector<double> hits(edges.size(), 0.0);
        std::vector<int> alone(edges.size(), 0), before(edges.size(), 0);
        const int draws = 10000;
        for (int k = 0; k < draws; ++k) {
            Point p{}, n{};
            ASSERT_TRUE(marks.randomEdgePoint(rng, p, n));
            std::vector<std::size_t> on;
            bool groundSide = false;
            const bool toAfter = n.x + n.y > 0.0;
            for (std::size_t i = 0; i < edges.size(); ++i) {
                const bool h = horizontal(edges[i]);
                if (distanceToSegment(p.x, p.y, edges[i]) > 0.0 || (h ? n.x : n.y) != 0.0) continue;
                on.push_back(i);
                groundSide = groundSide || (toAfter ? edges[i].groundAfter : edges[i].groundBefore);
            }
            ASSERT_FALSE(on.empty()) << d.name << ": random point " << at(p.x, p.y) << " normal " << at(n.x, n.y);
            ASSERT_TRUE(groundSide) << d.name << ": the normal at " << at(p.x, p.y) << " points off the ground";
            for (std::size_t i : on) hits[i] += 1.0 / double(on.size());
            if (on.size() == 1) {
                ++alone[on[0]];
                before[on[0]] += !toAfter;
            }
        }
        double spread = 0.0;  // total variation distance between hits and lengths
        for (std::size_t i = 0; i < edges.size(); ++i) {
            const double share = ((edges[i].b.x - edges[i].a.x) + (edges[i].b.y - edges[i].a.y)) / total;
            spread += 0.5 * std::fabs(hits[i] / draws - share);
            if (edges[i].groundBefore && edges[i].groundAfter && alone[i] >= 40) {
                EXPECT_GT(before[i], alone[i] / 5) << d.name << ": an edge with ground on both sides got one normal only";
                EXPECT_LT(before[i], alone[i] * 4 / 5) << d.name << ": an edge with ground on both sides got one normal only";
            }
        }
        EXPECT_LT(spread, 0.04) << d.name << ": random edge points do not follow the edges' lengths";
        // Corners come up alike.
        std::vector<int> cornerHits(corners.size(), 0);
        for (int k = 0; k < 200 * int(corners.size()); ++k) {
            Point c{};
            ASSERT_TRUE(marks.randomCorner(rng, c));
            const auto it = std::find_if(corners.begin(), corners.end(), [&c](const Point& q) { return q.x == c.x && q.y == c.y; });
            ASSERT_NE(it, corners.end());
            ++cornerHits[std::size_t(it - corners.begin())];
        }
        for (int h : cornerHits) EXPECT_GT(h, 100) << d.name << ": a corner comes up too rarely";
    }
    // Nothing to steer by: every question says so.
    Landmarks none;
    none.set({}, {{{0, 0, 100, 100}, 1}});
    fm::Rng rng(1);
    Point p{}, n{};
    EXPECT_FALSE(none.randomEdgePoint(rng, p, n));
    EXPECT_FALSE(none.randomCorner(rng, p));
    EXPECT_FALSE(none.nearestEdgePoint(10, 10, p, n));
    EXPECT_FALSE(none.nearestCorner(10, 10, p));
    EXPECT_GT(none.distanceToEdge(10, 10), 1e300);
}

// Beyond 64 windows, the ones further down are left out.
TEST(Landmarks, TheTopmostSixtyFourWindowsCount) {
    std::vector<WindowBox> many;
    for (int i = 0; i < 70; ++i) many.push_back({{10 * i, 10 * i, 10 * i + 300, 10 * i + 200}, std::uint64_t(i + 1)});
    Landmarks marks;
    marks.set({monitor(0, 0, 1920, 1080)}, many);
    EXPECT_NE(marks.find(64), nullptr);
    EXPECT_EQ(marks.find(65), nullptr);
    EXPECT_EQ(marks.windowAt(995, 995), 0u) << "the 70th window is seen";
}

TEST(Landmarks, WindowUnderAPointIsTheTopmostHoldingIt) {
    for (const Desktop& d : desktops()) {
        Landmarks marks;
        marks.set(d.monitors, d.windows);
        fm::Rng rng(3);
        for (int k = 0; k < 500; ++k) {
            // Whole pixels, so that the half-open rule (left and top in, right and bottom
            // out) is put to the test on the outlines.
            const double x = std::floor(rng.range(-700.0, 3000.0) / 10.0) * 10.0, y = std::floor(rng.range(-400.0, 1500.0) / 10.0) * 10.0;
            std::uint64_t want = 0;
            for (const WindowBox& w : d.windows) {
                if (x >= w.rect.left && x < w.rect.right && y >= w.rect.top && y < w.rect.bottom) {
                    want = w.id;
                    break;
                }
            }
            ASSERT_EQ(marks.windowAt(x, y), want) << d.name << " at " << at(x, y);
        }
        for (const WindowBox& w : d.windows) {
            const WindowBox* found = marks.find(w.id);  // (zero-area ones do not count)
            if (empty(w.rect)) {
                EXPECT_EQ(found, nullptr) << d.name << ": window " << w.id << " has no area, yet is known";
            } else {
                ASSERT_NE(found, nullptr) << d.name << ": window " << w.id << " is not known";
                EXPECT_EQ(found->rect, w.rect);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// A body stands where its whole square is on work areas. With whole-pixel areas a gap is
// at least a pixel wide, so the square's own sides and every half pixel inside find it.
bool bodyOnGround(const Desktop& d, double x, double y, double half) {
    std::vector<double> xs = {x - half, x + half}, ys = {y - half, y + half};
    for (double t = std::floor(x - half) + 0.5; t < x + half; t += 1.0) {
        if (t > x - half) xs.push_back(t);
    }
    for (double t = std::floor(y - half) + 0.5; t < y + half; t += 1.0) {
        if (t > y - half) ys.push_back(t);
    }
    for (double px : xs) {
        for (double py : ys) {
            if (!ground(d, px, py)) return false;
        }
    }
    return true;
}

TEST(World, BodiesStandExactlyWhereTheirSquareIsOnGround) {
    for (const Desktop& d : desktops()) {
        World world;
        world.set(d.monitors);
        fm::Rng rng(11);
        std::vector<Rect> areas;
        for (const Monitor& m : d.monitors) areas.push_back(m.workArea);
        // In eighths of a pixel, so that a body flush with a side is exactly flush.
        auto eighths = [](double v) { return std::round(v * 8.0) / 8.0; };
        for (int k = 0; k < 400; ++k) {
            // Bodies near a work area's side or corner: where standing is decided.
            const Rect& a = areas[std::size_t(rng.unit() * double(areas.size()))];
            const double half = k % 5 == 0 ? 0.0 : eighths(rng.range(1.0, 30.0));
            double x = rng.chance(0.5) ? rng.range(a.left - 2 * half, a.left + 2 * half) : rng.range(a.right - 2 * half, a.right + 2 * half);
            double y = rng.chance(0.5) ? rng.range(a.top - 2 * half, a.top + 2 * half) : rng.range(a.bottom - 2 * half, a.bottom + 2 * half);
            if (rng.chance(0.3)) x = rng.range(double(a.left), double(a.right));
            if (rng.chance(0.3)) y = rng.range(double(a.top), double(a.bottom));
            if (k % 7 == 0) x = (rng.chance(0.5) ? a.right - half : a.left + half);  // flush with a side
            if (k % 11 == 0) y = (rng.chance(0.5) ? a.bottom - half : a.top + half);
            x = eighths(x);
            y = eighths(y);
            const bool want = bodyOnGround(d, x, y, half);
            ASSERT_EQ(world.canStand(x, y, half), want) << d.name << ": a body of half " << half << " at " << at(x, y);
            // Where it cannot, the nearest standing point can, and one that can stays put.
            const Point p = world.nearestStandingPoint(x, y, half);
            if (want) {
                EXPECT_TRUE(p.x == x && p.y == y) << d.name << ": moved a body that could stand at " << at(x, y);
            } else {
                EXPECT_TRUE(bodyOnGround(d, p.x, p.y, half)) << d.name << ": " << at(x, y) << " was put at " << at(p.x, p.y)
                                                             << ", where a body of half " << half << " cannot stand";
            }
        }
    }
    // Past the right and the bottom edge of one monitor, straight back onto it, flush.
    World one;
    one.set({monitor(0, 0, 1920, 1080)});
    for (const auto& c : {std::vector<double>{2000, 500, 1900, 500}, std::vector<double>{900, 1100, 900, 1020},
                          std::vector<double>{2500, 2000, 1900, 1020}, std::vector<double>{-50, -60, 20, 20}}) {
        const Point p = one.nearestStandingPoint(c[0], c[1], 20.0);
        EXPECT_EQ(p.x, c[2]) << "from " << at(c[0], c[1]);
        EXPECT_EQ(p.y, c[3]) << "from " << at(c[0], c[1]);
    }
    EXPECT_TRUE(one.canStand(1900, 1020, 20.0));
    EXPECT_FALSE(one.canStand(1900.25, 1020, 20.0));
    EXPECT_FALSE(one.canStand(1900, 1020.25, 20.0));
}

TEST(World, MonitorsWithoutAWorkAreaAreNoGround) {
    Monitor covered = monitor(1920, 0, 3840, 1080);
    covered.workArea = {1920, 0, 3840, 0};  // all taskbar
    World world;
    world.set({monitor(0, 0, 1920, 1080), covered});
    EXPECT_FALSE(world.canStand(2500, 0, 0.0));
    const Point p = world.nearestStandingPoint(2500, 10, 5.0);
    EXPECT_TRUE(world.canStand(p.x, p.y, 5.0)) << "put at " << at(p.x, p.y);
    EXPECT_LE(p.x, 1920.0);
    World none;
    none.set({covered});
    EXPECT_FALSE(none.hasGround());
}

TEST(World, RandomStandingPointsShareTheGroundOutByArea) {
    const Desktop d = desktops()[2];  // three monitors of different sizes
    World world;
    world.set(d.monitors);
    fm::Rng rng(5);
    double total = 0.0;
    std::vector<double> share;
    for (const Monitor& m : d.monitors) {
        const Rect& a = m.workArea;
        share.push_back(double(a.right - a.left) * double(a.bottom - a.top));
        total += share.back();
    }
    std::vector<int> hits(d.monitors.size(), 0);
    const int draws = 6000;
    for (int k = 0; k < draws; ++k) {
        const Point p = world.randomStandingPoint(rng, 15.0);
        ASSERT_TRUE(world.canStand(p.x, p.y, 15.0)) << at(p.x, p.y);
        for (std::size_t i = 0; i < d.monitors.size(); ++i) hits[i] += strictlyInside(d.monitors[i].workArea, p.x, p.y);
    }
    for (std::size_t i = 0; i < hits.size(); ++i) {
        EXPECT_NEAR(double(hits[i]) / draws, share[i] / total, 0.03) << "monitor " << i;
    }
    // Near a point: on the work area nearest to it, all over that area.
    for (std::size_t i = 0; i < d.monitors.size(); ++i) {
        const Rect& a = d.monitors[i].workArea;
        double lowest = 1e9, highest = -1e9;
        for (int k = 0; k < 300; ++k) {
            const Point p = world.randomStandingPointNear(0.5 * (a.left + a.right), 0.5 * (a.top + a.bottom), rng, 15.0);
            ASSERT_TRUE(a.left + 15.0 <= p.x && p.x <= a.right - 15.0 && a.top + 15.0 <= p.y && p.y <= a.bottom - 15.0)
                << "monitor " << i << ": " << at(p.x, p.y);
            lowest = std::min(lowest, p.x);
            highest = std::max(highest, p.x);
        }
        EXPECT_LT(lowest, a.left + 0.2 * (a.right - a.left)) << "monitor " << i;
        EXPECT_GT(highest, a.right - 0.2 * (a.right - a.left)) << "monitor " << i;
    }
}

// Out of sight: a square of `reach` touching no monitor. From a monitor, the way out is
// about as short as the first such point straight along any of the four directions (a
// shade longer where a neighbouring monitor is in reach, as it goes round that one's
// corner).
TEST(World, TheWayOutIsTheShortestStraightOne) {
    World world;  // one for all: each desktop replaces what the one before left
    for (const Desktop& d : desktops()) {
        world.set(d.monitors);
        auto clear = [&d](double x, double y, double reach) {
            for (const Monitor& m : d.monitors) {
                const Rect& b = m.bounds;
                if (x + reach > b.left && x - reach < b.right && y + reach > b.top && y - reach < b.bottom) return false;
            }
            return true;
        };
        fm::Rng rng(13);
        for (int k = 0; k < 200; ++k) {
            const double x = rng.range(-1500.0, 4500.0), y = rng.range(-500.0, 2300.0), reach = rng.range(10.0, 120.0);
            ASSERT_EQ(world.outOfSight(x, y, reach), clear(x, y, reach)) << d.name << " at " << at(x, y) << " reach " << reach;
            const Point e = world.exitPoint(x, y, reach);
            ASSERT_TRUE(clear(e.x, e.y, reach)) << d.name << ": the way out of " << at(x, y) << " ends in sight at " << at(e.x, e.y);
            if (clear(x, y, reach)) {
                EXPECT_TRUE(e.x == x && e.y == y) << d.name << ": already out of sight at " << at(x, y);
                continue;
            }
            bool onAMonitor = false;
            for (const Monitor& m : d.monitors) onAMonitor = onAMonitor || strictlyInside(m.bounds, x, y);
            if (!onAMonitor) continue;
            double straight = 1e300;
            for (const Point dir : {Point{1, 0}, Point{-1, 0}, Point{0, 1}, Point{0, -1}}) {
                for (double s = 0.0; s < 8000.0; s += 1.0) {
                    if (clear(x + dir.x * s, y + dir.y * s, reach)) {
                        straight = std::min(straight, s);
                        break;
                    }
                }
            }
            EXPECT_LE(std::hypot(e.x - x, e.y - y), 1.1 * straight + 2.0) << d.name << ": from " << at(x, y) << " out at " << at(e.x, e.y);
        }
    }
    // Across the nearest side of one monitor, the right and the bottom ones included.
    World one;
    one.set({monitor(0, 0, 1920, 1080)});
    EXPECT_EQ(one.exitPoint(1900, 500, 50).x, 1920 + 51);
    EXPECT_EQ(one.exitPoint(900, 1070, 50).y, 1080 + 51);
    EXPECT_EQ(one.exitPoint(10, 500, 50).x, -51);
    EXPECT_EQ(one.exitPoint(900, 5, 50).y, -51);
}

// A fly is drawn at its monitor's scale; a scale that makes no sense counts as 1, and the
// largest scale is found wherever that monitor is listed.
struct ScaleCase {
    const char* name;
    std::vector<float> scales;  // of monitors side by side, left to right
    std::vector<float> used;
    float largest;
};

void PrintTo(const ScaleCase& c, std::ostream* out) { *out << c.name; }

class MonitorScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(MonitorScale, NonsenseCountsAsOneAndTheLargestIsFound) {
    const ScaleCase& c = GetParam();
    std::vector<Monitor> monitors;
    for (std::size_t i = 0; i < c.scales.size(); ++i) {
        monitors.push_back(monitor(int(i) * 1000, 0, int(i) * 1000 + 1000, 800, c.scales[i]));
    }
    World world;
    world.set(monitors);
    for (std::size_t i = 0; i < c.scales.size(); ++i) {
        EXPECT_EQ(world.scaleAt(double(i) * 1000 + 500, 400), c.used[i]) << "monitor " << i;
    }
    // Off the screens, the nearest monitor's.
    EXPECT_EQ(world.scaleAt(-300, 400), c.used.front());
    EXPECT_EQ(world.scaleAt(double(c.scales.size()) * 1000 + 300, 900), c.used.back());
    EXPECT_EQ(world.maxScale(), double(c.largest));
}

// Off the screens, a fly is drawn at the scale of the monitor nearest to it.
TEST(World, OffTheScreensTheNearestMonitorsScaleHolds) {
    for (const Desktop& d : desktops()) {
        std::vector<Monitor> monitors = d.monitors;
        for (std::size_t i = 0; i < monitors.size(); ++i) monitors[i].scale = 1.0f + 0.5f * float(i);
        World world;
        world.set(monitors);
        fm::Rng rng(17);
        for (int k = 0; k < 200; ++k) {
            const double x = rng.range(-3000.0, 6000.0), y = rng.range(-2000.0, 3000.0);
            double best = 1e300;
            float want = 1.0f;
            for (const Monitor& m : monitors) {
                const Rect& b = m.bounds;
                const double dx = std::max({b.left - x, 0.0, x - b.right}), dy = std::max({b.top - y, 0.0, y - b.bottom});
                if (dx * dx + dy * dy < best) {
                    best = dx * dx + dy * dy;
                    want = m.scale;
                }
            }
            ASSERT_EQ(world.scaleAt(x, y), want) << d.name << " at " << at(x, y);
        }
    }
}

const ScaleCase kScaleCases[] = {
    {"Ordinary", {1.0f, 1.5f}, {1.0f, 1.5f}, 1.5f},
    {"LargestListedFirst", {2.5f, 1.0f, 1.25f}, {2.5f, 1.0f, 1.25f}, 2.5f},
    {"AllBelowOne", {0.5f, 0.75f}, {0.5f, 0.75f}, 0.75f},
    {"ZeroNegativeNaNAndInfinity",
     {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()},
     {1.0f, 1.0f, 1.0f, 1.0f}, 1.0f},
    {"NonsenseBesideALargeOne", {std::numeric_limits<float>::quiet_NaN(), 3.0f, 100.0f}, {1.0f, 3.0f, 1.0f}, 3.0f},
};

INSTANTIATE_TEST_SUITE_P(World, MonitorScale, ::testing::ValuesIn(kScaleCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gnatter
