// Takes the window class name first, then runs the window as Quimbo.exe does:
// the process must end with exit code 255 and show nothing.
#include <windows.h>

#include "shell/main_window.h"

int main() {
    WNDCLASSEXA taken = {sizeof(taken)};
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = GetModuleHandleW(nullptr);
    taken.lpszClassName = kMainClassName;
    if (!RegisterClassExA(&taken)) return 3;
    RunMainWindow();
}
