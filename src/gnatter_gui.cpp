// The Gnatter launcher: one fixed window in which the user picks how many flies, for
// how long, how big and how varied, then starts the fly program (gnatter.exe, beside
// this executable) with those settings and closes. It keeps nothing between runs.
//
// Everything runs on the thread that enters WinMain. The window's state lives in the
// file-scope statics below; the arithmetic and texts live in logic/launcher_logic.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <new>
#include <string>
#include <vector>

#include "logic/launcher_logic.h"
#include "resource.h"

using launcher::GUI_HEADER_HEIGHT;

#define IDC_COUNT_TRACK 1001
#define IDC_TIMEOUT_TRACK 1002
#define IDC_SIZE_TRACK 1003
#define IDC_LAUNCH_BUTTON 1004
#define IDC_QUIT_BUTTON 1005
#define IDC_VARIATION_TRACK 1006

static const char GUI_CLASS_NAME[] = "GnatterGuiClass";
static const char GUI_WINDOW_TITLE[] = "Gnatter Launcher";
static const int GUI_WINDOW_WIDTH = 680;
static const int GUI_WINDOW_HEIGHT = 420;

// Settings panel geometry, in client pixels. Deliberately fixed: no DPI scaling.
static const int LABEL_X = 10;
static const int LABEL_WIDTH = 160;
static const int LABEL_HEIGHT = 20;
static const int SLIDER_X = 190;
static const int SLIDER_WIDTH = 440;
static const int SLIDER_HEIGHT = 24;
static const int ROW_PITCH = 52;
static const int VALUE_OFFSET_Y = 18;
static const int VALUE_HEIGHT = 20;
static const int BUTTON_Y = 304;
static const int BUTTON_HEIGHT = 34;

static const DWORD ROW_LABEL_STYLE = WS_CHILD | WS_VISIBLE | SS_RIGHT;
static const DWORD VALUE_LABEL_STYLE = WS_CHILD | WS_VISIBLE | SS_LEFT;
static const DWORD SLIDER_STYLE = WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS | TBS_ENABLESELRANGE;

static const wchar_t HEADER_TITLE[] = L"Fly";
static const wchar_t HEADER_FONT_FAMILY[] = L"Segoe UI";
static const int IMAGE_BOX_SIDE = 48;

static HWND hCount = NULL;
static HWND hTimeout = NULL;
static HWND hSize = NULL;
static HWND hVariation = NULL;
static HWND hCountVal = NULL;
static HWND hTimeoutVal = NULL;
static HWND hSizeVal = NULL;
static HWND hVariationVal = NULL;
static HFONT hGuiFont = NULL;

static ULONG_PTR g_gdiplusTokenGui = 0;
static Gdiplus::Bitmap* g_flyBitmapGui = NULL;

struct SettingRowSpec {
    const char* label;
    int sliderId;
    int rangeMin;
    int rangeMax;
    int startPos;
    int valueX;
    int valueWidth;
    const char* initialValue;
    HWND* slider;
    HWND* valueLabel;
};

static const SettingRowSpec SETTING_ROWS[] = {
    {"Number of flies:", IDC_COUNT_TRACK, 1, 50, 1, 390, 40, "1", &hCount, &hCountVal},
    {"Timeout (seconds):", IDC_TIMEOUT_TRACK, 0, 600, 15, 380, 80, "15", &hTimeout, &hTimeoutVal},
    {"Fly size:", IDC_SIZE_TRACK, 5, 30, 20, 400, 40, "2.0", &hSize, &hSizeVal},
    {"Size variation (%):", IDC_VARIATION_TRACK, 0, 100, 0, 390, 40, "0", &hVariation, &hVariationVal},
};

void LaunchGnatter(const std::string& commandText);
LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------------
// Settings panel

static HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style,
                        int x, int y, int width, int height, int id)
{
    return CreateWindowExA(0, className, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), NULL, NULL);
}

static BOOL CALLBACK EnumSetFontProc(HWND child, LPARAM font)
{
    SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

static void CreateSettingRows(HWND hwnd)
{
    for (int i = 0; i < 4; ++i) {
        const SettingRowSpec& row = SETTING_ROWS[i];
        const int top = GUI_HEADER_HEIGHT + ROW_PITCH * i;
        CreateChild(hwnd, "STATIC", row.label, ROW_LABEL_STYLE, LABEL_X, top, LABEL_WIDTH,
                    LABEL_HEIGHT, 0);
        *row.valueLabel = CreateChild(hwnd, "STATIC", row.initialValue, VALUE_LABEL_STYLE,
                                      row.valueX, top + VALUE_OFFSET_Y, row.valueWidth,
                                      VALUE_HEIGHT, 0);
        *row.slider = CreateChild(hwnd, TRACKBAR_CLASSA, NULL, SLIDER_STYLE, SLIDER_X, top,
                                  SLIDER_WIDTH, SLIDER_HEIGHT, row.sliderId);
        SendMessageA(*row.slider, TBM_SETRANGE, TRUE, MAKELONG(row.rangeMin, row.rangeMax));
        SendMessageA(*row.slider, TBM_SETPOS, TRUE, row.startPos);
    }
}

static void CreateButtons(HWND hwnd)
{
    CreateChild(hwnd, "BUTTON", "Let's Fly", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 190,
                BUTTON_Y, 140, BUTTON_HEIGHT, IDC_LAUNCH_BUTTON);
    CreateChild(hwnd, "BUTTON", "Quit", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 350, BUTTON_Y,
                120, BUTTON_HEIGHT, IDC_QUIT_BUTTON);
}

static void ApplyGuiFont(HWND hwnd)
{
    hGuiFont = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                           "Segoe UI");
    EnumChildWindows(hwnd, EnumSetFontProc, reinterpret_cast<LPARAM>(hGuiFont));
}

static int SliderPosition(HWND slider)
{
    return static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0));
}

// ---------------------------------------------------------------------------------------
// Header banner

// Keeps the bitmap only when GDI+ decoded it; anything else is dropped.
static void KeepIfDecoded(Gdiplus::Bitmap* bitmap)
{
    if (bitmap != NULL && bitmap->GetLastStatus() == Gdiplus::Ok) {
        g_flyBitmapGui = bitmap;
    } else {
        delete bitmap;
        g_flyBitmapGui = NULL;
    }
}

static void LoadFlyImageFromResource()
{
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(IDR_FLY_PNG),
                                   MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (resource == NULL) {
        return;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    const DWORD size = SizeofResource(module, resource);
    const void* data = LockResource(loaded);
    if (data == NULL || size == 0) {
        return;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == NULL) {
        return;
    }
    void* destination = GlobalLock(block);
    if (destination == NULL) {
        GlobalFree(block);
        return;
    }
    CopyMemory(destination, data, size);
    GlobalUnlock(block);

    IStream* stream = NULL;
    if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK) {
        GlobalFree(block);
        return;
    }
    // From here on the stream owns the block; GDI+ keeps its own reference while the
    // bitmap needs the bytes.
    Gdiplus::Bitmap* bitmap = Gdiplus::Bitmap::FromStream(stream, FALSE);
    stream->Release();
    KeepIfDecoded(bitmap);
}

static void LoadFlyImageFromFile()
{
    wchar_t path[MAX_PATH] = {0};
    MultiByteToWideChar(CP_ACP, 0, "fly\\fly.png", -1, path, MAX_PATH);
    KeepIfDecoded(Gdiplus::Bitmap::FromFile(path, FALSE));
}

static void LoadFlyImage()
{
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = NULL;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    if (Gdiplus::GdiplusStartup(&g_gdiplusTokenGui, &input, NULL) != Gdiplus::Ok) {
        return;
    }
    LoadFlyImageFromResource();
    if (g_flyBitmapGui == NULL) {
        LoadFlyImageFromFile();
    }
}

static void PaintHeader(HWND hwnd, HDC hdc)
{
    Gdiplus::Graphics graphics(hdc);
    Gdiplus::FontFamily family(HEADER_FONT_FAMILY, NULL);
    Gdiplus::Font font(&family, 28.0f, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush brush(Gdiplus::Color(255, 0, 0, 0));

    RECT client;
    GetClientRect(hwnd, &client);
    int imageWidth = 0;
    int imageHeight = 0;
    if (g_flyBitmapGui != NULL) {
        imageWidth = static_cast<int>(g_flyBitmapGui->GetWidth());
        imageHeight = static_cast<int>(g_flyBitmapGui->GetHeight());
    }

    Gdiplus::StringFormat format(0, LANG_NEUTRAL);
    const Gdiplus::RectF layoutRect(0.0f, 0.0f, 1000.0f, 100.0f);
    Gdiplus::RectF measured(0.0f, 0.0f, 0.0f, 0.0f);
    graphics.MeasureString(HEADER_TITLE, -1, &font, layoutRect, &measured);

    const launcher::HeaderLayout layout = launcher::computeHeaderLayout(
        client.left, client.right, g_flyBitmapGui != NULL, imageWidth, imageHeight,
        measured.Width, measured.Height);

    if (g_flyBitmapGui != NULL) {
        graphics.DrawImage(g_flyBitmapGui, static_cast<float>(layout.imageX),
                           static_cast<float>(layout.imageY), static_cast<float>(layout.boxWidth),
                           static_cast<float>(layout.boxHeight));
    } else {
        Gdiplus::Pen pen(Gdiplus::Color(255, 0, 0, 0), 1.0f);
        graphics.DrawRectangle(&pen, static_cast<float>(layout.imageX),
                               static_cast<float>(layout.imageY),
                               static_cast<float>(layout.boxWidth),
                               static_cast<float>(layout.boxHeight));
    }
    graphics.DrawString(HEADER_TITLE, -1, &font,
                        Gdiplus::PointF(static_cast<float>(layout.textX),
                                        static_cast<float>(layout.textY)),
                        &format, &brush);
}

// ---------------------------------------------------------------------------------------
// Launching

// The launcher's own path, in full: the wide form, so that folders outside the ANSI code
// page survive, and a growing buffer, so that long paths are never cut. Empty on failure.
static std::wstring ModulePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(NULL, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        if (buffer.size() >= 32768) {
            return std::wstring();
        }
        buffer.resize(buffer.size() * 2);
    }
}

static std::wstring Widen(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, NULL, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

static void ShowLaunchFailure(const std::wstring& programPath)
{
    const std::wstring text = L"Failed to launch: " + programPath;
    MessageBoxW(NULL, text.c_str(), L"Error", MB_ICONERROR);
}

// The short (8.3) form of an existing path, or empty when the system has none for it.
// Paths beyond MAX_PATH are asked for in their unlimited \\?\ form.
static std::wstring ShortPath(const std::wstring& path)
{
    const bool drivePath = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    const std::wstring prefix = L"\\\\?\\";
    const std::wstring asked = drivePath && path.size() >= MAX_PATH ? prefix + path : path;
    const DWORD needed = GetShortPathNameW(asked.c_str(), NULL, 0);
    if (needed == 0) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetShortPathNameW(asked.c_str(), buffer.data(), needed);
    if (length == 0 || length >= needed) {
        return std::wstring();
    }
    std::wstring shortPath(buffer.data(), length);
    if (shortPath.compare(0, prefix.size(), prefix) == 0) {
        shortPath.erase(0, prefix.size());
    }
    return shortPath;
}

// Starts the program of `line` and lets go of it; false when nothing was started.
static bool StartProcess(const launcher::LaunchLine& line)
{
    if (!line.ok) {
        return false;
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    std::vector<wchar_t> writable(line.commandLine.begin(), line.commandLine.end());
    writable.push_back(L'\0');
    // The application name is given as well, so the platform never searches
    // the space-separated prefixes of an unquoted path.
    if (!CreateProcessW(line.programPath.c_str(), writable.data(), NULL, NULL, FALSE, 0, NULL,
                        NULL, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void LaunchGnatter(const std::string& commandText)
{
    try {
        const std::wstring modulePath = ModulePath();
        const std::wstring wideText = Widen(commandText);
        const launcher::LaunchLine line = launcher::buildLaunchLine(modulePath, wideText);
        if (StartProcess(line)) {
            return;
        }
        // Some systems refuse a program path beyond MAX_PATH although the file is there;
        // the short form of the same folder names the same program in far fewer characters.
        const std::wstring shortModulePath = ShortPath(modulePath);
        if (line.ok && !shortModulePath.empty() && shortModulePath != modulePath &&
            StartProcess(launcher::buildLaunchLine(shortModulePath, wideText))) {
            return;
        }
        ShowLaunchFailure(line.programPath);
    } catch (const std::bad_alloc&) {
        MessageBoxW(NULL, L"Failed to launch: gnatter.exe", L"Error", MB_ICONERROR);
    }
}

// ---------------------------------------------------------------------------------------
// Message handlers

static void OnCreate(HWND hwnd)
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);

    CreateSettingRows(hwnd);
    CreateButtons(hwnd);
    ApplyGuiFont(hwnd);
    LoadFlyImage();
    // Recompute the frame now that the window is complete; nothing moves or restacks.
    SetWindowPos(hwnd, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

static void OnDestroy()
{
    PostQuitMessage(0);
}

static void OnPaint(HWND hwnd)
{
    PAINTSTRUCT paint;
    HDC hdc = BeginPaint(hwnd, &paint);
    PaintHeader(hwnd, hdc);
    EndPaint(hwnd, &paint);
}

static void OnHScroll(LPARAM lParam)
{
    const HWND slider = reinterpret_cast<HWND>(lParam);
    launcher::SettingRow row;
    HWND valueLabel;
    if (slider == hCount) {
        row = launcher::SettingRow::Count;
        valueLabel = hCountVal;
    } else if (slider == hTimeout) {
        row = launcher::SettingRow::Timeout;
        valueLabel = hTimeoutVal;
    } else if (slider == hSize) {
        row = launcher::SettingRow::Size;
        valueLabel = hSizeVal;
    } else if (slider == hVariation) {
        row = launcher::SettingRow::Variation;
        valueLabel = hVariationVal;
    } else {
        return;
    }
    char text[launcher::VALUE_TEXT_SIZE];
    launcher::formatValueLabel(row, SliderPosition(slider), text);
    SetWindowTextA(valueLabel, text);
}

static void OnLaunch(HWND hwnd)
{
    try {
        const std::string commandText = launcher::composeCommandText(
            SliderPosition(hCount), SliderPosition(hTimeout), SliderPosition(hSize),
            SliderPosition(hVariation));
        LaunchGnatter(commandText);
    } catch (const std::bad_alloc&) {
        MessageBoxW(NULL, L"Failed to launch: gnatter.exe", L"Error", MB_ICONERROR);
    }
    DestroyWindow(hwnd);
}

static void OnCommand(HWND hwnd, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_LAUNCH_BUTTON:
        OnLaunch(hwnd);
        break;
    case IDC_QUIT_BUTTON:
        PostQuitMessage(0);
        break;
    default:
        break;
    }
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_COMMAND:
        OnCommand(hwnd, wParam);
        return 0;
    case WM_HSCROLL:
        OnHScroll(lParam);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------------------
// Entry point

static HICON LoadAppIcon(HINSTANCE hInstance, int side)
{
    return static_cast<HICON>(LoadImageA(hInstance, MAKEINTRESOURCEA(IDI_APP_ICON), IMAGE_ICON,
                                         side, side, LR_DEFAULTCOLOR));
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    (void)hPrevInstance;
    (void)lpCmdLine;

    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = GUI_CLASS_NAME;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);

    const HICON iconLarge = LoadAppIcon(hInstance, 32);
    const HICON iconSmall = LoadAppIcon(hInstance, 16);
    if (iconLarge != NULL) {
        wc.hIcon = iconLarge;
    }
    if (iconSmall != NULL) {
        wc.hIconSm = iconSmall;
    }

    if (RegisterClassExA(&wc) == 0) {
        return -1;
    }
    HWND hwnd = CreateWindowExA(0, GUI_CLASS_NAME, GUI_WINDOW_TITLE, WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, GUI_WINDOW_WIDTH,
                                GUI_WINDOW_HEIGHT, NULL, NULL, hInstance, NULL);
    if (hwnd == NULL) {
        return -1;
    }
    if (iconLarge != NULL) {
        SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconLarge));
    }
    if (iconSmall != NULL) {
        SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconSmall));
    }
    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);

    MSG msg;
    ZeroMemory(&msg, sizeof msg);
    // GetMessage returns -1 on failure; looping on it would spin forever.
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    if (g_flyBitmapGui != NULL) {
        delete g_flyBitmapGui;
        g_flyBitmapGui = NULL;
    }
    if (g_gdiplusTokenGui != 0) {
        Gdiplus::GdiplusShutdown(g_gdiplusTokenGui);
        g_gdiplusTokenGui = 0;
    }
    return static_cast<int>(msg.wParam);
}
