#include "tests/support/file_faults.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace testsupport {

namespace {

// A file that a create handed out and that is not closed yet.
struct OpenFile {
    std::string path;
    bool aimed;          // the faults hit it
    long long written;   // bytes that went into it so far
};

struct Plan {
    long long writeLimit = -1;  // the bytes each aimed file takes before its writes fail; -1: no limit
    SystemError writeError = 0, createError = 0, flushError = 0, closeError = 0, moveError = 0, readError = 0,
                searchError = 0;
    int searchLeft = -1;  // entries still handed out before the search fails; -1: no limit
    std::string searchFailsIn;  // searches in paths holding this part fail at once; "": none
    SystemError searchInError = 0;
    std::vector<std::string> aims;  // the faults hit only paths that hold one of these; none: every path
    std::string holdPart;           // the first file to be created whose path holds this is held by "another build"
    std::string pausePart, pauseFlag;  // PauseBeforeFolder's: "" for none
    int pauseAt = 0;                   // the how-manieth opening of such a folder it pauses before
    bool pauseAfter = false;           // after that opening instead
    FileHandle held = 0;
    std::basic_string<PathChar> heldPath;
    std::map<FileHandle, OpenFile> open;
    std::vector<FileCall> calls;
    int creates = 0, moves = 0, threads = 0;
    int generation = 0;
};

// Made by the constructor: a pointer, so that a FileFaults made while the
// program starts (quimbo-build-faults arms one before main) finds it ready.
Plan* Active = nullptr;
int Generations = 0;
std::mutex Lock;  // around every call: the previews' workers write files at once
thread_local int ThreadGeneration = 0, ThreadNumber = 0;

// The calling thread's number for the current FileFaults. Under Lock.
int ThisThread() {
    if (ThreadGeneration != Active->generation) {
        ThreadGeneration = Active->generation;
        ThreadNumber = ++Active->threads;
    }
    return ThreadNumber;
}

std::string Utf8(const PathChar* path) {
    if (!path) return "";
    size_t length = TextLength(path);
    std::vector<char> storage(4 * length + 16);
    ByteBuf text(storage.data(), storage.size());
    AppendNameText(path, length, text);
    return std::string(text.buf, text.len);
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

bool Aimed(const PathChar* path) {
    if (Active->aims.empty()) return true;
    for (const std::string& part : Active->aims)
        if (PathHolds(path, part.c_str())) return true;
    return false;
}

void Record(FileCall::Kind kind, bool ok, std::string path, std::string to = "", long long bytes = 0) {
    Active->calls.push_back(FileCall{kind, ok, std::move(path), std::move(to), bytes, ThisThread()});
}

FileHandle Create(const PathChar* path, SystemError* error) {
    std::lock_guard<std::mutex> hold(Lock);
    if (!Active->holdPart.empty() && !Active->held && PathHolds(path, Active->holdPart.c_str())) {
        SystemError ignored = 0;
        Active->held = kSystemFileCalls.create(path, &ignored);
        if (Active->held) Active->heldPath = path;
    }
    bool aimed = Aimed(path);
    FileHandle file = 0;
    if (aimed && Active->createError) *error = Active->createError;
    else file = kSystemFileCalls.create(path, error);
    if (file) {
        ++Active->creates;
        Active->open[file] = OpenFile{Utf8(path), aimed, 0};
    }
    Record(FileCall::Create, file != 0, Utf8(path));
    return file;
}

bool Write(FileHandle file, const void* data, size_t size, SystemError* error) {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Active->open.find(file);
    OpenFile* state = it == Active->open.end() ? nullptr : &it->second;
    long long budget = state && state->aimed && Active->writeLimit >= 0 ? Active->writeLimit - state->written : -1;
    bool ok;
    size_t done = size;
    if (budget < 0 || static_cast<long long>(size) <= budget) {
        ok = kSystemFileCalls.write(file, data, size, error);
    } else {
        done = static_cast<size_t>(budget);
        ok = false;
        if (!done || kSystemFileCalls.write(file, data, done, error)) *error = Active->writeError;
    }
    if (state) state->written += static_cast<long long>(done);
    Record(FileCall::Write, ok, state ? state->path : "", "", static_cast<long long>(size));
    return ok;
}

bool Flush(FileHandle file, SystemError* error) {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Active->open.find(file);
    bool aimed = it != Active->open.end() && it->second.aimed;
    bool ok = false;
    if (aimed && Active->flushError) *error = Active->flushError;
    else ok = kSystemFileCalls.flush(file, error);
    Record(FileCall::Flush, ok, it != Active->open.end() ? it->second.path : "");
    return ok;
}

bool Close(FileHandle file, SystemError* error) {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Active->open.find(file);
    std::string path = it != Active->open.end() ? it->second.path : "";
    bool aimed = it != Active->open.end() && it->second.aimed;
    if (it != Active->open.end()) Active->open.erase(it);
    bool ok = kSystemFileCalls.close(file, error);  // closed all the same, as the system does
    if (ok && aimed && Active->closeError) {
        *error = Active->closeError;
        ok = false;
    }
    Record(FileCall::Close, ok, path);
    return ok;
}

bool Move(const PathChar* from, const PathChar* to, SystemError* error) {
    std::lock_guard<std::mutex> hold(Lock);
    bool ok = false;
    if (Aimed(from) && Active->moveError) *error = Active->moveError;
    else ok = kSystemFileCalls.move(from, to, error);
    if (ok) ++Active->moves;
    Record(FileCall::Move, ok, Utf8(from), Utf8(to));
    return ok;
}

long Read(const PathChar* path, char* data, size_t size, SystemError* error) {
    std::lock_guard<std::mutex> hold(Lock);
    long got = kSystemFileCalls.read(path, data, size, error);
    if (got >= 0 && Active->readError && Aimed(path)) {
        *error = Active->readError;
        got = -1;
    }
    Record(FileCall::Read, got >= 0, Utf8(path), "", got);
    return got;
}

// Hands out an entry unless the budget is spent.
bool Counted(bool found, SystemError* error) {
    if (!found || Active->searchLeft < 0) return found;
    if (Active->searchLeft == 0) {
        *error = Active->searchError;
        return false;
    }
    --Active->searchLeft;
    return true;
}

bool FindFirst(const PathChar* pattern, DirSearch* search, FoundEntry* entry, SystemError* error) {
    std::lock_guard<std::mutex> hold(Lock);
    if (!Active->searchFailsIn.empty() && PathHolds(pattern, Active->searchFailsIn.c_str())) {
        search->open = false;
        *error = Active->searchInError;
        Record(FileCall::FindFirst, false, Utf8(pattern));
        return false;
    }
    bool found = kSystemFileCalls.findFirst(pattern, search, entry, error);
    bool handed = Counted(found, error);
    if (found && !handed) EndSearch(search);  // a search that fails at its start is not open
    Record(FileCall::FindFirst, handed || *error == 0, Utf8(pattern));
    return handed;
}

bool FindNext(DirSearch* search, FoundEntry* entry, SystemError* error) {
    std::lock_guard<std::mutex> hold(Lock);
    bool handed = Counted(kSystemFileCalls.findNext(search, entry, error), error);
    Record(FileCall::FindNext, handed || *error == 0, "");
    return handed;
}

FolderOpen OpenFolder(const PathChar* path, const HeldFolder* base, HeldFolder* folder, SystemError* error) {
    std::string flag;
    {
        std::lock_guard<std::mutex> hold(Lock);
        if (!Active->pausePart.empty() && PathHolds(path, Active->pausePart.c_str()) && --Active->pauseAt == 0) {
            flag = Active->pauseFlag;
            Active->pausePart.clear();  // once
        }
    }
    auto pause = [&flag] {  // outside the lock: the other threads go on
        std::ofstream(flag) << "paused";
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::filesystem::exists(flag) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    bool after = Active->pauseAfter;
    if (!flag.empty() && !after) pause();
    FolderOpen opened = kSystemFileCalls.openFolder(path, base, folder, error);
    if (!flag.empty() && after) pause();
    return opened;
}

}  // namespace

const char* KindName(FileCall::Kind kind) {
    switch (kind) {
        case FileCall::Create: return "create";
        case FileCall::Write: return "write";
        case FileCall::Flush: return "flush";
        case FileCall::Close: return "close";
        case FileCall::Move: return "move";
        case FileCall::Read: return "read";
        case FileCall::FindFirst: return "findfirst";
        case FileCall::FindNext: return "findnext";
    }
    return "?";
}

FileFaults::FileFaults() {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Active = new Plan();
        Active->generation = ++Generations;
    }
    FileCalls calls = kSystemFileCalls;
    calls.create = Create;
    calls.write = Write;
    calls.flush = Flush;
    calls.close = Close;
    calls.move = Move;
    calls.read = Read;
    calls.findFirst = FindFirst;
    calls.findNext = FindNext;
    calls.openFolder = OpenFolder;
    SetFileCallsForTests(&calls);
}

FileFaults::~FileFaults() {
    SetFileCallsForTests(nullptr);
    std::lock_guard<std::mutex> hold(Lock);
    if (Active->held) {  // "the other build" gives its file up
        OutputFile file;
        file.handle = Active->held;
        size_t n = Active->heldPath.copy(file.temporary, sizeof file.temporary / sizeof file.temporary[0] - 1);
        file.temporary[n] = 0;
        DiscardOutputFile(&file);
    }
    delete Active;
    Active = nullptr;
}

FileFaults& FileFaults::FailWritesAfter(long long bytes, SystemError error) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->writeLimit = bytes;
    Active->writeError = error;
    return *this;
}
FileFaults& FileFaults::FailCreate(SystemError error) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->createError = error;
    return *this;
}
FileFaults& FileFaults::FailFlush(SystemError error) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->flushError = error;
    return *this;
}
FileFaults& FileFaults::FailClose(SystemError error) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->closeError = error;
    return *this;
}
FileFaults& FileFaults::FailMove(SystemError error) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->moveError = error;
    return *this;
}
FileFaults& FileFaults::FailRead(SystemError error) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->readError = error;
    return *this;
}
FileFaults& FileFaults::FailSearchAfter(int entries, SystemError error) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->searchLeft = entries;
    Active->searchError = error;
    return *this;
}
FileFaults& FileFaults::AimAt(const char* part) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->aims.push_back(part);
    return *this;
}
FileFaults& FileFaults::HoldFirstFileOf(const char* part) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->holdPart = part;
    return *this;
}
FileFaults& FileFaults::PauseBeforeFolder(const char* part, const char* flagFile, int time, bool after) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->pausePart = part;
    Active->pauseAt = time;
    Active->pauseAfter = after;
    Active->pauseFlag = flagFile ? flagFile : "";
    return *this;
}
int FileFaults::Creates() const {
    std::lock_guard<std::mutex> hold(Lock);
    return Active->creates;
}
int FileFaults::Moves() const {
    std::lock_guard<std::mutex> hold(Lock);
    return Active->moves;
}
std::vector<FileCall> FileFaults::Calls() const {
    std::lock_guard<std::mutex> hold(Lock);
    return Active->calls;
}

std::string CallLogText(const std::vector<FileCall>& calls) {
    std::string text;
    for (const FileCall& call : calls) {
        text += std::to_string(call.thread) + "\t" + KindName(call.kind) + "\t" + (call.ok ? "ok" : "failed") + "\t" +
                call.path;
        if (call.kind == FileCall::Move) text += "\t" + call.to;
        if (call.kind == FileCall::Write) text += "\t" + std::to_string(call.bytes);
        text += "\n";
    }
    return text;
}
std::vector<FileCall> ParseCallLog(const std::string& text) {
    std::vector<FileCall> calls;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> fields;
        for (size_t start = at;;) {
            size_t tab = text.find('\t', start);
            if (tab == std::string::npos || tab > end) tab = end;
            fields.push_back(text.substr(start, tab - start));
            if (tab == end) break;
            start = tab + 1;
        }
        at = end + 1;
        if (fields.size() < 4) continue;
        int kind = FileCall::Create;
        while (kind <= FileCall::FindNext && fields[1] != KindName(FileCall::Kind(kind))) ++kind;
        if (kind > FileCall::FindNext) continue;
        FileCall call{FileCall::Kind(kind), fields[2] == "ok", fields[3], "", 0, atoi(fields[0].c_str())};
        if (fields.size() > 4 && call.kind == FileCall::Move) call.to = fields[4];
        if (fields.size() > 4 && call.kind == FileCall::Write) call.bytes = atoll(fields[4].c_str());
        calls.push_back(call);
    }
    return calls;
}

std::string TemporarySequence(const std::vector<FileCall>& calls, const std::string& name) {
    auto endsWith = [](const std::string& text, const std::string& end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    };
    std::string temporary = name + ".quimbo-tmp", words, last;
    for (const FileCall& call : calls) {
        if (!endsWith(call.path, temporary)) continue;
        std::string word = std::string(KindName(call.kind)) + (call.ok ? "" : "!");
        if (call.kind == FileCall::Move && !endsWith(call.to, name)) word += "(to " + call.to + ")";
        if (word == last && call.kind == FileCall::Write) continue;
        words += (words.empty() ? "" : " ") + word;
        last = word;
    }
    return words;
}

FileFaults& FileFaults::FailSearchIn(const char* part, SystemError error) {
    std::lock_guard<std::mutex> hold(Lock);
    Active->searchFailsIn = part;
    Active->searchInError = error;
    return *this;
}

}  // namespace testsupport
