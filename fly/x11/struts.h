// Work areas from panels' struts. A panel reserves a strip along an edge of the whole
// X screen (_NET_WM_STRUT_PARTIAL: how far in from that edge, over which span), and the
// window manager's single _NET_WORKAREA is wrong as soon as a panel sits on one monitor
// of several; so each monitor's work area is worked out here from the struts that reach
// into it. No X headers: the arithmetic is tested on its own.
#pragma once

#include "swarm.h"

#include <array>
#include <cstdint>
#include <vector>

namespace gnatter::x11 {

// _NET_WM_STRUT_PARTIAL's twelve numbers: left, right, top, bottom, then the spans
// left_start_y, left_end_y, right_start_y, right_end_y, top_start_x, top_end_x,
// bottom_start_x, bottom_end_x (ends inclusive). A plain _NET_WM_STRUT gives the first
// four, with spans over the whole screen.
using Strut = std::array<std::uint32_t, 12>;
Strut strutFromPartial(const std::vector<std::uint32_t>& values, int screenWidth, int screenHeight);

// Each monitor's bounds less what the struts reserve within it, on a screen of this size.
// A strut that would leave a monitor no room at all is ignored for it.
Rect workAreaOf(const Rect& bounds, const std::vector<Strut>& struts, int screenWidth, int screenHeight);

}  // namespace gnatter::x11
