// Struts to per-monitor work areas.
#include "struts.h"

#include <algorithm>

namespace gnatter::x11 {

namespace {

// True when the span [start, end] (inclusive) overlaps [low, high).
bool overlaps(std::uint32_t start, std::uint32_t end, int low, int high) {
    return std::int64_t(start) < high && std::int64_t(end) >= low && start <= end;
}

}  // namespace

Strut strutFromPartial(const std::vector<std::uint32_t>& values, int screenWidth, int screenHeight) {
    Strut s{};
    for (std::size_t i = 0; i < s.size() && i < values.size(); ++i) s[i] = values[i];
    if (values.size() < 12) {
        const std::uint32_t w = std::uint32_t(std::max(screenWidth, 1)) - 1, h = std::uint32_t(std::max(screenHeight, 1)) - 1;
        s[4] = 0, s[5] = h, s[6] = 0, s[7] = h, s[8] = 0, s[9] = w, s[10] = 0, s[11] = w;
    }
    return s;
}

Rect workAreaOf(const Rect& bounds, const std::vector<Strut>& struts, int screenWidth, int screenHeight) {
    Rect area = bounds;
    for (const Strut& s : struts) {
        Rect cut = area;
        if (s[0] > 0 && overlaps(s[4], s[5], bounds.top, bounds.bottom)) cut.left = std::max(cut.left, int(s[0]));
        if (s[1] > 0 && overlaps(s[6], s[7], bounds.top, bounds.bottom)) {
            cut.right = std::min(cut.right, screenWidth - int(s[1]));
        }
        if (s[2] > 0 && overlaps(s[8], s[9], bounds.left, bounds.right)) cut.top = std::max(cut.top, int(s[2]));
        if (s[3] > 0 && overlaps(s[10], s[11], bounds.left, bounds.right)) {
            cut.bottom = std::min(cut.bottom, screenHeight - int(s[3]));
        }
        if (cut.left < cut.right && cut.top < cut.bottom) area = cut;
    }
    return area;
}

}  // namespace gnatter::x11
