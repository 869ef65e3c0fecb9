// Opening a file in the user's program on Win32: the shell's "open" action,
// as the window's Run gallery command does. shell32 is loaded only here, when
// it is needed: quimbo-build.exe imports nothing but kernel32 and msvcrt.
#include <windows.h>

#include "platform.h"

bool OpenWithDefaultProgram(const PathChar* path, const char** opener, SystemError* error) {
    if (opener) *opener = "the shell's open action";
    using ShellExecuteCall = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    HMODULE shell = LoadLibraryW(L"shell32.dll");
    ShellExecuteCall call = shell ? reinterpret_cast<ShellExecuteCall>(
                                        reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteW")))
                                  : nullptr;
    if (!call) {
        *error = GetLastError();
        return false;
    }
    SetLastError(0);
    INT_PTR result = reinterpret_cast<INT_PTR>(call(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL));
    // Values above 32 mean started; below, the shell's own small codes, which
    // are the system's for "file not found", "path not found" and the like.
    if (result > 32) return true;
    DWORD last = GetLastError();
    *error = last ? last : static_cast<SystemError>(result ? result : ERROR_NO_ASSOCIATION);
    return false;
}
