// Failing file calls on purpose, through the platform layer's test seam, and
// a record of the calls the seam saw.
#pragma once

#include <string>
#include <vector>

#include "common/fault_seam.h"

namespace testsupport {

// One call of the platform layer's file calls, as the seam saw it return.
struct FileCall {
    enum Kind { Create, Write, Flush, Close, Move, Read, FindFirst, FindNext };
    Kind kind;
    bool ok;
    std::string path;  // UTF-8: the file created (the temporary of an output file), written,
                       // flushed or closed (the one its handle was created for), moved, read,
                       // or the pattern searched; "" for FindNext
    std::string to;    // a move's final name
    long long bytes;   // a write's size
    int thread;        // 1 for the first thread that made a file call, 2 for the next, ...
};

// The name of a call's kind, as the log writes it ("create", "write", ...).
const char* KindName(FileCall::Kind kind);

// While it lives, the platform layer's file calls go through this object,
// which lets the system do them unless told to fail them, and records each.
// One at a time; its destructor restores the system's calls. The calls may
// come from several threads at once.
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
    // Closing a file fails after the system has closed it, as a late write
    // error on a network file system shows.
    FileFaults& FailClose(SystemError error);
    // Moving a finished file over its final name fails.
    FileFaults& FailMove(SystemError error);
    // Reading the start of a file fails, though the file is there.
    FileFaults& FailRead(SystemError error);
    // Directory searches start, but fail after handing out `entries` entries
    // in all (counted over every search from now on).
    FileFaults& FailSearchAfter(int entries, SystemError error);
    // The create, write, flush, close, move and read faults above hit only
    // files whose path holds `part` (ASCII, letter case as it is; the
    // temporary's path for an output file). Given more than once: files that
    // hold any of the parts. Without it they hit every file.
    FileFaults& AimAt(const char* part);
    // The first file whose path holds `part` that is to be created is made
    // first by "another build" that holds it open (and locked) from then on,
    // as a build that is still writing it does, so that the program finds it
    // taken. The held file is closed and removed when this object ends.
    FileFaults& HoldFirstFileOf(const char* part);

    // Searches in a folder whose path contains `part` (ASCII) fail at their
    // start with `error`, as in a folder that cannot be read.
    FileFaults& FailSearchIn(const char* part, SystemError error);

    // The `time`-th time (1: the first) a folder whose path holds `part` is to
    // be opened (OpenHeldFolder: a tree's walk, then the folder's build), the
    // file `flagFile` is made and the opening waits (at most 20 s) until the
    // test has removed it: time to change the tree in between. With `after`,
    // the pause comes right after that opening instead.
    FileFaults& PauseBeforeFolder(const char* part, const char* flagFile, int time = 1, bool after = false);

    int Creates() const;  // new files made while this lived
    int Moves() const;    // files moved into place while this lived

    // Every call so far, in the order they returned.
    std::vector<FileCall> Calls() const;
};

// The calls as text, one line each: thread, kind, "ok" or "failed", path,
// then for a move its final name and for a write its size, tab-separated.
std::string CallLogText(const std::vector<FileCall>& calls);

// The calls read back from such a text (lines it cannot read are passed over).
std::vector<FileCall> ParseCallLog(const std::string& text);

// What happened to the temporary of the file `name`, in order: "create write
// flush close move", a failed call marked with "!", writes in a row taken as
// one. A move to any other name than `name` shows as "move(to TARGET)".
std::string TemporarySequence(const std::vector<FileCall>& calls, const std::string& name);

}  // namespace testsupport
