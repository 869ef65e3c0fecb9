// quimbo-build --recursive: the galleries of a whole folder tree in one run,
// their previews, and the album index that leads to them.
#pragma once

#include <stdint.h>

#include <string_view>

#include "../common/platform.h"
#include "../previews/previews.h"
#include "folder_build.h"

// True for a found entry the walk goes into: a folder of its own, not a link
// to one, not hidden, not a system folder, and not "." or "..".
bool IsWalkedFolder(const FoundEntry& entry);

struct TreeOptions {
    bool german;
    bool previews;                  // --previews: each folder's previews by the one-folder rules
    PreviewOptions previewOptions;  // remakeAll, and the workers (folders and previews share them)
    uint32_t folderWaitMilliseconds;  // how long a folder below waits for another build of it
    std::string_view indexTitle;      // --title: the album index's name (UTF-8 text); empty for the language's word
};

// Builds the gallery of `root` (an existing folder the caller has taken with
// TakeFolder and holds for the whole run; a folder it could not open is
// built by its path) and of every folder below it that holds images, the
// same two files a run on that folder alone writes. Folders only: links to
// folders are not followed, hidden (and on Windows system) folders are
// skipped, and every folder below is opened from the tree's own without
// following a link, so that one replaced by a link since the walk is
// reported and left alone. Each folder below is held while its gallery and
// its previews are made; one that another build holds is set aside and tried
// again after the others, all of them until one shared wait has passed
// (`folderWaitMilliseconds`); one still held then is reported. Then writes the
// album index into the tree's folder and prints its path on stdout (an old
// index is rewritten to list no album when there is none). A folder that cannot
// be read or written is reported on stderr as "quimbo-build: PATH: REASON" and
// the rest is still built; progress shows on a terminal, and one summary line
// ends the run. Returns the exit code: 1 when a file could not be written (or
// a folder read), else 75 when a folder was still held by another build, else
// 3 when a preview could not be made, else 2 when no folder had images, else 0.
// `indexWritten` (when given) tells whether the album index was written.
//
// With `kept` (--watch), the image library is not stopped, and what the
// build learned of each folder is kept there (replacing what it held) for
// RebuildTree.
struct KeptTree;
int BuildTree(FolderBuild* root, const TreeOptions& options, bool* indexWritten = nullptr, KeptTree** kept = nullptr);

// A rebuild of the tree `folder` (--watch; the caller holds its lock): the
// tree is walked again; a folder that `*kept` knows and whose relative path
// (ending in a separator; "" for `folder` itself) is not among the
// `changedCount` in `changed` is not built again, the others (changed, or new)
// are; then the index is written from both. Each folder built gets one line
// on stdout (PrintRebuildLine); failures are reported as in BuildTree; no
// summary, no progress, no index path. `*kept` is replaced by the new tree.
// After a stop request (StopRequested) nothing new is begun and the index is
// left alone. Returns BuildTree's exit codes.
int RebuildTree(const PathChar* folder, const TreeOptions& options, const PathChar* const* changed, int changedCount,
                KeptTree** kept);

void FreeKeptTree(KeptTree* kept);
