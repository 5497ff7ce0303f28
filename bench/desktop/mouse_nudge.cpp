// One mouse event that moves nothing, as a hand resting on the mouse gives: the desktop
// bench sends it after starting a program, so that the program has seen the system
// report mouse input before the pointer stays parked through the measurement.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    return SendInput(1, &input, sizeof input) == 1 ? 0 : 1;
}
