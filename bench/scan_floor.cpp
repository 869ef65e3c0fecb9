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
#include "bench_util.h"

static const PathChar* const kPatterns[] = {
    PATH_TEXT("*.jpg"), PATH_TEXT("*.jpeg"), PATH_TEXT("*.jfif"), PATH_TEXT("*.svg"), PATH_TEXT("*.png"),
    PATH_TEXT("*.gif"), PATH_TEXT("*.webp"), PATH_TEXT("*.avif"), PATH_TEXT("*.ico"),
};

int MAIN(int argc, PathChar** argv) {
    if (argc < 2) {
        fputs("usage: scan_floor FOLDER [--mem] [--with-user32]\n", stderr);
        return 64;
    }
    PathChar storage[4096];
    PathBuf folder(storage);
    FormFolder(argv[1], folder);
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
        SystemError error = 0;
        if (!FindFirstEntry(folder.buf, &search, &entry, &error)) continue;
        do {
            discarded = discarded + entry.nameLength + entry.attributes;
            ++names;
        } while (FindNextEntry(&search, &entry, &error));
        EndSearch(&search);
    }
    printf("%lu names\n", names);
    if (showMemory) PrintPeakMemory();
    return 0;
}
