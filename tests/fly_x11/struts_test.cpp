// Work areas from panels' struts, per monitor: a panel on one monitor of two different
// sizes cuts only that one, whichever edge it sits on; a plain strut spans the screen.
#include "struts.h"

#include <gtest/gtest.h>

#include <ostream>

namespace gnatter {
void PrintTo(const Rect& r, std::ostream* out) { *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}"; }
}  // namespace gnatter

namespace gnatter::x11 {
namespace {

// Two monitors side by side, tops aligned, the second smaller: a 2304x800 screen.
const Rect kBig{0, 0, 1280, 800}, kSmall{1280, 0, 2304, 768};
const int kWidth = 2304, kHeight = 800;

Strut partial(std::uint32_t left, std::uint32_t right, std::uint32_t top, std::uint32_t bottom, std::uint32_t from,
              std::uint32_t to) {
    // The span goes with whichever edge the strut is on.
    Strut s{left, right, top, bottom, 0, 0, 0, 0, 0, 0, 0, 0};
    const int edge = left ? 4 : right ? 6 : top ? 8 : 10;
    s[std::size_t(edge)] = from;
    s[std::size_t(edge) + 1] = to;
    return s;
}

TEST(Struts, APanelCutsOnlyTheMonitorItSitsOn) {
    struct Case {
        const char* name;
        Strut strut;
        Rect big, small;
    };
    const Case cases[] = {
        {"bottom of the big one", partial(0, 0, 0, 40, 0, 1279), {0, 0, 1280, 760}, kSmall},
        {"bottom of the small one", partial(0, 0, 0, 72, 1280, 2303), kBig, {1280, 0, 2304, 728}},
        {"top of the small one", partial(0, 0, 30, 0, 1280, 2303), kBig, {1280, 30, 2304, 768}},
        {"left of the small one", partial(1330, 0, 0, 0, 0, 767), kBig, {1330, 0, 2304, 768}},
        {"right of the big one", partial(0, 1074, 0, 0, 0, 799), {0, 0, 1230, 800}, kSmall},
        {"plain top strut", strutFromPartial({0, 0, 24, 0}, kWidth, kHeight), {0, 24, 1280, 800},
         {1280, 24, 2304, 768}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.big, workAreaOf(kBig, {c.strut}, kWidth, kHeight)) << c.name;
        EXPECT_EQ(c.small, workAreaOf(kSmall, {c.strut}, kWidth, kHeight)) << c.name;
    }
}

}  // namespace
}  // namespace gnatter::x11
