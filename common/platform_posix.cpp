// The platform layer on POSIX systems, for quimbo-build.
//
// Windows semantics where the gallery depends on them: wildcard patterns match
// without regard to letter case, and the matches of one pattern come ordered
// by name without regard to case, as the Windows search returns them on NTFS.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>

#include "common.h"
#include "grow.h"
#include "platform.h"
#include "platform_sys.h"
#include "unicode.h"

const SystemError kErrorNameTooLong = ENAMETOOLONG;
const SystemError kErrorDiskFull = ENOSPC;
const SystemError kErrorOutOfMemory = ENOMEM;
const SystemError kErrorAccessDenied = EACCES;

// ---- Files -------------------------------------------------------------------------------

static FileHandle HandleOf(int fd) { return static_cast<FileHandle>(fd) + 1; }  // 0 stays "no file"
static int DescriptorOf(FileHandle file) { return static_cast<int>(file - 1); }

// ---- The folder a thread works in (WorkInFolder) --------------------------------------------

static thread_local const HeldFolder* ThreadFolder = nullptr;

void WorkInFolder(const HeldFolder* folder) { ThreadFolder = folder && folder->handle ? folder : nullptr; }

sys::PathAt sys::AtThreadFolder(const PathChar* path) {
    const HeldFolder* folder = ThreadFolder;
    if (folder && strncmp(path, folder->path, folder->pathLength) == 0) {
        const char* rest = path + folder->pathLength;
        int dir = DescriptorOf(folder->handle);
        if (!*rest) return PathAt{dir, "."};
        if (!strchr(rest, '/')) return PathAt{dir, rest};
    }
    return PathAt{AT_FDCWD, path};
}

using At = sys::PathAt;
static At AtOf(const char* path) { return sys::AtThreadFolder(path); }

// The folder `path` (ending in "/"), through the thread's held folder when it
// is that one. For opendir and flock: a new open of its own.
static int OpenFolderOf(const char* path) {
    At at = AtOf(path);
    return openat(at.dir, at.name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

FolderOpen sys::OpenFolder(const PathChar* path, const HeldFolder* base, HeldFolder* folder, SystemError* error) {
    folder->handle = 0;
    folder->path = path;
    folder->pathLength = strlen(path);
    *error = 0;
    int fd = -1;
    if (!base || !base->handle || strncmp(path, base->path, base->pathLength) != 0) {
        fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            *error = static_cast<SystemError>(errno);
            return errno == ENOTDIR ? FolderOpen::NotFolder : FolderOpen::Failed;
        }
    } else {
        // One name at a time from the base: none of them may be a link now.
        const char* at = path + base->pathLength;
        fd = DescriptorOf(base->handle);
        bool own = false;
        char name[NAME_MAX + 1];
        while (*at) {
            const char* end = strchr(at, '/');
            size_t length = end ? static_cast<size_t>(end - at) : strlen(at);
            if (length > NAME_MAX) {
                if (own) close(fd);
                *error = ENAMETOOLONG;
                return FolderOpen::Failed;
            }
            memcpy(name, at, length);
            name[length] = 0;
            at += length + (end ? 1 : 0);
            if (length == 0) continue;
            int next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            int failure = errno;
            if (own) close(fd);
            if (next < 0) {
                *error = static_cast<SystemError>(failure);
                return failure == ELOOP || failure == ENOTDIR ? FolderOpen::NotFolder : FolderOpen::Failed;
            }
            fd = next;
            own = true;
        }
        if (!own) fd = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            *error = static_cast<SystemError>(errno);
            return FolderOpen::Failed;
        }
    }
    folder->handle = HandleOf(fd);
    return FolderOpen::Opened;
}

void CloseHeldFolder(HeldFolder* folder) {
    if (ThreadFolder == folder) ThreadFolder = nullptr;
    if (folder->handle) close(DescriptorOf(folder->handle));
    folder->handle = 0;
}

// True when `path` still names the file open as `fd`.
static bool StillNamed(int fd, const char* path) {
    struct stat opened, named;
    At at = AtOf(path);
    return fstat(fd, &opened) == 0 && fstatat(at.dir, at.name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

FileHandle sys::CreateNewFile(const PathChar* path, SystemError* error) {
    // The file is made and then locked, in two steps. A build that finds it in
    // between takes it for one a killed run left behind and may lock and remove
    // it; then the name no longer leads to the file made here (or the lock is
    // the other build's), and it is made once more.
    for (int attempt = 0;; ++attempt) {
        At at = AtOf(path);
        int fd = openat(at.dir, at.name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            *error = static_cast<SystemError>(errno);
            return 0;
        }
        bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;  // released by the close
        if (!locked && errno != EWOULDBLOCK) return HandleOf(fd);  // a file system without locks
        if (locked && StillNamed(fd, path)) return HandleOf(fd);
        close(fd);
        if (attempt == 2) {
            *error = EEXIST;
            return 0;
        }
        usleep(1000);  // time for the other build to finish its removal
    }
}

bool sys::RemoveIfAbandoned(const PathChar* path) {
    At at = AtOf(path);
    int fd = openat(at.dir, at.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    // Locked (and checked to be the file at the name) before it is removed:
    // one whose writer is still running holds its lock.
    bool abandoned = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                     StillNamed(fd, path) && unlinkat(at.dir, at.name, 0) == 0;
    close(fd);
    return abandoned;
}

bool sys::WriteBytes(FileHandle file, const void* data, size_t size, SystemError* error) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = write(DescriptorOf(file), at, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            *error = static_cast<SystemError>(errno);
            return false;
        }
        if (written == 0) {
            *error = ENOSPC;
            return false;
        }
        at += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool sys::FlushFile(FileHandle file, SystemError* error) {
    if (fsync(DescriptorOf(file)) != 0) {
        *error = static_cast<SystemError>(errno);
        return false;
    }
    return true;
}

bool sys::CloseFile(FileHandle file, SystemError* error) {
    if (close(DescriptorOf(file)) != 0) {
        *error = static_cast<SystemError>(errno);
        return false;
    }
    return true;
}

bool sys::MoveOver(const PathChar* from, const PathChar* to, SystemError* error) {
    At source = AtOf(from), target = AtOf(to);
    if (renameat(source.dir, source.name, target.dir, target.name) != 0) {
        *error = static_cast<SystemError>(errno);
        return false;
    }
    return true;
}

void sys::RemoveFile(const PathChar* path) {
    At at = AtOf(path);
    unlinkat(at.dir, at.name, 0);
}

bool IsSpecialFile(const PathChar* path) {
    struct stat info;
    At at = AtOf(path);
    if (fstatat(at.dir, at.name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    return !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode);
}

// ---- Folder lock ---------------------------------------------------------------------------

const SystemError kErrorFolderBusy = EBUSY;

bool LockFolder(const PathChar* folder, uint32_t waitMilliseconds, FolderLock* lock) {
    lock->handle = 0;
    int fd = OpenFolderOf(folder);
    if (fd < 0) return true;  // not even readable: the build will say what stands in its way
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lock->handle = HandleOf(fd);
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) break;  // a file system without locks (some network ones)
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        int64_t waited = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (waited >= waitMilliseconds) {
            close(fd);
            return false;
        }
        // Polled: flock has no time-out of its own. A build of a small folder
        // takes a few milliseconds, so a short step keeps the wait short.
        int64_t step = waitMilliseconds - waited < 20 ? waitMilliseconds - waited : 20;
        struct timespec pause = {0, static_cast<long>(step) * 1000000};
        nanosleep(&pause, nullptr);
    }
    close(fd);
    return true;
}

void UnlockFolder(FolderLock* lock) {
    if (lock->handle) close(DescriptorOf(lock->handle));  // the close releases the flock
    lock->handle = 0;
}

long sys::ReadStart(const PathChar* path, char* data, size_t size, SystemError* error) {
    // Not through a link, and without waiting for a writer should it be a FIFO.
    At at = AtOf(path);
    int fd = openat(at.dir, at.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = (errno == ENOENT || errno == ELOOP || errno == ENOTDIR) ? 0 : static_cast<SystemError>(errno);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        *error = 0;
        return -1;
    }
    size_t total = 0;
    while (total < size) {
        ssize_t got = read(fd, data + total, size - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = static_cast<SystemError>(errno);
            close(fd);
            return -1;
        }
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    close(fd);
    return static_cast<long>(total);
}

bool FullFolderPath(const PathChar* folder, PathChar* out, size_t capacity) {
    char* full = realpath(folder, nullptr);
    if (!full) return false;
    size_t length = strlen(full);
    bool fits = length < capacity;
    if (fits) memcpy(out, full, length + 1);
    free(full);
    return fits;
}

bool PathExists(const PathChar* path) {
    struct stat info;
    At at = AtOf(path);
    return fstatat(at.dir, at.name, &info, 0) == 0;
}

// ---- Directory search --------------------------------------------------------------------

namespace {

unsigned char FoldCase(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

// Wildcard match of `*` and `?` without regard to ASCII letter case.
bool MatchesPattern(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && FoldCase(*pattern) == FoldCase(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

// The UTF-16 units of a UTF-8 name, one at a time and upper-cased unit by
// unit: the Windows search on NTFS orders names by these. A byte that is not
// part of valid UTF-8 stands for itself as a lone low surrogate (U+DC80 to
// U+DCFF), so such names still get a fixed place. 0 marks the end.
struct OrderUnits {
    const unsigned char* at;
    uint32_t low = 0;  // the second unit of a surrogate pair, still to come

    uint32_t Next() {
        if (low) {
            uint32_t unit = low;
            low = 0;
            return unit;
        }
        unsigned char c = *at;
        if (c < 0x80) {
            if (c) ++at;
            return FoldCase(c);
        }
        uint32_t cp = 0;
        size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (n && c < 0xF5) {
            cp = c & (0x7F >> n);
            for (size_t i = 1; i < n && n; ++i) {
                if ((at[i] & 0xC0) != 0x80) n = 0;
                else cp = (cp << 6) | (at[i] & 0x3F);
            }
        } else {
            n = 0;
        }
        if (n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) n = 0;
        if (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) n = 0;
        if (n == 0) {
            ++at;
            return 0xDC00u | c;
        }
        at += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            low = 0xDC00u | (cp & 0x3FF);
            return 0xD800u | (cp >> 10);
        }
        return PlatformUpperCase(static_cast<char16_t>(cp));
    }
};

struct Match {
    size_t nameOffset;
    size_t nameLength;
    uint32_t attributes;
};

// All matches of one pattern, read at the start and handed out in order.
struct PosixSearch {
    char* names;  // every matching name, each zero-terminated
    Match* matches;
    size_t count;
    size_t next;
};
static_assert(sizeof(PosixSearch) <= sizeof(DirSearch::storage), "DirSearch storage too small");

PosixSearch* SearchOf(DirSearch* search) { return reinterpret_cast<PosixSearch*>(search->storage); }


// True when name `a` comes before name `b` in the order of the Windows search.
bool NameBefore(const char* a, const char* b) {
    OrderUnits x{reinterpret_cast<const unsigned char*>(a)};
    OrderUnits y{reinterpret_cast<const unsigned char*>(b)};
    for (;;) {
        uint32_t ux = x.Next(), uy = y.Next();
        if (ux != uy) return ux < uy;
        if (ux == 0) break;
    }
    return strcmp(a, b) < 0;
}

// Opens the folder of `patternPath` and points `pattern` at its last part.
DIR* OpenPatternFolder(const char* patternPath, const char** pattern) {
    const char* slash = strrchr(patternPath, '/');
    *pattern = slash ? slash + 1 : patternPath;
    size_t folderLength = slash ? static_cast<size_t>(slash - patternPath + 1) : 0;
    char folder[4096];
    if (folderLength + 1 > sizeof(folder)) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    memcpy(folder, patternPath, folderLength);
    folder[folderLength] = 0;
    int fd = OpenFolderOf(folderLength ? folder : ".");
    if (fd < 0) return nullptr;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        int failure = errno;
        close(fd);
        errno = failure;
    }
    return dir;
}

// Reads the folder of `patternPath` and keeps the matching entries. False
// with `error` 0 when nothing matches, or with the system's code when the
// folder cannot be read.
bool CollectMatches(const char* patternPath, PosixSearch* s, SystemError* error) {
    s->names = nullptr;
    s->matches = nullptr;
    s->count = 0;
    s->next = 0;
    const char* pattern = nullptr;
    *error = 0;
    DIR* dir = OpenPatternFolder(patternPath, &pattern);
    if (!dir) {
        *error = static_cast<SystemError>(errno ? errno : ENAMETOOLONG);
        return false;
    }
    int dirFd = dirfd(dir);
    size_t namesUsed = 0, namesCapacity = 0, matchCapacity = 0;
    bool ok = true;
    for (;;) {
        errno = 0;
        struct dirent* item = readdir(dir);
        if (!item) {
            if (errno) {
                *error = static_cast<SystemError>(errno);
                ok = false;
            }
            break;
        }
        if (!MatchesPattern(pattern, item->d_name)) continue;
        // readdir mostly tells a file from a folder; a link (followed: a
        // dangling one shows nothing) and an entry it says nothing about are looked at.
        bool folder = item->d_type == DT_DIR;
        bool link = item->d_type == DT_LNK;
        if (item->d_type != DT_REG && item->d_type != DT_DIR) {
            struct stat info;
            if (fstatat(dirFd, item->d_name, &info, 0) != 0) continue;
            folder = S_ISDIR(info.st_mode);
            struct stat own;
            if (item->d_type == DT_UNKNOWN && fstatat(dirFd, item->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0)
                link = S_ISLNK(own.st_mode);
        }
        size_t length = strlen(item->d_name);
        if (!GrowBlock(&s->names, &namesCapacity, namesUsed + length + 1) ||
            !GrowBlock(&s->matches, &matchCapacity, s->count + 1)) {
            *error = ENOMEM;
            ok = false;
            break;
        }
        memcpy(s->names + namesUsed, item->d_name, length + 1);
        Match& m = s->matches[s->count++];
        m.nameOffset = namesUsed;
        m.nameLength = length;
        m.attributes = folder ? kAttributeDirectory : 0x80;  // 0x80: a normal file
        if (link) m.attributes |= kAttributeLink;
        if (item->d_name[0] == '.') m.attributes |= kAttributeHidden;
        namesUsed += length + 1;
    }
    closedir(dir);
    if (!ok || s->count == 0) {
        free(s->names);
        free(s->matches);
        return false;
    }
    const char* names = s->names;
    std::sort(s->matches, s->matches + s->count, [names](const Match& a, const Match& b) {
        return NameBefore(names + a.nameOffset, names + b.nameOffset);
    });
    return true;
}

bool HandOut(PosixSearch* s, FoundEntry* entry) {
    if (s->next >= s->count) return false;
    const Match& m = s->matches[s->next++];
    entry->name = s->names + m.nameOffset;
    entry->nameLength = m.nameLength;
    entry->attributes = m.attributes;
    return true;
}

}  // namespace

bool NameComesBefore(const PathChar* a, size_t aLength, const PathChar* b, size_t bLength) {
    // NameBefore reads zero-terminated names; a name has at most NAME_MAX bytes.
    char x[NAME_MAX + 1], y[NAME_MAX + 1];
    if (aLength > NAME_MAX) aLength = NAME_MAX;
    if (bLength > NAME_MAX) bLength = NAME_MAX;
    memcpy(x, a, aLength);
    memcpy(y, b, bLength);
    x[aLength] = 0;
    y[bLength] = 0;
    return NameBefore(x, y);
}

bool sys::FindFirst(const PathChar* pattern, DirSearch* search, FoundEntry* entry, SystemError* error) {
    search->open = CollectMatches(pattern, SearchOf(search), error);
    return search->open && HandOut(SearchOf(search), entry);
}

bool sys::FindNext(DirSearch* search, FoundEntry* entry, SystemError* error) {
    *error = 0;
    return search->open && HandOut(SearchOf(search), entry);
}

void EndSearch(DirSearch* search) {
    if (!search->open) return;
    free(SearchOf(search)->names);
    free(SearchOf(search)->matches);
    search->open = false;
}

namespace {

// The first match of `patternPath` in the order of the search, found in one
// pass over the folder without collecting the others: only a name that comes
// before the best so far is looked at more closely. False when nothing matches.
// With `anyFile`, the first match that is not a folder, and the pass ends at it.
bool FindFirstMatch(const char* patternPath, uint32_t* attributes, uint64_t* size, bool anyFile = false) {
    const char* pattern = nullptr;
    DIR* dir = OpenPatternFolder(patternPath, &pattern);
    if (!dir) return false;
    char best[NAME_MAX + 1];
    bool found = false;
    while (struct dirent* item = readdir(dir)) {
        if (!MatchesPattern(pattern, item->d_name)) continue;
        if (anyFile) {
            if (item->d_type == DT_DIR) continue;
            struct stat info;
            if (item->d_type != DT_REG && (fstatat(dirfd(dir), item->d_name, &info, 0) != 0 || S_ISDIR(info.st_mode)))
                continue;
            *attributes = 0x80;
            found = true;
            break;
        }
        if (found && !NameBefore(item->d_name, best)) continue;
        struct stat info;
        if (fstatat(dirfd(dir), item->d_name, &info, 0) != 0) continue;  // a dangling link shows nothing
        size_t length = strlen(item->d_name);
        if (length >= sizeof(best)) continue;
        memcpy(best, item->d_name, length + 1);
        *attributes = S_ISDIR(info.st_mode) ? kAttributeDirectory : 0x80;
        *size = static_cast<uint64_t>(info.st_size);
        found = true;
    }
    closedir(dir);
    return found;
}

}  // namespace

bool FileMatchExists(const PathChar* pattern) {
    uint32_t attributes = 0;
    uint64_t size = 0;
    return FindFirstMatch(pattern, &attributes, &size, true);
}

uint32_t FirstMatchSize(const PathChar* pattern) {
    uint32_t attributes = 0;
    uint64_t size = 0;
    if (!FindFirstMatch(pattern, &attributes, &size) || (attributes & kAttributeDirectory)) return 0;
    return static_cast<uint32_t>(size);
}

// ---- Names -------------------------------------------------------------------------------

void AppendNameText(const PathChar* name, size_t length, ByteBuf& out) { BytesToValidUtf8({name, length}, out); }

void AppendNameBytes(const PathChar* name, size_t length, ByteBuf& out) { out.Append(name, length); }

bool NameContainsNoCase(const PathChar* name, size_t length, const char* part) {
    size_t partLength = strlen(part);
    for (size_t start = 0; start + partLength <= length; ++start) {
        size_t i = 0;
        while (i < partLength && FoldCase(name[start + i]) == FoldCase(part[i])) ++i;
        if (i == partLength) return true;
    }
    return false;
}

char16_t PlatformUpperCase(char16_t unit) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!utf8) return unit;
    wint_t upper = towupper_l(unit, utf8);
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

// ---- Clock, language, error texts ----------------------------------------------------------

static const LocalTime* FixedClock = nullptr;

void SetClockForTests(const LocalTime* fixed) { FixedClock = fixed; }

LocalTime ReadLocalTime() {
    if (FixedClock) return *FixedClock;
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

uint16_t UserLanguageId() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value && *value) return (value[0] == 'd' && value[1] == 'e') ? 0x0407 : 0x0409;
    }
    return 0x0409;
}

const PathChar* SystemErrorText(SystemError code, PathChar* out) {
    const char* text = strerror(static_cast<int>(code));
    size_t length = TrimErrorText(text, strlen(text));
    if (length >= kSystemErrorTextCapacity) length = 0;
    memcpy(out, text, length);
    out[length] = 0;
    return out;
}
