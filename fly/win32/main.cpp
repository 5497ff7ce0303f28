// gnatter.exe: flies crawling over the desktop. Reads the options, shows help or an
// option error in a message box (a GUI program has no console), asks running instances
// to send their flies away, and then lets its own flies out.
#include "command_line.h"
#include "fly_program.h"
#include "options.h"
#include "single_instance.h"
#include "swarm.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace {

const int kExitBadOptions = 2;
const int kExitCannotStart = 1;

void showMessage(const std::string& text, UINT icon) {
    MessageBoxW(nullptr, gnatter::win32::toWide(text).c_str(), L"Gnatter", MB_OK | icon);
}

// Differs between runs: the counter's low bits change constantly, the process id
// separates two starts within the same tick.
std::uint64_t entropy() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<std::uint64_t>(counter.QuadPart) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40) ^
           (GetTickCount64() << 20);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace gnatter::win32;
    const gnatter::ParseResult parsed = gnatter::parseOptions(optionWords(GetCommandLineW()));
    if (!parsed.ok) {
        showMessage(parsed.error + "\n\n" + gnatter::usageText("gnatter.exe"), MB_ICONERROR);
        return kExitBadOptions;
    }
    const gnatter::Options& options = parsed.options;
    if (options.showHelp) {
        showMessage(gnatter::usageText("gnatter.exe"), MB_ICONINFORMATION);
        return 0;
    }
    if (options.showVersion) {
        showMessage("Gnatter " GNATTER_VERSION, MB_ICONINFORMATION);
        return 0;
    }
    if (options.stopRunning || options.setSwatting >= 0) {
        StartupTurn turn;
        if (options.stopRunning) tellRunningInstances(leaveMessage(), 0);
        if (options.setSwatting >= 0) tellRunningInstances(swattingMessage(), options.setSwatting);
        return 0;
    }
    {
        // The running flies leave while ours arrive; our owner window must exist before
        // the next start looks for it.
        StartupTurn turn;
        tellRunningInstances(leaveMessage(), 0);
        if (!startFlies(options, gnatter::chooseSeed(options, entropy()))) return kExitCannotStart;
    }
    return runFlies();
}
