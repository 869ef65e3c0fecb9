// Linked into a program that the tests run as a process (quimbo-build-faults):
// before main runs, makes the platform layer's file calls fail as the
// environment variable QUIMBO_TEST_FAULTS says, one of
//   write=N   every file fails after N bytes, as a full disk does
//   move      moving a finished file into place fails
//   search=N  directory searches fail after N entries
//   search-in=PART  searches in a folder whose path holds PART fail at once
// each with the system's code for a full disk.
#include <stdlib.h>
#include <string.h>

#include "tests/support/file_faults.h"

namespace {

struct ArmFromEnvironment {
    testsupport::FileFaults* faults = nullptr;
    ArmFromEnvironment() {
        const char* spec = getenv("QUIMBO_TEST_FAULTS");
        if (!spec || !*spec) return;
        faults = new testsupport::FileFaults();
        if (strncmp(spec, "write=", 6) == 0) faults->FailWritesAfter(atoll(spec + 6), kErrorDiskFull);
        else if (strcmp(spec, "move") == 0) faults->FailMove(kErrorDiskFull);
        else if (strncmp(spec, "search=", 7) == 0) faults->FailSearchAfter(atoi(spec + 7), kErrorDiskFull);
        else if (strncmp(spec, "search-in=", 10) == 0) faults->FailSearchIn(spec + 10, kErrorDiskFull);
    }
} Armed;

}  // namespace
