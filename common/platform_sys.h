// Inside the platform layer: the system calls that the portable file routines
// (platform_files.cpp) are made of, one implementation per system. Nothing
// outside common/platform_* includes this.
#pragma once

#include "platform.h"

namespace sys {

// Creates a new file at `path` (failing when one exists), for writing only,
// shared with nobody, and marks it as in use for as long as it is open (on
// POSIX an flock); 0 with `error` when it cannot. RemoveIfAbandoned in another
// process never removes it once this has returned it.
FileHandle CreateNewFile(const PathChar* path, SystemError* error);

// Removes the regular file at `path` unless a running program has it open as
// a file of CreateNewFile's. True when it was removed.
bool RemoveIfAbandoned(const PathChar* path);

bool WriteBytes(FileHandle file, const void* data, size_t size, SystemError* error);

// Forces what was written to `file` onto the disk.
bool FlushFile(FileHandle file, SystemError* error);

bool CloseFile(FileHandle file, SystemError* error);

// Moves the file `from` over `to` in one step, replacing what is at `to`
// (the link itself where `to` is a symbolic link or reparse point).
bool MoveOver(const PathChar* from, const PathChar* to, SystemError* error);

// Removes a file; failures are ignored.
void RemoveFile(const PathChar* path);

// ReadFileStart, as platform.h describes it.
long ReadStart(const PathChar* path, char* data, size_t size, SystemError* error);

// FindFirstEntry and FindNextEntry, as platform.h describes them.
bool FindFirst(const PathChar* pattern, DirSearch* search, FoundEntry* entry, SystemError* error);
bool FindNext(DirSearch* search, FoundEntry* entry, SystemError* error);

// OpenImageFile and ReadImageFile, as platform.h describes them.
ImageOpen OpenImage(const PathChar* path, ImageFile* file, SystemError* error);
bool ReadImage(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error);

// OpenHeldFolder, as platform.h describes it.
FolderOpen OpenFolder(const PathChar* path, const HeldFolder* base, HeldFolder* folder, SystemError* error);

// POSIX: where a path leads for the *at calls. A file directly in the calling
// thread's held folder (WorkInFolder), or that folder itself as ".", is
// relative to the folder's descriptor; any other path is itself, relative to
// the working directory (AT_FDCWD).
struct PathAt {
    int dir;
    const PathChar* name;
};
PathAt AtThreadFolder(const PathChar* path);

// True when the test build's stand-in limit (SetWatchLimitForTests) allows
// no more than the `watching` folders watched now; always false in a release.
bool WatchLimitReached(int watching);

// POSIX: the end of the pipe a stop request writes into (CatchStopRequests);
// -1 before it is set up.
int StopWakeDescriptor();

}  // namespace sys
