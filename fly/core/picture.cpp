// Reduces a fly's size, heading and pose to the picture actually drawn, and packs that
// into the 32-bit picture key: 12 bits of size, 7 of heading, 1 for blurred wings, 3 for
// the leg pose and 9 for altitude (in 1/256ths of the size, a multiple of 256/kAltitudeSteps).
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

}  // namespace

float canonicalSize(float size) {
    if (!(size >= kMinDrawnSize)) size = kMinDrawnSize;  // NaN lands here too
    if (size > kMaxDrawnSize) size = kMaxDrawnSize;
    return static_cast<float>(std::lround(size * 4.0f)) / 4.0f;
}

CanonicalPicture canonicalPicture(float size, float heading, const Pose& pose) {
    CanonicalPicture p;
    p.size = canonicalSize(size);
    const std::uint32_t sizeQuarters = static_cast<std::uint32_t>(std::lround(p.size * 4.0f));

    const float drawn = pose.headingHeld ? pose.heading : heading;
    const double h = std::isfinite(drawn) ? fm::wrapAngle(drawn) : 0.0;
    const int steps = p.size < kFineHeadingSize ? kHeadingSteps / 2 : kHeadingSteps;
    p.headingIndex = static_cast<int>(std::lround(h * steps / fm::kTwoPi)) % steps * (kHeadingSteps / steps);
    p.cosHeading = headingTable().c[p.headingIndex];
    p.sinHeading = headingTable().s[p.headingIndex];

    p.stance = pose.stance;
    p.wingsBlurred = pose.stance == Stance::Jumping || pose.stance == Stance::Flying || pose.stance == Stance::Landing;
    // Grooming legs and flying legs have their own drawings; the stepping phase is moot.
    if (pose.stance == Stance::Grooming) {
        const bool front = pose.groom == Groom::Head || pose.groom == Groom::FrontLegs;
        p.groomFrame = (front ? 1 : 3) + pose.groomFrame % kGroomFrames;
    } else if (pose.stance == Stance::Standing) {
        p.walkFrame = pose.walkFrame % kWalkFrames;
    }
    const int legs = p.groomFrame ? kWalkFrames - 1 + p.groomFrame : p.walkFrame;

    long alt = 0;
    if (pose.altitude > 0.0f && std::isfinite(pose.altitude)) {
        alt = std::lround(pose.altitude / p.size * float(kAltitudeSteps)) * (256 / kAltitudeSteps);
        if (alt > 256) alt = 256;
    }
    p.altitude = static_cast<float>(alt) * p.size / 256.0f;

    p.key = (std::uint64_t(sizeQuarters) << 20) | (static_cast<std::uint64_t>(p.headingIndex) << 13) |
            (p.wingsBlurred ? 1u << 12 : 0u) | (static_cast<std::uint64_t>(legs) << 9) |
            static_cast<std::uint64_t>(alt) | (std::uint64_t(p.stance) << 32);
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
