// For tests and fuzzers only: the file calls of the platform layer as a table
// whose entries a test may replace, to make any of them fail where it wants.
//
// Only the test build of the platform layer (the library qcommon_faults,
// compiled with QUIMBO_FAULT_SEAM) calls through this table; the library the
// programs ship with calls the system directly and holds no table and no
// setter. A test takes a copy of kSystemFileCalls, replaces the calls it
// wants to fail (its replacements may call the system's own ones), and
// installs the copy with SetFileCallsForTests.
#pragma once

#include "platform.h"

struct FileCalls {
    // The new temporary file of an OutputFile.
    FileHandle (*create)(const PathChar* path, SystemError* error);
    bool (*write)(FileHandle file, const void* data, size_t size, SystemError* error);
    bool (*flush)(FileHandle file, SystemError* error);
    bool (*close)(FileHandle file, SystemError* error);
    // The move of a complete temporary file over its final name.
    bool (*move)(const PathChar* from, const PathChar* to, SystemError* error);
    long (*read)(const PathChar* path, char* data, size_t size, SystemError* error);
    bool (*findFirst)(const PathChar* pattern, DirSearch* search, FoundEntry* entry, SystemError* error);
    bool (*findNext)(DirSearch* search, FoundEntry* entry, SystemError* error);
    // An image opened and read for its preview.
    ImageOpen (*openImage)(const PathChar* path, ImageFile* file, SystemError* error);
    bool (*readImage)(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error);
    // A folder opened for its build (OpenHeldFolder).
    FolderOpen (*openFolder)(const PathChar* path, const HeldFolder* base, HeldFolder* folder, SystemError* error);
};

// The system's own calls.
extern const FileCalls kSystemFileCalls;

// Makes the platform layer call through `calls` (copied) from now on; null
// restores the system's own. Not thread-safe: set it while no file is in use.
void SetFileCallsForTests(const FileCalls* calls);

// The number of folders WatchFolder takes before it answers LimitReached, as
// the system does when fs.inotify.max_user_watches is used up; 0 for no limit
// but the system's.
void SetWatchLimitForTests(int limit);
