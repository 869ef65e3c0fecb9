// Entry of Quimbo.exe: the language once, then the window until it closes.
//
// The program starts here directly, without the C runtime's start-up code
// (linked with -nostartfiles): it needs none of it (no arguments but their
// count, no constructors, no atexit), and leaving it out keeps the
// executable within its size.
#include <windows.h>
#include <shellapi.h>

#include "../common/common.h"
#include "main_window.h"

// Arguments after the program name, split as the shell splits a command line.
static int CountArguments() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return 0;
    LocalFree(arguments);
    return count > 0 ? count - 1 : 0;
}

extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
    ArgumentCount = CountArguments();
    ApplyLanguageRule();
    RunMainWindow();
}
