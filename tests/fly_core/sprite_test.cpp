// Tests of the fly sprites: premultiplied pixels, nothing outside the fly's reach, the
// picture growing with the size, and equal picture keys giving identical pictures.
#include "sprite.h"
#include "swarm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace gnatter {
namespace {

constexpr float kPi = 3.14159265f;

FlyView fly(float size, float heading, std::uint8_t walk = 0, std::uint8_t groom = 0, bool flying = false,
            float altitude = 0.0f) {
    FlyView v;
    v.size = size;
    v.heading = heading;
    v.visible = true;
    v.pose.walkFrame = walk;
    if (groom) {
        v.pose.stance = Stance::Grooming;
        v.pose.groom = groom <= 2 ? Groom::FrontLegs : Groom::HindLegs;
        v.pose.groomFrame = std::uint8_t((groom - 1) % 2);
    }
    if (flying) v.pose.stance = Stance::Flying;
    v.pose.altitude = altitude;
    return v;
}

std::string describe(const FlyView& v) {
    return "size " + std::to_string(v.size) + " heading " + std::to_string(v.heading) + " walk " +
           std::to_string(v.pose.walkFrame) + " groom " + std::to_string(v.pose.groomFrame) +
           (v.pose.stance == Stance::Flying ? " flying at " + std::to_string(v.pose.altitude) : "");
}

std::uint32_t alphaOf(std::uint32_t p) { return p >> 24; }

struct PictureCase {
    const char* name;
    FlyView view;
};

const PictureCase kPictures[] = {
    {"Smallest", fly(4.0f, 0.3f)},
    {"NineWalking", fly(9.0f, 1.0f, 1)},
    {"NineFlying", fly(9.0f, 2.0f, 0, 0, true, 9.0f)},
    {"ThirtySixGroomingFront", fly(36.0f, -0.7f, 0, 1)},
    {"ThirtySixGroomingHind", fly(36.0f, 2.9f, 0, 4)},
    {"FiftyFourWalking", fly(54.0f, 4.0f, 3)},
    {"FiftyFourFlyingHigh", fly(54.0f, 5.5f, 0, 0, true, 54.0f)},
    {"OneTwentyEightFlyingLow", fly(128.0f, 0.8f, 0, 0, true, 10.0f)},
    {"TwoFiftySix", fly(256.0f, 3.3f, 2)},
    {"TwoFiftySixFlyingHigh", fly(256.0f, 0.0f, 0, 0, true, 256.0f)},
    {"LargeScaledUp", fly(640.0f, 1.7f, 1)},
};

// Cases are named by their name alone, not by a dump of their bytes.
void PrintTo(const PictureCase& c, std::ostream* out) { *out << c.name; }

class SpritePicture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(SpritePicture, IsSquareOfSpriteSideWithAnchorInside) {
    const FlyView& v = GetParam().view;
    Sprite s;
    renderFly(v, s);
    EXPECT_EQ(s.width, spriteSide(v.size));
    EXPECT_EQ(s.height, spriteSide(v.size));
    EXPECT_EQ(s.pixels.size(), std::size_t(s.width) * std::size_t(s.height));
    EXPECT_GT(s.anchorX, 0);
    EXPECT_LT(s.anchorX, s.width);
    EXPECT_EQ(s.anchorX, s.anchorY);
}

TEST_P(SpritePicture, ColourNeverExceedsAlpha) {
    const FlyView& v = GetParam().view;
    Sprite s;
    renderFly(v, s);
    for (std::size_t i = 0; i < s.pixels.size(); ++i) {
        const std::uint32_t p = s.pixels[i];
        const std::uint32_t a = alphaOf(p), r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
        ASSERT_TRUE(r <= a && g <= a && b <= a)
            << describe(v) << ": pixel " << i << " is 0x" << std::hex << p << ", colour above alpha";
    }
}

// Every pixel lies within the fly's reach of its centre or, in flight, within the
// shadow's reach of the shadow's centre; the rest, corners and border included, is clear.
TEST_P(SpritePicture, NothingOutsideTheFlyAndItsShadow) {
    const FlyView& v = GetParam().view;
    Sprite s;
    renderFly(v, s);
    const double size = std::min(v.size, 1023.0f);
    const double flyReach = 0.66 * size + 2.0, shadowReach = 0.64 * size + 0.6 + 0.04 * size + 0.1 * v.pose.altitude + 2.0;
    const double sx = s.anchorX + 0.6 * v.pose.altitude, sy = s.anchorY + 0.8 * v.pose.altitude;
    int drawn = 0;
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t p = s.pixels[std::size_t(y) * s.width + x];
            if (p == 0) continue;
            ++drawn;
            const bool border = x == 0 || y == 0 || x == s.width - 1 || y == s.height - 1;
            ASSERT_FALSE(border) << describe(v) << ": picture touches the border at (" << x << ", " << y << ")";
            const double px = x + 0.5, py = y + 0.5;
            const bool nearFly = std::hypot(px - s.anchorX, py - s.anchorY) <= flyReach;
            const bool nearShadow = v.pose.altitude > 0 && std::hypot(px - sx, py - sy) <= shadowReach;
            ASSERT_TRUE(nearFly || nearShadow) << describe(v) << ": stray pixel 0x" << std::hex << p << std::dec
                                               << " at (" << x << ", " << y << ")";
        }
    }
    EXPECT_GT(drawn, 0) << describe(v) << ": nothing drawn";
}

INSTANTIATE_TEST_SUITE_P(Sprite, SpritePicture, ::testing::ValuesIn(kPictures),
                         [](const auto& info) { return std::string(info.param.name); });

// Half-opaque pixels, to measure how far the solid part of the fly reaches.
double solidReach(const Sprite& s) {
    double reach = 0.0;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            if (alphaOf(s.pixels[std::size_t(y) * s.width + x]) >= 128)
                reach = std::max(reach, std::hypot(x + 0.5 - s.anchorX, y + 0.5 - s.anchorY));
    return reach;
}

struct ExtentCase {
    const char* name;
    float size;
};

void PrintTo(const ExtentCase& c, std::ostream* out) { *out << c.name; }

class SpriteExtent : public ::testing::TestWithParam<ExtentCase> {};

TEST_P(SpriteExtent, SolidReachIsAboutHalfABodyLengthAtEverySize) {
    const float size = GetParam().size;
    for (float heading : {0.0f, 0.9f, 2.2f, 4.0f}) {
        Sprite s;
        renderFly(fly(size, heading), s);
        const double reach = solidReach(s);
        // Legs reach about 0.6 body lengths; the 1 px minimum width adds a pixel or so.
        EXPECT_GT(reach, 0.45 * size) << "size " << size << " heading " << heading;
        EXPECT_LT(reach, 0.66 * size + 1.5) << "size " << size << " heading " << heading;
    }
}

const ExtentCase kExtents[] = {{"Nine", 9.0f}, {"Eighteen", 18.0f}, {"ThirtySix", 36.0f},
                               {"SeventyTwo", 72.0f}, {"OneFortyFour", 144.0f}, {"TwoFiftySix", 256.0f}};

INSTANTIATE_TEST_SUITE_P(Sprite, SpriteExtent, ::testing::ValuesIn(kExtents),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpriteExtentGrowth, LargerFliesCoverMorePixels) {
    long previous = 0;
    for (float size : {9.0f, 18.0f, 36.0f, 72.0f, 144.0f}) {
        Sprite s;
        renderFly(fly(size, 0.5f), s);
        const long solid = std::count_if(s.pixels.begin(), s.pixels.end(), [](std::uint32_t p) { return alphaOf(p) >= 128; });
        // Area grows with the square of the size: doubling gives about four times.
        if (previous) {
            EXPECT_GT(solid, previous * 3) << "size " << size;
            EXPECT_LT(solid, previous * 5) << "size " << size;
        }
        previous = solid;
    }
}

TEST(SpriteShadow, FlyingFlyCastsASoftDarkShadowAtItsAltitude) {
    const float size = 54.0f;
    Sprite high, grounded;
    renderFly(fly(size, -kPi / 2, 0, 0, true, size), high);
    renderFly(fly(size, -kPi / 2), grounded);
    const int sx = high.anchorX + int(0.6f * size), sy = high.anchorY + int(0.8f * size);
    const std::uint32_t p = high.pixels[std::size_t(sy) * high.width + sx];
    EXPECT_GT(alphaOf(p), 20u) << "no shadow at its place: 0x" << std::hex << p;
    EXPECT_LT(alphaOf(p), 128u) << "shadow too dark: 0x" << std::hex << p;
    EXPECT_EQ(p & 0x00ffffffu, 0u) << "shadow not black: 0x" << std::hex << p;
    EXPECT_EQ(grounded.pixels[std::size_t(sy) * grounded.width + sx], 0u) << "a fly on the ground casts a shadow";
}

// ---------------------------------------------------------------------------------------
struct KeyCase {
    const char* name;
    FlyView a, b;
    bool sameKey;
};

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

class PictureKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PictureKeys, EqualKeysExactlyWhenPixelsAreEqual) {
    const KeyCase& c = GetParam();
    const std::uint64_t ka = pictureKeyFor(c.a.size, c.a.heading, c.a.pose);
    const std::uint64_t kb = pictureKeyFor(c.b.size, c.b.heading, c.b.pose);
    EXPECT_EQ(ka == kb, c.sameKey) << std::hex << "keys 0x" << ka << " and 0x" << kb;
    Sprite sa, sb;
    renderFly(c.a, sa);
    renderFly(c.b, sb);
    const bool samePixels = sa.width == sb.width && sa.anchorX == sb.anchorX && sa.pixels == sb.pixels;
    EXPECT_EQ(samePixels, c.sameKey) << describe(c.a) << " vs " << describe(c.b);
}

const float kStep = 2 * kPi / 128;

const KeyCase kKeyCases[] = {
    {"HeadingWithinOneDirection", fly(36.0f, 10 * kStep), fly(36.0f, 10 * kStep + 0.3f * kStep), true},
    {"HeadingFullTurnApart", fly(36.0f, 1.0f), fly(36.0f, 1.0f + 2 * kPi), true},
    {"SizeWithinAQuarterPixel", fly(36.0f, 1.0f), fly(36.1f, 1.0f), true},
    {"WalkFrameIgnoredWhileGrooming", fly(36.0f, 1.0f, 0, 2), fly(36.0f, 1.0f, 3, 2), true},
    {"LegPoseIgnoredInFlight", fly(36.0f, 1.0f, 0, 0, true, 9.0f), fly(36.0f, 1.0f, 2, 3, true, 9.0f), true},
    {"NextHeading", fly(36.0f, 10 * kStep), fly(36.0f, 11 * kStep), false},
    {"NextQuarterPixel", fly(36.0f, 1.0f), fly(36.25f, 1.0f), false},
    {"WalkFrames0And1", fly(36.0f, 1.0f, 0), fly(36.0f, 1.0f, 1), false},
    {"WalkFrames1And3", fly(36.0f, 1.0f, 1), fly(36.0f, 1.0f, 3), false},
    {"GroomFrames1And2", fly(36.0f, 1.0f, 0, 1), fly(36.0f, 1.0f, 0, 2), false},
    {"GroomFrames3And4", fly(36.0f, 1.0f, 0, 3), fly(36.0f, 1.0f, 0, 4), false},
    {"WalkingOrGrooming", fly(36.0f, 1.0f, 0), fly(36.0f, 1.0f, 0, 1), false},
    {"GroundOrFlying", fly(36.0f, 1.0f), fly(36.0f, 1.0f, 0, 0, true, 0.0f), false},
    {"Altitudes", fly(54.0f, 1.0f, 0, 0, true, 10.0f), fly(54.0f, 1.0f, 0, 0, true, 20.0f), false},
};

INSTANTIATE_TEST_SUITE_P(Sprite, PictureKeys, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpriteRepeatability, SamePictureAfterDrawingOthers) {
    const FlyView v = fly(54.0f, 2.0f, 1);
    Sprite first, other, again;
    renderFly(v, first);
    for (int i = 0; i < 300; ++i) renderFly(fly(30.0f + float(i % 7), float(i) * 0.21f, std::uint8_t(i % 4)), other);
    renderFly(v, again);
    EXPECT_TRUE(first.pixels == again.pixels) << "the picture changed after drawing others";
}

TEST(SpriteReuse, SmallerPictureIntoALargerBufferIsClean) {
    Sprite big, reused, fresh;
    renderFly(fly(128.0f, 0.3f, 0, 0, true, 100.0f), reused);
    renderFly(fly(20.0f, 1.1f), reused);
    renderFly(fly(20.0f, 1.1f), fresh);
    EXPECT_EQ(reused.width, fresh.width);
    EXPECT_TRUE(reused.pixels == fresh.pixels) << "leftovers from the previous picture";
}

}  // namespace
}  // namespace gnatter
