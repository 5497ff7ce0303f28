// The picture path of the fly windows, in-process with the real core: a rendered fly
// reaches the DIB section unchanged, premultiplied, and the layered window takes it.
#include "fly_bitmap.h"
#include "sprite.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

gnatter::FlyView aFly(float size) {
    gnatter::FlyView fly;
    fly.x = 200.0f;
    fly.y = 150.0f;
    fly.heading = 0.7f;
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

TEST(FlyBitmap, CopyKeepsEveryPixelPremultipliedAndStaysInItsCorner) {
    gnatter::Sprite sprite;
    gnatter::renderFly(aFly(36.0f), sprite);
    ASSERT_EQ(gnatter::spriteSide(36.0f), sprite.width);
    expectUsefulPicture(sprite);

    // A DIB wider and taller than the sprite, as the shared canvas often is.
    const int width = sprite.width + 7, height = sprite.height + 3;
    const std::uint32_t untouched = 0x12345678;
    std::vector<std::uint32_t> dib(static_cast<size_t>(width) * height, untouched);
    gnatter::win32::copySpriteToDib(sprite, dib.data(), width, height);

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = dib[static_cast<size_t>(y) * width + x];
            if (x < sprite.width && y < sprite.height) {
                ASSERT_EQ(sprite.pixels[static_cast<size_t>(y) * sprite.width + x], pixel) << x << "," << y;
                ASSERT_TRUE(premultiplied(pixel)) << x << "," << y;
            } else {
                ASSERT_EQ(untouched, pixel) << x << "," << y;
            }
        }
    }
}

TEST(FlyBitmap, CopyIntoASmallerDibIsCutOff) {
    gnatter::Sprite sprite;
    gnatter::renderFly(aFly(20.0f), sprite);
    const int width = sprite.width / 2, height = sprite.height / 2;
    std::vector<std::uint32_t> dib(static_cast<size_t>(width) * height, 0);
    gnatter::win32::copySpriteToDib(sprite, dib.data(), width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(sprite.pixels[static_cast<size_t>(y) * sprite.width + x], dib[static_cast<size_t>(y) * width + x]);
        }
    }
}

TEST(FlyBitmap, WindowGoesWhereTheAnchorMeetsTheFly) {
    const POINT topLeft = gnatter::win32::windowTopLeft(100.4f, 50.6f, 30, 20);
    EXPECT_EQ(70, topLeft.x);
    EXPECT_EQ(31, topLeft.y);
}

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

TEST(FlyBitmap, CanvasPutsThePremultipliedFlyOnALayeredWindow) {
    LayeredWindow window;
    ASSERT_NE(nullptr, window.get());
    gnatter::win32::FlyCanvas canvas;
    const gnatter::FlyView fly = aFly(36.0f);
    ASSERT_TRUE(canvas.upload(window.get(), fly));

    const gnatter::Sprite& sprite = canvas.sprite();
    expectUsefulPicture(sprite);
    ASSERT_GE(canvas.side(), sprite.width);
    for (int y = 0; y < sprite.height; ++y) {
        for (int x = 0; x < sprite.width; ++x) {
            const std::uint32_t pixel = canvas.bits()[static_cast<size_t>(y) * canvas.side() + x];
            ASSERT_EQ(sprite.pixels[static_cast<size_t>(y) * sprite.width + x], pixel) << x << "," << y;
            ASSERT_TRUE(premultiplied(pixel)) << x << "," << y;
        }
    }

    RECT rect = {};
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(200 - sprite.anchorX, rect.left);
    EXPECT_EQ(150 - sprite.anchorY, rect.top);
    EXPECT_EQ(sprite.width, rect.right - rect.left);
    EXPECT_EQ(sprite.height, rect.bottom - rect.top);
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
    RECT rect = {};
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(gnatter::spriteSide(12.0f), rect.right - rect.left);
}

TEST(FlyBitmap, FittedWindowHoldsAGroundedFlyAndGrowsForItsShadow) {
    LayeredWindow window;
    gnatter::win32::FlyCanvas canvas;
    gnatter::FlyView fly = aFly(36.0f);
    ASSERT_TRUE(canvas.upload(window.get(), fly, true));
    const int anchor = canvas.sprite().anchorX;
    RECT rect = {};
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(200 - anchor, rect.left);
    EXPECT_EQ(2 * anchor, rect.right - rect.left);
    EXPECT_EQ(2 * anchor, rect.bottom - rect.top);

    // Taking off from the glass, still without a flight shadow: the window stays fitted.
    fly.pose.stance = gnatter::Stance::Jumping;
    ASSERT_TRUE(canvas.upload(window.get(), fly, true));
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(2 * anchor, rect.right - rect.left);

    fly.pose.stance = gnatter::Stance::Flying;
    fly.pose.altitude = 20.0f;
    ASSERT_TRUE(canvas.upload(window.get(), fly, true));
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(200 - anchor, rect.left);
    EXPECT_EQ(gnatter::spriteSide(36.0f), rect.right - rect.left);

    // A standing fly given an altitude stays on the glass and keeps the fitted window.
    fly.pose.stance = gnatter::Stance::Standing;
    ASSERT_TRUE(canvas.upload(window.get(), fly, true));
    GetWindowRect(window.get(), &rect);
    EXPECT_EQ(2 * anchor, rect.bottom - rect.top);
}

}  // namespace
