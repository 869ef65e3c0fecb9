// quimbo-build --watch: the folders watched, the changes noted per folder,
// and the rebuilds once a folder is quiet.
#include "watch.h"

#include <stdio.h>
#include <stdlib.h>

#include "../common/common.h"
#include "../common/grow.h"
#include "../gallery/build.h"
#include "../gallery/listing.h"
#include "../previews/preview_job.h"
#include "cli_platform.h"
#include "cli_previews.h"
#include "folder_build.h"
#include "cli_text.h"

namespace {

bool ShowPreviews = false;  // the rebuild lines count previews (--previews)

struct WatchedFolder {
    size_t pathOffset, pathLength;  // relative to the root, in Watcher::paths, ending in a separator ("" for the root)
    bool live;        // watched now
    bool gone;        // went away (a folder of that name made later is a new one)
    bool pending;     // changed since its last build
    bool rescan;      // --recursive: look for new folders in it
    bool check;       // --recursive: an entry of this name changed in its parent: is it still there?
    uint64_t first, last;  // when its first and its last change since its last build were seen
};

struct Watcher {
    const PathChar* root;
    WatchOptions options;
    FolderWatch* watch;
    PathChar* paths;
    size_t pathsUsed, pathsCapacity;
    WatchedFolder* folders;
    size_t count, capacity;
    bool rootGone;
    bool everythingChanged;   // the system dropped events: every folder is looked at again
    bool indexChanged;        // --recursive: a folder went away
    uint64_t indexChangedAt;
    int notWatched;           // folders left unwatched at the system's limit
};

const PathChar* PathOf(const Watcher* w, size_t index) { return w->paths + w->folders[index].pathOffset; }

void FormPath(const Watcher* w, size_t index, PathBuf& path) {
    path.Clear();
    path.AppendZ(w->root);
    path.Append(PathOf(w, index), w->folders[index].pathLength);
}

// "quimbo-build: PATH: " `what`, on stderr.
void ReportFolder(const PathChar* path, const char* what, SystemError error = 0) {
    char storage[kPathTextCapacity + 4 * kSystemErrorTextCapacity + 200];
    ByteBuf line(storage);
    line.Append("quimbo-build: ");
    AppendPathText(path, TextLength(path), line);
    line.Append(": ");
    line.AppendZ(what);
    if (error) AppendErrorText(error, line);
    EnterOutputLock();
    PrintLineLocked(false, line);
    LeaveOutputLock();
}

// Watches the folder `relative` (ending in a separator) and notes it; a
// folder at the system's limit is counted, and the first such said with the
// way to raise the limit. False when memory ran out.
bool AddFolder(Watcher* w, const PathChar* relative, size_t length, bool pending) {
    if (!GrowBlock(&w->paths, &w->pathsCapacity, w->pathsUsed + length + 1) ||
        !GrowBlock(&w->folders, &w->capacity, w->count + 1))
        return false;
    PathChar* stored = w->paths + w->pathsUsed;
    for (size_t i = 0; i < length; ++i) stored[i] = relative[i];
    stored[length] = 0;
    uint64_t now = MonotonicMilliseconds();
    w->folders[w->count] = WatchedFolder{w->pathsUsed, length, false, false, pending, false, false, now, now};
    w->pathsUsed += length + 1;
    PathChar storage[kPathCapacity];
    PathBuf path(storage);
    FormPath(w, w->count, path);
    SystemError error = 0;
    WatchAdd added = path.overflow ? WatchAdd::Failed : WatchFolder(w->watch, path.buf, int(w->count), &error);
    if (path.overflow) error = kErrorNameTooLong;
    if (added == WatchAdd::Watching) {
        w->folders[w->count].live = true;
    } else if (added == WatchAdd::LimitReached) {
        if (w->notWatched++ == 0) {
            char what[300];
            ByteBuf text(what);
            text.Append("not watched: the system's limit of watched folders is reached");
            if (kWatchLimitHint[0]) {
                text.Append("; ");
                text.AppendZ(kWatchLimitHint);
            }
            text.Append('\0');
            ReportFolder(path.buf, what);
        }
    } else {
        ReportFolder(path.buf, "not watched: ", error);
    }
    ++w->count;
    return true;
}

// The folder `relative` if the watcher knows it (watched, or left unwatched
// at the limit) and it has not gone away; else -1.
long FindKnown(const Watcher* w, const PathChar* relative, size_t length) {
    for (size_t i = 0; i < w->count; ++i) {
        if (w->folders[i].gone || w->folders[i].pathLength != length) continue;
        const PathChar* path = PathOf(w, i);
        size_t k = 0;
        while (k < length && path[k] == relative[k]) ++k;
        if (k == length) return long(i);
    }
    return -1;
}
bool IsKnown(const Watcher* w, const PathChar* relative, size_t length) { return FindKnown(w, relative, length) >= 0; }

// Folder `index` went away: it and every folder below it are said and
// dropped, and the index is written again.
void DropGone(Watcher* w, size_t index, uint64_t now) {
    size_t length = w->folders[index].pathLength;
    const PathChar* gonePath = PathOf(w, index);
    for (size_t i = 0; i < w->count; ++i) {
        WatchedFolder& f = w->folders[i];
        if (f.gone || f.pathLength < length) continue;
        size_t k = 0;
        const PathChar* path = PathOf(w, i);
        while (k < length && path[k] == gonePath[k]) ++k;
        if (k != length) continue;
        if (f.live) UnwatchFolder(w->watch, int(i));
        f.live = f.pending = f.check = false;
        f.gone = true;
        PathChar storage[kPathCapacity];
        PathBuf full(storage);
        FormPath(w, i, full);
        ReportFolder(full.buf, "gone; no longer watched");
    }
    w->indexChanged = true;
    w->indexChangedAt = now;
}

// --recursive: watches every folder below folder `index` that the walk goes
// into (tree.h, IsWalkedFolder) and is not known yet, and the folders below
// those, breadth first. New ones are marked changed when `markNew` (their
// galleries come with the next rebuild). False when memory ran out.
bool WatchFoldersBelow(Watcher* w, size_t index, bool markNew) {
    size_t firstNew = w->count;
    for (size_t at = index; at < w->count; at = at == index ? firstNew : at + 1) {
        PathChar relativeStorage[kPathCapacity];
        PathBuf relative(relativeStorage);
        relative.Append(PathOf(w, at), w->folders[at].pathLength);
        PathChar patternStorage[kPathCapacity];
        PathBuf pattern(patternStorage);
        FormPath(w, at, pattern);
        pattern.Append(PathChar('*'));
        if (pattern.overflow || w->folders[at].gone) continue;
        DirSearch search;
        FoundEntry entry;
        SystemError error = 0;
        if (!FindFirstEntry(pattern.buf, &search, &entry, &error)) continue;
        do {
            if (!IsWalkedFolder(entry)) continue;
            PathChar childStorage[kPathCapacity];
            PathBuf child(childStorage);
            child.Append(relative.buf, relative.len);
            child.Append(entry.name, entry.nameLength);
            child.Append(kPathSeparator);
            if (child.overflow || IsKnown(w, child.buf, child.len)) continue;
            if (!AddFolder(w, child.buf, child.len, markNew)) {
                EndSearch(&search);
                return false;
            }
        } while (FindNextEntry(&search, &entry, &error));
        EndSearch(&search);
    }
    return true;
}

void OnChange(void* context, const WatchEvent& event) {
    Watcher* w = static_cast<Watcher*>(context);
    uint64_t now = MonotonicMilliseconds();
    if (event.id < 0) {
        w->everythingChanged = true;
        return;
    }
    if (size_t(event.id) >= w->count) return;
    WatchedFolder& folder = w->folders[event.id];
    switch (event.kind) {
        case WatchEventKind::Gone:  // its watch has ended; the rest after the wait
            folder.live = false;
            folder.check = true;
            if (event.id == 0) w->rootGone = true;
            return;
        case WatchEventKind::Unknown:
            break;
        case WatchEventKind::Entry:
            if (w->options.recursive && !IsListedImageName(event.name, event.nameLength)) {
                // A folder below, made, renamed or removed? Windows does not
                // say whether a name that went away was a folder, nor ends the
                // watch of a folder removed: its parent's change says it.
                PathChar storage[kPathCapacity];
                PathBuf child(storage);
                child.Append(PathOf(w, size_t(event.id)), folder.pathLength);
                child.Append(event.name, event.nameLength);
                child.Append(kPathSeparator);
                long known = child.overflow ? -1 : FindKnown(w, child.buf, child.len);
                if (known >= 0) w->folders[known].check = true;
                if (event.isFolder) folder.rescan = true;
                return;
            }
            if (event.isFolder || !IsListedImageName(event.name, event.nameLength)) return;  // our own files, and what is not an image
            break;
    }
    if (!folder.pending) folder.first = now;
    folder.pending = true;
    folder.last = now;
    if (event.kind == WatchEventKind::Unknown && w->options.recursive) folder.rescan = true;
}

// Time until the next folder is due, or kWaitForever when nothing waits.
uint32_t TimeToNextRebuild(const Watcher* w, uint64_t now) {
    uint64_t next = UINT64_MAX;
    for (size_t i = 0; i < w->count; ++i) {
        const WatchedFolder& f = w->folders[i];
        if (!f.pending) continue;
        uint64_t due = f.last + kQuietMilliseconds;
        if (f.first + kLongestWaitMilliseconds < due) due = f.first + kLongestWaitMilliseconds;
        if (due < next) next = due;
    }
    if (w->indexChanged && w->indexChangedAt + kQuietMilliseconds < next) next = w->indexChangedAt + kQuietMilliseconds;
    if (next == UINT64_MAX) return kWaitForever;
    return next <= now ? 0 : uint32_t(next - now);
}

bool IsDue(const WatchedFolder& f, uint64_t now) {
    return f.pending && (now >= f.last + kQuietMilliseconds || now >= f.first + kLongestWaitMilliseconds);
}

// The one-folder rebuild, by the one unit that builds a folder (folder_build.h):
// its gallery, then its previews, while it holds the folder, with the
// messages of a one-folder run. False when another build holds the folder
// (it is tried again later).
bool RebuildOneFolder(const Watcher* w, LineWriter* writer, ListingSummary* summary) {
    const PathChar* folder = w->root;
    static FolderBuild build;  // large: not on the stack; one rebuild at a time
    SystemError takeError = 0;
    // Taken, or not held at all (gone, not a folder now): the build then says
    // what stands in its way, as a one-folder run does.
    if (TakeFolder(&build, folder, nullptr, w->options.build.folderWaitMilliseconds, &takeError) == FolderTake::Busy) {
        ReportFolder(folder, "another build of this folder is still running; tried again later");
        return false;
    }
    GalleryOutcome outcome = WriteFolderGallery(&build, w->options.build.german, writer, summary, w->options.title);
    char storage[kOutcomeLineCapacity];
    ByteBuf line(storage);
    AppendOutcomeLine(folder, outcome, line);
    if (outcome.noImages) summary->count = 0;
    if (line.len) {
        EnterOutputLock();
        PrintLineLocked(false, line);
        LeaveOutputLock();
    }
    int made = 0;
    if (w->options.build.previews && !outcome.noImages && !outcome.notRegularFile && !StopRequested())
        made = MakeFolderPreviews(&build, w->options.build.previewOptions, true, false).made;
    ReleaseFolder(&build);
    if (!StopRequested()) PrintRebuildLine(folder, outcome.ok || outcome.failedName == kScriptName ? summary->count : 0, made);
    return true;
}

// --recursive: rebuilds the due folders and the index. False when the root
// is held by another build (tried again later).
bool RebuildTreeFolders(Watcher* w, KeptTree** kept, uint64_t now) {
    const PathChar** changed = static_cast<const PathChar**>(malloc(sizeof(PathChar*) * (w->count + 1)));
    if (!changed) return true;
    int changedCount = 0;
    for (size_t i = 0; i < w->count; ++i) {
        if (IsDue(w->folders[i], now)) changed[changedCount++] = PathOf(w, i);
    }
    FolderLock lock;
    bool locked = LockFolder(w->root, w->options.build.folderWaitMilliseconds, &lock);
    if (!locked) {
        ReportFolder(w->root, "another build of this folder is still running; tried again later");
    } else {
        RebuildTree(w->root, w->options.build, changed, changedCount, kept);
        UnlockFolder(&lock);
    }
    free(changed);
    return locked;
}

}  // namespace

void PrintRebuildLine(const PathChar* folder, int images, int previewsMade) {
    LocalTime time = ReadLocalTime();
    char storage[kPathTextCapacity + 100];
    ByteBuf line(storage);
    char clock[16];
    snprintf(clock, sizeof clock, "%02d:%02d ", time.hour % 100, time.minute % 100);
    line.AppendZ(clock);
    AppendPathText(folder, TextLength(folder), line);
    char counts[80];
    const char* s = images == 1 ? "" : "s";
    if (ShowPreviews)
        snprintf(counts, sizeof counts, ": %d image%s, %d preview%s made\n", images, s, previewsMade, previewsMade == 1 ? "" : "s");
    else snprintf(counts, sizeof counts, ": %d image%s\n", images, s);
    line.AppendZ(counts);
    EnterOutputLock();
    fwrite(line.buf, 1, line.len, stdout);
    SystemError ignored = 0;
    FlushStdout(&ignored);
    LeaveOutputLock();
}

int WatchAndRebuild(const PathChar* folder, const WatchOptions& options, KeptTree* kept) {
    ShowPreviews = options.build.previews;
    Watcher w{};
    w.root = folder;
    w.options = options;
    SystemError error = 0;
    w.watch = StartWatch(&error);
    if (!w.watch) {
        ReportFolder(folder, "cannot watch: ", error);
        FreeKeptTree(kept);
        return 1;
    }
    LineWriter* writer = static_cast<LineWriter*>(malloc(sizeof(LineWriter)));
    ListingSummary* summary = static_cast<ListingSummary*>(malloc(sizeof(ListingSummary)));
    int exitCode = 0;
    if (!writer || !summary || !AddFolder(&w, PATH_TEXT(""), 0, false) ||
        (options.recursive && !WatchFoldersBelow(&w, 0, false))) {
        fputs("quimbo-build: out of memory\n", stderr);
        exitCode = 1;
    } else if (!w.folders[0].live) {
        exitCode = 1;  // said by AddFolder
    }
    if (w.notWatched > 1) fprintf(stderr, "quimbo-build: %d folders are not watched\n", w.notWatched);

    while (exitCode == 0 && !StopRequested()) {
        uint64_t now = MonotonicMilliseconds();
        // Woken now and then to see that the folder is still there: not every
        // system ends the watch of a folder that was removed (Wine does not).
        uint32_t wait = TimeToNextRebuild(&w, now);
        WaitForChanges(w.watch, wait < kRootCheckMilliseconds ? wait : kRootCheckMilliseconds, OnChange, &w);
        if (StopRequested()) break;
        FileState rootState;
        ReadFileState(folder, &rootState);
        if (!rootState.exists || rootState.isFile) w.rootGone = true;
        if (w.rootGone) {
            ReportFolder(folder, "gone; watching ends");
            exitCode = 1;
            break;
        }
        now = MonotonicMilliseconds();
        for (size_t i = 1; i < w.count; ++i) {  // folders that may have gone away
            if (!w.folders[i].check || w.folders[i].gone) continue;
            w.folders[i].check = false;
            PathChar storage[kPathCapacity];
            PathBuf path(storage);
            FormPath(&w, i, path);
            FileState state;
            ReadFileState(path.buf, &state);
            if (!state.exists || state.isFile || !w.folders[i].live) DropGone(&w, i, now);
        }
        if (w.everythingChanged) {  // the system lost track: every folder is looked at again
            w.everythingChanged = false;
            for (size_t i = 0; i < w.count; ++i) {
                if (!w.folders[i].live) continue;
                if (!w.folders[i].pending) w.folders[i].first = now;
                w.folders[i].pending = true;
                w.folders[i].last = now;
                w.folders[i].rescan = options.recursive;
            }
        }
        if (options.recursive) {
            int before = w.notWatched;
            for (size_t i = 0; i < w.count; ++i) {
                if (!w.folders[i].rescan) continue;
                w.folders[i].rescan = false;
                if (w.folders[i].live && !WatchFoldersBelow(&w, i, true)) fputs("quimbo-build: out of memory\n", stderr);
            }
            if (w.notWatched - before > 1) fprintf(stderr, "quimbo-build: %d more folders are not watched\n", w.notWatched - before);
        }
        bool anyDue = false;
        for (size_t i = 0; i < w.count; ++i) anyDue = anyDue || IsDue(w.folders[i], now);
        bool indexDue = w.indexChanged && now >= w.indexChangedAt + kQuietMilliseconds;
        if (!anyDue && !indexDue) continue;
        bool done = options.recursive ? RebuildTreeFolders(&w, &kept, now) : RebuildOneFolder(&w, writer, summary);
        for (size_t i = 0; i < w.count; ++i) {
            if (!IsDue(w.folders[i], now)) continue;
            if (done) w.folders[i].pending = false;
            else w.folders[i].last = MonotonicMilliseconds();  // another build holds it: later
        }
        if (done) w.indexChanged = false;
        else w.indexChangedAt = MonotonicMilliseconds();
    }
    EndWatch(w.watch);
    StopPreviewLibraryIfStarted();
    FreeKeptTree(kept);
    free(w.paths);
    free(w.folders);
    free(writer);
    free(summary);
    return exitCode;
}
