// STAND-IN, to be deleted: WriteWholeFile and RemoveLeftoverTemporaries until
// the platform layer provides them (see cli_platform.h for the contract).
//
// A temporary file is named ".quimbo-<pid>-<n>.tmp" and sits in the folder of
// its target, so that the final rename stays on one file system. No listing
// pattern matches that name, nor its 8.3 short name (extension TMP).
#include "cli_platform.h"

#if QUIMBO_WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#endif

namespace {

unsigned TemporaryCounter = 0;

constexpr size_t kTemporaryCapacity = 4096 + 64;

void AppendNumber(unsigned long long value, PathBuf& out) {
    PathChar digits[24];
    int n = 0;
    do {
        digits[n++] = PathChar('0' + value % 10);
        value /= 10;
    } while (value);
    while (n) out.Append(digits[--n]);
}

// The folder part of `path` (up to and including its last separator), then
// the temporary name. False when it does not fit.
bool FormTemporaryPath(const PathChar* path, PathBuf& temporary) {
    size_t length = TextLength(path), folderLength = 0;
    for (size_t i = 0; i < length; ++i) {
        if (path[i] == kPathSeparator || path[i] == PathChar('/')) folderLength = i + 1;
    }
    temporary.Append(path, folderLength);
    temporary.AppendZ(PATH_TEXT(".quimbo-"));
#if QUIMBO_WIN32
    unsigned long long pid = GetCurrentProcessId();
#else
    unsigned long long pid = static_cast<unsigned long long>(getpid());
#endif
    unsigned long long number = __atomic_add_fetch(&TemporaryCounter, 1u, __ATOMIC_RELAXED);
    AppendNumber(pid, temporary);
    temporary.Append(PathChar('-'));
    AppendNumber(number, temporary);
    temporary.AppendZ(PATH_TEXT(".tmp"));
    return !temporary.overflow;
}

// The process id in a name of the form ".quimbo-<pid>-<n>.tmp"; 0 when the
// name is not of that form.
template <typename CharT>
unsigned long long TemporaryOwner(const CharT* name) {
    const char* prefix = ".quimbo-";
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (name[i] != CharT(prefix[i])) return 0;
    }
    unsigned long long pid = 0;
    size_t digits = 0;
    for (; name[i] >= CharT('0') && name[i] <= CharT('9') && digits < 19; ++i, ++digits) pid = pid * 10 + unsigned(name[i] - CharT('0'));
    if (!digits || name[i++] != CharT('-')) return 0;
    digits = 0;
    for (; name[i] >= CharT('0') && name[i] <= CharT('9'); ++i) ++digits;
    if (!digits) return 0;
    const char* suffix = ".tmp";
    for (size_t k = 0; suffix[k]; ++k, ++i) {
        if (name[i] != CharT(suffix[k])) return 0;
    }
    return name[i] == 0 ? pid : 0;
}

}  // namespace

#if QUIMBO_WIN32

bool WriteWholeFile(const PathChar* path, const void* data, size_t size, SystemError* error) {
    PathChar storage[kTemporaryCapacity];
    PathBuf temporary(storage);
    if (!FormTemporaryPath(path, temporary)) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    HANDLE file = CreateFileW(temporary.buf, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    const char* at = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        ok = WriteFile(file, at, chunk, &written, nullptr) && written == chunk;
        if (!ok && GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_DISK_FULL);
        at += written;
        size -= written;
    }
    ok = ok && FlushFileBuffers(file);
    if (!ok) *error = GetLastError();
    if (!CloseHandle(file) && ok) {
        *error = GetLastError();
        ok = false;
    }
    if (ok && !MoveFileExW(temporary.buf, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = GetLastError();
        ok = false;
    }
    if (!ok) DeleteFileW(temporary.buf);
    return ok;
}

void RemoveLeftoverTemporaries(const PathChar* folder) {
    PathChar storage[kTemporaryCapacity];
    PathBuf path(storage);
    path.AppendZ(folder);
    size_t folderLength = path.len;
    path.AppendZ(L".quimbo-*.tmp");
    if (path.overflow) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.buf, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        unsigned long long pid = TemporaryOwner(found.cFileName);
        if (!pid || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (pid == GetCurrentProcessId()) continue;
        // A run that is still going keeps its files; only a gone one's are left over.
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
        if (process) {
            bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
            CloseHandle(process);
            if (running) continue;
        } else if (GetLastError() != ERROR_INVALID_PARAMETER) {
            continue;
        }
        path.len = folderLength;
        path.buf[path.len] = 0;
        path.AppendZ(found.cFileName);
        if (!path.overflow) DeleteFileW(path.buf);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

#else

bool WriteWholeFile(const PathChar* path, const void* data, size_t size, SystemError* error) {
    PathChar storage[kTemporaryCapacity];
    PathBuf temporary(storage);
    if (!FormTemporaryPath(path, temporary)) {
        *error = ENAMETOOLONG;
        return false;
    }
    int fd = open(temporary.buf, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = static_cast<SystemError>(errno);
        return false;
    }
    const char* at = static_cast<const char*>(data);
    bool ok = true;
    while (ok && size > 0) {
        ssize_t written = write(fd, at, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            *error = written < 0 ? static_cast<SystemError>(errno) : static_cast<SystemError>(ENOSPC);
            ok = false;
            break;
        }
        at += written;
        size -= static_cast<size_t>(written);
    }
    if (ok && fsync(fd) != 0) {
        *error = static_cast<SystemError>(errno);
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        *error = static_cast<SystemError>(errno);
        ok = false;
    }
    if (ok && rename(temporary.buf, path) != 0) {
        *error = static_cast<SystemError>(errno);
        ok = false;
    }
    if (!ok) unlink(temporary.buf);
    return ok;
}

void RemoveLeftoverTemporaries(const PathChar* folder) {
    DIR* dir = opendir(folder);
    if (!dir) return;
    while (struct dirent* item = readdir(dir)) {
        unsigned long long pid = TemporaryOwner(item->d_name);
        if (!pid || pid == static_cast<unsigned long long>(getpid())) continue;
        // A run that is still going keeps its files; only a gone one's are left over.
        if (pid <= 0x7fffffffull && (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)) continue;
        unlinkat(dirfd(dir), item->d_name, 0);
    }
    closedir(dir);
}

#endif
