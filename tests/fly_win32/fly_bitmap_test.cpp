// The picture path of the fly windows, in-process with the real core: a rendered fly
// reaches the DIB section unchanged, premultiplied, and the layered window takes it; a
// picture drawn one pixel further in, with its window one pixel further out, shows the
// same on the screen; the outlines count the Expose events an X server would send.
#include "fly_bitmap.h"
#include "sprite.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using gnatter::win32::PictureOutline;

gnatter::FlyView aFly(float size, float heading = 0.7f) {
    gnatter::FlyView fly;
    fly.x = 200.0f;
    fly.y = 150.0f;
    fly.heading = heading;
    fly.size = size;
    fly.visible = true;
    return fly;
}

bool premultiplied(std::uint32_t pixel) {
    const std::uint32_t a = pixel >> 24, r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    return r <= a && g <= a && b <= a;
}

// A rendered fly must have opaque, see-through and anti-aliased (partly transparent)
// pixels, or the checks below would prove little.
void expectUsefulPicture(const gnatter::Sprite& sprite) {
    int opaque = 0, clear = 0, partial = 0;
    for (std::uint32_t pixel : sprite.pixels) {
        const std::uint32_t a = pixel >> 24;
        if (a == 255) ++opaque;
        else if (a == 0) ++clear;
        else ++partial;
    }
    EXPECT_GT(opaque + partial, 0);
    EXPECT_GT(clear, 0);
    EXPECT_GT(partial, 0);
}

std::uint32_t spritePixel(const gnatter::Sprite& sprite, int x, int y) {
    if (x < 0 || y < 0 || x >= sprite.width || y >= sprite.height) return 0;
    return sprite.pixels[static_cast<size_t>(y) * sprite.width + x];
}

struct DrawCase {
    const char* name;
    int inset;
    int extraWidth, extraHeight;  // the area against the sprite's size
};

class DrawSpriteTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DrawSpriteTest, TheAreaHoldsTheSpriteAtItsInsetAndNothingElse) {
    const DrawCase c = GetParam();
    gnatter::Sprite sprite;
    gnatter::renderFly(aFly(36.0f), sprite);
    ASSERT_EQ(gnatter::spriteSide(36.0f), sprite.width);
    expectUsefulPicture(sprite);

    // A DIB wider and taller than the area, as the shared canvas often is, holding an old
    // picture everywhere.
    const SIZE area = {sprite.width + c.extraWidth, sprite.height + c.extraHeight};
    const int width = sprite.width + 9, height = sprite.height + 5;
    const std::uint32_t old = 0x80402010;
    std::vector<std::uint32_t> dib(static_cast<size_t>(width) * height, old);
    gnatter::win32::drawSpriteInDib(sprite, dib.data(), width, height, area, c.inset);

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = dib[static_cast<size_t>(y) * width + x];
            if (x < area.cx && y < area.cy) {
                ASSERT_EQ(spritePixel(sprite, x - c.inset, y - c.inset), pixel) << x << "," << y;
                ASSERT_TRUE(premultiplied(pixel)) << x << "," << y;
            } else {
                ASSERT_EQ(old, pixel) << x << "," << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DrawSpriteTest,
                         ::testing::Values(DrawCase{"SpriteSize", 0, 0, 0}, DrawCase{"InsetSpareRowAndColumn", 1, 1, 1},
                                           DrawCase{"SpareRowAndColumn", 0, 1, 1},
                                           DrawCase{"InsetFittedCorner", 1, -20, -30},
                                           DrawCase{"NarrowAndTall", 0, -20, 3}),
                         [](const ::testing::TestParamInfo<DrawCase>& info) { return info.param.name; });

TEST(FlyBitmap, WindowGoesWhereTheAnchorMeetsTheFly) {
    const POINT topLeft = gnatter::win32::windowTopLeft(100.4f, 50.6f, 30, 20);
    EXPECT_EQ(70, topLeft.x);
    EXPECT_EQ(31, topLeft.y);
}

// ---- outlines ----

// A clear sprite of w x h with the given pixels opaque.
gnatter::Sprite dots(int w, int h, const std::vector<POINT>& opaque) {
    gnatter::Sprite sprite;
    sprite.width = w;
    sprite.height = h;
    sprite.pixels.assign(static_cast<size_t>(w) * h, 0);
    for (POINT p : opaque) sprite.pixels[static_cast<size_t>(p.y) * w + p.x] = 0x01000000;  // faintest alpha counts
    return sprite;
}

// The count worked out pixel by pixel: the newly covered pixels of each row as runs, a
// row like the one above it adding nothing (an X region keeps equal rows as one band).
int newlyCoveredByPixels(const gnatter::Sprite& before, int insetBefore, const gnatter::Sprite& after,
                         int insetAfter, int w, int h) {
    auto covered = [](const gnatter::Sprite& s, int inset, int x, int y) {
        return (spritePixel(s, x - inset, y - inset) >> 24) != 0;
    };
    int rects = 0;
    std::vector<bool> above;
    for (int y = 0; y < h; ++y) {
        std::vector<bool> row(static_cast<size_t>(w));
        for (int x = 0; x < w; ++x) row[x] = covered(after, insetAfter, x, y) && !covered(before, insetBefore, x, y);
        if (y == 0 || row != above) {
            for (int x = 0; x < w; ++x) rects += row[x] && (x == 0 || !row[x - 1]);
        }
        above = row;
    }
    return rects;
}

TEST(PictureOutline, AgreesPixelByPixelOnRealPictureChanges) {
    // A fly turning on the spot, taking off and landing: the picture changes the window
    // system sees most.
    const std::vector<gnatter::Stance> stances = {gnatter::Stance::Standing, gnatter::Stance::Grooming,
                                                  gnatter::Stance::Jumping, gnatter::Stance::Landing};
    gnatter::Sprite before, after;
    int checked = 0, nonZero = 0;
    for (float size : {9.0f, 36.0f, 54.0f}) {
        for (int i = 0; i < 12; ++i) {
            gnatter::FlyView a = aFly(size, 0.4f * static_cast<float>(i));
            gnatter::FlyView b = aFly(size, 0.4f * static_cast<float>(i) + 0.2f);
            a.pose.stance = stances[i % stances.size()];
            b.pose.stance = stances[(i + 1) % stances.size()];
            b.pose.walkFrame = static_cast<std::uint8_t>(i % gnatter::kWalkFrames);
            gnatter::renderFly(a, before);
            gnatter::renderFly(b, after);
            const int w = after.width + 1, h = after.height + 1;
            for (int insetAfter : {0, 1}) {
                const int expected = newlyCoveredByPixels(before, 0, after, insetAfter, w, h);
                ASSERT_EQ(expected, PictureOutline(before, 0, w, h).newlyCoveredRects(PictureOutline(after, insetAfter, w, h)))
                    << size << " px, change " << i << ", inset " << insetAfter;
                ++checked;
                nonZero += expected > 0;
            }
        }
    }
    EXPECT_GT(nonZero, checked / 2) << "most changes here cover something new";
}

TEST(PictureOutline, ManyRectanglesComeAsOneExpose) {
    const int limit = PictureOutline::kExposeRectLimit;
    std::vector<POINT> apart;
    for (int i = 0; i <= limit; ++i) apart.push_back({2 * i, i % 2});  // alternate rows: no two rows alike
    const gnatter::Sprite none = dots(2 * limit + 2, 3, {});
    const gnatter::Sprite atLimit = dots(2 * limit + 2, 3, std::vector<POINT>(apart.begin(), apart.end() - 1));
    const gnatter::Sprite overLimit = dots(2 * limit + 2, 3, apart);
    const int w = overLimit.width + 1, h = overLimit.height + 1;
    const PictureOutline empty(none, 0, w, h);
    EXPECT_EQ(limit, empty.exposesFor(PictureOutline(atLimit, 0, w, h)));
    EXPECT_EQ(limit + 1, empty.newlyCoveredRects(PictureOutline(overLimit, 0, w, h)));
    EXPECT_EQ(1, empty.exposesFor(PictureOutline(overLimit, 0, w, h)));
    EXPECT_EQ(0, PictureOutline(overLimit, 0, w, h).exposesFor(PictureOutline(atLimit, 0, w, h)));
}

TEST(PictureOutline, ShiftPaysOnlyWhenItSavesExposes) {
    const gnatter::Sprite none = dots(40, 40, {});
    const gnatter::Sprite one = dots(40, 40, {{5, 5}});
    const gnatter::Sprite three = dots(40, 40, {{5, 5}, {9, 5}, {5, 9}});
    const gnatter::Sprite oneMore = dots(40, 40, {{5, 5}, {20, 20}});
    std::vector<POINT> many;
    for (int y = 0; y < 30; ++y) many.push_back({y % 2 == 0 ? 3 : 30, y});
    const gnatter::Sprite lots = dots(40, 40, many);
    auto outline = [](const gnatter::Sprite& s) { return PictureOutline(s, 0, 41, 41); };
    struct Case {
        const gnatter::Sprite& shown;
        const gnatter::Sprite& same;
        const gnatter::Sprite& shifted;
        bool pays;
    } cases[] = {
        {one, one, three, false},     // nothing new: stay
        {none, one, three, false},    // one Expose already
        {three, oneMore, one, false},  // one Expose against none: still not worth a move
        {none, three, lots, true},    // three Exposes against one
        {none, three, three, false},  // no better
        {none, lots, one, false},     // one Expose either way: a move costs more
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.pays, gnatter::win32::shiftPays(outline(c.shown), outline(c.same), outline(c.shifted)))
            << &c - cases;
    }
}

TEST(PictureOutline, AFlyGroomingAndTurningCostsOneExposeAPicture) {
    // What FlyWindows does with each new picture, for a fly rubbing its legs, stepping
    // and turning a little on the spot: whichever inset it picks, no picture change costs
    // more than one Expose, where staying put often would.
    const gnatter::Groom actions[] = {gnatter::Groom::Head, gnatter::Groom::FrontLegs, gnatter::Groom::Wings,
                                      gnatter::Groom::Abdomen, gnatter::Groom::HindLegs};
    for (float size : {36.0f, 54.0f}) {
        gnatter::Sprite sprite;
        gnatter::renderFly(aFly(size, 0.0f), sprite);
        const int w = sprite.fitWidth + 1, h = sprite.fitHeight + 1;
        PictureOutline shown(sprite, 0, w, h);
        int inset = 0, cascades = 0;
        for (int step = 1; step <= 40; ++step) {
            gnatter::FlyView fly = aFly(size, 0.05f * static_cast<float>(step / 8));
            if (step % 16 < 8) {
                fly.pose.stance = gnatter::Stance::Grooming;
                fly.pose.groom = actions[(step / 16) % 5];
                fly.pose.groomFrame = static_cast<std::uint8_t>(step % gnatter::kGroomFrames);
            } else {
                fly.pose.walkFrame = static_cast<std::uint8_t>(step % gnatter::kWalkFrames);
            }
            gnatter::renderFly(fly, sprite);
            PictureOutline same(sprite, inset, w, h), shifted(sprite, 1 - inset, w, h);
            cascades += shown.exposesFor(same) > 1;
            if (gnatter::win32::shiftPays(shown, same, shifted)) {
                inset = 1 - inset;
                same = shifted;
            }
            EXPECT_LE(shown.exposesFor(same), 1) << size << " px, step " << step;
            shown = same;
        }
        EXPECT_GT(cascades, 5) << size << " px: staying put would often have cost more than one Expose";
    }
}

// ---- the canvas on a real layered window ----

class LayeredWindow {
public:
    LayeredWindow() {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"FlyBitmapTest";
        RegisterClassExW(&windowClass);
        window_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"FlyBitmapTest", L"", WS_POPUP,
                                  0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~LayeredWindow() { DestroyWindow(window_); }
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

RECT rectOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

TEST(FlyBitmap, CanvasPutsThePremultipliedFlyOnALayeredWindow) {
    LayeredWindow window;
    ASSERT_NE(nullptr, window.get());
    gnatter::win32::FlyCanvas canvas;
    const gnatter::FlyView fly = aFly(36.0f);
    ASSERT_TRUE(canvas.upload(window.get(), fly));

    const gnatter::Sprite& sprite = canvas.sprite();
    expectUsefulPicture(sprite);
    ASSERT_GT(canvas.side(), sprite.width);
    for (int y = 0; y <= sprite.height; ++y) {
        for (int x = 0; x <= sprite.width; ++x) {
            const std::uint32_t pixel = canvas.bits()[static_cast<size_t>(y) * canvas.side() + x];
            ASSERT_EQ(spritePixel(sprite, x, y), pixel) << x << "," << y;
            ASSERT_TRUE(premultiplied(pixel)) << x << "," << y;
        }
    }

    const RECT rect = rectOf(window.get());
    EXPECT_EQ(200 - sprite.anchorX, rect.left);
    EXPECT_EQ(150 - sprite.anchorY, rect.top);
    EXPECT_EQ(sprite.width + 1, rect.right - rect.left) << "the sprite and a spare column";
    EXPECT_EQ(sprite.height + 1, rect.bottom - rect.top);
}

TEST(FlyBitmap, APictureDrawnFurtherInSitsOnTheSameScreenPixels) {
    LayeredWindow window;
    gnatter::win32::FlyCanvas canvas;
    const gnatter::FlyView fly = aFly(36.0f);
    canvas.render(fly);
    const SIZE size = canvas.windowSize(true);
    // Where each picture pixel lands on the screen, for both insets.
    std::vector<std::uint32_t> screen[2];
    RECT rects[2];
    for (int inset : {0, 1}) {
        ASSERT_TRUE(canvas.upload(window.get(), fly, size, inset));
        rects[inset] = rectOf(window.get());
        EXPECT_EQ(size.cx, rects[inset].right - rects[inset].left);
        EXPECT_EQ(size.cy, rects[inset].bottom - rects[inset].top);
        // Screen pixels (left - 1 .. left + size) of the window's picture, clear beyond it.
        screen[inset].assign(static_cast<size_t>(size.cx + 2) * (size.cy + 2), 0);
        for (int y = 0; y < size.cy; ++y) {
            for (int x = 0; x < size.cx; ++x) {
                const int sx = rects[inset].left - (rects[0].left - 1) + x;
                const int sy = rects[inset].top - (rects[0].top - 1) + y;
                if (sx < 0 || sy < 0 || sx >= size.cx + 2 || sy >= size.cy + 2) continue;
                screen[inset][static_cast<size_t>(sy) * (size.cx + 2) + sx] =
                    canvas.bits()[static_cast<size_t>(y) * canvas.side() + x];
            }
        }
    }
    EXPECT_EQ(rects[0].left - 1, rects[1].left);
    EXPECT_EQ(rects[0].top - 1, rects[1].top);
    EXPECT_TRUE(screen[0] == screen[1]) << "the fly shows on the same screen pixels at either inset";
}

TEST(FlyBitmap, CanvasGrowsForALargerFlyAndKeepsServingSmallerOnes) {
    LayeredWindow window;
    gnatter::win32::FlyCanvas canvas;
    ASSERT_TRUE(canvas.upload(window.get(), aFly(12.0f)));
    const int small = canvas.side();
    ASSERT_TRUE(canvas.upload(window.get(), aFly(60.0f)));
    const int large = canvas.side();
    EXPECT_GT(large, small);
    ASSERT_TRUE(canvas.upload(window.get(), aFly(12.0f)));
    EXPECT_EQ(large, canvas.side());
    const RECT rect = rectOf(window.get());
    EXPECT_EQ(gnatter::spriteSide(12.0f) + 1, rect.right - rect.left);
}

TEST(FlyBitmap, FittedWindowHoldsAGroundedFlyAndGrowsForItsShadow) {
    LayeredWindow window;
    gnatter::win32::FlyCanvas canvas;
    gnatter::FlyView fly = aFly(36.0f);
    ASSERT_TRUE(canvas.upload(window.get(), fly, true));
    const int anchor = canvas.sprite().anchorX;
    RECT rect = rectOf(window.get());
    EXPECT_EQ(200 - anchor, rect.left);
    EXPECT_EQ(2 * anchor + 1, rect.right - rect.left);
    EXPECT_EQ(2 * anchor + 1, rect.bottom - rect.top);

    // Taking off from the glass, still without a flight shadow: the window stays fitted.
    fly.pose.stance = gnatter::Stance::Jumping;
    ASSERT_TRUE(canvas.upload(window.get(), fly, true));
    rect = rectOf(window.get());
    EXPECT_EQ(2 * anchor + 1, rect.right - rect.left);

    fly.pose.stance = gnatter::Stance::Flying;
    fly.pose.altitude = 20.0f;
    ASSERT_TRUE(canvas.upload(window.get(), fly, true));
    rect = rectOf(window.get());
    EXPECT_EQ(200 - anchor, rect.left);
    EXPECT_EQ(gnatter::spriteSide(36.0f) + 1, rect.right - rect.left);

    // A standing fly given an altitude stays on the glass and keeps the fitted window.
    fly.pose.stance = gnatter::Stance::Standing;
    ASSERT_TRUE(canvas.upload(window.get(), fly, true));
    rect = rectOf(window.get());
    EXPECT_EQ(2 * anchor + 1, rect.bottom - rect.top);
}

}  // namespace
