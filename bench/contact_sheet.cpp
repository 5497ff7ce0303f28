// Draws a contact sheet of fly pictures over a light, window-like backdrop and over a
// dark one, and saves it as a PNG for looking at the artwork: each half shows every
// stance, walking frame, grooming action and frame, motion blur and fade at 256, 96, 36
// and 16 px, the headings round the circle, the flight shadow climbing and squashed
// flies at 16, 36, 54 and 96 px.
// Usage: gnatter_contact_sheet [OUTPUT.png] [ZOOM] [X Y W H]  (the last four crop the sheet)
// The PNG is written uncompressed; docs/fly-contact-sheet.png is the whole sheet passed
// through `convert -define png:compression-level=9 -define png:color-type=2`.
#include "png_writer.h"
#include "sprite.h"
#include "swarm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace gnatter;

namespace {

struct Sheet {
    int w, h;
    std::vector<std::uint8_t> rgba;  // opaque

    Sheet(int width, int height) : w(width), h(height), rgba(std::size_t(width) * height * 4, 255) {}

    // A pale blue-grey wash with faint window-like panels, or a dark desktop.
    void backdrop(int top, int bottom, bool dark) {
        for (int y = top; y < bottom; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool panel = ((x / 160) + (y / 120)) % 2 == 0;
                std::uint8_t* p = &rgba[(std::size_t(y) * w + x) * 4];
                const int base[3] = {dark ? 38 : 236, dark ? 42 : 240, dark ? 48 : 244};
                const int step = panel ? 0 : (dark ? 10 : -14);
                for (int c = 0; c < 3; ++c) p[c] = std::uint8_t(base[c] + step);
            }
        }
    }

    void place(const Sprite& s, int cx, int cy) {
        for (int y = 0; y < s.height; ++y) {
            for (int x = 0; x < s.width; ++x) {
                const int dx = cx - s.anchorX + x, dy = cy - s.anchorY + y;
                if (dx < 0 || dy < 0 || dx >= w || dy >= h) continue;
                const std::uint32_t v = s.pixels[std::size_t(y) * s.width + x];
                const unsigned a = v >> 24;
                std::uint8_t* p = &rgba[(std::size_t(dy) * w + dx) * 4];
                const unsigned src[3] = {(v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff};
                for (int c = 0; c < 3; ++c) p[c] = std::uint8_t(src[c] + p[c] * (255 - a) / 255);
            }
        }
    }
};

FlyView view(float size, float heading, Pose pose = {}) {
    FlyView v;
    v.size = size;
    v.heading = heading;
    v.pose = pose;
    v.visible = true;
    return v;
}

// Every picture the fly has, in order: walking frames, grooming actions and frames,
// take-off, flight, flight at speed, touchdown, and the squashed fly fading.
std::vector<Pose> everyPose() {
    std::vector<Pose> poses;
    for (int f = 0; f < kWalkFrames; ++f) {
        Pose p;
        p.walkFrame = std::uint8_t(f);
        poses.push_back(p);
    }
    for (int g = 0; g < kGroomActions; ++g) {
        for (int f = 0; f < kGroomFrames; ++f) {
            Pose p;
            p.stance = Stance::Grooming;
            p.groom = Groom(g);
            p.groomFrame = std::uint8_t(f);
            poses.push_back(p);
        }
    }
    for (Stance s : {Stance::Jumping, Stance::Flying, Stance::Flying, Stance::Landing}) {
        Pose p;
        p.stance = s;
        p.motionBlur = s == Stance::Flying && poses.back().stance == Stance::Flying;
        poses.push_back(p);
    }
    for (int fade : {0, 3, 6}) {
        Pose p;
        p.stance = Stance::Squashed;
        p.fade = std::uint8_t(fade);
        poses.push_back(p);
    }
    return poses;
}

// One half of the sheet, starting at `top`; returns where it ends.
int drawHalf(Sheet& sheet, int top, bool dark) {
    const float up = -3.14159265f / 2;
    Sprite sprite;
    sheet.backdrop(top, top + 1560, dark);
    // 256 px: standing, grooming its wings, flying with its shadow, squashed.
    {
        Pose groom;
        groom.stance = Stance::Grooming;
        groom.groom = Groom::Wings;
        Pose fly;
        fly.stance = Stance::Flying;
        fly.altitude = 60.0f;
        Pose squash;
        squash.stance = Stance::Squashed;
        const Pose poses[4] = {Pose{}, groom, fly, squash};
        for (int i = 0; i < 4; ++i) {
            renderFly(view(256.0f, up, poses[i]), sprite);
            sheet.place(sprite, 230 + i * 450, top + 250);
        }
    }
    const std::vector<Pose> poses = everyPose();
    // 96 px, every pose, in two rows.
    for (std::size_t i = 0; i < poses.size(); ++i) {
        renderFly(view(96.0f, up, poses[i]), sprite);
        sheet.place(sprite, 100 + int(i % 11) * 170, top + 560 + int(i / 11) * 190);
    }
    // 36 px and 16 px, every pose.
    for (std::size_t i = 0; i < poses.size(); ++i) {
        renderFly(view(36.0f, up, poses[i]), sprite);
        sheet.place(sprite, 50 + int(i) * 82, top + 970);
        renderFly(view(16.0f, up, poses[i]), sprite);
        sheet.place(sprite, 50 + int(i) * 82, top + 1050);
    }
    // Headings at 36 px and 9 px.
    for (int i = 0; i < 16; ++i) {
        renderFly(view(36.0f, 2 * 3.14159265f * i / 16), sprite);
        sheet.place(sprite, 50 + i * 82, top + 1140);
        renderFly(view(9.0f, 2 * 3.14159265f * i / 16), sprite);
        sheet.place(sprite, 50 + i * 82, top + 1200);
    }
    // The flight shadow moving out and paling as the fly climbs (54 px), and a fast
    // fly's streak.
    for (int i = 0; i < 6; ++i) {
        Pose p;
        p.stance = Stance::Flying;
        p.altitude = 54.0f * i / 5;
        renderFly(view(54.0f, -0.6f, p), sprite);
        sheet.place(sprite, 70 + i * 170, top + 1320);
        p.motionBlur = true;
        if (i == 5) sheet.place((renderFly(view(54.0f, 0.4f, p), sprite), sprite), 70 + 6 * 170, top + 1320);
    }
    // Squashed flies at 16, 36, 54 and 96 px, facing up and at a slant.
    {
        Pose squash;
        squash.stance = Stance::Squashed;
        const float sizes[4] = {16.0f, 36.0f, 54.0f, 96.0f};
        const int xs[4] = {40, 110, 210, 360};
        for (int i = 0; i < 4; ++i) {
            renderFly(view(sizes[i], up, squash), sprite);
            sheet.place(sprite, xs[i], top + 1470);
            renderFly(view(sizes[i], 0.7f, squash), sprite);
            sheet.place(sprite, 540 + xs[i], top + 1470);
        }
    }
    // A small crowd at mixed sizes and poses.
    for (int i = 0; i < 14; ++i) {
        Pose p;
        p.walkFrame = std::uint8_t(i % 4);
        if (i % 4 == 2) {
            p.stance = Stance::Grooming;
            p.groom = Groom(i % kGroomActions);
        }
        renderFly(view(14.0f + float((i * 7) % 30), float(i) * 1.3f, p), sprite);
        sheet.place(sprite, 1300 + (i % 5) * 95, top + 1290 + (i / 5) * 80);
    }
    return top + 1560;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string out = argc > 1 ? argv[1] : "build/contact-sheet.png";
    const int zoom = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    Sheet sheet(1900, 3120);
    drawHalf(sheet, drawHalf(sheet, 0, false), true);

    // An optional crop, enlarged by ZOOM (nearest neighbour, to see the small sizes pixel
    // by pixel).
    int cx = 0, cy = 0, cw = sheet.w, ch = sheet.h;
    if (argc > 6) {
        cx = std::clamp(std::atoi(argv[3]), 0, sheet.w - 1);
        cy = std::clamp(std::atoi(argv[4]), 0, sheet.h - 1);
        cw = std::clamp(std::atoi(argv[5]), 1, sheet.w - cx);
        ch = std::clamp(std::atoi(argv[6]), 1, sheet.h - cy);
    }
    Sheet result(cw * zoom, ch * zoom);
    for (int y = 0; y < result.h; ++y)
        for (int x = 0; x < result.w; ++x)
            for (int c = 0; c < 4; ++c)
                result.rgba[(std::size_t(y) * result.w + x) * 4 + c] =
                    sheet.rgba[(std::size_t(cy + y / zoom) * sheet.w + cx + x / zoom) * 4 + c];
    if (!pngw::write(out, result.w, result.h, result.rgba)) {
        std::fprintf(stderr, "contact sheet: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("contact sheet: %s (%dx%d)\n", out.c_str(), result.w, result.h);
    return 0;
}
