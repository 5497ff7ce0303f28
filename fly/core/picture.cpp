// Reduces a fly's size, heading and pose to the picture actually drawn, and packs that
// into the picture key, from the low bits up: 6 bits of altitude steps, 4 of the stance's
// frame (walk frame, grooming action and frame, or fade), 1 of motion blur, 3 of stance,
// 7 of heading and 12 of size in quarter pixels.
#include "picture.h"

#include "fly_math.h"
#include "sprite.h"

#include <algorithm>
#include <cmath>

namespace gnatter {
namespace {

struct HeadingTable {
    double c[kHeadingSteps], s[kHeadingSteps];
    HeadingTable() {
        for (int i = 0; i < kHeadingSteps; ++i) {
            const double a = fm::kTwoPi * i / kHeadingSteps;
            c[i] = fm::cos(a);
            s[i] = fm::sin(a);
        }
    }
};

const HeadingTable& headingTable() {
    static const HeadingTable table;
    return table;
}

Stance knownStance(Stance s) {
    return static_cast<int>(s) <= static_cast<int>(Stance::Squashed) ? s : Stance::Standing;
}

}  // namespace

float canonicalSize(float size) {
    if (!(size >= kMinDrawnSize)) size = kMinDrawnSize;  // NaN lands here too
    if (size > kMaxDrawnSize) size = kMaxDrawnSize;
    return static_cast<float>(std::lround(size * 4.0f)) / 4.0f;
}

CanonicalPicture canonicalPicture(float size, float heading, const Pose& pose) {
    CanonicalPicture p;
    p.size = canonicalSize(size);
    const std::uint64_t sizeQuarters = static_cast<std::uint64_t>(std::lround(p.size * 4.0f));

    const float drawn = pose.headingHeld ? pose.heading : heading;
    const double h = std::isfinite(drawn) ? fm::wrapAngle(drawn) : 0.0;
    const int steps = p.size < kFineHeadingSize ? kHeadingSteps / 2 : kHeadingSteps;
    p.headingIndex = static_cast<int>(std::lround(h * steps / fm::kTwoPi)) % steps * (kHeadingSteps / steps);
    p.cosHeading = headingTable().c[p.headingIndex];
    p.sinHeading = headingTable().s[p.headingIndex];

    // Only what the stance shows: everything else keeps its default, so it cannot split keys.
    p.stance = knownStance(pose.stance);
    int frame = 0;
    switch (p.stance) {
    case Stance::Standing:
        p.walkFrame = pose.walkFrame % kWalkFrames;
        frame = p.walkFrame;
        break;
    case Stance::Grooming:
        p.groom = static_cast<int>(pose.groom) < kGroomActions ? pose.groom : Groom::Head;
        p.groomFrame = pose.groomFrame % kGroomFrames;
        frame = static_cast<int>(p.groom) * kGroomFrames + p.groomFrame;
        break;
    case Stance::Squashed:
        p.fade = std::min<int>(pose.fade, kSquashFadeSteps - 1);
        frame = p.fade;
        break;
    case Stance::Flying:
        p.motionBlur = pose.motionBlur;
        break;
    default:
        break;
    }

    long alt = 0;
    if (p.airborne() && pose.altitude > 0.0f && std::isfinite(pose.altitude)) {
        alt = std::min(long(kAltitudeSteps), std::lround(pose.altitude / p.size * float(kAltitudeSteps)));
    }
    p.altitude = static_cast<float>(alt) * p.size / float(kAltitudeSteps);

    p.key = std::uint64_t(alt) | (std::uint64_t(frame) << 6) | (std::uint64_t(p.motionBlur) << 10) |
            (std::uint64_t(p.stance) << 11) | (std::uint64_t(p.headingIndex) << 14) | (sizeQuarters << 21);
    return p;
}

// Two pixels beyond the geometry leave room for the anti-aliased fringe.
int spriteAnchor(float size) {
    return static_cast<int>(std::ceil(kFlyReach * size)) + 2;
}

int spriteSide(float size) {
    const double s = canonicalSize(size);
    const double far = std::max(kFlyReach * s, (kShadowDirY + kShadowReach) * s);
    return spriteAnchor(static_cast<float>(s)) + static_cast<int>(std::ceil(far)) + 2;
}

std::uint64_t pictureKeyFor(float size, float heading, const Pose& pose) {
    return canonicalPicture(size, heading, pose).key;
}

}  // namespace gnatter
