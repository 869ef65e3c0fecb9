// Stand-in for the program that opens .html pages: writes the command line it
// was started with (UTF-16) to opened.txt beside itself.
#include <windows.h>

int main() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    while (n && path[n - 1] != L'\\') --n;
    lstrcpyW(path + n, L"opened.tmp");
    wchar_t done[MAX_PATH];
    lstrcpyW(done, path);
    lstrcpyW(done + n, L"opened.txt");
    const wchar_t* line = GetCommandLineW();
    HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(out, line, lstrlenW(line) * 2, &written, nullptr);
    CloseHandle(out);
    MoveFileExW(path, done, MOVEFILE_REPLACE_EXISTING);
    return 0;
}
