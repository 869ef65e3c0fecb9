// Output files that replace their old version only when complete, reads and
// directory searches: the same on every system, made of the system calls in
// platform_sys.h. In the test build each of those calls goes through the
// replaceable table of fault_seam.h.
#include "platform.h"
#include "platform_sys.h"

#if QUIMBO_FAULT_SEAM
#include "fault_seam.h"

const FileCalls kSystemFileCalls = {
    sys::CreateNewFile, sys::WriteBytes, sys::FlushFile, sys::CloseFile,
    sys::MoveOver,      sys::ReadStart,  sys::FindFirst, sys::FindNext,
    sys::OpenImage,     sys::ReadImage, sys::OpenFolder,
};

static FileCalls Calls = kSystemFileCalls;

void SetFileCallsForTests(const FileCalls* calls) { Calls = calls ? *calls : kSystemFileCalls; }

#define CALL(seamName, systemName) Calls.seamName

static int WatchLimit = 0;
void SetWatchLimitForTests(int limit) { WatchLimit = limit; }
bool sys::WatchLimitReached(int watching) { return WatchLimit > 0 && watching >= WatchLimit; }
#else
bool sys::WatchLimitReached(int) { return false; }
#define CALL(seamName, systemName) sys::systemName
#endif

// ---- Output files --------------------------------------------------------------------------

// The temporary file of an output file is its final name with this added: an
// extension of its own, so that no image pattern matches it, not even through
// the 8.3 short name, whose extension would be "QUI".
static constexpr PathChar kTemporarySuffix[] = PATH_TEXT(".quimbo-tmp");

bool BeginOutputFile(const PathChar* path, OutputFile* out, SystemError* error) {
    out->handle = 0;
    PathBuf temporary(out->temporary);
    temporary.AppendZ(path);
    temporary.Append(kTemporarySuffix, TextLength(kTemporarySuffix));
    if (temporary.overflow) {
        *error = kErrorNameTooLong;
        return false;
    }
    out->handle = CALL(create, CreateNewFile)(out->temporary, error);
    // One that is there already was left by a run that was killed before it could
    // move it into place; one that a running build still writes is its, and stays.
    if (!out->handle && PathExists(out->temporary) && sys::RemoveIfAbandoned(out->temporary))
        out->handle = CALL(create, CreateNewFile)(out->temporary, error);
    return out->handle != 0;
}

bool WriteFileBytes(FileHandle file, const void* data, size_t size, SystemError* error) {
    return CALL(write, WriteBytes)(file, data, size, error);
}

bool CloseOutputFile(FileHandle file, SystemError* error) { return CALL(close, CloseFile)(file, error); }

bool FinishOutputFile(OutputFile* out, SystemError* error) {
    SystemError closeError = 0;
    bool ok = CALL(flush, FlushFile)(out->handle, error);
    bool closed = CALL(close, CloseFile)(out->handle, &closeError);
    out->handle = 0;
    if (ok && !closed) {
        *error = closeError;
        ok = false;
    }
    if (!ok) sys::RemoveFile(out->temporary);
    return ok;
}

bool MoveOutputFile(OutputFile* out, const PathChar* path, SystemError* error) {
    bool ok = CALL(move, MoveOver)(out->temporary, path, error);
    if (!ok) sys::RemoveFile(out->temporary);
    return ok;
}

bool CommitOutputFile(OutputFile* out, const PathChar* path, SystemError* error) {
    return FinishOutputFile(out, error) && MoveOutputFile(out, path, error);
}

void DiscardOutputFile(OutputFile* out) {
    if (out->handle) {
        SystemError ignored = 0;
        CALL(close, CloseFile)(out->handle, &ignored);
        out->handle = 0;
    }
    sys::RemoveFile(out->temporary);
}

bool WriteWholeFile(const PathChar* path, const void* data, size_t size, SystemError* error) {
    OutputFile out;
    if (!BeginOutputFile(path, &out, error)) return false;
    if (!WriteFileBytes(out.handle, data, size, error)) {
        DiscardOutputFile(&out);
        return false;
    }
    return CommitOutputFile(&out, path, error);
}

void RemoveAbandonedTemporary(const PathChar* path) {
    PathChar storage[kPathCapacity + 16];
    PathBuf temporary(storage);
    temporary.AppendZ(path);
    temporary.Append(kTemporarySuffix, TextLength(kTemporarySuffix));
    if (!temporary.overflow && PathExists(temporary.buf)) sys::RemoveIfAbandoned(temporary.buf);
}

bool IsTemporaryName(const PathChar* name, size_t length) {
    auto fold = [](PathChar c) { return (c >= PathChar('a') && c <= PathChar('z')) ? PathChar(c - 32) : c; };
    size_t suffix = TextLength(kTemporarySuffix);
    if (length < suffix) return false;
    for (size_t i = 0; i < suffix; ++i) {
        if (fold(name[length - suffix + i]) != fold(kTemporarySuffix[i])) return false;
    }
    return true;
}

// ---- Reading and searching ---------------------------------------------------------------

long ReadFileStart(const PathChar* path, char* data, size_t size, SystemError* error) {
    return CALL(read, ReadStart)(path, data, size, error);
}

bool FindFirstEntry(const PathChar* pattern, DirSearch* search, FoundEntry* entry, SystemError* error) {
    return CALL(findFirst, FindFirst)(pattern, search, entry, error);
}

bool FindNextEntry(DirSearch* search, FoundEntry* entry, SystemError* error) {
    return CALL(findNext, FindNext)(search, entry, error);
}

ImageOpen OpenImageFile(const PathChar* path, ImageFile* file, SystemError* error) {
    return CALL(openImage, OpenImage)(path, file, error);
}

bool ReadImageFile(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error) {
    return CALL(readImage, ReadImage)(file, offset, data, size, got, error);
}

FolderOpen OpenHeldFolder(const PathChar* path, const HeldFolder* base, HeldFolder* folder, SystemError* error) {
    return CALL(openFolder, OpenFolder)(path, base, folder, error);
}
