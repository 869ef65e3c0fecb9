// The gallery build alone, as the window runs it: WriteGalleryFiles without
// the presence test (the window asks FolderHasImages when the folder is
// chosen, not in the build). quimbo-build adds that test and its start-up.
//
//   build_only FOLDER [--mem]
#include <stdio.h>
#include <string.h>

#include "../gallery/build.h"

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
        fputs("usage: build_only FOLDER [--mem]\n", stderr);
        return 64;
    }
    PathChar storage[4096];
    PathBuf folder(storage);
    folder.AppendZ(argv[1]);
    PathChar last = folder.len ? folder.buf[folder.len - 1] : 0;
    if (last != kPathSeparator && last != PathChar('/')) folder.Append(kPathSeparator);
    GalleryOutcome outcome = WriteGalleryFiles(folder.buf, false);
    if (argc > 2 && ARG_EQ(argv[2], "--mem")) PrintPeakMemory();
    return outcome.ok ? 0 : 1;
}
