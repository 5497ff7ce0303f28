// Startup timer for bench/startup-bench.sh. It starts GUI programs one after another,
// alternating between them, and measures for each run the time from just before
// CreateProcess until the program's window is painted, which here means all of:
//   - a visible top-level window of that process with the given class exists,
//   - neither it nor any of its visible child windows has an update region left
//     (every WM_PAINT so far has been handled by BeginPaint),
//   - its thread has answered a WM_NULL sent after that, so it is back in its message
//     loop and its paint handlers have returned.
// The time is taken with QueryPerformanceCounter when the WM_NULL answer arrives. The
// program is then closed with WM_CLOSE (ended if it does not exit within 10 s).
//
//   startup_probe RUNS NAME EXE CLASS [NAME EXE CLASS]...
//
// EXE without a folder is looked up beside the probe. One warm-up run of each program
// comes first and is not counted. Prints "run I NAME MS" per run, then "median NAME MS"
// for each program, and "ratio NAME MS" for each program after the first: the median over
// the runs of its time divided by the first program's time in the same round.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Program {
    std::wstring name;
    std::wstring path;
    std::wstring className;
    std::vector<double> milliseconds;
};

struct Search {
    DWORD processId;
    const std::wstring* className;
    HWND found;
};

BOOL CALLBACK matchTopLevel(HWND window, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    if (*search->className != name) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK findDirtyChild(HWND child, LPARAM param) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(param) = true;
        return FALSE;
    }
    return TRUE;
}

bool painted(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    bool dirty = false;
    EnumChildWindows(window, findDirtyChild, reinterpret_cast<LPARAM>(&dirty));
    if (dirty) return false;
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer) != 0;
}

double now(const LARGE_INTEGER& frequency) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One start-to-painted measurement; a negative result after printing why on failure.
double measure(const Program& program, const LARGE_INTEGER& frequency) {
    std::wstring commandLine = L"\"" + program.path + L"\"";
    const std::wstring folder = program.path.substr(0, program.path.rfind(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};

    const double start = now(frequency);
    if (!CreateProcessW(program.path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        std::fwprintf(stderr, L"startup_probe: cannot start %ls (error %lu)\n", program.path.c_str(), GetLastError());
        return -1;
    }
    double elapsed = -1;
    HWND window = nullptr;
    while (now(frequency) - start < 30000) {
        if (window == nullptr) {
            Search search = {process.dwProcessId, &program.className, nullptr};
            EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&search));
            window = search.found;
        }
        if (window != nullptr && painted(window)) {
            elapsed = now(frequency) - start;
            break;
        }
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
            std::fwprintf(stderr, L"startup_probe: %ls exited before painting its window\n", program.name.c_str());
            break;
        }
        Sleep(1);
    }
    if (elapsed < 0 && window == nullptr) {
        std::fwprintf(stderr, L"startup_probe: no visible window of class %ls from %ls\n", program.className.c_str(),
                      program.name.c_str());
    }
    if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        std::fwprintf(stderr, L"startup_probe: %ls did not close; ending it\n", program.name.c_str());
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Sleep(100);  // let the window system settle before the next start
    return elapsed;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::wstring besideProbe(const std::wstring& file) {
    if (file.find_first_of(L"\\/:") != std::wstring::npos) return file;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    return folder.substr(0, folder.rfind(L'\\') + 1) + file;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5 || (argc - 2) % 3 != 0 || _wtoi(argv[1]) < 1) {
        std::fwprintf(stderr, L"usage: startup_probe RUNS NAME EXE CLASS [NAME EXE CLASS]...\n");
        return 2;
    }
    const int runs = _wtoi(argv[1]);
    std::vector<Program> programs;
    for (int i = 2; i + 2 < argc; i += 3) programs.push_back({argv[i], besideProbe(argv[i + 1]), argv[i + 2], {}});

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (const Program& program : programs) {
        if (measure(program, frequency) < 0) return 1;
    }
    for (int run = 1; run <= runs; ++run) {
        for (Program& program : programs) {
            const double ms = measure(program, frequency);
            if (ms < 0) return 1;
            program.milliseconds.push_back(ms);
            std::wprintf(L"run %d %ls %.1f\n", run, program.name.c_str(), ms);
            std::fflush(stdout);
        }
    }
    for (const Program& program : programs) std::wprintf(L"median %ls %.1f\n", program.name.c_str(), median(program.milliseconds));
    for (std::size_t p = 1; p < programs.size(); ++p) {
        std::vector<double> ratios;
        for (int run = 0; run < runs; ++run) ratios.push_back(programs[p].milliseconds[run] / programs[0].milliseconds[run]);
        std::wprintf(L"ratio %ls %.3f\n", programs[p].name.c_str(), median(ratios));
    }
    return 0;
}
