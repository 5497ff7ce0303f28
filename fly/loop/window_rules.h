// What every platform's fly windows do alike: which flies stay out of sight, and which
// small moves can wait a frame. Kept here so that each platform's windows only carry
// them out.
#pragma once

#include "picture.h"
#include "swarm.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace gnatter {

// True when the fly is gone, or any of its picture (legs, wings, a flight's shadow cast
// down and to the right) would reach onto a monitor a full-screen program covers: a fly
// just beside such a monitor must not show a wing over it.
inline bool keepOutOfSight(const FlyView& view, const std::vector<Rect>& hiddenOn) {
    if (!view.visible) return true;
    const float reach = float(kFlyReach) * view.size + 1.0f, shadow = view.pose.altitude;  // a pixel of soft edge
    return std::any_of(hiddenOn.begin(), hiddenOn.end(), [&](const Rect& r) {
        return view.x + reach + shadow > float(r.left) && view.x - reach < float(r.right) &&
               view.y + reach + shadow > float(r.top) && view.y - reach < float(r.bottom);
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
