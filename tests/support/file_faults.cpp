#include "tests/support/file_faults.h"

namespace testsupport {

namespace {

struct Plan {
    long long writeBudget = -1;  // bytes left in the current file; -1: no limit
    long long writeLimit = -1;   // the budget each new file starts with
    SystemError writeError = 0, createError = 0, flushError = 0, moveError = 0, readError = 0, searchError = 0;
    int searchLeft = -1;  // entries still handed out before the search fails; -1: no limit
    const char* searchFailsIn = nullptr;  // searches in paths holding this part fail at once
    SystemError searchInError = 0;
    int creates = 0, moves = 0;
};
Plan Active;

FileHandle Create(const PathChar* path, SystemError* error) {
    if (Active.createError) {
        *error = Active.createError;
        return 0;
    }
    FileHandle file = kSystemFileCalls.create(path, error);
    if (file) {
        ++Active.creates;
        Active.writeBudget = Active.writeLimit;
    }
    return file;
}

bool Write(FileHandle file, const void* data, size_t size, SystemError* error) {
    if (Active.writeBudget < 0 || static_cast<long long>(size) <= Active.writeBudget) {
        if (Active.writeBudget >= 0) Active.writeBudget -= static_cast<long long>(size);
        return kSystemFileCalls.write(file, data, size, error);
    }
    size_t part = static_cast<size_t>(Active.writeBudget);
    Active.writeBudget = 0;
    if (part && !kSystemFileCalls.write(file, data, part, error)) return false;
    *error = Active.writeError;
    return false;
}

bool Flush(FileHandle file, SystemError* error) {
    if (Active.flushError) {
        *error = Active.flushError;
        return false;
    }
    return kSystemFileCalls.flush(file, error);
}

bool Move(const PathChar* from, const PathChar* to, SystemError* error) {
    if (Active.moveError) {
        *error = Active.moveError;
        return false;
    }
    bool moved = kSystemFileCalls.move(from, to, error);
    if (moved) ++Active.moves;
    return moved;
}

long Read(const PathChar* path, char* data, size_t size, SystemError* error) {
    long got = kSystemFileCalls.read(path, data, size, error);
    if (got >= 0 && Active.readError) {
        *error = Active.readError;
        return -1;
    }
    return got;
}

// Hands out an entry unless the budget is spent.
bool Counted(bool found, SystemError* error) {
    if (!found || Active.searchLeft < 0) return found;
    if (Active.searchLeft == 0) {
        *error = Active.searchError;
        return false;
    }
    --Active.searchLeft;
    return true;
}

// True when `path` holds the ASCII text `part`.
bool PathHolds(const PathChar* path, const char* part) {
    for (; *path; ++path) {
        size_t i = 0;
        while (part[i] && path[i] == static_cast<PathChar>(part[i])) ++i;
        if (!part[i]) return true;
    }
    return false;
}

bool FindFirst(const PathChar* pattern, DirSearch* search, FoundEntry* entry, SystemError* error) {
    if (Active.searchFailsIn && PathHolds(pattern, Active.searchFailsIn)) {
        search->open = false;
        *error = Active.searchInError;
        return false;
    }
    bool found = kSystemFileCalls.findFirst(pattern, search, entry, error);
    bool handed = Counted(found, error);
    if (found && !handed) EndSearch(search);  // a search that fails at its start is not open
    return handed;
}

bool FindNext(DirSearch* search, FoundEntry* entry, SystemError* error) {
    return Counted(kSystemFileCalls.findNext(search, entry, error), error);
}

}  // namespace

FileFaults::FileFaults() {
    Active = Plan{};
    FileCalls calls = kSystemFileCalls;
    calls.create = Create;
    calls.write = Write;
    calls.flush = Flush;
    calls.move = Move;
    calls.read = Read;
    calls.findFirst = FindFirst;
    calls.findNext = FindNext;
    SetFileCallsForTests(&calls);
}

FileFaults::~FileFaults() {
    SetFileCallsForTests(nullptr);
    Active = Plan{};
}

FileFaults& FileFaults::FailWritesAfter(long long bytes, SystemError error) {
    Active.writeLimit = bytes;
    Active.writeError = error;
    return *this;
}
FileFaults& FileFaults::FailCreate(SystemError error) {
    Active.createError = error;
    return *this;
}
FileFaults& FileFaults::FailFlush(SystemError error) {
    Active.flushError = error;
    return *this;
}
FileFaults& FileFaults::FailMove(SystemError error) {
    Active.moveError = error;
    return *this;
}
FileFaults& FileFaults::FailRead(SystemError error) {
    Active.readError = error;
    return *this;
}
FileFaults& FileFaults::FailSearchAfter(int entries, SystemError error) {
    Active.searchLeft = entries;
    Active.searchError = error;
    return *this;
}
FileFaults& FileFaults::FailSearchIn(const char* part, SystemError error) {
    Active.searchFailsIn = part;
    Active.searchInError = error;
    return *this;
}
int FileFaults::Creates() const { return Active.creates; }
int FileFaults::Moves() const { return Active.moves; }

}  // namespace testsupport
