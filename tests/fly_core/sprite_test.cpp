// Tests of the fly pictures by what they show: every pose fits its sprite and stays
// premultiplied, the head leads along the heading, a fly facing along an axis is the
// mirror image of itself (or of its opposite walking frame), wings are see-through, the
// flight shadow moves out and pales as the fly climbs, a fly on the glass has only a faint
// contact shadow, equal picture keys mean equal pixels (a sweep over the whole pose
// space), the body cache returns what a cold render draws at every size, the body reads
// as a dark neutral grey at every size, legs narrow from hip to foot yet show at 9 px,
// a swatted fly lies flatter, broken, over a small smear, a grooming fly's working legs
// show and stroke where they clean while its body stays still, legs and wings in the air
// show take-off, flight and landing, and a fast fly trails a streak.
#include "fly_math.h"
#include "picture.h"
#include "sprite.h"
#include "swarm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace gnatter {
namespace {

constexpr float kPi = 3.14159265f;

FlyView fly(float size, float heading, const Pose& pose = {}) {
    FlyView v;
    v.size = size;
    v.heading = heading;
    v.visible = true;
    v.pose = pose;
    return v;
}

Pose stance(Stance s) {
    Pose p;
    p.stance = s;
    return p;
}

// Every picture a fly has on the ground or in the air at altitude 0.
std::vector<Pose> everyPose() {
    std::vector<Pose> poses;
    for (int f = 0; f < kWalkFrames; ++f) {
        poses.push_back({});
        poses.back().walkFrame = std::uint8_t(f);
    }
    for (int g = 0; g < kGroomActions; ++g) {
        for (int f = 0; f < kGroomFrames; ++f) {
            poses.push_back(stance(Stance::Grooming));
            poses.back().groom = Groom(g);
            poses.back().groomFrame = std::uint8_t(f);
        }
    }
    for (Stance s : {Stance::Jumping, Stance::Flying, Stance::Landing}) poses.push_back(stance(s));
    poses.push_back(stance(Stance::Flying));
    poses.back().motionBlur = true;
    for (int f = 0; f < kSquashFadeSteps; f += 3) {
        poses.push_back(stance(Stance::Squashed));
        poses.back().fade = std::uint8_t(f);
    }
    return poses;
}

std::string describe(const FlyView& v) {
    std::ostringstream s;
    s << "size " << v.size << " heading " << v.heading << " stance " << int(v.pose.stance) << " walk "
      << int(v.pose.walkFrame) << " groom " << int(v.pose.groom) << "/" << int(v.pose.groomFrame) << " blur "
      << v.pose.motionBlur << " fade " << int(v.pose.fade) << " altitude " << v.pose.altitude;
    return s.str();
}

std::uint32_t at(const Sprite& s, int x, int y) { return s.pixels[std::size_t(y) * s.width + x]; }
std::uint32_t alphaOf(std::uint32_t p) { return p >> 24; }
// How far two pixels lie apart: their largest difference in any channel, alpha included.
int channelDifference(std::uint32_t p, std::uint32_t q) {
    int diff = 0;
    for (int shift = 0; shift < 32; shift += 8)
        diff = std::max(diff, std::abs(int((p >> shift) & 0xff) - int((q >> shift) & 0xff)));
    return diff;
}

// The pixel under a point of the fly's own frame (x forward, y to its right, in body
// lengths), for a fly facing `heading`.
std::uint32_t atFlyPoint(const Sprite& s, float size, float heading, double x, double y) {
    const double c = std::cos(heading), n = std::sin(heading);
    const int px = int(std::floor(s.anchorX + (x * c - y * n) * size));
    const int py = int(std::floor(s.anchorY + (x * n + y * c) * size));
    return at(s, px, py);
}

Sprite render(const FlyView& v) {
    Sprite s;
    renderFly(v, s);
    return s;
}

// ---------------------------------------------------------------------------------------
// Every pose at sizes from the smallest to the largest: a square of spriteSide, colour
// never above alpha, nothing on the border, nothing beyond the fly's reach (or the
// shadow's), and nothing outside the fitted corner the window may be cut down to.
TEST(SpritePicture, EveryPoseFitsItsSpriteAndStaysPremultiplied) {
    int turn = 0;  // each case at another heading, round and round the circle
    for (float size : {1.0f, 4.0f, 9.0f, 36.0f, 96.0f, 1023.0f}) {
        for (Pose pose : everyPose()) {
            for (float altitude : {0.0f, 0.5f * size, size}) {
                pose.altitude = altitude;
                const float heading = 0.41f * float(turn++);
                const FlyView v = fly(size, heading, pose);
                const Sprite s = render(v);
                ASSERT_EQ(spriteSide(size), s.width) << describe(v);
                ASSERT_EQ(s.width, s.height);
                ASSERT_EQ(s.anchorX, s.anchorY);
                const CanonicalPicture pic = canonicalPicture(size, heading, pose);
                const double flyReach = kFlyReach * size + 2.0;
                const double shadowReach = kShadowReach * size + 2.0;
                const double sx = s.anchorX + kShadowDirX * pic.altitude, sy = s.anchorY + kShadowDirY * pic.altitude;
                int drawn = 0;
                for (int y = 0; y < s.height; ++y) {
                    for (int x = 0; x < s.width; ++x) {
                        const std::uint32_t p = at(s, x, y);
                        if (p == 0) continue;
                        ++drawn;
                        const std::uint32_t a = alphaOf(p);
                        ASSERT_TRUE(((p >> 16) & 0xff) <= a && ((p >> 8) & 0xff) <= a && (p & 0xff) <= a)
                            << describe(v) << ": colour above alpha, 0x" << std::hex << p;
                        ASSERT_TRUE(x > 0 && y > 0 && x < s.width - 1 && y < s.height - 1)
                            << describe(v) << ": touches the border at " << x << "," << y;
                        ASSERT_TRUE(x < s.fitWidth && y < s.fitHeight) << describe(v) << ": outside the fitted corner";
                        const double px = x + 0.5, py = y + 0.5;
                        const bool nearFly = std::hypot(px - s.anchorX, py - s.anchorY) <= flyReach;
                        const bool nearShadow = pic.altitude > 0 && std::hypot(px - sx, py - sy) <= shadowReach;
                        ASSERT_TRUE(nearFly || nearShadow) << describe(v) << ": stray pixel at " << x << "," << y;
                    }
                }
                EXPECT_GT(drawn, 0) << describe(v);
                if (pic.altitude == 0.0f) {
                    EXPECT_EQ(2 * s.anchorX, s.fitWidth) << describe(v);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// The eyes' red lies ahead of the body centre along the heading, all round the circle.
TEST(SpriteOrientation, HeadFacesTheHeading) {
    std::vector<float> headings = {0.0f, 2 * kPi - 0.001f, -0.001f, kPi / 2, kPi, 3 * kPi / 2, 7.0f, -2.5f};
    for (int i = 0; i < 24; ++i) headings.push_back(0.13f + 2 * kPi * float(i) / 24);
    for (float size : {16.0f, 96.0f}) {
        for (const Pose& pose : everyPose()) {
            for (float heading : headings) {
                const FlyView v = fly(size, heading, pose);
                const Sprite s = render(v);
                double sum = 0.0, sx = 0.0, sy = 0.0;
                for (int y = 0; y < s.height; ++y) {
                    for (int x = 0; x < s.width; ++x) {
                        const std::uint32_t p = at(s, x, y);
                        const double r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
                        if (r < 1.8 * g || r < 1.8 * b || r < 8) continue;  // the eyes' dark red only
                        sum += r;
                        sx += r * (x + 0.5 - s.anchorX);
                        sy += r * (y + 0.5 - s.anchorY);
                    }
                }
                ASSERT_GT(sum, 0.0) << describe(v) << ": no red eyes";
                const double ahead = (sx * std::cos(heading) + sy * std::sin(heading)) / sum;
                const double aside = (-sx * std::sin(heading) + sy * std::cos(heading)) / sum;
                EXPECT_GT(ahead, 0.25 * size) << describe(v);
                EXPECT_LT(std::fabs(aside), 0.06 * size + 1.0) << describe(v);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Facing along an axis, the picture mirrored about the fly's long axis is the same (its
// legs on both sides alike), except that a walking frame's mirror image is the frame
// with the other tripod forward. Mirroring about the axis through the anchor maps row
// (or column) i onto 2 * anchor - 1 - i.
TEST(SpriteSymmetry, MirrorImageAboutTheLongAxis) {
    const float size = 96.0f;
    for (int axis = 0; axis < 4; ++axis) {
        const float heading = kPi / 2 * float(axis);
        const bool horizontal = axis % 2 == 0;
        for (const Pose& pose : everyPose()) {
            if (pose.stance == Stance::Squashed) continue;  // swatted askew
            Pose mirrorPose = pose;
            if (pose.stance == Stance::Standing) mirrorPose.walkFrame = std::uint8_t((pose.walkFrame + 2) % kWalkFrames);
            const FlyView v = fly(size, heading, pose);
            const Sprite s = render(v), m = render(fly(size, heading, mirrorPose));
            int worst = 0, different = 0;
            const int last = 2 * s.anchorX - 1;
            for (int y = 0; y <= last; ++y) {
                for (int x = 0; x <= last; ++x) {
                    const std::uint32_t p = at(s, x, y), q = horizontal ? at(m, x, last - y) : at(m, last - x, y);
                    const int diff = channelDifference(p, q);
                    worst = std::max(worst, diff);
                    different += diff > 4;
                }
            }
            EXPECT_LE(different, 3) << describe(v) << ": " << different << " pixels unlike their mirror image, worst by "
                                    << worst;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Folded wings reach past the abdomen and are see-through there, well between clear and
// opaque; so are beating wings beside the body.
TEST(SpriteWings, SeeThroughAwayFromTheBody) {
    struct Probe {
        Pose pose;
        double x, y;  // a point in the wing, fly frame
    };
    std::vector<Probe> probes;
    for (int f = 0; f < kWalkFrames; ++f) {
        Pose p;
        p.walkFrame = std::uint8_t(f);
        probes.push_back({p, -0.62, 0.28});
    }
    probes.push_back({stance(Stance::Flying), -0.20, 0.50});
    for (float size : {36.0f, 96.0f, 256.0f}) {
        for (float heading : {0.0f, 2.0f, 4.5f}) {
            for (const Probe& probe : probes) {
                for (double side : {1.0, -1.0}) {
                    const FlyView v = fly(size, heading, probe.pose);
                    const Sprite s = render(v);
                    const std::uint32_t a = alphaOf(atFlyPoint(s, size, heading, probe.x, side * probe.y));
                    EXPECT_GT(a, 30u) << describe(v) << " side " << side << ": no wing there";
                    EXPECT_LT(a, 180u) << describe(v) << " side " << side << ": wing not see-through";
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// A fly facing the way its shadow falls (down and to the right): ahead of its head there
// is only shadow, pure black. As it climbs, the shadow there moves out and pales.
TEST(SpriteShadow, FlightShadowMovesOutAndPalesWithAltitude) {
    const float size = 64.0f;
    const float heading = float(std::atan2(kShadowDirY, kShadowDirX));
    const double dx = std::cos(heading), dy = std::sin(heading);
    double previousCentre = 0.0, previousPeak = 256.0;
    for (float altitude : {0.4f * size, 0.6f * size, 0.8f * size, size}) {
        Pose pose = stance(Stance::Flying);
        pose.altitude = altitude;
        const FlyView v = fly(size, heading, pose);
        const Sprite s = render(v);
        // Along the heading from beyond the head to the sprite's edge.
        double weight = 0.0, moment = 0.0, peak = 0.0;
        for (double d = 0.55 * size; ; d += 0.5) {
            const int x = int(s.anchorX + d * dx), y = int(s.anchorY + d * dy);
            if (x >= s.width || y >= s.height) break;
            const std::uint32_t p = at(s, x, y);
            ASSERT_EQ(0u, p & 0xffffffu) << describe(v) << ": the shadow is not black at distance " << d;
            weight += alphaOf(p);
            moment += alphaOf(p) * d;
            peak = std::max(peak, double(alphaOf(p)));
        }
        ASSERT_GT(weight, 0.0) << describe(v) << ": no shadow ahead";
        const double centre = moment / weight;
        EXPECT_GT(centre, previousCentre + 0.05 * size) << describe(v) << ": the shadow did not move out";
        EXPECT_LT(peak, previousPeak) << describe(v) << ": the shadow did not pale";
        EXPECT_GT(peak, 20.0) << describe(v) << ": shadow too faint";
        EXPECT_LT(peak, 100.0) << describe(v) << ": shadow too dark";
        previousCentre = centre;
        previousPeak = peak;
    }
}

// On the glass: the only black is a faint contact shadow round the body centre, and just
// beyond the head and the abdomen's tip the picture is nearly clear (no dark rim).
TEST(SpriteShadow, GroundedFlyHasOnlyAFaintContactShadowAndNoHalo) {
    for (float size : {36.0f, 96.0f, 256.0f}) {
        for (float heading : {0.0f, 1.0f, 3.5f}) {
            for (const Pose& pose : everyPose()) {
                if (pose.stance == Stance::Squashed) continue;
                const FlyView v = fly(size, heading, pose);
                const Sprite s = render(v);
                for (int y = 0; y < s.height; ++y) {
                    for (int x = 0; x < s.width; ++x) {
                        const std::uint32_t p = at(s, x, y);
                        // Black with some weight: shadow (a leg's faintest fringe rounds to black too).
                        if (alphaOf(p) < 10 || (p & 0xffffffu) != 0) continue;
                        ASSERT_LE(alphaOf(p), 64u) << describe(v) << ": dark shadow at " << x << "," << y;
                        ASSERT_LT(std::hypot(x + 0.5 - s.anchorX, y + 0.5 - s.anchorY), 0.62 * size)
                            << describe(v) << ": shadow away from the body at " << x << "," << y;
                    }
                }
                if (pose.stance != Stance::Standing) continue;  // other legs may reach there
                const double margin = 3.0 / size;
                for (double x : {0.44 + margin, -0.50 - margin}) {
                    EXPECT_LE(alphaOf(atFlyPoint(s, size, heading, x, 0.0)), 64u) << describe(v) << ": halo at " << x;
                }
            }
        }
    }
}

// The contact shadow belongs to a fly on the glass. Round the body, short of where the
// flight shadow of a fly a body length up falls, one on the ground shows it and one in the
// air shows no shadow at all.
TEST(SpriteShadow, ContactShadowOnlyOnTheGround) {
    for (float size : {36.0f, 96.0f}) {
        for (float heading : {0.0f, 1.0f, 3.5f}) {
            for (bool air : {false, true}) {
                Pose pose = air ? stance(Stance::Flying) : Pose{};
                pose.altitude = air ? size : 0.0f;
                const FlyView v = fly(size, heading, pose);
                const Sprite s = render(v);
                int shadow = 0;
                for (int y = 0; y < s.height; ++y) {
                    for (int x = 0; x < s.width; ++x) {
                        const std::uint32_t p = at(s, x, y);
                        const double dx = x + 0.5 - s.anchorX, dy = y + 0.5 - s.anchorY;
                        if (alphaOf(p) < 10 || (p & 0xffffffu) != 0 || std::hypot(dx, dy) > 0.62 * size) continue;
                        shadow += dx * kShadowDirX + dy * kShadowDirY < 0.25 * size;
                    }
                }
                if (air) {
                    EXPECT_EQ(shadow, 0) << describe(v) << ": a contact shadow in the air";
                } else {
                    EXPECT_GT(shadow, 0) << describe(v) << ": no contact shadow on the glass";
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Sweeps the whole pose space, out-of-range values included: a fly and a twin that
// differs only in what its stance does not show get equal keys; over all of them equal
// keys give identical pixels and different keys different pixels.
TEST(PictureKeys, EqualKeysExactlyWhenPixelsAreEqual) {
    fm::Rng rng(20261207);
    auto pick = [&](int n) { return int(rng.next() % std::uint64_t(n)); };
    auto randomPose = [&](float size) {
        Pose p;
        p.stance = Stance(pick(7));  // 6: not a stance
        p.walkFrame = std::uint8_t(pick(256));
        p.groom = Groom(pick(6));    // 5: not an action
        p.groomFrame = std::uint8_t(pick(256));
        p.motionBlur = pick(2) == 1;
        p.fade = std::uint8_t(pick(12));
        const int alt = pick(8);
        p.altitude = alt == 0 ? 0.0f : alt == 1 ? std::numeric_limits<float>::quiet_NaN()
                                                : float(rng.range(-0.2, 1.3)) * size;
        p.headingHeld = pick(2) == 1;
        p.heading = float(rng.range(-10.0, 20.0));
        return p;
    };
    const float sizes[] = {4.0f, 9.0f, 9.25f, 20.0f, 36.0f, 36.5f, 54.0f, 80.0f, 128.0f};
    std::map<std::uint64_t, std::vector<std::uint32_t>> byKey;
    std::map<std::vector<std::uint32_t>, std::uint64_t> byPixels;
    std::map<std::uint64_t, std::string> described;
    auto check = [&](const FlyView& v) {
        const std::uint64_t key = pictureKeyFor(v.size, v.heading, v.pose);
        Sprite s = render(v);
        s.pixels.push_back(std::uint32_t(s.width));
        auto k = byKey.find(key);
        if (k != byKey.end()) {
            ASSERT_TRUE(k->second == s.pixels) << "key 0x" << std::hex << key << std::dec << " for two pictures: "
                                               << described[key] << " and " << describe(v);
            return;
        }
        auto p = byPixels.find(s.pixels);
        ASSERT_TRUE(p == byPixels.end()) << "one picture under two keys: " << described[p->second] << " and "
                                         << describe(v);
        byKey[key] = s.pixels;
        byPixels[s.pixels] = key;
        described[key] = describe(v);
    };
    for (int i = 0; i < 500; ++i) {
        const float size = sizes[pick(9)];
        const FlyView v = fly(size, float(rng.range(-7.0, 14.0)), randomPose(size));
        FlyView twin = v;
        const Pose other = randomPose(size);
        const Stance s = canonicalPicture(v.size, v.heading, v.pose).stance;
        if (s != Stance::Standing) twin.pose.walkFrame = other.walkFrame;
        if (s != Stance::Grooming) twin.pose.groom = other.groom, twin.pose.groomFrame = other.groomFrame;
        if (s != Stance::Flying) twin.pose.motionBlur = other.motionBlur;
        if (s != Stance::Squashed) twin.pose.fade = other.fade;
        if (s != Stance::Jumping && s != Stance::Flying && s != Stance::Landing) twin.pose.altitude = other.altitude;
        if (v.pose.headingHeld) twin.heading = other.heading;
        else twin.pose.heading = other.heading;
        ASSERT_NO_FATAL_FAILURE(check(v));
        ASSERT_NO_FATAL_FAILURE(check(twin));
        EXPECT_EQ(pictureKeyFor(v.size, v.heading, v.pose), pictureKeyFor(twin.size, twin.heading, twin.pose))
            << describe(v) << " and its twin " << describe(twin);
    }
    EXPECT_GT(byKey.size(), 400u) << "the sweep found too few different pictures";
}

// ---------------------------------------------------------------------------------------
// Renders on a thread of its own, whose body cache starts empty.
Sprite coldRender(const FlyView& v) {
    Sprite s;
    std::thread([&] { renderFly(v, s); }).join();
    return s;
}

// At every size the program draws, up to the largest (and beyond, where it clamps), a
// picture drawn right after pictures of the same size and heading in every other body
// form, from a cache that may be over its budget, equals the cold render.
TEST(SpriteCache, SameAsAColdRenderAtEverySize) {
    std::vector<float> sizes;
    for (float s = 1.0f; s < 16.0f; s += 0.25f) sizes.push_back(s);
    for (float s = 16.0f; s < 64.0f; s += 1.0f) sizes.push_back(s);
    for (float s = 64.0f; s < kMaxDrawnSize; s *= 1.15f) sizes.push_back(s);
    for (float s : {kMaxDrawnSize, kMaxDrawnSize + 0.25f, 5000.0f}) sizes.push_back(s);
    Pose flying = stance(Stance::Flying), fast = flying, groom = stance(Stance::Grooming);
    fast.motionBlur = true;
    flying.altitude = 0.5f;
    groom.groom = Groom::Wings;
    const Pose forms[] = {flying, fast, stance(Stance::Squashed), stance(Stance::Jumping), groom};
    const std::size_t count = sizeof forms / sizeof forms[0];
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const float heading = 0.3f * float(i);
        Sprite warm;
        for (std::size_t k = 1; k <= count; ++k) renderFly(fly(sizes[i], heading, forms[(i + k) % count]), warm);
        const FlyView v = fly(sizes[i], heading, forms[i % count]);  // drawn last, above
        EXPECT_TRUE(warm.pixels == coldRender(v).pixels) << describe(v) << ": cached picture differs";
    }
}

TEST(SpriteCache, SmallerPictureIntoALargerBufferIsClean) {
    Pose high = stance(Stance::Flying);
    high.altitude = 100.0f;
    Sprite reused;
    renderFly(fly(128.0f, 0.3f, high), reused);
    renderFly(fly(20.0f, 1.1f), reused);
    const Sprite fresh = render(fly(20.0f, 1.1f));
    EXPECT_EQ(reused.width, fresh.width);
    EXPECT_TRUE(reused.pixels == fresh.pixels) << "leftovers from the previous picture";
}

// A swatted fly fades step by step to nearly nothing.
TEST(SpriteSquashed, FadesStepByStep) {
    long previous = std::numeric_limits<long>::max(), fresh = 0;
    for (int fade = 0; fade < kSquashFadeSteps; ++fade) {
        Pose p = stance(Stance::Squashed);
        p.fade = std::uint8_t(fade);
        const Sprite s = render(fly(54.0f, 1.0f, p));
        long total = 0;
        for (std::uint32_t px : s.pixels) total += long(alphaOf(px));
        EXPECT_LT(total, previous) << "fade " << fade;
        previous = total;
        if (fade == 0) fresh = total;
    }
    EXPECT_LT(previous, fresh / 5) << "still solid at the last fade";
    EXPECT_GT(previous, 0) << "gone before the last fade";
}

// ---------------------------------------------------------------------------------------
// Calls f(pixel, x, y) for every pixel of the sprite, with (x, y) its centre in the fly's
// frame (x forward, y to its right, in body lengths).
template <class F>
void forEachInFlyFrame(const Sprite& s, float size, float heading, F f) {
    const double c = std::cos(heading), n = std::sin(heading);
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const double dx = (x + 0.5 - s.anchorX) / size, dy = (y + 0.5 - s.anchorY) / size;
            f(at(s, x, y), dx * c + dy * n, -dx * n + dy * c);
        }
    }
}

double luma(double r, double g, double b) { return 0.299 * r + 0.587 * g + 0.114 * b; }
// The straight (not premultiplied) luma of a pixel that is not clear.
double lumaOf(std::uint32_t p) {
    return luma((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff) * 255.0 / std::max(1u, alphaOf(p));
}

// Inside the body's outline (head, thorax, abdomen), `inset` body lengths in from it.
bool inBody(double x, double y, double inset) {
    const double parts[3][3] = {{-0.22, 0.27, 0.20}, {0.12, 0.17, 0.155}, {0.355, 0.085, 0.165}};
    for (const auto& part : parts) {
        const double u = (x - part[0]) / (part[1] - inset), v = y / (part[2] - inset);
        if (u * u + v * v <= 1.0) return true;
    }
    return false;
}

// The colour a standing fly reads as: the mean of the opaque pixels a pixel inside its
// body's outline (wings over the body included, as the eye sees them; legs, see-through
// wing and shadow beyond it not), over a few headings; and the spread of their luma.
struct BodyColour {
    double r = 0, g = 0, b = 0, spread = 0;
    double luma() const { return gnatter::luma(r, g, b); }
    double saturation() const { return 1.0 - std::min({r, g, b}) / std::max({r, g, b, 1.0}); }
};

BodyColour bodyColour(float size) {
    double n = 0, r = 0, g = 0, b = 0, squares = 0;
    for (float heading : {0.0f, 0.9f, 2.2f, 4.0f}) {
        forEachInFlyFrame(render(fly(size, heading)), size, heading, [&](std::uint32_t p, double x, double y) {
            if (alphaOf(p) != 255 || !inBody(x, y, 1.0 / size)) return;
            n += 1;
            r += (p >> 16) & 0xff;
            g += (p >> 8) & 0xff;
            b += p & 0xff;
            squares += lumaOf(p) * lumaOf(p);
        });
    }
    BodyColour out{r / n, g / n, b / n, 0.0};
    out.spread = std::sqrt(std::max(0.0, squares / n - out.luma() * out.luma()));
    return out;
}

// A house fly a few dozen pixels long reads as a dark, nearly neutral grey, and so do
// smaller ones drawn without its markings; large ones still show them.
TEST(SpriteColour, ReadsDarkNeutralGreyAtEverySize) {
    const BodyColour at36 = bodyColour(36.0f);
    for (float size : {9.0f, 13.0f, 18.0f, 36.0f, 54.0f, 96.0f}) {
        const BodyColour c = bodyColour(size);
        SCOPED_TRACE(testing::Message() << "size " << size << ": mean " << c.r << "," << c.g << "," << c.b);
        EXPECT_LT(c.luma(), 90.0) << "too pale";
        EXPECT_GT(c.luma(), 40.0) << "a black blob";
        EXPECT_LT(c.saturation(), 0.20) << "not a neutral grey";
        EXPECT_NEAR(at36.luma(), c.luma(), 12.0) << "another colour than at 36 px";
    }
    for (float size : {96.0f, 256.0f}) EXPECT_GT(bodyColour(size).spread, 25.0) << size << " px: a flat grey";
}

// Where a marking appears as the fly grows (the thorax's rim, the abdomen's mottling, the
// thorax stripes, the face), a fly a quarter pixel smaller, drawn without it, reads
// nearly the same colour.
TEST(SpriteColour, NoJumpWhereAMarkingAppears) {
    for (float size : {10.0f, 12.0f, 14.0f, 16.0f, 20.0f, 24.0f}) {
        EXPECT_NEAR(bodyColour(size - 0.25f).luma(), bodyColour(size).luma(), 4.0) << "at " << size << " px";
    }
}

// ---------------------------------------------------------------------------------------
// A standing fly's right middle leg (walking frame 1 leaves it where it stands) narrows
// from hip to foot. Its width at a point: the coverage of leg-dark pixels summed along a
// line across it, averaged over five such lines half a pixel apart.
TEST(SpriteLegs, NarrowFromHipToFoot) {
    const double joints[4][2] = {{0.11, 0.09}, {0.13, 0.26}, {0.06, 0.41}, {0.02, 0.48}};  // hip .. foot
    const struct { int segment; double t; } probes[] = {{0, 0.75}, {1, 0.2}, {1, 0.8}, {2, 0.5}};  // clear of the body
    Pose pose;
    pose.walkFrame = 1;
    for (float size : {128.0f, 256.0f}) {
        for (float heading : {0.0f, 1.3f, 3.9f}) {
            const Sprite s = render(fly(size, heading, pose));
            double previous = 1e9, first = 0.0, width = 0.0;
            for (const auto& probe : probes) {
                const double* a = joints[probe.segment];
                const double* b = joints[probe.segment + 1];
                const double len = std::hypot(b[0] - a[0], b[1] - a[1]);
                const double ux = (b[0] - a[0]) / len, uy = (b[1] - a[1]) / len, step = 0.05 / size;
                width = 0.0;
                for (int line = -2; line <= 2; ++line) {
                    const double cx = a[0] + probe.t * (b[0] - a[0]) + ux * line * 0.5 / size;
                    const double cy = a[1] + probe.t * (b[1] - a[1]) + uy * line * 0.5 / size;
                    for (double t = -0.04; t <= 0.04; t += step) {
                        const std::uint32_t p = atFlyPoint(s, size, heading, cx - uy * t, cy + ux * t);
                        if ((p & 0xffffffu) != 0 && lumaOf(p) < 70.0) width += alphaOf(p) / 255.0 * step * size / 5;
                    }
                }
                EXPECT_LT(width, previous - 0.003 * size) << size << " px, heading " << heading << ", segment "
                                                         << probe.segment << " at " << probe.t;
                previous = width;
                if (first == 0.0) first = width;
            }
            EXPECT_GT(first, 1.8 * width) << size << " px, heading " << heading << ": thigh against foot";
        }
    }
}

// At 9 px the legs keep a visible width: beyond the body, each walking frame shows
// mostly opaque, leg-dark pixels.
TEST(SpriteLegs, StillShowAtNinePixels) {
    for (float heading : {0.0f, 0.8f, 2.5f, 4.4f}) {
        for (std::uint8_t frame = 0; frame < kWalkFrames; ++frame) {
            Pose pose;
            pose.walkFrame = frame;
            int legPixels = 0;
            forEachInFlyFrame(render(fly(9.0f, heading, pose)), 9.0f, heading, [&](std::uint32_t p, double x, double y) {
                legPixels += alphaOf(p) >= 128 && lumaOf(p) < 70.0 && !inBody(x, y, -1.0 / 9.0);
            });
            EXPECT_GE(legPixels, 8) << "heading " << heading << " frame " << int(frame);
        }
    }
}

// ---------------------------------------------------------------------------------------
// The length of the solid run (alpha >= 200) through a point of the fly's frame, along
// a direction and back.
double solidRun(const Sprite& s, float size, float heading, double x, double y, double dx, double dy) {
    double run = 0.0;
    for (int sign : {1, -1}) {
        for (double t = 0.0; t < kFlyReach; t += 0.25 / size, run += 0.25 / size) {
            if (alphaOf(atFlyPoint(s, size, heading, x + sign * t * dx, y + sign * t * dy)) < 200) break;
        }
    }
    return run;
}

// A swatted fly lies flat: along its axis shorter, across its abdomen wider than a
// standing one.
TEST(SpriteSquashed, FlatterThanAStandingFly) {
    for (float size : {36.0f, 54.0f, 96.0f}) {
        for (float heading : {0.0f, 1.9f, 5.0f}) {
            const Sprite up = render(fly(size, heading)), flat = render(fly(size, heading, stance(Stance::Squashed)));
            EXPECT_LT(solidRun(flat, size, heading, 0.0, 0.0, 1.0, 0.0), 0.92 * solidRun(up, size, heading, 0.0, 0.0, 1.0, 0.0))
                << size << " px, heading " << heading;
            EXPECT_GT(solidRun(flat, size, heading, -0.3, 0.0, 0.0, 1.0), 1.2 * solidRun(up, size, heading, -0.3, 0.0, 0.0, 1.0))
                << size << " px, heading " << heading;
        }
    }
}

// The pieces the opaque part of a picture falls into (8-connected). At large sizes legs are opaque
// along their middle and the see-through wings, veins and all, stay out.
int opaquePieces(const Sprite& s) {
    std::vector<bool> seen(s.pixels.size(), false);
    std::vector<int> todo;
    auto visit = [&](int x, int y) {
        const int i = y * s.width + x;
        if (x < 0 || y < 0 || x >= s.width || y >= s.height || seen[i] || alphaOf(s.pixels[i]) != 255) return false;
        seen[i] = true;
        todo.push_back(i);
        return true;
    };
    int pieces = 0;
    for (int i = 0; i < int(s.pixels.size()); ++i) {
        pieces += visit(i % s.width, i / s.width);
        while (!todo.empty()) {
            const int x = todo.back() % s.width, y = todo.back() / s.width;
            todo.pop_back();
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) visit(x + dx, y + dy);
        }
    }
    return pieces;
}

// A fly is one piece; a swatted one is broken: a leg lies apart.
TEST(SpriteSquashed, BrokenApart) {
    for (float size : {160.0f, 256.0f}) {
        for (float heading : {0.0f, 1.9f, 5.0f}) {
            EXPECT_EQ(1, opaquePieces(render(fly(size, heading)))) << size << " px, heading " << heading;
            EXPECT_GE(opaquePieces(render(fly(size, heading, stance(Stance::Squashed)))), 2) << size << " px, heading " << heading;
        }
    }
}

// A swatted fly leaves a small smear, not a pale halo: few see-through pixels paler
// than its wings (a twentieth of its body's area at most).
TEST(SpriteSquashed, SmallSmearNoPaleHalo) {
    for (float size : {36.0f, 96.0f}) {
        const Sprite s = render(fly(size, 1.0f, stance(Stance::Squashed)));
        const auto pale = std::count_if(s.pixels.begin(), s.pixels.end(), [](std::uint32_t p) {
            return alphaOf(p) >= 16 && alphaOf(p) < 200 && lumaOf(p) > 150.0;
        });
        EXPECT_LT(double(pale), 0.05 * 0.18 * size * size) << size << " px";
    }
}

// ---------------------------------------------------------------------------------------
// How one picture differs from another of the same fly within a part of its frame:
// `amount` in pixels' worth (a pixel that changed wholly counts one), `worst` the largest
// change of any one pixel.
struct Change {
    double amount = 0.0;
    int worst = 0;
};

template <class Part>
Change changeWithin(const Sprite& a, const Sprite& b, float size, float heading, Part part) {
    Change c;
    std::size_t i = 0;  // forEachInFlyFrame goes through the pixels in order
    forEachInFlyFrame(a, size, heading, [&](std::uint32_t p, double x, double y) {
        const std::uint32_t q = b.pixels[i++];
        if (!part(x, y)) return;
        const int diff = channelDifference(p, q);
        c.amount += diff / 255.0;
        c.worst = std::max(c.worst, diff);
    });
    return c;
}

// The least change that shows: a leg's width (a fiftieth of the body) moved along a tenth
// of the body, and never less than a quarter pixel's worth.
double visibleChange(float size) { return std::max(0.25, 0.002 * double(size) * size); }

// A fly grooms where one can see it, on each side: the working legs (front ones for the
// head and front legs, hind ones for the wings, abdomen and hind legs) are unlike those of
// any standing frame, in one of the two frames reach the part they clean (a pixel there
// changes by a sixteenth or more from every standing frame), and the two frames differ
// (the stroke shows); the rest of the body stays as it is at rest. At 9 px a leg over the
// body shades a pixel or two only faintly, so there the reach goes unchecked.
TEST(SpriteGrooming, WorkingLegsShowAndStrokeWhileTheBodyStays) {
    // Where each action's legs work, on the fly's right side (y > 0). A part they lie over
    // is taken a hundredth in from its outline, where a leg drawn under the body would not
    // show (a large body's outline is a polygon a little inside the ellipse).
    using Part = bool (*)(double x, double y);
    const Part worksOn[kGroomActions] = {
        [](double x, double y) { return x > 0.27 && inBody(x, y, 0.01); },   // Head: over it
        [](double x, double y) { return x > 0.44 && y < 0.15; },             // FrontLegs: before the head
        [](double x, double y) { return x < -0.2 && !inBody(x, y, 0.0); },   // Wings: over them, off the body
        [](double x, double y) { return x < -0.05 && inBody(x, y, 0.01); },  // Abdomen: over it
        [](double x, double y) { return x < -0.49 && y < 0.15; },            // HindLegs: behind the abdomen
    };
    for (float size : {9.0f, 24.0f, 96.0f, 256.0f}) {
        for (float heading : {0.0f, 1.9f, 4.4f}) {
            std::vector<Sprite> standing;
            for (int f = 0; f < kWalkFrames; ++f) {
                Pose p;
                p.walkFrame = std::uint8_t(f);
                standing.push_back(render(fly(size, heading, p)));
            }
            for (int g = 0; g < kGroomActions; ++g) {
                Pose pose = stance(Stance::Grooming);
                pose.groom = Groom(g);
                std::vector<Sprite> frames;
                for (int f = 0; f < kGroomFrames; ++f) {
                    pose.groomFrame = std::uint8_t(f);
                    frames.push_back(render(fly(size, heading, pose)));
                }
                const std::string what = describe(fly(size, heading, pose));
                // The body away from the working legs, two pixels in from its outline, where
                // nothing but the body shows.
                const bool front = g <= int(Groom::FrontLegs);
                auto body = [&](double x, double y) {
                    return inBody(x, y, 2.0 / size) && (front ? x < 0.05 : x > 0.0);
                };
                for (std::size_t f = 0; f < frames.size(); ++f) {
                    EXPECT_LE(changeWithin(frames[f], standing[0], size, heading, body).worst, 4)
                        << what << ", frame " << f << ": the body moved";
                }
                for (double side : {1.0, -1.0}) {
                    // The working legs' end of the fly on this side, clear of the middle legs.
                    auto legs = [&](double x, double y) { return y * side > 0 && (front ? x > 0.3 : x < -0.2); };
                    auto part = [&](double x, double y) { return y * side > 0 && worksOn[g](x, y * side); };
                    SCOPED_TRACE(testing::Message() << what << " side " << side);
                    EXPECT_GE(changeWithin(frames[0], frames[1], size, heading, legs).amount, visibleChange(size))
                        << "no stroke between the frames";
                    int reach = 0;
                    for (std::size_t f = 0; f < frames.size(); ++f) {
                        double unlike = 1e9;
                        int reached = 255;
                        for (const Sprite& rest : standing) {
                            unlike = std::min(unlike, changeWithin(frames[f], rest, size, heading, legs).amount);
                            reached = std::min(reached, changeWithin(frames[f], rest, size, heading, part).worst);
                        }
                        EXPECT_GE(unlike, visibleChange(size)) << "frame " << f << " legs as in a standing frame";
                        reach = std::max(reach, reached);
                    }
                    if (size > 9.0f) {
                        EXPECT_GE(reach, 16) << "the legs never reach the part they clean";
                    }
                }
            }
        }
    }
}

// Where a picture's legs and wings lie beyond the body: how many opaque leg-dark pixels
// and their mean position along the fly (x, forward), and the mean distance out to the side
// of the pale see-through ones (wings, or their blur).
struct Limbs {
    double legs = 0.0, legsX = 0.0, wingsOut = 0.0;
};

Limbs limbsOf(float size, float heading, const Pose& pose) {
    Limbs l;
    double wings = 0.0;
    forEachInFlyFrame(render(fly(size, heading, pose)), size, heading, [&](std::uint32_t p, double x, double y) {
        if (inBody(x, y, -1.0 / size)) return;
        if (alphaOf(p) >= 200 && lumaOf(p) < 70.0) {  // a leg, seen through a wing or its blur too
            l.legs += 1;
            l.legsX += x;
        } else if (alphaOf(p) >= 8 && lumaOf(p) > 90.0) {
            wings += 1;
            l.wingsOut += std::fabs(y);
        }
    });
    l.legsX /= std::max(l.legs, 1.0);
    l.wingsOut /= std::max(wings, 1.0);
    return l;
}

// Off the ground the legs and wings show what the fly does, against every standing frame:
// taking off it stretches its legs back, flying it tucks them in, landing it reaches
// forward with them, and in all three its wings stand out from the body, opening or
// beating. At 9 px a leg is too few pixels to tell these apart.
TEST(SpritePoses, InTheAirLegsAndWingsShowTheStance) {
    for (float size : {16.0f, 36.0f, 128.0f}) {
        for (float heading : {0.0f, 1.1f, 2.7f}) {
            // Over the standing frames: the fewest leg pixels, the legs' mean farthest back and
            // farthest forward, and the wings farthest out.
            double fewestLegs = 1e9, rearmostLegs = 1.0, foremostLegs = -1.0, widestWings = 0.0;
            for (int f = 0; f < kWalkFrames; ++f) {
                Pose p;
                p.walkFrame = std::uint8_t(f);
                const Limbs l = limbsOf(size, heading, p);
                fewestLegs = std::min(fewestLegs, l.legs);
                rearmostLegs = std::min(rearmostLegs, l.legsX);
                foremostLegs = std::max(foremostLegs, l.legsX);
                widestWings = std::max(widestWings, l.wingsOut);
            }
            SCOPED_TRACE(testing::Message() << size << " px, heading " << heading);
            const Limbs jumping = limbsOf(size, heading, stance(Stance::Jumping));
            const Limbs flying = limbsOf(size, heading, stance(Stance::Flying));
            const Limbs landing = limbsOf(size, heading, stance(Stance::Landing));
            EXPECT_LT(jumping.legsX, rearmostLegs - 0.04) << "taking off: legs not stretched back";
            EXPECT_GT(jumping.wingsOut, widestWings + 0.1) << "taking off: wings folded";
            EXPECT_LT(flying.legs, fewestLegs / 4) << "flying: legs not tucked in";
            EXPECT_GT(flying.wingsOut, widestWings + 0.1) << "flying: wings folded";
            EXPECT_GT(landing.legsX, foremostLegs + 0.04) << "landing: legs not reaching forward";
            EXPECT_GT(landing.wingsOut, widestWings + 0.1) << "landing: wings folded";
        }
    }
}

// A fast fly trails a streak: behind it, beyond its wings' beat, its picture visibly
// changes from that of a slower one.
TEST(SpritePoses, FastFlyTrailsAStreak) {
    for (float size : {9.0f, 36.0f, 128.0f}) {
        for (float heading : {0.0f, 1.1f, 2.7f}) {
            Pose slow = stance(Stance::Flying), fast = slow;
            fast.motionBlur = true;
            const Change behind = changeWithin(render(fly(size, heading, fast)), render(fly(size, heading, slow)), size,
                                               heading, [](double x, double) { return x < -0.6; });
            EXPECT_GE(behind.worst, 16) << size << " px, heading " << heading << ": no streak";
        }
    }
}

}  // namespace
}  // namespace gnatter
