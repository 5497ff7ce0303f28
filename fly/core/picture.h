// What a fly's picture depends on, reduced to the values the rasteriser really draws:
// size in quarter pixels, heading in kHeadingSteps directions (half as many for flies
// below kFineHeadingSize, where the finer steps are barely a pixel at the tips), altitude
// in 1/32nds of the size. The simulation keys its pictures with it and the rasteriser draws from it,
// so two flies with equal keys get identical pixels and a fly walking straight on with
// a slight wobble keeps its picture.
#pragma once

#include "swarm.h"

#include <cstdint>

namespace gnatter {

constexpr int kHeadingSteps = 128;
constexpr float kFineHeadingSize = 32.0f;
// Altitude steps per body length: a shadow that shifts by a few percent of the size
// reads as smooth, and a climb then changes the picture a dozen times, not a hundred.
constexpr int kAltitudeSteps = 32;
// Largest body length drawn (a 512 px fly on a 200 % monitor); keeps the key in 32 bits.
constexpr float kMaxDrawnSize = 1023.0f;
constexpr float kMinDrawnSize = 1.0f;

struct CanonicalPicture {
    float size = 0.0f;      // multiple of 1/4 px
    int headingIndex = 0;   // 0..kHeadingSteps-1
    double cosHeading = 1.0, sinHeading = 0.0;
    float altitude = 0.0f;  // multiple of size/kAltitudeSteps, 0..size
    Stance stance = Stance::Standing;
    bool wingsBlurred = false;  // Jumping, Flying, Landing
    int walkFrame = 0;      // 0..kWalkFrames-1; 0 unless standing
    int groomFrame = 0;     // 0 unless grooming, else 1 + the action's frame: 1..2 front legs, 3..4 hind legs
    std::uint64_t key = 0;
};

// Layout of the sprite around the fly, in body lengths: the farthest leg tip or wing
// from the body centre, and the shadow, cast down and to the right by the altitude.
constexpr double kFlyReach = 0.66;
constexpr double kShadowReach = 0.64;
constexpr double kShadowDirX = 0.6, kShadowDirY = 0.8;

// Where the body centre sits in a sprite of this (canonical) size: same on both axes.
int spriteAnchor(float canonicalSize);

CanonicalPicture canonicalPicture(float size, float heading, const Pose& pose);

// Size in quarter pixels, as the rasteriser sees it.
float canonicalSize(float size);

}  // namespace gnatter
