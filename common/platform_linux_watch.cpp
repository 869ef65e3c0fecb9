// Watching folders with inotify (Linux). One inotify descriptor for the
// process; each folder's watch descriptor is mapped to the caller's id. The
// wait polls that descriptor and the stop pipe together, so that an idle
// watch costs nothing until the kernel or a signal wakes it.
#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "grow.h"
#include "platform.h"
#include "platform_sys.h"

namespace {

// What changes a folder's list of images or its subfolders: entries created,
// written (while being written and when closed), renamed in or out, removed;
// and the folder itself removed or moved away.
constexpr uint32_t kWatchMask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

struct WatchSlot {
    int wd;
    int id;
};

}  // namespace

const char kWatchLimitHint[] = "raise it with: sysctl fs.inotify.max_user_watches=NUMBER (as root)";

struct FolderWatch {
    int fd;
    WatchSlot* slots;
    size_t count, capacity;
    // Room for many events at once; each is a header and a name of at most NAME_MAX + 1 bytes.
    alignas(struct inotify_event) char events[64 * 1024];
};

FolderWatch* StartWatch(SystemError* error) {
    FolderWatch* watch = static_cast<FolderWatch*>(calloc(1, sizeof(FolderWatch)));
    if (!watch) {
        *error = kErrorOutOfMemory;
        return nullptr;
    }
    watch->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch->fd < 0) {
        *error = static_cast<SystemError>(errno);
        free(watch);
        return nullptr;
    }
    return watch;
}

WatchAdd WatchFolder(FolderWatch* watch, const PathChar* folder, int id, SystemError* error) {
    if (sys::WatchLimitReached(static_cast<int>(watch->count))) return WatchAdd::LimitReached;
    if (!GrowBlock(&watch->slots, &watch->capacity, watch->count + 1)) {
        *error = kErrorOutOfMemory;
        return WatchAdd::Failed;
    }
    int wd = inotify_add_watch(watch->fd, folder, kWatchMask);
    if (wd < 0) {
        if (errno == ENOSPC) return WatchAdd::LimitReached;  // fs.inotify.max_user_watches
        *error = static_cast<SystemError>(errno);
        return WatchAdd::Failed;
    }
    watch->slots[watch->count++] = WatchSlot{wd, id};
    return WatchAdd::Watching;
}

namespace {

// Drops slot `index`; the kernel's watch too when no other id shares it (the
// same folder under two paths).
void DropSlot(FolderWatch* watch, size_t index, bool endKernelWatch) {
    int wd = watch->slots[index].wd;
    watch->slots[index] = watch->slots[--watch->count];
    if (!endKernelWatch) return;
    for (size_t i = 0; i < watch->count; ++i) {
        if (watch->slots[i].wd == wd) return;
    }
    inotify_rm_watch(watch->fd, wd);
}

}  // namespace

void UnwatchFolder(FolderWatch* watch, int id) {
    for (size_t i = 0; i < watch->count; ++i) {
        if (watch->slots[i].id == id) {
            DropSlot(watch, i, true);
            return;
        }
    }
}

void WaitForChanges(FolderWatch* watch, uint32_t milliseconds, void (*onEvent)(void* context, const WatchEvent& event),
                    void* context) {
    if (StopRequested()) return;
    struct pollfd waits[2] = {{watch->fd, POLLIN, 0}, {sys::StopWakeDescriptor(), POLLIN, 0}};
    int timeout = milliseconds == kWaitForever ? -1 : milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds);
    if (poll(waits, waits[1].fd >= 0 ? 2 : 1, timeout) <= 0 || StopRequested()) return;
    for (;;) {
        ssize_t got = read(watch->fd, watch->events, sizeof watch->events);
        if (got <= 0) return;  // EAGAIN: all read
        for (ssize_t at = 0; at < got;) {
            const struct inotify_event* event = reinterpret_cast<const struct inotify_event*>(watch->events + at);
            at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                onEvent(context, WatchEvent{-1, WatchEventKind::Unknown, false, nullptr, 0});
                continue;
            }
            // Gone: removed (IN_IGNORED follows IN_DELETE_SELF), or moved away,
            // where the kernel would go on watching it under its new name.
            bool gone = (event->mask & (IN_IGNORED | IN_MOVE_SELF)) != 0;
            for (size_t i = 0; i < watch->count;) {
                if (watch->slots[i].wd != event->wd) {
                    ++i;
                    continue;
                }
                int id = watch->slots[i].id;
                if (gone) {
                    DropSlot(watch, i, (event->mask & IN_IGNORED) == 0);
                    onEvent(context, WatchEvent{id, WatchEventKind::Gone, false, nullptr, 0});
                    continue;  // the slot moved into `i`
                }
                ++i;
                if (event->len == 0) continue;  // IN_DELETE_SELF: IN_IGNORED says it
                size_t length = 0;
                while (length < event->len && event->name[length]) ++length;
                onEvent(context, WatchEvent{id, WatchEventKind::Entry, (event->mask & IN_ISDIR) != 0, event->name, length});
            }
        }
    }
}

void EndWatch(FolderWatch* watch) {
    if (!watch) return;
    close(watch->fd);
    free(watch->slots);
    free(watch);
}
