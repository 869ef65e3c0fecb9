// The floor of a gallery build: the nine directory searches of the listing,
// through the same platform layer, with every name discarded. A build cannot
// be faster than this; the benchmark compares quimbo-build with it.
//
//   scan_floor FOLDER [--mem] [--with-user32]
//
// Prints the number of names seen; with --mem also the peak memory of this
// process (the peak working set on Windows, the maximum resident set on POSIX).
// --with-user32 (Windows) loads user32.dll first, as it is in the window's
// process and in every program that imports it: under Wine that alone costs
// some 17 ms and 5 MiB, which belong to the process, not to the build.
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

static const PathChar* const kPatterns[] = {
    PATH_TEXT("*.jpg"), PATH_TEXT("*.jpeg"), PATH_TEXT("*.jfif"), PATH_TEXT("*.svg"), PATH_TEXT("*.png"),
    PATH_TEXT("*.gif"), PATH_TEXT("*.webp"), PATH_TEXT("*.avif"), PATH_TEXT("*.ico"),
};

static void PrintPeakMemory() {
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

int MAIN(int argc, PathChar** argv) {
    if (argc < 2) {
        fputs("usage: scan_floor FOLDER [--mem] [--with-user32]\n", stderr);
        return 64;
    }
    PathChar storage[4096];
    PathBuf folder(storage);
    folder.AppendZ(argv[1]);
    PathChar last = folder.len ? folder.buf[folder.len - 1] : 0;
    if (last != kPathSeparator && last != PathChar('/')) folder.Append(kPathSeparator);
    size_t folderLength = folder.len;

    bool showMemory = false;
    for (int i = 2; i < argc; ++i) {
        if (ARG_EQ(argv[i], "--mem")) showMemory = true;
#if QUIMBO_WIN32
        if (ARG_EQ(argv[i], "--with-user32")) LoadLibraryW(L"user32.dll");
#endif
    }

    unsigned long names = 0;
    volatile size_t discarded = 0;
    for (const PathChar* pattern : kPatterns) {
        folder.len = folderLength;
        folder.overflow = false;
        folder.AppendZ(pattern);
        DirSearch search;
        FoundEntry entry;
        if (!FindFirstEntry(folder.buf, &search, &entry)) continue;
        do {
            discarded = discarded + entry.nameLength + entry.attributes;
            ++names;
        } while (FindNextEntry(&search, &entry));
        EndSearch(&search);
    }
    printf("%lu names\n", names);
    if (showMemory) PrintPeakMemory();
    return 0;
}
