// Records an animated GIF of flies as Windows shows them: a seeded run of the real fly
// core (Swarm, renderFly), advanced at 60 Hz as the Win32 layer does, each fly's picture
// composited with its true alpha at (x - anchorX, y - anchorY) over a desktop-like
// background: a wallpaper, two windows (the flies are told about them and may land on
// their edges) and a taskbar outside the work area. A scripted pointer can move and click,
// to show a fly being swatted. Our own GIF encoder: one 255-colour palette chosen from
// the whole run by median cut, each frame only the rectangle that changed, LZW-packed.
//
//   gnatter_fly_animation [--seed N] [--flies N] [--fly-size PIXELS] [--variation PERCENT]
//                         [--picture WxH] [--seconds S] [--warmup S] [--fps 30|20|10]
//                         [--pointer T:X,Y]... [--click T]... [--chase] [--liveliest S]
//                         --out FILE.gif
//
// --pointer adds a waypoint (at T seconds into the recording the pointer is at X,Y; it
// glides in a straight line between waypoints and is absent before the first); --click
// clicks the left button at T; with --chase the pointer instead creeps up on the nearest
// fly on the ground in the second and a half before each click.
#include "sprite.h"
#include "swarm.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace gnatter;

namespace {

struct Settings {
    std::uint64_t seed = 7;
    int flies = 6;
    int flySize = 36;
    int variation = 20;
    int width = 640, height = 400;
    double seconds = 6.0;
    double warmup = 4.0;
    int fps = 30;
    struct Waypoint {
        double t;
        float x, y;
    };
    std::vector<Waypoint> pointer;
    std::vector<double> clicks;
    bool chase = false;
    double liveliest = 0.0;  // seconds of the run to search for its liveliest stretch
    std::string out;
};

bool fail(const std::string& message) {
    std::fprintf(stderr, "fly_animation: %s\n", message.c_str());
    return false;
}

bool parseArguments(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        const char* v = hasValue ? argv[i + 1] : "";
        char* end = nullptr;
        auto number = [&](double lo, double hi, double& into) {
            into = std::strtod(v, &end);
            return hasValue && end != v && *end == '\0' && into >= lo && into <= hi;
        };
        double d = 0;
        if (a == "--seed") {
            s.seed = std::strtoull(v, &end, 10);
            if (!hasValue || end == v || *end != '\0') return fail("--seed needs a whole number");
        } else if (a == "--flies") {
            if (!number(1, 200, d)) return fail("--flies needs 1 to 200");
            s.flies = int(d);
        } else if (a == "--fly-size") {
            if (!number(4, 256, d)) return fail("--fly-size needs 4 to 256 pixels");
            s.flySize = int(d);
        } else if (a == "--variation") {
            if (!number(0, 100, d)) return fail("--variation needs 0 to 100 percent");
            s.variation = int(d);
        } else if (a == "--picture") {
            if (!hasValue || std::sscanf(v, "%dx%d", &s.width, &s.height) != 2 || s.width < 160 ||
                s.height < 120 || s.width > 1920 || s.height > 1200) {
                return fail("--picture needs WIDTHxHEIGHT from 160x120 to 1920x1200");
            }
        } else if (a == "--seconds") {
            if (!number(0.1, 60, s.seconds)) return fail("--seconds needs 0.1 to 60");
        } else if (a == "--warmup") {
            if (!number(0, 120, s.warmup)) return fail("--warmup needs 0 to 120 seconds");
        } else if (a == "--fps") {
            if (!number(10, 30, d) || (d != 10 && d != 20 && d != 30)) return fail("--fps needs 10, 20 or 30");
            s.fps = int(d);
        } else if (a == "--pointer") {
            Settings::Waypoint w{};
            if (!hasValue || std::sscanf(v, "%lf:%f,%f", &w.t, &w.x, &w.y) != 3 || w.t < 0) {
                return fail("--pointer needs T:X,Y (seconds, then pixels)");
            }
            s.pointer.push_back(w);
        } else if (a == "--click") {
            if (!number(0, 60, d)) return fail("--click needs a time in seconds");
            s.clicks.push_back(d);
        } else if (a == "--chase") {
            s.chase = true;
            continue;
        } else if (a == "--liveliest") {
            if (!number(0, 600, s.liveliest)) return fail("--liveliest needs 0 to 600 seconds");
        } else if (a == "--out") {
            if (!hasValue) return fail("--out needs a file name");
            s.out = v;
        } else {
            return fail("unknown option " + a + " (see the comment at the top of fly_animation.cpp)");
        }
        ++i;
    }
    if (s.out.empty()) return fail("--out FILE.gif is required");
    std::sort(s.pointer.begin(), s.pointer.end(),
              [](const Settings::Waypoint& a, const Settings::Waypoint& b) { return a.t < b.t; });
    std::sort(s.clicks.begin(), s.clicks.end());
    return true;
}

// ---------------------------------------------------------------------------------------
// The desktop: an opaque RGB picture, with the windows the flies are told about.

struct Rgb {
    std::uint8_t r, g, b;
};

struct Picture {
    int w = 0, h = 0;
    std::vector<Rgb> px;
    Picture(int width, int height) : w(width), h(height), px(std::size_t(width) * height) {}
    void fill(int l, int t, int r, int b, Rgb c) {
        for (int y = std::max(t, 0); y < std::min(b, h); ++y) {
            for (int x = std::max(l, 0); x < std::min(r, w); ++x) px[std::size_t(y) * w + x] = c;
        }
    }
};

struct Desktop {
    Picture picture;
    std::vector<WindowBox> windowsTopFirst;
    Rect workArea;
    Rect bounds;
};

Desktop makeDesktop(int w, int h) {
    Desktop d{Picture(w, h), {}, {}, {}};
    const int taskbar = std::max(24, h / 16);
    // Wallpaper: a calm diagonal blue gradient.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float t = (0.65f * y / h + 0.35f * x / w);
            d.picture.px[std::size_t(y) * w + x] = Rgb{std::uint8_t(40 + 90 * t), std::uint8_t(92 + 100 * t),
                                                       std::uint8_t(150 + 85 * t)};
        }
    }
    // Two windows: a document behind, a smaller one in front (topmost first in the list).
    const Rect back{w * 8 / 100, h * 10 / 100, w * 62 / 100, h * 70 / 100};
    const Rect front{w * 50 / 100, h * 34 / 100, w * 90 / 100, h * 80 / 100};
    const int caption = std::max(18, h / 22);
    for (const Rect& r : {back, front}) {
        d.picture.fill(r.left - 1, r.top - 1, r.right + 1, r.bottom + 1, Rgb{120, 128, 140});
        d.picture.fill(r.left, r.top, r.right, r.bottom, Rgb{250, 250, 250});
        d.picture.fill(r.left, r.top, r.right, r.top + caption, Rgb{222, 228, 236});
        // Lines of "text".
        for (int y = r.top + caption + 14, line = 0; y + 6 < r.bottom - 8; y += 16, ++line) {
            const int length = (r.right - r.left - 40) * (60 + (line * 37) % 40) / 100;
            d.picture.fill(r.left + 16, y, r.left + 16 + length, y + 6, Rgb{200, 204, 212});
        }
        // The three caption buttons' marks.
        for (int k = 1; k <= 3; ++k) {
            const int x = r.right - k * caption - caption / 4;
            d.picture.fill(x + caption / 3, r.top + caption / 2, x + caption * 2 / 3, r.top + caption / 2 + 2,
                           Rgb{90, 96, 108});
        }
    }
    d.windowsTopFirst = {WindowBox{front, 2}, WindowBox{back, 1}};
    // Taskbar with a start button and two program buttons.
    d.picture.fill(0, h - taskbar, w, h, Rgb{32, 38, 48});
    d.picture.fill(8, h - taskbar + 5, 8 + taskbar - 10, h - 5, Rgb{80, 150, 230});
    for (int k = 0; k < 2; ++k) {
        const int x = 16 + taskbar + k * (taskbar * 2 + 8);
        d.picture.fill(x, h - taskbar + 5, x + taskbar * 2, h - 5, Rgb{60, 68, 82});
    }
    d.bounds = Rect{0, 0, w, h};
    d.workArea = Rect{0, 0, w, h - taskbar};
    return d;
}

// Premultiplied BGRA over opaque RGB.
void composite(Picture& frame, const Sprite& sprite, int left, int top) {
    for (int y = 0; y < sprite.height; ++y) {
        const int fy = top + y;
        if (fy < 0 || fy >= frame.h) continue;
        for (int x = 0; x < sprite.width; ++x) {
            const int fx = left + x;
            if (fx < 0 || fx >= frame.w) continue;
            const std::uint32_t v = sprite.pixels[std::size_t(y) * sprite.width + x];
            const unsigned a = v >> 24;
            if (a == 0) continue;
            Rgb& p = frame.px[std::size_t(fy) * frame.w + fx];
            const unsigned keep = 255 - a;
            p.r = std::uint8_t(std::min(255u, ((v >> 16) & 0xffu) + (p.r * keep + 127) / 255));
            p.g = std::uint8_t(std::min(255u, ((v >> 8) & 0xffu) + (p.g * keep + 127) / 255));
            p.b = std::uint8_t(std::min(255u, (v & 0xffu) + (p.b * keep + 127) / 255));
        }
    }
}

// The standard arrow pointer, drawn by us: X outline, o fill.
const char* const kArrow[] = {
    "X",           "XX",          "XoX",         "XooX",        "XoooX",       "XooooX",
    "XoooooX",     "XooooooX",    "XoooooooX",   "XooooooooX",  "XoooooooooX", "XooooooXXXXX",
    "XoooXooX",    "XooXXooX",    "XoX  XooX",   "XX   XooX",   "X     XooX",  "      XooX",
    "       XX",
};

void drawPointer(Picture& frame, float px, float py) {
    const int left = int(std::lround(px)), top = int(std::lround(py));
    for (int y = 0; y < int(sizeof kArrow / sizeof kArrow[0]); ++y) {
        for (int x = 0; kArrow[y][x] != '\0'; ++x) {
            const int fx = left + x, fy = top + y;
            if (kArrow[y][x] == ' ' || fx < 0 || fy < 0 || fx >= frame.w || fy >= frame.h) continue;
            frame.px[std::size_t(fy) * frame.w + fx] = kArrow[y][x] == 'X' ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
        }
    }
}

// ---------------------------------------------------------------------------------------
// The run: the same frames for both passes (palette, then encoding), as the seed fixes them.

class Run {
public:
    // `report`: say on standard error what each click hit.
    Run(const Settings& s, bool report) : s_(s), report_(report), desktop_(makeDesktop(s.width, s.height)) {
        Options options;
        options.count = s.flies;
        options.sizePixels = s.flySize;
        options.variationPercent = s.variation;
        options.timeoutSeconds = 0;
        swarm_.reset(new Swarm(options, s.seed, {Monitor{desktop_.workArea, desktop_.bounds, 1.0f}}));
        swarm_->setWindows(desktop_.windowsTopFirst);
        swarm_->setPointer(false, 0, 0);
        // Let the flies arrive and settle before the recording starts.
        for (int tick = 0; tick < int(s.warmup * kTicksPerSecond); ++tick) swarm_->advance(1.0 / kTicksPerSecond);
    }

    // Advances to the next frame's time and draws it into `frame`.
    void nextFrame(Picture& frame) {
        const int ticksPerFrame = kTicksPerSecond / s_.fps;
        for (int k = 0; k < ticksPerFrame; ++k) tick();
        frame = desktop_.picture;
        for (std::size_t i = 0; i < swarm_->flyCount(); ++i) {
            const FlyView& fly = swarm_->flyView(i);
            if (!fly.visible) continue;
            renderFly(fly, sprite_);
            composite(frame, sprite_, int(std::lround(fly.x)) - sprite_.anchorX,
                      int(std::lround(fly.y)) - sprite_.anchorY);
        }
        if (pointerPresent_) drawPointer(frame, pointerX_, pointerY_);
    }

    // One 60 Hz tick without drawing, and how busy the flies are: each walking fly counts
    // one, each flying fly three.
    int scanTick() {
        tick();
        int busy = 0;
        for (std::size_t i = 0; i < swarm_->flyCount(); ++i) {
            const Activity a = swarm_->flyView(i).activity;
            busy += a == Activity::Walking ? 1 : (a == Activity::Flying || a == Activity::Escaping || a == Activity::Chasing) ? 3 : 0;
        }
        return busy;
    }

    int hits() const { return hits_; }
    int misses() const { return misses_; }

private:
    static constexpr int kTicksPerSecond = 60;
    // The pointer creeps up on the fly over this long: slowly enough not to look like a
    // threat, as a fast swipe would.
    static constexpr double kChaseSeconds = 1.5;

    void tick() {
        swarm_->advance(1.0 / kTicksPerSecond);
        ++ticks_;
        const double t = double(ticks_) / kTicksPerSecond;
        movePointer(t);
        swarm_->setPointer(pointerPresent_, pointerX_, pointerY_);
        while (nextClick_ < s_.clicks.size() && s_.clicks[nextClick_] <= t) {
            ++nextClick_;
            if (!pointerPresent_) continue;
            const bool hit = swarm_->swat(pointerX_, pointerY_);
            (hit ? hits_ : misses_)++;
            if (report_) std::fprintf(stderr, "fly_animation: click at %.2f s on (%.0f, %.0f): %s\n", t, pointerX_, pointerY_,
                         hit ? "a fly was swatted" : "no fly hit");
        }
    }

    // Where the script puts the pointer at time t.
    void movePointer(double t) {
        if (s_.chase && nextClick_ < s_.clicks.size() && s_.clicks[nextClick_] - t <= kChaseSeconds) {
            const FlyView* target = nearestGroundedFly();
            if (target != nullptr) {
                if (!pointerPresent_) {  // in from the lower right of the fly
                    pointerX_ = target->x + 48;
                    pointerY_ = target->y + 36;
                }
                pointerPresent_ = true;
                const double left = std::max(s_.clicks[nextClick_] - t, 1.0 / kTicksPerSecond);
                const float step = float(std::min(1.0, (1.0 / kTicksPerSecond) / left));
                pointerX_ += (target->x - pointerX_) * step;
                pointerY_ += (target->y - pointerY_) * step;
                return;
            }
        }
        if (s_.pointer.empty() || t < s_.pointer.front().t) return;
        pointerPresent_ = true;
        std::size_t k = 0;
        while (k + 1 < s_.pointer.size() && s_.pointer[k + 1].t <= t) ++k;
        const Settings::Waypoint& a = s_.pointer[k];
        if (k + 1 == s_.pointer.size()) {
            pointerX_ = a.x;
            pointerY_ = a.y;
            return;
        }
        const Settings::Waypoint& b = s_.pointer[k + 1];
        const float u = float((t - a.t) / std::max(b.t - a.t, 1e-6));
        pointerX_ = a.x + (b.x - a.x) * u;
        pointerY_ = a.y + (b.y - a.y) * u;
    }

    const FlyView* nearestGroundedFly() const {
        const FlyView* best = nullptr;
        float bestDistance = 0;
        const float fromX = pointerPresent_ ? pointerX_ : float(s_.width) / 2;
        const float fromY = pointerPresent_ ? pointerY_ : float(s_.height) / 2;
        for (std::size_t i = 0; i < swarm_->flyCount(); ++i) {
            const FlyView& fly = swarm_->flyView(i);
            const bool grounded = fly.activity == Activity::Resting || fly.activity == Activity::Grooming ||
                                  fly.activity == Activity::Walking;
            if (!fly.visible || !grounded) continue;
            const float d = std::hypot(fly.x - fromX, fly.y - fromY);
            if (best == nullptr || d < bestDistance) {
                best = &fly;
                bestDistance = d;
            }
        }
        return best;
    }

    const Settings& s_;
    bool report_;
    Desktop desktop_;
    std::unique_ptr<Swarm> swarm_;
    Sprite sprite_;
    long ticks_ = 0;
    bool pointerPresent_ = false;
    float pointerX_ = 0, pointerY_ = 0;
    std::size_t nextClick_ = 0;
    int hits_ = 0, misses_ = 0;
};

// ---------------------------------------------------------------------------------------
// Palette: median cut over a histogram of 15-bit colours.

constexpr int kColours = 255;       // index 255 is "unchanged" (transparent)
constexpr std::uint8_t kTransparent = 255;

int bin(Rgb c) { return (c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3); }

struct Palette {
    std::vector<Rgb> colours;
    std::vector<std::uint8_t> lookup = std::vector<std::uint8_t>(32768);
};

Palette medianCut(const std::vector<std::uint32_t>& histogram) {
    struct Box {
        std::vector<int> bins;
        long long weight = 0;
    };
    std::vector<Box> boxes(1);
    for (int b = 0; b < 32768; ++b) {
        if (histogram[b] == 0) continue;
        boxes[0].bins.push_back(b);
        boxes[0].weight += histogram[b];
    }
    auto channel = [](int b, int c) { return (b >> (10 - 5 * c)) & 31; };
    while (int(boxes.size()) < kColours) {
        // Split the box with the widest channel range, weighted by how much it holds.
        int pick = -1, pickChannel = 0;
        double best = 0;
        for (int i = 0; i < int(boxes.size()); ++i) {
            if (boxes[i].bins.size() < 2) continue;
            for (int c = 0; c < 3; ++c) {
                int lo = 31, hi = 0;
                for (int b : boxes[i].bins) {
                    lo = std::min(lo, channel(b, c));
                    hi = std::max(hi, channel(b, c));
                }
                const double score = double(hi - lo) * std::sqrt(double(boxes[i].weight));
                if (score > best) {
                    best = score;
                    pick = i;
                    pickChannel = c;
                }
            }
        }
        if (pick < 0) break;
        Box& box = boxes[pick];
        std::sort(box.bins.begin(), box.bins.end(),
                  [&](int a, int b) { return channel(a, pickChannel) < channel(b, pickChannel); });
        long long half = 0, total = box.weight;
        std::size_t cut = 0;
        while (cut + 1 < box.bins.size() && (half += histogram[box.bins[cut]]) * 2 < total) ++cut;
        cut = std::max<std::size_t>(cut, 1);
        Box upper;
        upper.bins.assign(box.bins.begin() + long(cut), box.bins.end());
        box.bins.resize(cut);
        box.weight = 0;
        for (int b : box.bins) box.weight += histogram[b];
        upper.weight = total - box.weight;
        boxes.push_back(std::move(upper));
    }
    Palette palette;
    for (const Box& box : boxes) {
        double sum[3] = {0, 0, 0};
        double weight = 0;
        for (int b : box.bins) {
            for (int c = 0; c < 3; ++c) sum[c] += (channel(b, c) * 8 + 4) * double(histogram[b]);
            weight += histogram[b];
        }
        if (weight == 0) continue;
        palette.colours.push_back(Rgb{std::uint8_t(sum[0] / weight), std::uint8_t(sum[1] / weight),
                                      std::uint8_t(sum[2] / weight)});
    }
    for (int b = 0; b < 32768; ++b) {
        int best = 0, bestDistance = 1 << 30;
        for (int i = 0; i < int(palette.colours.size()); ++i) {
            const Rgb& c = palette.colours[i];
            const int dr = channel(b, 0) * 8 + 4 - c.r, dg = channel(b, 1) * 8 + 4 - c.g,
                      db = channel(b, 2) * 8 + 4 - c.b;
            const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        palette.lookup[b] = std::uint8_t(best);
    }
    palette.colours.resize(256, Rgb{0, 0, 0});
    return palette;
}

// ---------------------------------------------------------------------------------------
// GIF: header, palette, looping, and one LZW-packed image per frame.

class GifWriter {
public:
    GifWriter(int w, int h, const Palette& palette) {
        put("GIF89a");
        word(w);
        word(h);
        byte(0xF7);  // global colour table of 256 entries, 8 bits per primary
        byte(0);
        byte(0);
        for (const Rgb& c : palette.colours) {
            byte(c.r);
            byte(c.g);
            byte(c.b);
        }
        // Loop for ever (the Netscape application extension every viewer honours).
        const std::uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2',
                                     '.', '0', 0x03, 0x01, 0x00, 0x00, 0x00};
        bytes_.insert(bytes_.end(), loop, loop + sizeof loop);
    }

    // One frame: `indices` covers the rectangle (left, top, w, h); kTransparent keeps
    // what the previous frame showed there.
    void frame(int left, int top, int w, int h, const std::vector<std::uint8_t>& indices, int delayCs) {
        const std::uint8_t control[] = {0x21, 0xF9, 0x04, 0x05 /* keep the frame; transparency */,
                                        std::uint8_t(delayCs & 0xff), std::uint8_t(delayCs >> 8), kTransparent, 0};
        bytes_.insert(bytes_.end(), control, control + sizeof control);
        byte(0x2C);
        word(left);
        word(top);
        word(w);
        word(h);
        byte(0);
        lzw(indices);
    }

    bool save(const std::string& path) {
        byte(0x3B);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return false;
        const bool ok = std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
        return std::fclose(f) == 0 && ok;
    }

    std::size_t size() const { return bytes_.size(); }

private:
    void byte(unsigned v) { bytes_.push_back(std::uint8_t(v)); }
    void word(unsigned v) {
        byte(v & 0xff);
        byte(v >> 8);
    }
    void put(const char* text) { bytes_.insert(bytes_.end(), text, text + std::strlen(text)); }

    // Variable-width LZW with 8-bit symbols, as the GIF format defines it.
    void lzw(const std::vector<std::uint8_t>& symbols) {
        constexpr int kClear = 256, kEnd = 257, kMaxCodes = 4096;
        byte(8);
        std::vector<std::uint8_t> packed;
        std::uint32_t buffer = 0;
        int bits = 0, width = 9, next = kEnd + 1;
        auto emit = [&](int code) {
            buffer |= std::uint32_t(code) << bits;
            bits += width;
            while (bits >= 8) {
                packed.push_back(std::uint8_t(buffer & 0xff));
                buffer >>= 8;
                bits -= 8;
            }
        };
        // Child code of (prefix, symbol), 0 when none yet.
        std::vector<std::uint16_t> child(std::size_t(kMaxCodes) * 256, 0);
        emit(kClear);
        int prefix = -1;
        for (std::uint8_t s : symbols) {
            if (prefix < 0) {
                prefix = s;
                continue;
            }
            const std::uint16_t known = child[std::size_t(prefix) * 256 + s];
            if (known != 0) {
                prefix = known;
                continue;
            }
            emit(prefix);
            if (next < kMaxCodes) {
                child[std::size_t(prefix) * 256 + s] = std::uint16_t(next);
                // The decoder widens its codes one code later than the encoder adds them.
                if (next == (1 << width) && width < 12) ++width;
                ++next;
            } else {
                emit(kClear);
                std::fill(child.begin(), child.end(), 0);
                width = 9;
                next = kEnd + 1;
            }
            prefix = s;
        }
        if (prefix >= 0) emit(prefix);
        emit(kEnd);
        if (bits > 0) packed.push_back(std::uint8_t(buffer & 0xff));
        for (std::size_t i = 0; i < packed.size(); i += 255) {
            const std::size_t n = std::min<std::size_t>(255, packed.size() - i);
            byte(unsigned(n));
            bytes_.insert(bytes_.end(), packed.begin() + long(i), packed.begin() + long(i + n));
        }
        byte(0);
    }

    std::vector<std::uint8_t> bytes_;
};

bool same(const Rgb& a, const Rgb& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    if (!parseArguments(argc, argv, s)) return 2;
    const int frames = std::max(1, int(std::lround(s.seconds * s.fps)));
    if (s.liveliest > 0.0) {
        // The same seed twice gives the same flies, so the search can run ahead and the
        // recording start where the search found the most going on.
        Run scan(s, false);
        const int ticks = int(s.liveliest * 60), window = int(s.seconds * 60);
        std::vector<long> sum(std::size_t(ticks) + 1, 0);
        for (int t = 0; t < ticks; ++t) sum[std::size_t(t) + 1] = sum[std::size_t(t)] + scan.scanTick();
        int best = 0;
        for (int t = 0; t + window <= ticks; ++t) {
            if (sum[std::size_t(t + window)] - sum[std::size_t(t)] > sum[std::size_t(best + window)] - sum[std::size_t(best)]) best = t;
        }
        s.warmup += best / 60.0;
    }

    // Pass 1: the colours of the run, every pixel of the first frame and the changed
    // pixels of the rest, so the flies get their share of the palette.
    std::vector<std::uint32_t> histogram(32768, 0);
    {
        Run run(s, false);
        Picture previous(s.width, s.height), frame(s.width, s.height);
        for (int f = 0; f < frames; ++f) {
            run.nextFrame(frame);
            for (std::size_t i = 0; i < frame.px.size(); ++i) {
                if (f == 0 || !same(frame.px[i], previous.px[i])) ++histogram[bin(frame.px[i])];
            }
            std::swap(previous, frame);
        }
    }
    const Palette palette = medianCut(histogram);

    // Pass 2: the same run again, each frame as the indices of what changed.
    GifWriter gif(s.width, s.height, palette);
    Run run(s, true);
    Picture shown(s.width, s.height), frame(s.width, s.height);
    std::vector<std::uint8_t> indices;
    // Hundredths of a second per frame: 30 fps as 3, 3, 4; 20 fps as 5; 10 fps as 10.
    double clock = 0;
    int written = 0;
    for (int f = 0; f < frames; ++f) {
        run.nextFrame(frame);
        int left = s.width, top = s.height, right = 0, bottom = 0;
        for (int y = 0; y < s.height; ++y) {
            for (int x = 0; x < s.width; ++x) {
                const std::size_t i = std::size_t(y) * s.width + x;
                const Rgb mapped = palette.colours[palette.lookup[bin(frame.px[i])]];
                if (f > 0 && same(mapped, shown.px[i])) continue;
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
        }
        if (right <= left) left = top = 0, right = bottom = 1;  // nothing changed: one kept pixel
        indices.clear();
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                const std::size_t i = std::size_t(y) * s.width + x;
                const std::uint8_t index = palette.lookup[bin(frame.px[i])];
                const bool unchanged = f > 0 && same(palette.colours[index], shown.px[i]);
                indices.push_back(unchanged ? kTransparent : index);
                shown.px[i] = palette.colours[index];
            }
        }
        clock += 100.0 / s.fps;
        const int delay = int(std::lround(clock)) - written;
        written += delay;
        gif.frame(left, top, right - left, bottom - top, indices, delay);
    }
    if (!gif.save(s.out)) {
        std::fprintf(stderr, "fly_animation: cannot write %s\n", s.out.c_str());
        return 1;
    }
    std::printf("fly_animation: %s: %dx%d, %d frames at %d fps, %zu bytes, %d swats hit, %d missed\n",
                s.out.c_str(), s.width, s.height, frames, s.fps, gif.size(), run.hits(), run.misses());
    return 0;
}
