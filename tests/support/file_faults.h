// Failing file calls on purpose, through the platform layer's test seam.
#pragma once

#include "common/fault_seam.h"

namespace testsupport {

// While it lives, the platform layer's file calls go through this object,
// which lets the system do them unless told to fail them. One at a time;
// its destructor restores the system's calls.
class FileFaults {
public:
    FileFaults();
    ~FileFaults();
    FileFaults(const FileFaults&) = delete;
    FileFaults& operator=(const FileFaults&) = delete;

    // Writes to each file created from now on fail with `error` once `bytes`
    // bytes have gone into that file (the bytes before are written), as a full disk does.
    FileFaults& FailWritesAfter(long long bytes, SystemError error);
    // Every new file (the temporary file of an OutputFile) cannot be created.
    FileFaults& FailCreate(SystemError error);
    // Flushing a finished file to disk fails.
    FileFaults& FailFlush(SystemError error);
    // Moving a finished file over its final name fails.
    FileFaults& FailMove(SystemError error);
    // Reading the start of a file fails, though the file is there.
    FileFaults& FailRead(SystemError error);
    // Directory searches start, but fail after handing out `entries` entries
    // in all (counted over every search from now on).
    FileFaults& FailSearchAfter(int entries, SystemError error);

    // Searches in a folder whose path contains `part` (ASCII, kept by the
    // caller) fail at their start with `error`, as in a folder that cannot be read.
    FileFaults& FailSearchIn(const char* part, SystemError error);

    int Creates() const;  // new files made while this lived
    int Moves() const;    // files moved into place while this lived
};

}  // namespace testsupport
