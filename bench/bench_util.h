// What the benchmark programs share: the entry point for native arguments,
// the folder as the programs take it, and the process's peak memory.
#pragma once

#include <stdio.h>
#include <string.h>

#include "../common/platform.h"

#if QUIMBO_WIN32
#include <windows.h>
#include <psapi.h>
#define MAIN wmain
#define ARG_EQ(a, b) (wcscmp(a, L##b) == 0)
#else
#include <sys/resource.h>
#define MAIN main
#define ARG_EQ(a, b) (strcmp(a, b) == 0)
#endif

// The folder argument, ending in a separator as the window keeps it.
inline void FormFolder(const PathChar* argument, PathBuf& folder) {
    folder.AppendZ(argument);
    PathChar last = folder.len ? folder.buf[folder.len - 1] : 0;
    if (last != kPathSeparator && last != PathChar('/')) folder.Append(kPathSeparator);
}

// The peak working set on Windows, the maximum resident set on POSIX.
inline void PrintPeakMemory() {
#if QUIMBO_WIN32
    PROCESS_MEMORY_COUNTERS counters;
    counters.cb = sizeof(counters);
    if (K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        printf("peak working set: %llu KiB\n", static_cast<unsigned long long>(counters.PeakWorkingSetSize / 1024));
#else
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) == 0) printf("peak resident set: %ld KiB\n", usage.ru_maxrss);
#endif
}
