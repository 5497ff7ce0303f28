// The fly program's X11 side: carries out what the shared loop decides, with XCB. One
// event loop (waitForEvents) hands each X event to one small handler: other windows
// through the root's structure and property events, the pointer and its buttons through
// XInput 2 raw events (a parked pointer costs nothing, and clicks on the bare desktop
// count), monitors through RandR, a compositing manager coming or going through XFixes
// (the flies' windows switch between true transparency and shapes), the screen saver's
// state, commands from other starts, and the tray icon's own events (SystemTray). Requests
// are batched and flushed before each wait.
#pragma once

#include "desktop_reader.h"
#include "fly_loop.h"
#include "fly_windows.h"
#include "tray.h"
#include "x11_display.h"

#include <cstdio>
#include <vector>

namespace gnatter::x11 {

class X11Platform final : public FlyPlatform {
public:
    explicit X11Platform(Display& display);
    ~X11Platform() override;
    X11Platform(const X11Platform&) = delete;
    X11Platform& operator=(const X11Platform&) = delete;

    // Takes over the display's flies from a running program and prepares `count` fly
    // windows. False (with a message on standard error) when it cannot.
    bool start(std::size_t count);
    // True when the loop ended because the display went away.
    bool displayLost() const { return displayLost_; }

    PlatformTraits traits() const override;
    double now() override;
    void waitForEvents(FlyLoop& loop, double deadline) override;
    PointerReading readPointer() override;
    bool watchPointerMoves(bool on) override;
    DesktopReading readDesktop() override;
    std::vector<Monitor> readMonitors() override;
    void showFlies(const Swarm& swarm, const std::vector<Rect>& hiddenOn) override;
    void hideFlies() override;
    void raiseFlies() override;
    void showFlyCount(std::size_t alive) override;
    void logWindowWork() override;

private:
    // False when the event was only about the program's own windows: nothing to wake for.
    bool dispatch(FlyLoop& loop, const xcb_generic_event_t* event);
    bool onStructure(FlyLoop& loop, xcb_window_t window, DesktopEvent event);
    bool onConfigure(FlyLoop& loop, const xcb_configure_notify_event_t& event);
    bool onProperty(FlyLoop& loop, const xcb_property_notify_event_t& event);
    void onClientMessage(FlyLoop& loop, const xcb_client_message_event_t& event);
    void onRawInput(FlyLoop& loop, const xcb_generic_event_t* event);
    void onSelectionChange(FlyLoop& loop, xcb_atom_t selection);
    void onSignals(FlyLoop& loop);
    void readButtonMapping();
    bool compositorRuns();
    void selectRawInput();
    // The fly windows, the selection's owner, the tray icon and its menu.
    bool ours(xcb_window_t window) const;

    Display& display_;
    FlyWindows flies_;
    DesktopReader reader_;
    xcb_window_t owner_ = 0;  // an unmapped window: the fly selection's owner, commands' address
    std::vector<Monitor> monitors_;
    SystemTray tray_{display_, monitors_};
    std::vector<Rect> hiddenOn_;
    std::vector<std::uint8_t> buttonMap_;  // physical button - 1 -> logical button
    bool watchingMoves_ = false;
    bool displayLost_ = false;
    int signalsSeen_ = 0;
    std::FILE* workLog_ = nullptr;
};

}  // namespace gnatter::x11
