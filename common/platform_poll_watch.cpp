// Watching folders where the system offers no change notifications that we
// use (POSIX systems other than Linux): every kWatchPollMilliseconds each
// folder's time is read, and a folder whose time moved is listed again and
// compared with its last list, entry by entry (name and time), so that the
// caller is told names, as the notifying systems tell them, and can tell its
// own files from the user's. A file rewritten in place, which leaves its
// folder's time alone, shows with the folder's next change.
#include <poll.h>
#include <stdlib.h>

#include <algorithm>

#include "grow.h"
#include "platform.h"
#include "platform_sys.h"

namespace {

struct PolledEntry {
    size_t nameOffset, nameLength;
    uint64_t modified;
    bool isFolder;
};

// One list of a folder's entries.
struct EntryList {
    PathChar* names;
    size_t namesUsed, namesCapacity;
    PolledEntry* entries;
    size_t count, capacity;
};

struct PolledFolder {
    int id;
    bool live;
    uint64_t folderTime;
    PathChar path[kPathCapacity];
    EntryList list;
};

void FreeList(EntryList* list) {
    free(list->names);
    free(list->entries);
    *list = EntryList{};
}

// Lists `folder` into `list`, sorted by name. False when it cannot be read
// or memory ran out (`list` is then empty).
bool ListFolder(const PathChar* folder, EntryList* list) {
    *list = EntryList{};
    PathChar storage[kPathCapacity];
    PathBuf path(storage);
    path.AppendZ(folder);
    size_t folderLength = path.len;
    path.Append(PathChar('*'));
    if (path.overflow) return false;
    DirSearch search;
    FoundEntry entry;
    SystemError error = 0;
    if (FindFirstEntry(path.buf, &search, &entry, &error)) {
        do {
            if (!GrowBlock(&list->names, &list->namesCapacity, list->namesUsed + entry.nameLength + 1) ||
                !GrowBlock(&list->entries, &list->capacity, list->count + 1)) {
                EndSearch(&search);
                FreeList(list);
                return false;
            }
            PathChar* name = list->names + list->namesUsed;
            for (size_t i = 0; i < entry.nameLength; ++i) name[i] = entry.name[i];
            name[entry.nameLength] = 0;
            path.len = folderLength;
            path.Append(name, entry.nameLength);
            FileState state;
            ReadFileState(path.buf, &state);
            list->entries[list->count++] =
                PolledEntry{list->namesUsed, entry.nameLength, state.modified, (entry.attributes & kAttributeDirectory) != 0};
            list->namesUsed += entry.nameLength + 1;
        } while (FindNextEntry(&search, &entry, &error));
        EndSearch(&search);
    }
    if (error) {
        FreeList(list);
        return false;
    }
    const PathChar* names = list->names;
    std::sort(list->entries, list->entries + list->count, [names](const PolledEntry& a, const PolledEntry& b) {
        return NameComesBefore(names + a.nameOffset, a.nameLength, names + b.nameOffset, b.nameLength);
    });
    return true;
}

// The entry of `list` named `name`, or null.
const PolledEntry* FindEntry(const EntryList& list, const PathChar* name, size_t length) {
    const PathChar* names = list.names;
    const PolledEntry* begin = list.entries;
    const PolledEntry* end = begin + list.count;
    const PolledEntry* found = std::lower_bound(begin, end, 0, [&](const PolledEntry& e, int) {
        return NameComesBefore(names + e.nameOffset, e.nameLength, name, length);
    });
    if (found == end || NameComesBefore(name, length, names + found->nameOffset, found->nameLength)) return nullptr;
    return found;
}

void HandEntry(int id, const EntryList& list, const PolledEntry& entry, void (*onEvent)(void*, const WatchEvent&),
               void* context) {
    onEvent(context, WatchEvent{id, WatchEventKind::Entry, entry.isFolder, list.names + entry.nameOffset, entry.nameLength});
}

}  // namespace

const char kWatchLimitHint[] = "";

struct FolderWatch {
    PolledFolder** folders;
    size_t count, capacity;
    int watching;
    uint64_t lastPoll;
};

FolderWatch* StartWatch(SystemError* error) {
    FolderWatch* watch = static_cast<FolderWatch*>(calloc(1, sizeof(FolderWatch)));
    if (!watch) *error = kErrorOutOfMemory;
    else watch->lastPoll = MonotonicMilliseconds();
    return watch;
}

WatchAdd WatchFolder(FolderWatch* watch, const PathChar* folder, int id, SystemError* error) {
    if (sys::WatchLimitReached(watch->watching)) return WatchAdd::LimitReached;
    PolledFolder* polled = static_cast<PolledFolder*>(calloc(1, sizeof(PolledFolder)));
    if (!polled || !GrowBlock(&watch->folders, &watch->capacity, watch->count + 1)) {
        free(polled);
        *error = kErrorOutOfMemory;
        return WatchAdd::Failed;
    }
    PathBuf path(polled->path);
    path.AppendZ(folder);
    FileState state;
    ReadFileState(folder, &state);
    if (path.overflow || !state.exists || state.isFile || !ListFolder(folder, &polled->list)) {
        *error = path.overflow ? kErrorNameTooLong : kErrorAccessDenied;
        free(polled);
        return WatchAdd::Failed;
    }
    polled->id = id;
    polled->live = true;
    polled->folderTime = state.modified;
    watch->folders[watch->count++] = polled;
    ++watch->watching;
    return WatchAdd::Watching;
}

void UnwatchFolder(FolderWatch* watch, int id) {
    for (size_t i = 0; i < watch->count; ++i) {
        PolledFolder* polled = watch->folders[i];
        if (polled->id != id || !polled->live) continue;
        polled->live = false;
        FreeList(&polled->list);
        --watch->watching;
    }
}

namespace {

// Looks at every folder once; true when something was handed over.
bool PollFolders(FolderWatch* watch, void (*onEvent)(void*, const WatchEvent&), void* context) {
    bool handed = false;
    for (size_t i = 0; i < watch->count; ++i) {
        PolledFolder* polled = watch->folders[i];
        if (!polled->live) continue;
        FileState state;
        ReadFileState(polled->path, &state);
        if (!state.exists || state.isFile) {
            UnwatchFolder(watch, polled->id);
            onEvent(context, WatchEvent{polled->id, WatchEventKind::Gone, false, nullptr, 0});
            handed = true;
            continue;
        }
        if (state.modified == polled->folderTime) continue;
        polled->folderTime = state.modified;
        EntryList now;
        if (!ListFolder(polled->path, &now)) {
            onEvent(context, WatchEvent{polled->id, WatchEventKind::Unknown, false, nullptr, 0});
            handed = true;
            continue;
        }
        for (size_t k = 0; k < now.count; ++k) {  // new or changed
            const PolledEntry& entry = now.entries[k];
            const PolledEntry* before = FindEntry(polled->list, now.names + entry.nameOffset, entry.nameLength);
            if (before && before->modified == entry.modified) continue;
            HandEntry(polled->id, now, entry, onEvent, context);
            handed = true;
        }
        for (size_t k = 0; k < polled->list.count; ++k) {  // removed
            const PolledEntry& entry = polled->list.entries[k];
            if (FindEntry(now, polled->list.names + entry.nameOffset, entry.nameLength)) continue;
            HandEntry(polled->id, polled->list, entry, onEvent, context);
            handed = true;
        }
        FreeList(&polled->list);
        polled->list = now;
    }
    return handed;
}

}  // namespace

void WaitForChanges(FolderWatch* watch, uint32_t milliseconds, void (*onEvent)(void* context, const WatchEvent& event),
                    void* context) {
    uint64_t start = MonotonicMilliseconds();
    for (;;) {
        if (StopRequested()) return;
        uint64_t now = MonotonicMilliseconds();
        uint64_t nextPoll = watch->lastPoll + kWatchPollMilliseconds;
        if (now >= nextPoll) {
            watch->lastPoll = now;
            if (PollFolders(watch, onEvent, context)) return;
            continue;
        }
        uint64_t until = nextPoll;
        if (milliseconds != kWaitForever && start + milliseconds < until) until = start + milliseconds;
        if (now >= until) return;
        struct pollfd wake = {sys::StopWakeDescriptor(), POLLIN, 0};
        poll(&wake, wake.fd >= 0 ? 1 : 0, static_cast<int>(until - now));
    }
}

void EndWatch(FolderWatch* watch) {
    if (!watch) return;
    for (size_t i = 0; i < watch->count; ++i) {
        FreeList(&watch->folders[i]->list);
        free(watch->folders[i]);
    }
    free(watch->folders);
    free(watch);
}
