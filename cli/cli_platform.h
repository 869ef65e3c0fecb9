// The few system calls that only quimbo-build needs beyond the platform layer
// of common/ (which writes the previews, WriteWholeFile): file times,
// processors, the terminal, worker threads, one lock with a wake-up for idle
// workers, and reading a whole file. One POSIX file (cli_posix.cpp) and one
// Win32 file (cli_win32.cpp) stand behind it; CMake picks one.
//
// Threads come from the system (pthreads, CreateThread), not std::thread:
// quimbo-build.exe links without the C++ runtime.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "../common/platform.h"

// What the previews need to know about a file that may or may not exist.
struct FileState {
    bool exists;
    bool isFile;      // a regular file (a symbolic link counts as what it points to)
    bool readOnly;    // POSIX: no write bit in its mode; Windows: FILE_ATTRIBUTE_READONLY
    uint64_t modified;  // modification time, in the system's finest unit; only compared
};

// Fills `state`; a path that cannot be examined reads as not existing.
void ReadFileState(const PathChar* path, FileState* state);

// The system's code for "access denied", used for a read-only preview.
extern const SystemError kErrorAccessDenied;

// Reads the whole file into a block from malloc that the caller frees.
// False (with `error`) when it cannot be opened or read.
bool ReadWholeFile(const PathChar* path, void** data, size_t* size, SystemError* error);

// Processors this process may run on; at least 1.
int ProcessorCount();

// True when stderr is a terminal (a console on Windows).
bool StderrIsTerminal();

// Runs `work(context)` on `count` threads at once (the calling thread is one
// of them) and returns when every one has returned. Threads the system refuses
// are not started; the work still runs on the others.
void RunOnThreads(int count, void (*work)(void* context), void* context);

// One process-wide lock for the counters and the output of the workers.
void EnterOutputLock();
void LeaveOutputLock();

// With the output lock held: releases it, sleeps until WakeWaitingWorkers is
// called (or, rarely, for no reason: callers look at their condition again),
// and holds the lock again on return.
void WaitUnderOutputLock();
// Wakes every thread sleeping in WaitUnderOutputLock.
void WakeWaitingWorkers();
