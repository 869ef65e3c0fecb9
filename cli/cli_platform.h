// The few system calls that only quimbo-build needs beyond the platform layer
// of common/ (which writes the previews, WriteWholeFile): file times,
// processors, the terminal and stdout, worker threads, one lock with a
// wake-up for idle workers, and reading the images. One POSIX file
// (cli_posix.cpp) and one Win32 file (cli_win32.cpp) stand behind it; CMake
// picks one.
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

// A folder held open while its previews are made, so that the state of a file
// in it is read by its name alone, without the system walking the folder's
// path again for each (POSIX: a descriptor for fstatat). True with
// `*folder` set when it could be opened; Windows keeps nothing and says false.
bool OpenFolderForStates(const PathChar* path, intptr_t* folder);
void CloseFolderForStates(intptr_t folder);

// ReadFileState of `path`, whose part after its first `folderLength` units is
// a name in `folder` (from OpenFolderForStates).
void ReadFileStateIn(intptr_t folder, const PathChar* path, size_t folderLength, FileState* state);

// The system's code for "access denied", used for a read-only preview.
extern const SystemError kErrorAccessDenied;
// The system's code for "out of memory".
extern const SystemError kErrorNoMemory;

// An image file open for reading.
struct ImageFile {
    intptr_t handle;  // POSIX: the descriptor; Windows: the HANDLE
    uint64_t size;    // its size when it was opened
};

enum class ImageOpen { Opened, NotRegular, Failed };

// Opens the image at `path` for reading. Only a regular file is opened: its
// type is checked before the open and again on the open file (POSIX: fstat;
// Windows: GetFileType), and the open itself never waits, so that a FIFO or
// a device (a link to /dev/zero) is NotRegular and never read from. A
// symbolic link is followed: a link to a regular image is that image.
// Failed (with `error`) when it cannot be opened; NotRegular and Failed
// leave nothing open.
ImageOpen OpenImageFile(const PathChar* path, ImageFile* file, SystemError* error);

// Reads up to `size` bytes at `offset` of the open image into `data`;
// `*got` is 0 at the end of the file. It moves no file position that another
// read depends on. False (with `error`) when the system refused.
bool ReadImageFile(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error);

void CloseImageFile(ImageFile* file);

// Milliseconds on a clock that only goes forward, from some start; for time-outs.
uint64_t MonotonicMilliseconds();

// Processors this process may run on; at least 1.
int ProcessorCount();

// True when stderr is a terminal (a console on Windows).
bool StderrIsTerminal();

// Makes the standard streams safe to write to, however the caller left them:
// a write to a pipe whose reader has gone away fails like any other instead of
// ending the process (SIGPIPE on POSIX; Windows has no such signal), and on
// POSIX a stream the caller closed is opened on /dev/null, so that no file the
// program opens gets its number, and with it lines meant for the stream.
void ProtectStandardStreams();

// Flushes stdout, right after the writes it is to check. False when something
// printed there could not be written: `error` then tells why, or is 0 when
// stdout is a pipe whose reader has gone away (nobody is left to read it).
bool FlushStdout(SystemError* error);

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

// The C library's allocator gives memory back to the system once it is
// freed, instead of keeping it for the next image (cli_memory_*.cpp): call
// before the workers start. glibc by itself raises the size at which a block
// is mapped on its own to the largest block freed so far (up to 32 MiB), so
// the pixel buffers of one image stay in the heap, and the next image's add
// to them: a run held about twice what its largest image needs.
void KeepFreedMemoryReturnable();
// Hands what the allocator holds free back to the system; after an image.
void ReturnFreedMemory();
