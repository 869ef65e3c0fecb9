// quimbo-build --recursive. The main thread walks the tree first (folders
// only); then one pool of workers builds the folders' galleries and makes
// their previews, a folder's previews being queued as soon as its gallery is
// written, so that many small folders keep every worker as busy as one large
// one; last, the main thread writes the album index.
#include "tree.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "../common/common.h"
#include "../common/grow.h"
#include "../gallery/albums.h"
#include "../gallery/build.h"
#include "../previews/preview_job.h"
#include "cli_platform.h"
#include "cli_previews.h"
#include "cli_text.h"
#include "folder_build.h"
#include "watch.h"

namespace {

constexpr int kMaxWorkers = 64;

// Empty: a gallery of no entries was written (its images are all previews
// themselves, as the window too writes it): not an album. Held: another build
// still held it at the end of the run.
enum class FolderState : unsigned char { Waiting, Album, Empty, NoImages, Failed, Held };

struct FolderRecord {
    size_t pathOffset;  // its path relative to the tree's folder in Tree::paths, ending in a separator
    size_t pathLength;  // 0 for the tree's folder itself
    int parent;         // the record of the folder it is in; -1 for the tree's folder
    FolderState state;
    bool albumsBelow;   // an album is somewhere below it (the index shows it as a heading)
    int imageCount;
    PathChar* cover;    // from malloc, zero-terminated: the first image's name, then the cover's
    size_t coverLength;
    int previewsMade;   // a rebuild's (--watch): the previews made for this folder
    bool built;         // a rebuild's: this folder was built
    char* title;        // from malloc, zero-terminated: the gallery's own title as text, when the user gave it one
};

// One folder's previews in the pool's queue. The folder stays held by its
// build until the last of them is made: then the worker that took the folder
// (the lock is its thread's) releases it.
struct QueuedPreviews {
    FolderBuild* build;  // from malloc; the tree's own folder's is the caller's
    int owner;           // the worker that took the folder; -1: the caller (the tree's folder)
    int record;          // the folder's record
    QueuedPreviews* next;
};

struct Tree {
    const PathChar* root;  // the tree's folder, ending in a separator
    FolderBuild* rootBuild;  // the caller's hold on it, for the whole run
    bool german, previews, remakeAll, terminal;
    std::string_view indexTitle;  // --title: the album index's name (UTF-8 text), or empty
    PreviewPrinter printer;  // words what the previews report
    uint32_t folderWait;  // milliseconds a folder below waits for its lock
    // The walk's results, complete before the workers start; a worker writes
    // only the record it took.
    PathChar* paths;
    size_t pathsUsed, pathsCapacity;
    FolderRecord* folders;
    size_t foldersCapacity;
    int count;
    // Under the output lock:
    int nextFolder;
    int foldersBusy;
    int foldersDone;
    QueuedPreviews* queue;
    int previewsDone;
    PreviewCounts previewCounts;
    int failures;  // failures that leave no failed folder: a script not written, a folder too deep for a path
    int workers;   // workers started so far, each one's number
    // Folders another build held when their turn came, tried again after the
    // others (a ring of record numbers, each in it at most once), until one
    // shared deadline: however many are held, the run waits once.
    int* setAside;
    int setAsideFirst, setAsideCount;
    uint64_t setAsideDeadline;  // 0 until the first of them is tried again
    bool rebuild;  // a rebuild of some folders (--watch): a line per folder built, no summary, no progress
};

const PathChar* PathOf(const Tree* tree, int index) { return tree->paths + tree->folders[index].pathOffset; }

// The tree's folder followed by the relative path of record `index`, and `name`.
void FormFolderPath(const Tree* tree, int index, const PathChar* name, PathBuf& path) {
    path.Clear();
    path.AppendZ(tree->root);
    path.Append(PathOf(tree, index), tree->folders[index].pathLength);
    if (name) path.AppendZ(name);
}

// Prints one line on stderr, clearing a progress line first.
void PrintLineLocked(const Tree* tree, const ByteBuf& line) { PrintLineLocked(tree->terminal, line); }

// "quimbo-build: PATH: REASON" (REASON the system's text for `error`, or `reason`).
void ReportPath(const Tree* tree, const PathChar* path, SystemError error, const char* reason = nullptr) {
    char storage[kPathTextCapacity + 4 * kSystemErrorTextCapacity + 64];
    ByteBuf line(storage);
    line.Append("quimbo-build: ");
    AppendPathText(path, TextLength(path), line);
    line.Append(": ");
    if (reason) line.AppendZ(reason);
    else AppendErrorText(error, line);
    EnterOutputLock();
    PrintLineLocked(tree, line);
    LeaveOutputLock();
}

void PrintProgressLocked(const Tree* tree) {
    if (!tree->terminal || tree->rebuild) return;
    fprintf(stderr, "\rfolders %d/%d, previews %d", tree->foldersDone, tree->count, tree->previewsDone);
    fflush(stderr);
}

// The reason for a folder below the tree that is no folder of its own any more.
constexpr const char* kNotInTree = "not a folder of the tree any more (a link or a file took its place)";

// ---- The walk ------------------------------------------------------------------------------

bool AddFolder(Tree* tree, const PathChar* path, size_t length, int parent) {
    if (!GrowBlock(&tree->paths, &tree->pathsCapacity, tree->pathsUsed + length + 1) ||
        !GrowBlock(&tree->folders, &tree->foldersCapacity, size_t(tree->count) + 1))
        return false;
    for (size_t i = 0; i < length; ++i) tree->paths[tree->pathsUsed + i] = path[i];
    tree->paths[tree->pathsUsed + length] = 0;
    tree->folders[tree->count++] =
        FolderRecord{tree->pathsUsed, length, parent, FolderState::Waiting, false, 0, nullptr, 0, 0, false, nullptr};
    tree->pathsUsed += length + 1;
    return true;
}

}  // namespace

// True for a found entry the walk goes into: a folder of its own, not a link
// to one, not hidden, not a system folder, and not "." or "..".
bool IsWalkedFolder(const FoundEntry& entry) {
    if (!(entry.attributes & kAttributeDirectory)) return false;
    if (entry.attributes & (kAttributeLink | kAttributeHidden | kAttributeSystem)) return false;
    const PathChar* name = entry.name;
    return !(name[0] == PathChar('.') && (entry.nameLength == 1 || (entry.nameLength == 2 && name[1] == PathChar('.'))));
}

namespace {

// Finds every folder of the tree, breadth first. A folder that cannot be read
// is reported and marked failed. False when memory ran out (reported).
bool WalkTree(Tree* tree) {
    if (!AddFolder(tree, PATH_TEXT(""), 0, -1)) return false;
    for (int index = 0; index < tree->count; ++index) {
        // The record's path is copied: adding folders may move the block.
        PathChar relativeStorage[kPathCapacity];
        PathBuf relative(relativeStorage);
        relative.Append(PathOf(tree, index), tree->folders[index].pathLength);
        PathChar patternStorage[kPathCapacity];
        PathBuf pattern(patternStorage);
        FormFolderPath(tree, index, PATH_TEXT("*"), pattern);
        if (pattern.overflow) {
            FormFolderPath(tree, index, nullptr, pattern);
            ReportPath(tree, pattern.buf, kErrorNameTooLong);
            tree->folders[index].state = FolderState::Failed;
            continue;
        }
        // Read through the folder opened from the tree's own, never through a
        // link that took its place since its parent was read.
        HeldFolder held{0, nullptr, 0};
        PathChar folderStorage[kPathCapacity];
        PathBuf folderPath(folderStorage);
        FormFolderPath(tree, index, nullptr, folderPath);
        SystemError error = 0;
        if (index > 0) {
            FolderOpen opened = OpenHeldFolder(folderPath.buf, &tree->rootBuild->folder, &held, &error);
            if (opened != FolderOpen::Opened) {
                ReportPath(tree, folderPath.buf, error, opened == FolderOpen::NotFolder ? kNotInTree : nullptr);
                tree->folders[index].state = FolderState::Failed;
                continue;
            }
        }
        WorkInFolder(index > 0 ? &held : &tree->rootBuild->folder);
        DirSearch search;
        FoundEntry entry;
        if (FindFirstEntry(pattern.buf, &search, &entry, &error)) {
            do {
                if (!IsWalkedFolder(entry)) continue;
                PathChar childStorage[kPathCapacity];
                PathBuf child(childStorage);
                child.Append(relative.buf, relative.len);
                child.Append(entry.name, entry.nameLength);
                child.Append(kPathSeparator);
                if (child.overflow) {
                    // Too deep for a path: reported as the folder it is in plus its name.
                    PathChar shownStorage[kPathCapacity];
                    PathBuf shown(shownStorage);
                    FormFolderPath(tree, index, nullptr, shown);
                    ReportPath(tree, shown.buf, kErrorNameTooLong);
                    ++tree->failures;  // only the main thread runs yet
                    continue;
                }
                if (!AddFolder(tree, child.buf, child.len, index)) {
                    EndSearch(&search);
                    WorkInFolder(nullptr);
                    CloseHeldFolder(&held);
                    return false;
                }
            } while (FindNextEntry(&search, &entry, &error));
            EndSearch(&search);
        }
        WorkInFolder(nullptr);
        CloseHeldFolder(&held);
        if (error) {
            pattern.len -= 1;  // the folder, without the "*"
            pattern.buf[pattern.len] = 0;
            ReportPath(tree, pattern.buf, error);
            tree->folders[index].state = FolderState::Failed;
        }
    }
    return true;
}

// ---- The workers ---------------------------------------------------------------------------

// Takes record `index` (waiting at most `wait` milliseconds for another build
// of it) and builds its gallery; its previews, when it has any to make, come
// back in `queued`, the folder still held, else the folder is released.
// Busy when another build still holds it: nothing was done.
FolderTake BuildFolder(Tree* tree, int index, uint32_t wait, int worker, LineWriter* writer, ListingSummary* summary,
                       QueuedPreviews** queued) {
    *queued = nullptr;
    FolderRecord& record = tree->folders[index];
    PathChar folderStorage[kPathCapacity];
    PathBuf folder(folderStorage);
    FormFolderPath(tree, index, nullptr, folder);
    if (folder.overflow) {  // the walk only adds folders whose path fits; this is a guard
        record.state = FolderState::Failed;
        return FolderTake::Failed;
    }
    // One build of a folder at a time, from its listing to its last preview:
    // the tree's own folder is held by the caller for the whole run, each
    // folder below from here until its previews are made.
    FolderBuild* build = tree->rootBuild;
    if (index > 0) {
        build = static_cast<FolderBuild*>(malloc(sizeof(FolderBuild)));
        if (!build) {
            ReportPath(tree, folder.buf, kErrorOutOfMemory);
            record.state = FolderState::Failed;
            return FolderTake::Failed;
        }
        SystemError error = 0;
        FolderTake take = TakeFolder(build, folder.buf, &tree->rootBuild->folder, wait, &error);
        if (take != FolderTake::Taken) {
            free(build);
            if (take == FolderTake::Busy) return take;
            ReportPath(tree, folder.buf, error, take == FolderTake::NotFolder ? kNotInTree : nullptr);
            record.state = FolderState::Failed;
            return take;
        }
    }
    auto release = [build, index]() {
        if (index == 0) return;
        ReleaseFolder(build);
        free(build);
    };
    GalleryOutcome outcome = WriteFolderGallery(build, tree->german, writer, summary);
    if (outcome.noImages) {
        record.state = FolderState::NoImages;
        release();
        return FolderTake::Taken;
    }
    PathChar fileStorage[kPathCapacity];
    PathBuf file(fileStorage);
    if (!outcome.ok) {
        file.AppendZ(folder.buf);
        file.AppendZ(outcome.failedName);
        if (file.overflow) {
            file.Clear();
            file.AppendZ(folder.buf);
        }
        if (outcome.notRegularFile) ReportPath(tree, file.buf, 0, "not a regular file");
        else ReportPath(tree, file.buf, outcome.error);
    }
    // A page that is in place is a gallery, even when its script could not
    // follow it (said above); one of no entries is no album.
    if (!outcome.pageReplaced) record.state = FolderState::Failed;
    else record.state = summary->count > 0 ? FolderState::Album : FolderState::Empty;
    if (!outcome.ok && outcome.pageReplaced) {
        EnterOutputLock();
        ++tree->failures;
        LeaveOutputLock();
    }
    if (record.state == FolderState::Album) {
        record.imageCount = summary->count;
        record.cover = static_cast<PathChar*>(malloc((summary->firstLength + 1) * sizeof(PathChar)));
        if (record.cover) {
            for (size_t i = 0; i <= summary->firstLength; ++i) record.cover[i] = summary->first[i];
            record.coverLength = summary->firstLength;
        }
        // The index lists the album under the title its user gave the gallery.
        std::string_view given(outcome.title.text, outcome.title.length);
        if (IsGivenTitle(given)) {
            char storage[4 * kTitleMaxBytes];  // an escape is never shorter than what it stands for
            ByteBuf text(storage);
            AppendTitleText(given, text);
            record.title = static_cast<char*>(malloc(text.len + 1));
            if (record.title) memcpy(record.title, text.buf, text.len + 1);
        }
    }
    if (!tree->previews || record.state == FolderState::Failed) {
        release();
        return FolderTake::Taken;
    }

    // The folder's previews, by the one-folder rules, while the folder is held.
    QueuedPreviews* entry = static_cast<QueuedPreviews*>(calloc(1, sizeof(QueuedPreviews)));
    bool listed = entry && ListFolderPreviews(build, tree->remakeAll, PrintingReporter(&tree->printer));
    if (!listed) ReportPath(tree, folder.buf, kErrorOutOfMemory, "no previews: out of memory");
    EnterOutputLock();
    tree->previewCounts.failedImages += build->previews.counts.failedImages;
    if (!listed) tree->previewCounts.failedImages += build->previews.count;
    LeaveOutputLock();
    if (listed && build->previews.count > 0) {
        entry->build = build;
        entry->owner = index == 0 ? -1 : worker;
        entry->record = index;
        *queued = entry;
        return FolderTake::Taken;
    }
    free(entry);
    if (index == 0) EndPreviewJob(&build->previews);
    release();
    return FolderTake::Taken;
}

// The first queued job with an image not yet handed out, or null.
QueuedPreviews* NextPreviewsLocked(Tree* tree) {
    for (QueuedPreviews* queued = tree->queue; queued; queued = queued->next) {
        if (queued->build->previews.next < queued->build->previews.count) return queued;
    }
    return nullptr;
}

// Takes the jobs of `worker`'s folders whose previews are all made out of the
// queue, into `done`; with `unfinished` (when given) told whether it still has others.
void TakeFinishedLocked(Tree* tree, int worker, QueuedPreviews** done, bool* unfinished) {
    *unfinished = false;
    for (QueuedPreviews** link = &tree->queue; *link;) {
        QueuedPreviews* queued = *link;
        bool own = queued->owner == worker;
        bool finished = queued->build->previews.done == queued->build->previews.count;
        if (own && !finished) *unfinished = true;
        if (!finished || !(own || queued->owner < 0)) {
            link = &queued->next;
            continue;
        }
        *link = queued->next;
        queued->next = *done;
        *done = queued;
    }
}

// Releases the folders of finished jobs; outside the output lock, on the
// thread that took them.
void ReleaseFinished(QueuedPreviews* done) {
    while (done) {
        QueuedPreviews* next = done->next;
        if (done->owner < 0) {
            EndPreviewJob(&done->build->previews);  // the caller releases the tree's own folder
        } else {
            ReleaseFolder(done->build);
            free(done->build);
        }
        free(done);
        done = next;
    }
}

// A worker is done with folder `index`: set aside to be tried again when
// `setAside` (another build held it), else counted as done; its previews, if
// any, join the end of the queue. Called with the output lock held.
void EndFolderLocked(Tree* tree, int index, bool setAside, QueuedPreviews* queued) {
    --tree->foldersBusy;
    if (setAside) {
        tree->setAside[(tree->setAsideFirst + tree->setAsideCount) % tree->count] = index;
        ++tree->setAsideCount;
    } else {
        ++tree->foldersDone;
    }
    if (queued) {
        QueuedPreviews** end = &tree->queue;
        while (*end) end = &(*end)->next;
        *end = queued;
    }
    WakeWaitingWorkers();
    PrintProgressLocked(tree);
}

// Tries the next folder that was set aside as held again, for a short while
// (other work may come up meanwhile), until the shared deadline; one still
// held then is reported. Called with the output lock held; returns with it held.
void RetrySetAsideLocked(Tree* tree, int worker, LineWriter* writer, ListingSummary* summary) {
    int index = tree->setAside[tree->setAsideFirst];
    tree->setAsideFirst = (tree->setAsideFirst + 1) % tree->count;
    --tree->setAsideCount;
    ++tree->foldersBusy;
    uint64_t now = MonotonicMilliseconds();
    if (tree->setAsideDeadline == 0) tree->setAsideDeadline = now + tree->folderWait;
    uint64_t left = tree->setAsideDeadline > now ? tree->setAsideDeadline - now : 0;
    LeaveOutputLock();
    constexpr uint64_t kRetrySlice = 50;  // milliseconds: short, so that previews queued meanwhile are not kept waiting
    QueuedPreviews* queued = nullptr;
    FolderTake take = BuildFolder(tree, index, uint32_t(left < kRetrySlice ? left : kRetrySlice), worker, writer,
                                  summary, &queued);
    bool givenUp = take == FolderTake::Busy && left <= kRetrySlice;
    if (givenUp) {
        PathChar storage[kPathCapacity];
        PathBuf path(storage);
        FormFolderPath(tree, index, nullptr, path);
        ReportPath(tree, path.buf, kErrorFolderBusy, "another build of this folder is still running");
        tree->folders[index].state = FolderState::Held;
    }
    EnterOutputLock();
    EndFolderLocked(tree, index, take == FolderTake::Busy && !givenUp, queued);
}

// One worker: previews first (they free their memory as they finish), then
// the next folder, then the folders set aside as held; it sleeps while
// folders are still being built elsewhere (they may queue previews) or while
// the last previews of a folder it holds are being made, and stops when
// nothing is left. A folder it took it releases itself (its lock is its
// thread's) once that folder's previews are made.
void RunTreeWorker(void* context) {
    Tree* tree = static_cast<Tree*>(context);
    LineWriter* writer = static_cast<LineWriter*>(malloc(sizeof(LineWriter)));
    ListingSummary* summary = static_cast<ListingSummary*>(malloc(sizeof(ListingSummary)));
    if (!writer || !summary) {  // the other workers do the work
        free(writer);
        free(summary);
        return;
    }
    PreviewWorker worker{};
    EnterOutputLock();
    int self = tree->workers++;
    for (;;) {
        QueuedPreviews* finished = nullptr;
        bool unfinished = false;
        TakeFinishedLocked(tree, self, &finished, &unfinished);
        if (finished) {
            LeaveOutputLock();
            ReleaseFinished(finished);
            EnterOutputLock();
            continue;
        }
        if (StopRequested()) {  // --watch ends: what is being written is finished, nothing new begun
            break;
        } else if (QueuedPreviews* queued = NextPreviewsLocked(tree)) {
            PreviewJob& job = queued->build->previews;
            int item = job.next++;
            LeaveOutputLock();
            ItemResult result = MakeFolderPreview(queued->build, item, &worker);
            EnterOutputLock();
            AddResult(&tree->previewCounts, result);
            if (result == ItemResult::Made) ++tree->folders[queued->record].previewsMade;
            ++tree->previewsDone;
            if (++job.done == job.count) WakeWaitingWorkers();  // its owner may be asleep
            PrintProgressLocked(tree);
        } else if (tree->nextFolder < tree->count) {
            int index = tree->nextFolder++;
            ++tree->foldersBusy;
            LeaveOutputLock();
            QueuedPreviews* queued = nullptr;
            FolderTake take = FolderTake::Failed;
            // A folder held by another build is not waited for now: set aside.
            if (tree->folders[index].state == FolderState::Waiting) {
                tree->folders[index].built = true;
                take = BuildFolder(tree, index, 0, self, writer, summary, &queued);
            }
            EnterOutputLock();
            EndFolderLocked(tree, index, take == FolderTake::Busy, queued);
        } else if (tree->setAsideCount > 0) {
            RetrySetAsideLocked(tree, self, writer, summary);
        } else if (tree->foldersBusy > 0 || unfinished) {
            WaitUnderOutputLock();
        } else {
            break;
        }
    }
    LeaveOutputLock();
    EndPreviewWorker(&worker);
    free(writer);
    free(summary);
}

// ---- The index -----------------------------------------------------------------------------

// True when relative path `a` comes before `b` in the order of the tree: a
// folder before the folders in it, the folders of one level by name.
bool PathBefore(const PathChar* a, size_t aLength, const PathChar* b, size_t bLength) {
    size_t i = 0, j = 0;
    for (;;) {
        if (i >= aLength || j >= bLength) return i >= aLength && j < bLength;
        size_t aEnd = i, bEnd = j;
        while (aEnd < aLength && a[aEnd] != kPathSeparator) ++aEnd;
        while (bEnd < bLength && b[bEnd] != kPathSeparator) ++bEnd;
        if (NameComesBefore(a + i, aEnd - i, b + j, bEnd - j)) return true;
        if (NameComesBefore(b + j, bEnd - j, a + i, aEnd - i)) return false;
        i = aEnd + 1;
        j = bEnd + 1;
    }
}

bool IsPreviewedKind(const PathChar* name, size_t length) {
    // The page never shows a preview in place of an SVG or an icon.
    size_t dot = length;
    while (dot > 0 && name[dot - 1] != PathChar('.')) --dot;
    if (length - dot != 3) return true;
    auto is = [name, dot](const char* extension) {
        for (int k = 0; k < 3; ++k) {
            PathChar c = name[dot + k];
            if (c >= PathChar('A') && c <= PathChar('Z')) c = PathChar(c + 32);
            if (c != PathChar(extension[k])) return false;
        }
        return true;
    };
    return !is("svg") && !is("ico");
}

// The cover of an album: the preview of its first image when there is one now,
// else the first image itself.
void ChooseCover(const Tree* tree, int index) {
    FolderRecord& record = tree->folders[index];
    if (!record.cover || !IsPreviewedKind(record.cover, record.coverLength)) return;
    PathChar nameStorage[kPathCapacity];
    PathBuf preview(nameStorage);
    if (!FormPreviewName(record.cover, record.coverLength, "", preview)) return;
    PathChar pathStorage[kPathCapacity];
    PathBuf path(pathStorage);
    FormFolderPath(tree, index, preview.buf, path);
    if (path.overflow) return;
    FileState state;
    ReadFileState(path.buf, &state);
    if (!state.exists || !state.isFile) return;
    PathChar* cover = static_cast<PathChar*>(malloc((preview.len + 1) * sizeof(PathChar)));
    if (!cover) return;
    for (size_t i = 0; i <= preview.len; ++i) cover[i] = preview.buf[i];
    free(record.cover);
    record.cover = cover;
    record.coverLength = preview.len;
}

// The tree's folder's own name as the index's first title: its last part.
void AppendRootName(const PathChar* root, ByteBuf& out) {
    size_t end = TextLength(root);
    while (end > 0 && (root[end - 1] == kPathSeparator || root[end - 1] == PathChar('/'))) --end;
    size_t start = end;
    while (start > 0 && root[start - 1] != kPathSeparator && root[start - 1] != PathChar('/')) --start;
    if (start == end) AppendNameText(root, TextLength(root), out);  // the file system's root
    else AppendNameText(root + start, end - start, out);
}

// Writes the index of the albums in `tree`. Returns the number of albums, or
// -1 when the index could not be written (reported).
int WriteIndex(Tree* tree) {
    PathChar storage[kPathCapacity];
    PathBuf path(storage);
    path.AppendZ(tree->root);
    path.AppendZ(kAlbumsName);
    int* order = static_cast<int*>(malloc(sizeof(int) * size_t(tree->count)));
    AlbumLine* lines = static_cast<AlbumLine*>(malloc(sizeof(AlbumLine) * size_t(tree->count)));
    int albums = 0;
    if (!order || !lines) {
        free(order);
        free(lines);
        ReportPath(tree, path.buf, kErrorOutOfMemory);
        return -1;
    }
    for (int i = 0; i < tree->count; ++i) {
        order[i] = i;
        if (tree->folders[i].state != FolderState::Album) continue;
        ++albums;
        ChooseCover(tree, i);
        for (int up = tree->folders[i].parent; up >= 0 && !tree->folders[up].albumsBelow; up = tree->folders[up].parent)
            tree->folders[up].albumsBelow = true;
    }
    // No album: an index left by an earlier run must not lead to galleries
    // that are gone; it is rewritten to list none. Without one, none is made.
    WorkInFolder(&tree->rootBuild->folder);
    bool stale = albums == 0 && PathExists(path.buf);
    WorkInFolder(nullptr);
    if (albums == 0 && !stale) {
        free(order);
        free(lines);
        return 0;
    }
    std::sort(order, order + tree->count, [tree](int a, int b) {
        return PathBefore(PathOf(tree, a), tree->folders[a].pathLength, PathOf(tree, b), tree->folders[b].pathLength);
    });
    int count = 0;
    for (int k = 0; k < tree->count; ++k) {
        const FolderRecord& record = tree->folders[order[k]];
        bool album = record.state == FolderState::Album && record.cover;
        if (!album && !record.albumsBelow) continue;
        lines[count++] = AlbumLine{PathOf(tree, order[k]), record.pathLength, album ? record.imageCount : 0,
                                   record.cover, record.coverLength,
                                   album && record.title ? std::string_view(record.title) : std::string_view()};
    }
    char nameStorage[4 * kPathCapacity];  // UTF-8 text of a path: at most 3 bytes per unit
    ByteBuf rootName(nameStorage);
    PathChar fullStorage[kPathCapacity];
    AppendRootName(FullFolderPath(tree->root, fullStorage, kPathCapacity) ? fullStorage : tree->root, rootName);
    WorkInFolder(&tree->rootBuild->folder);
    AlbumsOutcome outcome = WriteAlbumIndex(tree->root, rootName.View(), lines, count, tree->german, tree->indexTitle);
    WorkInFolder(nullptr);
    free(order);
    free(lines);
    if (!outcome.ok) {
        if (outcome.notRegularFile) ReportPath(tree, path.buf, 0, "not a regular file");
        else ReportPath(tree, path.buf, outcome.error);
        return -1;
    }
    if (albums == 0) return 0;  // rewritten empty: not printed as an index to open
    // Printed like the page's path of a one-folder run: a reader that has gone
    // away is not told about, and the index stays written either way. A
    // rebuild's lines say what was built instead.
    if (tree->rebuild) return albums;
    char printed[kPathTextCapacity + 2];
    ByteBuf line(printed);
    AppendPathText(path.buf, path.len, line);
    line.Append('\n');
    fwrite(line.buf, 1, line.len, stdout);
    SystemError error = 0;
    if (!FlushStdout(&error) && error) ReportPath(tree, path.buf, error, nullptr);
    return albums;
}

void FreeTree(Tree* tree) {
    free(tree->setAside);
    for (int i = 0; i < tree->count; ++i) {
        free(tree->folders[i].cover);
        free(tree->folders[i].title);
    }
    free(tree->folders);
    free(tree->paths);
    while (QueuedPreviews* queued = tree->queue) {  // left by a stop request
        tree->queue = queued->next;
        queued->next = nullptr;
        ReleaseFinished(queued);
    }
}

// The record of `kept` whose relative path is `path`, or -1; `order` is
// kept's records sorted by path (PathBefore).
int FindKept(const Tree* kept, const int* order, const PathChar* path, size_t length) {
    const int* end = order + kept->count;
    const int* found = std::lower_bound(order, end, 0, [&](int index, int) {
        return PathBefore(PathOf(kept, index), kept->folders[index].pathLength, path, length);
    });
    if (found == end) return -1;
    const FolderRecord& record = kept->folders[*found];
    if (PathBefore(path, length, PathOf(kept, *found), record.pathLength)) return -1;
    return *found;
}

// For a rebuild: every folder of `tree` (just walked) that `kept` knew and is
// not in `changed` keeps what the last build found of it, and is not built
// again; the others wait for the workers. False when memory ran out.
bool CarryOver(Tree* tree, const Tree* kept, const PathChar* const* changed, int changedCount) {
    int* order = static_cast<int*>(malloc(sizeof(int) * size_t(kept->count ? kept->count : 1)));
    if (!order) return false;
    for (int i = 0; i < kept->count; ++i) order[i] = i;
    std::sort(order, order + kept->count, [kept](int a, int b) {
        return PathBefore(PathOf(kept, a), kept->folders[a].pathLength, PathOf(kept, b), kept->folders[b].pathLength);
    });
    for (int i = 0; i < tree->count; ++i) {
        FolderRecord& record = tree->folders[i];
        if (record.state != FolderState::Waiting) continue;  // the walk failed on it
        const PathChar* path = PathOf(tree, i);
        bool isChanged = false;
        for (int c = 0; c < changedCount && !isChanged; ++c) {
            isChanged = TextLength(changed[c]) == record.pathLength;
            for (size_t k = 0; isChanged && k < record.pathLength; ++k) isChanged = changed[c][k] == path[k];
        }
        int before = isChanged ? -1 : FindKept(kept, order, path, record.pathLength);
        if (before < 0) continue;
        const FolderRecord& old = kept->folders[before];
        if (old.state == FolderState::Waiting || old.state == FolderState::Held) continue;
        record.state = old.state;
        record.imageCount = old.imageCount;
        if (old.title) {
            size_t length = strlen(old.title);
            record.title = static_cast<char*>(malloc(length + 1));
            if (!record.title) {
                free(order);
                return false;
            }
            memcpy(record.title, old.title, length + 1);
        }
        if (old.cover) {
            record.cover = static_cast<PathChar*>(malloc((old.coverLength + 1) * sizeof(PathChar)));
            if (!record.cover) {
                free(order);
                return false;
            }
            for (size_t k = 0; k <= old.coverLength; ++k) record.cover[k] = old.cover[k];
            record.coverLength = old.coverLength;
        }
    }
    free(order);
    return true;
}

}  // namespace

// What a build of a tree learned of its folders, kept for the next (--watch).
struct KeptTree {
    Tree tree;
};

void FreeKeptTree(KeptTree* kept) {
    if (!kept) return;
    FreeTree(&kept->tree);
    free(kept);
}

namespace {

// Prints the rebuild line (PrintRebuildLine) of each folder a rebuild built.
void PrintRebuiltFolders(const Tree* tree) {
    for (int i = 0; i < tree->count; ++i) {
        const FolderRecord& record = tree->folders[i];
        if (!record.built) continue;
        PathChar storage[kPathCapacity];
        PathBuf path(storage);
        FormFolderPath(tree, i, nullptr, path);
        PrintRebuildLine(path.buf, record.state == FolderState::Album ? record.imageCount : 0, record.previewsMade);
    }
}

int RunTree(FolderBuild* root, const TreeOptions& options, const PathChar* const* changed, int changedCount,
            KeptTree** kept, bool* indexWritten) {
    const PathChar* folder = root->path;
    Tree tree{};
    tree.root = folder;
    tree.rootBuild = root;
    tree.german = options.german;
    tree.previews = options.previews;
    tree.remakeAll = options.previewOptions.remakeAll;
    tree.indexTitle = options.indexTitle;
    tree.terminal = StderrIsTerminal();
    tree.printer.terminal = tree.terminal;
    tree.printer.treeRootLength = TextLength(folder);  // images are named by their path below the tree's folder
    tree.folderWait = options.folderWaitMilliseconds;
    tree.rebuild = changed != nullptr;
    if (!WalkTree(&tree) || !(tree.setAside = static_cast<int*>(malloc(sizeof(int) * size_t(tree.count)))) ||
        (tree.rebuild && *kept && !CarryOver(&tree, &(*kept)->tree, changed, changedCount))) {
        fputs("quimbo-build: out of memory\n", stderr);
        FreeTree(&tree);
        return 1;
    }

    int workers = options.previewOptions.jobs > 0 ? options.previewOptions.jobs : ProcessorCount();
    if (options.previewOptions.jobs > kMaxWorkers && !tree.rebuild)
        fprintf(stderr, "quimbo-build: --jobs %d is more than %d; building with %d workers\n", options.previewOptions.jobs,
                kMaxWorkers, kMaxWorkers);
    if (workers > kMaxWorkers) workers = kMaxWorkers;
    EnterOutputLock();
    PrintProgressLocked(&tree);
    LeaveOutputLock();
    RunOnThreads(workers, RunTreeWorker, &tree);
    if (!kept) StopPreviewLibraryIfStarted();  // --watch keeps it to the end
    if (StopRequested()) {  // --watch ends; the index stays as it was
        if (tree.terminal && !tree.rebuild) fputs("\r                                        \r", stderr);
        FreeTree(&tree);
        return 0;
    }

    // Folders no worker could take (none had the memory to start).
    int withoutImages = 0, galleries = 0, failedFolders = 0, heldFolders = 0;
    for (int i = 0; i < tree.count; ++i) {
        FolderRecord& record = tree.folders[i];
        if (record.state == FolderState::Waiting) {
            PathChar storage[kPathCapacity];
            PathBuf path(storage);
            FormFolderPath(&tree, i, nullptr, path);
            ReportPath(&tree, path.buf, kErrorOutOfMemory);
            record.state = FolderState::Failed;
        }
        failedFolders += record.state == FolderState::Failed;
        heldFolders += record.state == FolderState::Held;
        withoutImages += record.state == FolderState::NoImages;
        galleries += record.state == FolderState::Album || record.state == FolderState::Empty;
    }

    if (tree.terminal && !tree.rebuild) fputs("\r                                        \r", stderr);
    int albums = WriteIndex(&tree);
    if (indexWritten) *indexWritten = albums > 0;
    if (tree.rebuild) PrintRebuiltFolders(&tree);
    if (albums == 0 && galleries == 0 && !tree.rebuild) {
        // Say why there is no album: no images, or folders that could not be read.
        char storage[kPathTextCapacity + 128];
        ByteBuf text(storage);
        text.Append("quimbo-build: ");
        if (failedFolders + heldFolders + tree.failures == 0) {
            text.Append("no images in ");
            AppendPathText(folder, TextLength(folder), text);
            text.Append(" or below it (images: " QUIMBO_IMAGE_KINDS ")");
        } else {
            AppendPathText(folder, TextLength(folder), text);
            text.Append(": no gallery written; ");
            AppendDecimal(text, failedFolders + heldFolders + tree.failures, 1);
            text.Append(" folder(s) could not be read or written");
        }
        fwrite(text.buf, 1, text.len, stderr);
        fputs("\n", stderr);
    }
    PreviewCounts counts = tree.previewCounts;
    // The one-folder run's summary form ("quimbo-build: previews: made ..."),
    // after the galleries' own part.
    int failedGalleries = failedFolders + heldFolders + tree.failures + (albums < 0 ? 1 : 0);
    int failedPreviews = counts.failedImages + counts.failedWrites + counts.withoutLibrary;
    if (!tree.rebuild)
        fprintf(stderr,
                "quimbo-build: galleries: written %d, without images %d, failed %d; previews: made %d, up to date %d, "
                "failed %d\n",
                galleries, withoutImages, failedGalleries, counts.made, counts.upToDate, failedPreviews);
    int failures = failedFolders + tree.failures;
    if (kept) {  // the tree is kept for the next rebuild, in place of the last
        for (int i = 0; i < tree.count; ++i) tree.folders[i].built = false;
        tree.rootBuild = nullptr;
        KeptTree* keeping = static_cast<KeptTree*>(malloc(sizeof(KeptTree)));
        FreeKeptTree(*kept);
        *kept = keeping;
        if (keeping) keeping->tree = tree;
        else FreeTree(&tree);
    } else {
        FreeTree(&tree);
    }

    // The worst first: a file not written, a folder still held by another
    // build, a preview not made, no images at all.
    if (failures || counts.failedWrites || counts.withoutLibrary || albums < 0) return 1;
    if (heldFolders) return 75;
    if (counts.failedImages) return 3;
    if (albums == 0 && galleries == 0) return 2;
    return 0;
}

}  // namespace

int BuildTree(FolderBuild* root, const TreeOptions& options, bool* indexWritten, KeptTree** kept) {
    return RunTree(root, options, nullptr, 0, kept, indexWritten);
}

int RebuildTree(const PathChar* folder, const TreeOptions& options, const PathChar* const* changed, int changedCount,
                KeptTree** kept) {
    static const PathChar* const kNone[1] = {nullptr};
    // The caller holds the tree's lock: its folder is opened here, not locked again.
    static FolderBuild root;  // large: not on the stack; one rebuild at a time
    PathBuf path(root.path);
    path.AppendZ(folder);
    SystemError error = 0;
    if (path.overflow || OpenHeldFolder(root.path, nullptr, &root.folder, &error) != FolderOpen::Opened)
        root.folder.handle = 0;  // built by its path; the build says what stands in its way
    root.lock.handle = 0;
    root.previews = PreviewJob{};
    int exitCode = RunTree(&root, options, changed ? changed : kNone, changedCount, kept, nullptr);
    CloseHeldFolder(&root.folder);
    return exitCode;
}
