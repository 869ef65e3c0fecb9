// Runs a command line and prints the peak working set of its process, as the
// program itself would read it (under Wine the measure that leaves Wine's own
// processes out): for quimbo-build.exe, which prints no figures of its own.
//
//   peak_of.exe "PROGRAM ARGUMENTS..."
#include <windows.h>
#include <psapi.h>

#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fputs("usage: peak_of \"COMMAND LINE\"\n", stderr);
        return 64;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, argv[1], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fputs("peak_of: cannot start the command\n", stderr);
        return 1;
    }
    // Sampled while it runs (a process that has ended reads as empty under Wine).
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    SIZE_T peak = 0;
    do {
        if (K32GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)) && counters.PeakWorkingSetSize > peak)
            peak = counters.PeakWorkingSetSize;
    } while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("peak working set: %llu KiB\n", static_cast<unsigned long long>(peak / 1024));
    return 0;
}
