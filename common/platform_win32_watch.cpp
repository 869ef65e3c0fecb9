// Watching folders with ReadDirectoryChangesW (Windows). Each folder is
// opened for listing and read asynchronously; every read completes on one I/O
// completion port, keyed by the folder's slot, so that one wait serves any
// number of folders (WaitForMultipleObjects stops at 64). A stop request
// (the console's control handler) posts a packet of its own to the port.
#include <windows.h>

#include <stdlib.h>

#include "grow.h"
#include "platform.h"
#include "platform_sys.h"

namespace {

constexpr ULONG_PTR kStopKey = ~ULONG_PTR(0);
constexpr DWORD kChangeFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;

struct WatchSlot {
    OVERLAPPED overlapped;
    HANDLE folder;  // null once the slot is no longer watched
    int id;
    bool reading;  // a read is queued; the slot's memory stays until it completes
    PathChar path[kPathCapacity];
    alignas(DWORD) unsigned char changes[16 * 1024];  // FILE_NOTIFY_INFORMATION records
};

volatile LONG Stop = 0;
HANDLE StopPort = nullptr;  // the port a stop request wakes

BOOL WINAPI OnConsoleControl(DWORD type) {
    InterlockedExchange(&Stop, 1);
    if (StopPort) PostQueuedCompletionStatus(StopPort, 0, kStopKey, nullptr);
    // For Ctrl+C and Ctrl+Break the process goes on by itself. When the
    // console is closed (or the user logs off) the system ends the process as
    // soon as this returns: it waits here, while the program finishes the file
    // it writes and ends itself, until the system's grace time is up.
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) Sleep(INFINITE);
    return TRUE;
}

}  // namespace

const char kWatchLimitHint[] = "";

struct FolderWatch {
    HANDLE port;
    WatchSlot** slots;  // never moved once made: the system writes into them
    size_t count, capacity;
    int watching;
};

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool StopRequested() { return InterlockedCompareExchange(&Stop, 0, 0) != 0; }

int sys::StopWakeDescriptor() { return -1; }

uint64_t MonotonicMilliseconds() { return GetTickCount64(); }

FolderWatch* StartWatch(SystemError* error) {
    FolderWatch* watch = static_cast<FolderWatch*>(calloc(1, sizeof(FolderWatch)));
    if (!watch) {
        *error = kErrorOutOfMemory;
        return nullptr;
    }
    watch->port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (!watch->port) {
        *error = GetLastError();
        free(watch);
        return nullptr;
    }
    StopPort = watch->port;
    return watch;
}

namespace {

// Queues the next read of `slot`'s changes. False when the folder cannot be
// read any more (removed: access denied, or the handle no longer valid).
bool QueueRead(WatchSlot* slot) {
    ZeroMemory(&slot->overlapped, sizeof slot->overlapped);
    slot->reading = ReadDirectoryChangesW(slot->folder, slot->changes, sizeof slot->changes, FALSE, kChangeFilter,
                                          nullptr, &slot->overlapped, nullptr) != 0;
    return slot->reading;
}

void CloseSlot(FolderWatch* watch, WatchSlot* slot) {
    if (!slot->folder) return;
    CancelIoEx(slot->folder, &slot->overlapped);
    CloseHandle(slot->folder);
    slot->folder = nullptr;
    --watch->watching;
}

}  // namespace

WatchAdd WatchFolder(FolderWatch* watch, const PathChar* folder, int id, SystemError* error) {
    if (sys::WatchLimitReached(watch->watching)) return WatchAdd::LimitReached;
    if (!GrowBlock(&watch->slots, &watch->capacity, watch->count + 1)) {
        *error = kErrorOutOfMemory;
        return WatchAdd::Failed;
    }
    WatchSlot* slot = static_cast<WatchSlot*>(calloc(1, sizeof(WatchSlot)));
    if (!slot) {
        *error = kErrorOutOfMemory;
        return WatchAdd::Failed;
    }
    PathBuf path(slot->path);
    path.AppendZ(folder);
    // Shared for deleting too: a watched folder can still be removed or renamed.
    slot->folder = CreateFileW(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (slot->folder == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        free(slot);
        return WatchAdd::Failed;
    }
    slot->id = id;
    if (!CreateIoCompletionPort(slot->folder, watch->port, watch->count, 0) || !QueueRead(slot)) {
        *error = GetLastError();
        CloseHandle(slot->folder);
        free(slot);
        return WatchAdd::Failed;
    }
    watch->slots[watch->count++] = slot;
    ++watch->watching;
    return WatchAdd::Watching;
}

void UnwatchFolder(FolderWatch* watch, int id) {
    for (size_t i = 0; i < watch->count; ++i) {
        if (watch->slots[i] && watch->slots[i]->folder && watch->slots[i]->id == id) CloseSlot(watch, watch->slots[i]);
    }
}

namespace {

// Hands the records of one completed read to `onEvent`.
void HandChanges(const WatchSlot* slot, DWORD size, void (*onEvent)(void*, const WatchEvent&), void* context) {
    PathChar pathStorage[kPathCapacity];
    for (DWORD at = 0; at + sizeof(FILE_NOTIFY_INFORMATION) <= size;) {
        const FILE_NOTIFY_INFORMATION* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(slot->changes + at);
        size_t length = record->FileNameLength / sizeof(WCHAR);
        // The system does not say whether a name is a folder; one that was
        // added or renamed in is looked at (a removed one is gone already).
        bool isFolder = false;
        if (record->Action == FILE_ACTION_ADDED || record->Action == FILE_ACTION_RENAMED_NEW_NAME) {
            PathBuf path(pathStorage);
            path.AppendZ(slot->path);
            path.Append(record->FileName, length);
            DWORD attributes = path.overflow ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.buf);
            isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                       !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        }
        onEvent(context, WatchEvent{slot->id, WatchEventKind::Entry, isFolder, record->FileName, length});
        if (record->NextEntryOffset == 0) break;
        at += record->NextEntryOffset;
    }
}

}  // namespace

void WaitForChanges(FolderWatch* watch, uint32_t milliseconds, void (*onEvent)(void* context, const WatchEvent& event),
                    void* context) {
    DWORD timeout = milliseconds == kWaitForever ? INFINITE : milliseconds;
    for (;;) {
        if (StopRequested()) return;
        DWORD size = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        BOOL ok = GetQueuedCompletionStatus(watch->port, &size, &key, &overlapped, timeout);
        if (!overlapped) return;  // timed out, or the stop packet
        if (key >= watch->count) continue;
        WatchSlot* slot = watch->slots[key];
        if (!slot) continue;
        slot->reading = false;
        if (!slot->folder) {  // no longer watched: its cancelled read, the last use of the slot
            free(slot);
            watch->slots[key] = nullptr;
            continue;
        }
        if (!ok) {
            // The folder was removed (or the share it is on went away).
            int id = slot->id;
            CloseSlot(watch, slot);
            onEvent(context, WatchEvent{id, WatchEventKind::Gone, false, nullptr, 0});
        } else {
            if (size == 0) onEvent(context, WatchEvent{slot->id, WatchEventKind::Unknown, false, nullptr, 0});  // too many to hold
            else HandChanges(slot, size, onEvent, context);
            if (!QueueRead(slot)) {
                int id = slot->id;
                CloseSlot(watch, slot);
                onEvent(context, WatchEvent{id, WatchEventKind::Gone, false, nullptr, 0});
            }
        }
        timeout = 0;  // hand over whatever else is queued, then return
    }
}

void EndWatch(FolderWatch* watch) {
    if (!watch) return;
    for (size_t i = 0; i < watch->count; ++i) {
        if (!watch->slots[i]) continue;
        CloseSlot(watch, watch->slots[i]);
        // A read that was cancelled may still be completing into the slot; the
        // process ends soon after this, so a slot still read is left to it.
        if (!watch->slots[i]->reading) free(watch->slots[i]);
    }
    StopPort = nullptr;
    CloseHandle(watch->port);
    free(watch->slots);
    free(watch);
}
