// Files and directory search on Win32.
#include <windows.h>

#include "platform.h"
#include "platform_sys.h"

const SystemError kErrorNameTooLong = ERROR_FILENAME_EXCED_RANGE;
const SystemError kErrorDiskFull = ERROR_DISK_FULL;
const SystemError kErrorOutOfMemory = ERROR_NOT_ENOUGH_MEMORY;
const SystemError kErrorAccessDenied = ERROR_ACCESS_DENIED;

FileHandle sys::CreateNewFile(const PathChar* path, SystemError* error) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return 0;
    }
    return reinterpret_cast<FileHandle>(file);
}

bool sys::RemoveIfAbandoned(const PathChar* path) {
    // A file that its writer still holds open (shared with nobody) cannot be deleted.
    return DeleteFileW(path) != 0;
}

bool sys::WriteBytes(FileHandle file, const void* data, size_t size, SystemError* error) {
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr)) {
        *error = GetLastError();
        return false;
    }
    if (written != size) {
        *error = ERROR_DISK_FULL;  // a short write on a local disk means it is full
        return false;
    }
    return true;
}

bool sys::FlushFile(FileHandle file, SystemError* error) {
    if (!FlushFileBuffers(reinterpret_cast<HANDLE>(file))) {
        *error = GetLastError();
        return false;
    }
    return true;
}

bool sys::CloseFile(FileHandle file, SystemError* error) {
    if (!CloseHandle(reinterpret_cast<HANDLE>(file))) {
        *error = GetLastError();
        return false;
    }
    return true;
}

bool sys::MoveOver(const PathChar* from, const PathChar* to, SystemError* error) {
    // A read-only, hidden or system file is replaced like any other.
    SetFileAttributesW(to, FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    *error = GetLastError();
    if (*error == ERROR_ACCESS_DENIED) {
        // A file that another program holds open refuses the move as "access
        // denied"; the user is better told what really stands in the way.
        HANDLE probe = CreateFileW(to, DELETE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        else if (GetLastError() == ERROR_SHARING_VIOLATION) *error = ERROR_SHARING_VIOLATION;
    }
    return false;
}

void sys::RemoveFile(const PathChar* path) { DeleteFileW(path); }

bool IsSpecialFile(const PathChar*) { return false; }

// ---- Folders held open ---------------------------------------------------------------------

// Opens one folder of a held chain: without FILE_SHARE_DELETE, so that nobody
// can rename, move or delete it while it is open (and, on Windows, nothing on
// the path above it either), and, when `noReparse`, as the reparse point
// itself, which is then refused.
static HANDLE OpenOneFolder(const wchar_t* path, bool noReparse, FolderOpen* result, SystemError* error) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (noReparse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE folder = CreateFileW(path, FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, flags, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        *result = *error == ERROR_DIRECTORY ? FolderOpen::NotFolder : FolderOpen::Failed;
        return nullptr;
    }
    // A link or a junction is refused; a cloud service's placeholder folder is
    // a reparse point too, but it is the folder itself, as the walk takes it.
    FILE_ATTRIBUTE_TAG_INFO tag;
    bool ok = GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof tag) != 0;
    if (!ok) *error = GetLastError();
    bool isFolder = ok && (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(noReparse && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                      IsReparseTagNameSurrogate(tag.ReparseTag));
    if (!isFolder) {
        CloseHandle(folder);
        if (ok) *error = ERROR_DIRECTORY;
        *result = ok ? FolderOpen::NotFolder : FolderOpen::Failed;
        return nullptr;
    }
    return folder;
}

FolderOpen sys::OpenFolder(const PathChar* path, const HeldFolder* base, HeldFolder* folder, SystemError* error) {
    folder->handle = 0;
    folder->path = path;
    folder->pathLength = static_cast<size_t>(lstrlenW(path));
    *error = 0;
    FolderOpen result = FolderOpen::Opened;
    bool below = base && base->handle && folder->pathLength >= base->pathLength &&
                 CompareStringOrdinal(path, static_cast<int>(base->pathLength), base->path,
                                      static_cast<int>(base->pathLength), FALSE) == CSTR_EQUAL;
    if (!below) {
        HANDLE handle = OpenOneFolder(path, false, &result, error);
        folder->handle = reinterpret_cast<intptr_t>(handle);
        return handle ? FolderOpen::Opened : result;
    }
    // Each folder from the base down is checked and held open until the one
    // below it is: while a folder is open, the path to it stays as it was.
    wchar_t part[kPathCapacity];
    if (folder->pathLength >= kPathCapacity) {
        *error = kErrorNameTooLong;
        return FolderOpen::Failed;
    }
    HANDLE above = nullptr;
    for (size_t end = base->pathLength; end < folder->pathLength; ++end) {
        if (path[end] != L'\\' && path[end] != L'/' && end + 1 < folder->pathLength) continue;
        size_t length = (path[end] == L'\\' || path[end] == L'/') ? end : end + 1;
        for (size_t i = 0; i < length; ++i) part[i] = path[i];
        part[length] = 0;
        HANDLE next = OpenOneFolder(part, true, &result, error);
        if (above) CloseHandle(above);
        if (!next) return result;
        above = next;
    }
    if (!above) above = OpenOneFolder(path, false, &result, error);
    folder->handle = reinterpret_cast<intptr_t>(above);
    return above ? FolderOpen::Opened : result;
}

void CloseHeldFolder(HeldFolder* folder) {
    if (folder->handle) CloseHandle(reinterpret_cast<HANDLE>(folder->handle));
    folder->handle = 0;
}

// The paths under a held folder cannot change while it is held: they are used as they are.
void WorkInFolder(const HeldFolder*) {}

// ---- Folder lock ---------------------------------------------------------------------------

const SystemError kErrorFolderBusy = ERROR_BUSY;

bool LockFolder(const PathChar* folder, uint32_t waitMilliseconds, FolderLock* lock) {
    lock->handle = 0;
    // The folder's identity, whatever path leads to it: its volume's serial
    // number and its file id. The handle is opened for attributes only and
    // shared with everyone, so it stands in nobody's way.
    HANDLE directory = CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return true;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(directory, &info) != 0;
    CloseHandle(directory);
    if (!known || (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)) return true;  // no file ids here

    // "Local\quimbo-folder-" and 24 hexadecimal digits: volume, file id high, file id low.
    wchar_t name[64] = L"Local\\quimbo-folder-";
    size_t at = static_cast<size_t>(lstrlenW(name));
    for (DWORD part : {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow}) {
        for (int shift = 28; shift >= 0; shift -= 4) name[at++] = L"0123456789ABCDEF"[(part >> shift) & 15];
    }
    name[at] = 0;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    if (!mutex) return true;
    // A mutex whose holder ended without giving it back (a killed build) comes
    // as abandoned: it is taken all the same.
    DWORD waited = WaitForSingleObject(mutex, waitMilliseconds);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        lock->handle = reinterpret_cast<intptr_t>(mutex);
        return true;
    }
    CloseHandle(mutex);
    return waited != WAIT_TIMEOUT;
}

void UnlockFolder(FolderLock* lock) {
    if (lock->handle) {
        HANDLE mutex = reinterpret_cast<HANDLE>(lock->handle);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    lock->handle = 0;
}

// True when `path` is a symbolic link or a junction itself. A cloud service's
// placeholder is a reparse point too, but it is the file itself, not a way to
// another one.
static bool IsNameSurrogate(const PathChar* path) {
    HANDLE item = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (item == INVALID_HANDLE_VALUE) return false;
    FILE_ATTRIBUTE_TAG_INFO tag;
    bool link = GetFileInformationByHandleEx(item, FileAttributeTagInfo, &tag, sizeof tag) &&
                (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag);
    CloseHandle(item);
    return link;
}

long sys::ReadStart(const PathChar* path, char* data, size_t size, SystemError* error) {
    // A link at the page's name is replaced, never read through: the title
    // behind it belongs to another file. (Wine shows a POSIX link to a file as
    // the file itself; only Windows tells it.)
    if (IsNameSurrogate(path)) {
        *error = 0;
        return -1;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        *error = (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) ? 0 : code;
        return -1;
    }
    DWORD read = 0;
    BOOL ok = ReadFile(file, data, static_cast<DWORD>(size), &read, nullptr);
    if (!ok) *error = GetLastError();
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
    // A folder that a cloud service keeps as a placeholder (reparse tags
    // 0x9000x01A) is a folder of its own, not a link to another place. Every
    // other reparse point counts as a link, also one whose tag the system
    // does not report (Wine leaves it 0 for a symbolic link).
    constexpr DWORD kCloudTagMask = 0xFFFF0FFF, kCloudTag = 0x9000001A;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && (data.dwReserved0 & kCloudTagMask) == kCloudTag)
        entry->attributes &= ~static_cast<uint32_t>(FILE_ATTRIBUTE_REPARSE_POINT);
}

// The end of a search, or nothing to find, as opposed to a search that failed.
SystemError SearchError(DWORD code) { return (code == ERROR_NO_MORE_FILES || code == ERROR_FILE_NOT_FOUND) ? 0 : code; }
}  // namespace

bool sys::FindFirst(const PathChar* pattern, DirSearch* search, FoundEntry* entry, SystemError* error) {
    Win32Search* s = SearchOf(search);
    s->handle = FindFirstFileW(pattern, &s->data);
    search->open = s->handle != INVALID_HANDLE_VALUE;
    if (!search->open) {
        *error = SearchError(GetLastError());
        return false;
    }
    *error = 0;
    FillEntry(s->data, entry);
    return true;
}

bool sys::FindNext(DirSearch* search, FoundEntry* entry, SystemError* error) {
    Win32Search* s = SearchOf(search);
    *error = 0;
    if (!search->open) return false;
    if (!FindNextFileW(s->handle, &s->data)) {
        *error = SearchError(GetLastError());
        return false;
    }
    FillEntry(s->data, entry);
    return true;
}

void EndSearch(DirSearch* search) {
    if (search->open) FindClose(SearchOf(search)->handle);
    search->open = false;
}

bool FullFolderPath(const PathChar* folder, PathChar* out, size_t capacity) {
    DWORD length = GetFullPathNameW(folder, static_cast<DWORD>(capacity), out, nullptr);
    return length > 0 && length < capacity;
}

bool FileMatchExists(const PathChar* pattern) {
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool file = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    while (!file && FindNextFileW(handle, &data)) file = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    FindClose(handle);
    return file;
}

uint32_t FirstMatchSize(const PathChar* pattern) {
    WIN32_FIND_DATAW data;
    HANDLE handle = FindFirstFileW(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    FindClose(handle);
    return data.nFileSizeLow;
}
