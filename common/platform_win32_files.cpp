// Files and directory search on Win32.
#include <windows.h>

#include "platform.h"

const SystemError kErrorNameTooLong = ERROR_FILENAME_EXCED_RANGE;
const SystemError kErrorDiskFull = ERROR_DISK_FULL;

static long long WriteFaultBudget = -1;  // bytes left before the injected failure; -1 is off
static long long WriteFaultArmed = -1;
static SystemError WriteFaultError = 0;

void SetWriteFaultForTests(long long bytesBeforeFailure, SystemError error) {
    // Arms (or, with -1, disarms) the files created from now on; a file that
    // is already open keeps the budget it was given.
    WriteFaultArmed = bytesBeforeFailure;
    if (bytesBeforeFailure >= 0) WriteFaultError = error;
}

FileHandle CreateOutputFile(const PathChar* path, SystemError* error) {
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return 0;
    }
    WriteFaultBudget = WriteFaultArmed;
    return reinterpret_cast<FileHandle>(file);
}

bool WriteFileBytes(FileHandle file, const void* data, size_t size, SystemError* error) {
    DWORD toWrite = static_cast<DWORD>(size);
    bool injected = false;
    if (WriteFaultBudget >= 0 && static_cast<long long>(toWrite) > WriteFaultBudget) {
        toWrite = static_cast<DWORD>(WriteFaultBudget);
        injected = true;
    }
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), data, toWrite, &written, nullptr)) {
        *error = GetLastError();
        return false;
    }
    if (WriteFaultBudget >= 0) WriteFaultBudget -= written;
    if (injected) {
        *error = WriteFaultError;
        return false;
    }
    if (written != size) {
        *error = ERROR_DISK_FULL;  // a short write on a local disk means it is full
        return false;
    }
    return true;
}

bool CloseOutputFile(FileHandle file, SystemError* error) {
    if (!CloseHandle(reinterpret_cast<HANDLE>(file))) {
        *error = GetLastError();
        return false;
    }
    return true;
}

long ReadFileStart(const PathChar* path, char* data, size_t size) {
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD read = 0;
    BOOL ok = ReadFile(file, data, static_cast<DWORD>(size), &read, nullptr);
    CloseHandle(file);
    return ok ? static_cast<long>(read) : -1;
}

bool PathExists(const PathChar* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

namespace {
struct Win32Search {
    HANDLE handle;
    WIN32_FIND_DATAW data;
};
static_assert(sizeof(Win32Search) <= sizeof(DirSearch::storage), "DirSearch storage too small for Win32");

Win32Search* SearchOf(DirSearch* search) { return reinterpret_cast<Win32Search*>(search->storage); }

void FillEntry(const WIN32_FIND_DATAW& data, FoundEntry* entry) {
    entry->name = data.cFileName;
    entry->nameLength = lstrlenW(data.cFileName);
    entry->attributes = data.dwFileAttributes;
    entry->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
}  // namespace

bool FindFirstEntry(const PathChar* pattern, DirSearch* search, FoundEntry* entry) {
    Win32Search* s = SearchOf(search);
    s->handle = FindFirstFileW(pattern, &s->data);
    search->open = s->handle != INVALID_HANDLE_VALUE;
    if (!search->open) return false;
    FillEntry(s->data, entry);
    return true;
}

bool FindNextEntry(DirSearch* search, FoundEntry* entry) {
    Win32Search* s = SearchOf(search);
    if (!search->open || !FindNextFileW(s->handle, &s->data)) return false;
    FillEntry(s->data, entry);
    return true;
}

void EndSearch(DirSearch* search) {
    if (search->open) FindClose(SearchOf(search)->handle);
    search->open = false;
}

bool FileMatchExists(const PathChar* pattern) {
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) return false;
    FindClose(handle);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

uint32_t FirstMatchSize(const PathChar* pattern) {
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    FindClose(handle);
    return data.nFileSizeLow;
}
