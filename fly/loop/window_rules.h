// What every platform's fly windows do alike: which flies stay out of sight, and which
// small moves can wait a frame. Kept here so that each platform's windows only carry
// them out.
#pragma once

#include "swarm.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace gnatter {

// True when the fly is gone, or lies on a monitor a full-screen program covers.
inline bool keepOutOfSight(const FlyView& view, const std::vector<Rect>& hiddenOn) {
    return !view.visible || std::any_of(hiddenOn.begin(), hiddenOn.end(), [&](const Rect& r) {
               return view.x >= float(r.left) && view.x < float(r.right) && view.y >= float(r.top) &&
                      view.y < float(r.bottom);
           });
}

// A fly creeping under a pixel a frame moves its window every other frame, a pixel or two
// at a time: as smooth to the eye at half the moves. Once every fly rests the loop may
// sleep for seconds, so then (settling) no move waits.
inline bool moveMayWait(const FlyView& view, float lastX, float lastY, unsigned long framesSinceMoved,
                        bool settling) {
    return !settling && framesSinceMoved < 2 && std::fabs(view.x - lastX) < 1.0f && std::fabs(view.y - lastY) < 1.0f;
}

}  // namespace gnatter
