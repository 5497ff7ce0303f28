// What a fly's picture depends on, reduced to the values the rasteriser really draws:
// size in quarter pixels, heading in kHeadingSteps directions (half as many for flies
// below kFineHeadingSize, where the finer steps are barely a pixel at the tips), the
// stance with only the pose fields that stance shows, and altitude in 1/32nds of the size.
// The simulation keys its pictures with it and the rasteriser draws from it, so two flies
// with equal keys get identical pixels, and a field the stance does not show (the walk
// frame of a flying fly, the fade of a standing one) never changes the key.
#pragma once

#include "swarm.h"

#include <cstdint>

namespace gnatter {

constexpr int kHeadingSteps = 128;
constexpr float kFineHeadingSize = 32.0f;
// Altitude steps per body length: a shadow that shifts by a few percent of the size
// reads as smooth, and a climb then changes the picture a dozen times, not a hundred.
constexpr int kAltitudeSteps = 32;
// Largest body length drawn (a 512 px fly on a 200 % monitor): 12 bits of quarter pixels.
constexpr float kMaxDrawnSize = 1023.0f;
constexpr float kMinDrawnSize = 1.0f;

struct CanonicalPicture {
    float size = 0.0f;      // multiple of 1/4 px
    int headingIndex = 0;   // 0..kHeadingSteps-1
    double cosHeading = 1.0, sinHeading = 0.0;
    Stance stance = Stance::Standing;
    int walkFrame = 0;      // Standing: 0..kWalkFrames-1, else 0
    Groom groom = Groom::Head;  // Grooming, else Head
    int groomFrame = 0;     // Grooming: 0..kGroomFrames-1, else 0
    bool motionBlur = false;  // Flying only
    int fade = 0;           // Squashed: 0..kSquashFadeSteps-1, else 0
    float altitude = 0.0f;  // Jumping, Flying, Landing: a multiple of size/kAltitudeSteps, 0..size
    std::uint64_t key = 0;

    bool airborne() const { return stance == Stance::Jumping || stance == Stance::Flying || stance == Stance::Landing; }
    // A shadow cast at a distance; otherwise the fly sits on the glass with a contact shadow.
    bool castsFlightShadow() const { return altitude > 0.0f; }
};

// Layout of the sprite around the fly, in body lengths: the farthest leg tip, wing tip or
// motion streak from the body centre, and the flight shadow, cast down and to the right
// by the altitude.
constexpr double kFlyReach = 0.84;
constexpr double kShadowReach = 0.64;
constexpr double kShadowDirX = 0.6, kShadowDirY = 0.8;

// Where the body centre sits in a sprite of this (canonical) size: same on both axes.
// A picture without a flight shadow lies inside the square of twice this side.
int spriteAnchor(float canonicalSize);

// Out-of-range pose values fall back soundly: an unknown stance draws Standing, an
// unknown grooming action Head, frames wrap round, a fade beyond the last is the last,
// altitude is clamped to 0..size (NaN = 0), a heading that is not finite faces right.
CanonicalPicture canonicalPicture(float size, float heading, const Pose& pose);

// Size in quarter pixels, as the rasteriser sees it.
float canonicalSize(float size);

}  // namespace gnatter
