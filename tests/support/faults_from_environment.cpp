// Linked into a program that the tests run as a process (quimbo-build-faults):
// before main runs, makes the platform layer's file calls fail as the
// environment variable QUIMBO_TEST_FAULTS says, a list of these, split by commas:
//   write=N   every file fails after N bytes, as a full disk does
//   create, flush, close, move   that call fails for every file
//   search=N  directory searches fail after N entries
//   search-in=PART  searches in a folder whose path holds PART fail at once
//   in=PART   the faults above (but search) hit only the files whose path
//             holds PART; given more than once, those that hold any of them
//   hold=PART the first file whose path holds PART is found held by another
//             running build (its temporary is made and kept open and locked)
//   pause=PART[@N[+]] before a folder whose path holds PART is opened the N-th
//             time (default 1; in a tree the walk opens it first, its build
//             next; with "+" right after that opening), the file
//             QUIMBO_TEST_PAUSE_FLAG names is made, and the run waits until it
//             is removed
//   watches=N the system allows N watched folders (--watch), no more
// each with the system's code for a full disk. When QUIMBO_TEST_CALL_LOG names
// a file, every file call the seam saw is written there at exit, one per line
// (testsupport::CallLogText).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "common/fault_seam.h"
#include "tests/support/file_faults.h"

namespace {

struct ArmFromEnvironment {
    testsupport::FileFaults* faults = nullptr;
    std::string log;

    ArmFromEnvironment() {
        const char* spec = getenv("QUIMBO_TEST_FAULTS");
        const char* logPath = getenv("QUIMBO_TEST_CALL_LOG");
        if (logPath) log = logPath;
        if ((!spec || !*spec) && log.empty()) return;
        faults = new testsupport::FileFaults();  // lives as long as the process
        std::string items = spec ? spec : "";
        for (size_t start = 0; start < items.size();) {
            size_t end = items.find(',', start);
            if (end == std::string::npos) end = items.size();
            std::string item = items.substr(start, end - start);
            start = end + 1;
            auto value = [&item](const char* key) -> const char* {
                size_t n = strlen(key);
                return item.compare(0, n, key) == 0 ? item.c_str() + n : nullptr;
            };
            if (const char* n = value("write=")) faults->FailWritesAfter(atoll(n), kErrorDiskFull);
            else if (item == "create") faults->FailCreate(kErrorDiskFull);
            else if (item == "flush") faults->FailFlush(kErrorDiskFull);
            else if (item == "close") faults->FailClose(kErrorDiskFull);
            else if (item == "move") faults->FailMove(kErrorDiskFull);
            else if (const char* n = value("search=")) faults->FailSearchAfter(atoi(n), kErrorDiskFull);
            else if (const char* part = value("search-in=")) faults->FailSearchIn(part, kErrorDiskFull);
            else if (const char* part = value("in=")) faults->AimAt(part);
            else if (const char* part = value("hold=")) faults->HoldFirstFileOf(part);
            else if (const char* part = value("pause=")) {
                std::string what = part;
                size_t at = what.rfind('@');
                int time = at == std::string::npos ? 1 : atoi(what.c_str() + at + 1);
                bool after = at != std::string::npos && what.back() == '+';
                faults->PauseBeforeFolder(what.substr(0, at).c_str(), getenv("QUIMBO_TEST_PAUSE_FLAG"), time, after);
            }
            else if (const char* n = value("watches=")) SetWatchLimitForTests(atoi(n));
            else fprintf(stderr, "quimbo-build-faults: unknown fault '%s' in QUIMBO_TEST_FAULTS\n", item.c_str());
        }
    }

    ~ArmFromEnvironment() {
        if (!faults || log.empty()) return;
        FILE* out = fopen(log.c_str(), "wb");
        if (!out) return;
        std::string text = testsupport::CallLogText(faults->Calls());
        fwrite(text.data(), 1, text.size(), out);
        fclose(out);
    }
} Armed;

}  // namespace
