// Draws a contact sheet of fly pictures (sizes, headings, walking, grooming and flying
// frames) over a light desktop-like backdrop and saves it as a PNG, for looking at the
// artwork. Usage: gnatter_contact_sheet [OUTPUT.png] [SCALE]
#include "png_writer.h"
#include "sprite.h"
#include "swarm.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace gnatter;

namespace {

struct Sheet {
    int w, h;
    std::vector<std::uint8_t> rgba;  // opaque

    Sheet(int width, int height) : w(width), h(height), rgba(std::size_t(width) * height * 4) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                // A pale blue-grey wash with faint window-like panels.
                const bool panel = ((x / 160) + (y / 120)) % 2 == 0;
                std::uint8_t* p = &rgba[(std::size_t(y) * w + x) * 4];
                p[0] = std::uint8_t(panel ? 236 : 222);
                p[1] = std::uint8_t(panel ? 240 : 230);
                p[2] = std::uint8_t(panel ? 244 : 238);
                p[3] = 255;
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

// Nearest-neighbour enlargement, to inspect the small sizes pixel by pixel.
Sheet enlarged(const Sheet& s, int k) {
    Sheet big(s.w * k, s.h * k);
    for (int y = 0; y < big.h; ++y)
        for (int x = 0; x < big.w; ++x)
            for (int c = 0; c < 4; ++c)
                big.rgba[(std::size_t(y) * big.w + x) * 4 + c] = s.rgba[(std::size_t(y / k) * s.w + x / k) * 4 + c];
    return big;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string out = argc > 1 ? argv[1] : "build/contact-sheet.png";
    const int zoom = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    Sheet sheet(1400, 1180);
    Sprite sprite;
    const float pi = 3.14159265f;

    // Row 1: sizes, all facing up-right.
    int x = 30;
    for (float size : {9.0f, 18.0f, 36.0f, 54.0f, 128.0f, 256.0f}) {
        renderFly(view(size, -pi / 4), sprite);
        sheet.place(sprite, x + int(size * 0.7f), 170);
        x += int(size * 1.45f) + 24;
    }
    // Row 2: headings at 36 px and at 9 px.
    for (int i = 0; i < 16; ++i) {
        renderFly(view(36.0f, 2 * pi * i / 16), sprite);
        sheet.place(sprite, 40 + i * 55, 380);
        renderFly(view(9.0f, 2 * pi * i / 16), sprite);
        sheet.place(sprite, 40 + i * 55, 430);
    }
    // Row 3: walking frames then grooming frames at 128 px.
    for (int f = 0; f < kWalkFrames; ++f) {
        Pose p;
        p.walkFrame = std::uint8_t(f);
        renderFly(view(128.0f, -pi / 2, p), sprite);
        sheet.place(sprite, 90 + f * 160, 570);
    }
    for (int g = 1; g <= 4; ++g) {
        Pose p;
        p.stance = Stance::Grooming;
        p.groom = g <= 2 ? Groom::FrontLegs : Groom::HindLegs;
        p.groomFrame = std::uint8_t((g - 1) % 2);
        renderFly(view(128.0f, -pi / 2, p), sprite);
        sheet.place(sprite, 90 + (g + 3) * 160, 570);
    }
    // Row 4: flying with the shadow at rising altitude, 54 px and 128 px.
    for (int i = 0; i < 5; ++i) {
        Pose p;
        p.stance = Stance::Flying;
        p.altitude = 54.0f * i / 4;
        renderFly(view(54.0f, 0.3f + i * 0.5f, p), sprite);
        sheet.place(sprite, 60 + i * 130, 800);
    }
    {
        Pose p;
        p.stance = Stance::Flying;
        p.altitude = 50.0f;
        renderFly(view(128.0f, -2.0f, p), sprite);
        sheet.place(sprite, 800, 820);
        p.altitude = 128.0f;
        renderFly(view(128.0f, 2.6f, p), sprite);
        sheet.place(sprite, 1080, 820);
    }
    // Row 5: a small crowd at mixed sizes and poses.
    for (int i = 0; i < 14; ++i) {
        Pose p;
        p.walkFrame = std::uint8_t(i % 4);
        if (i % 5 == 2) {
            p.stance = Stance::Grooming;
            p.groom = i % 2 ? Groom::FrontLegs : Groom::HindLegs;
        }
        renderFly(view(14.0f + float((i * 7) % 30), float(i) * 1.3f, p), sprite);
        sheet.place(sprite, 50 + i * 95, 1110 - (i % 3) * 25);
    }
    const Sheet& result = zoom > 1 ? enlarged(sheet, zoom) : sheet;
    if (!pngw::write(out, result.w, result.h, result.rgba)) {
        std::fprintf(stderr, "contact sheet: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("contact sheet: %s (%dx%d)\n", out.c_str(), result.w, result.h);
    return 0;
}
