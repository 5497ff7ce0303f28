// How many flies sit near an edge, seen from outside, against the fly core. Puts up a plain
// window, starts gnatter.exe beside it with a seed, and every few seconds counts the flies
// on the screen whose body centre lies within 1.5 body lengths of an edge: a side of the
// work area or the window's outline. The core then runs the same seed on the desktop the
// program had (the work areas and every window a user sees, Wine's tray box among them)
// and on the bare layout (the window alone), sampled at the same times, judged alike.
// One line per seed, then the seeds pooled.
//
//   edge_perching [--size PX] [--flies N] [--seeds FIRST-LAST] [--window LEFT,TOP,WIDTH,HEIGHT]
//                 [--from SECONDS] [--every SECONDS] [--samples N]
//
// Twenty flies that rest for minutes at a time make one run's share swing by tens of points
// from seed to seed: compare the program with the core seed by seed, or over many seeds.
#include "monitors.h"
#include "options.h"
#include "sprite.h"
#include "swarm.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kWindowClass[] = L"GnatterEdgePerching";
const wchar_t kFlyClass[] = L"Gnatter.Fly";
const double kReachBodyLengths = 1.5;

struct Setup {
    int size = 24, flies = 20;
    int firstSeed = 1, lastSeed = 5;
    int left = 390, top = 250, width = 500, height = 300;
    double from = 40.0, every = 3.0;
    int samples = 20;
};

bool parse(int argc, char** argv, Setup& s) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = argv[i + 1];
        bool ok = true;
        if (a == "--size") ok = std::sscanf(v, "%d", &s.size) == 1 && s.size >= 4 && s.size <= 256;
        else if (a == "--flies") ok = std::sscanf(v, "%d", &s.flies) == 1 && s.flies >= 1 && s.flies <= 200;
        else if (a == "--seeds") ok = std::sscanf(v, "%d-%d", &s.firstSeed, &s.lastSeed) == 2 && s.firstSeed >= 0 &&
                                      s.lastSeed >= s.firstSeed;
        else if (a == "--window") ok = std::sscanf(v, "%d,%d,%d,%d", &s.left, &s.top, &s.width, &s.height) == 4 &&
                                       s.width > 0 && s.height > 0;
        else if (a == "--from") ok = std::sscanf(v, "%lf", &s.from) == 1 && s.from >= 0.0;
        else if (a == "--every") ok = std::sscanf(v, "%lf", &s.every) == 1 && s.every > 0.0;
        else if (a == "--samples") ok = std::sscanf(v, "%d", &s.samples) == 1 && s.samples >= 1;
        else ok = false;
        if (!ok) return false;
    }
    return argc % 2 == 1;
}

// Distance from the point to the rectangle's outline, from inside or outside.
double outlineDistance(double x, double y, const gnatter::Rect& r) {
    const double l = r.left, t = r.top, rr = r.right, b = r.bottom;
    if (x > l && x < rr && y > t && y < b) return std::min({x - l, rr - x, y - t, b - y});
    return std::hypot(x - std::clamp(x, l, rr), y - std::clamp(y, t, b));
}

struct Share {
    int close = 0, all = 0;  // flies near an edge, flies on a monitor
    double percent() const { return all > 0 ? 100.0 * close / all : 0.0; }
    void add(const Share& other) {
        close += other.close;
        all += other.all;
    }
};

// Counts a fly whose body centre is at (x, y), when it is on a monitor.
void judge(Share& share, double x, double y, const std::vector<gnatter::Monitor>& monitors,
           const gnatter::Rect& window, double size) {
    double nearest = outlineDistance(x, y, window);
    bool onScreen = false;
    for (const gnatter::Monitor& m : monitors) {
        const gnatter::Rect& w = m.workArea;
        if (x < w.left || x >= w.right || y < w.top || y >= w.bottom) continue;
        onScreen = true;
        nearest = std::min(nearest, outlineDistance(x, y, w));
    }
    if (!onScreen) return;
    ++share.all;
    if (nearest <= kReachBodyLengths * size) ++share.close;
}

double sampleAt(const Setup& s, int k) { return s.from + s.every * k; }

Share simulate(const gnatter::Options& options, std::uint64_t seed, const std::vector<gnatter::Monitor>& monitors,
               const std::vector<gnatter::WindowBox>& windows, const gnatter::Rect& window, const Setup& s) {
    gnatter::Swarm swarm(options, seed, monitors, windows);
    Share share;
    double t = 0.0;
    for (int k = 0; k < s.samples; ++k) {
        for (; t < sampleAt(s, k); t += gnatter::Swarm::kStepSeconds) swarm.advance(gnatter::Swarm::kStepSeconds);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const gnatter::FlyView& fly = swarm.flyView(i);
            if (fly.visible) judge(share, fly.x, fly.y, monitors, window, s.size);
        }
    }
    return share;
}

void pumpUntil(ULONGLONG when) {
    for (ULONGLONG now = GetTickCount64(); now < when; now = GetTickCount64()) {
        const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(when - now, 50));
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

DWORD processOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

std::vector<HWND> shownFlies(DWORD process) {
    std::vector<HWND> flies;
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        GetClassNameW(w, name, 32);
        if (IsWindowVisible(w) && processOf(w) == process && lstrcmpW(name, kFlyClass) == 0) flies.push_back(w);
    }
    return flies;
}

// What a user sees of the desktop, topmost first: every shown top-level window but the flies'.
std::vector<gnatter::WindowBox> visibleWindows(DWORD fliesProcess) {
    std::vector<gnatter::WindowBox> windows;
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        if (!IsWindowVisible(w) || processOf(w) == fliesProcess) continue;
        RECT r = {};
        GetWindowRect(w, &r);
        const auto id = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(w));
        windows.push_back({{r.left, r.top, r.right, r.bottom}, id});
    }
    return windows;
}

bool run(const std::wstring& program, const std::wstring& options, PROCESS_INFORMATION& process) {
    std::wstring line = L"\"" + program + L"\" " + options;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process) != FALSE;
}

void stopFlies(const std::wstring& program, PROCESS_INFORMATION& flies) {
    PROCESS_INFORMATION stop = {};
    if (run(program, L"--stop", stop)) {
        WaitForSingleObject(stop.hProcess, 20000);
        CloseHandle(stop.hProcess);
        CloseHandle(stop.hThread);
    }
    if (WaitForSingleObject(flies.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(flies.hProcess, 1);
    CloseHandle(flies.hProcess);
    CloseHandle(flies.hThread);
}

}  // namespace

int main(int argc, char** argv) {
    Setup s;
    if (!parse(argc, argv, s)) {
        std::fprintf(stderr, "usage: edge_perching [--size PX] [--flies N] [--seeds FIRST-LAST] "
                             "[--window LEFT,TOP,WIDTH,HEIGHT] [--from S] [--every S] [--samples N]\n");
        return 2;
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program = self;
    program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"gnatter.exe";

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    HWND target = CreateWindowExW(0, kWindowClass, L"Edge perching", WS_POPUP, s.left, s.top, s.width, s.height,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(target, SW_SHOWNOACTIVATE);
    pumpUntil(GetTickCount64() + 300);
    const gnatter::Rect window = {s.left, s.top, s.left + s.width, s.top + s.height};
    const std::uint64_t windowId = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(target));

    // Where a fly's body lies in its window: the sprite's anchor (plus one pixel when the
    // picture is drawn one pixel in; half of it is the best guess from outside).
    gnatter::FlyView model;
    model.size = float(s.size);
    model.visible = true;
    gnatter::Sprite sprite;
    gnatter::renderFly(model, sprite);
    const double anchor = sprite.anchorX + 0.5;

    std::printf("%d flies of %d px, window %d,%d %dx%d; %d samples every %g s from %g s; share within %.1f body "
                "lengths of an edge\n", s.flies, s.size, s.left, s.top, s.width, s.height, s.samples, s.every, s.from,
                kReachBodyLengths);
    std::printf("seed  program  core (same desktop)  core (window alone)\n");
    std::fflush(stdout);
    Share programTotal, coreTotal, bareTotal;
    for (int seed = s.firstSeed; seed <= s.lastSeed; ++seed) {
        const std::vector<std::string> words = {"-n", std::to_string(s.flies), "-t", "0", "-s", std::to_string(s.size),
                                                "--seed", std::to_string(seed)};
        const gnatter::ParseResult parsed = gnatter::parseOptions(words);
        std::wstring options;
        for (const std::string& word : words) options += std::wstring(word.begin(), word.end()) + L" ";
        PROCESS_INFORMATION flies = {};
        if (!parsed.ok || !run(program, options, flies)) {
            std::fprintf(stderr, "edge_perching: cannot start %ls\n", program.c_str());
            return 1;
        }
        const ULONGLONG start = GetTickCount64();
        // A fly on the screen: the program has read the desktop (and put up its tray icon).
        while (shownFlies(flies.dwProcessId).empty() && GetTickCount64() - start < 20000) {
            pumpUntil(GetTickCount64() + 20);
        }
        const std::vector<gnatter::WindowBox> desktop = visibleWindows(flies.dwProcessId);
        const std::vector<gnatter::Monitor> monitors = gnatter::win32::currentMonitors();

        Share seen;
        for (int k = 0; k < s.samples; ++k) {
            pumpUntil(start + static_cast<ULONGLONG>(sampleAt(s, k) * 1000.0));
            for (HWND fly : shownFlies(flies.dwProcessId)) {
                RECT r = {};
                GetWindowRect(fly, &r);
                judge(seen, r.left + anchor, r.top + anchor, monitors, window, s.size);
            }
        }
        stopFlies(program, flies);
        const Share core = simulate(parsed.options, seed, monitors, desktop, window, s);
        const Share bare = simulate(parsed.options, seed, monitors, {{window, windowId}}, window, s);
        std::printf("%4d  %6.1f %%  %9.1f %% (%zu windows)  %9.1f %%\n", seed, seen.percent(), core.percent(),
                    desktop.size(), bare.percent());
        std::fflush(stdout);
        programTotal.add(seen);
        coreTotal.add(core);
        bareTotal.add(bare);
    }
    std::printf("all   %6.1f %%  %9.1f %%              %9.1f %%\n", programTotal.percent(), coreTotal.percent(),
                bareTotal.percent());
    DestroyWindow(target);
    return 0;
}
