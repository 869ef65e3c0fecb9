// quimbo-build --recursive: the galleries of a whole folder tree in one run,
// their previews, and the album index that leads to them.
#pragma once

#include <stdint.h>

#include <string_view>

#include "../common/platform.h"
#include "../previews/previews.h"

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

// Builds the gallery of `folder` (an existing folder, ending in a separator)
// and of every folder below it that holds images, the same two files a run on
// that folder alone writes. Folders only: links to folders are not followed,
// hidden (and on Windows system) folders are skipped. The caller holds the
// lock of `folder` itself; each folder below is locked while its gallery is
// written (one that another build still holds after the wait is reported and
// counted as a failure). Then writes the album
// index into `folder` and prints its path on stdout. A folder that cannot be
// read or written is reported on stderr as "quimbo-build: PATH: REASON" and
// the rest is still built; progress shows on a terminal, and one summary line
// ends the run. Returns the exit code: 1 when a file could not be written (or
// a folder read), else 3 when a preview could not be made, else 2 when no
// folder had images, else 0. `indexWritten` (when given) tells whether the
// album index was written.
//
// With `kept` (--watch), the image library is not stopped, and what the
// build learned of each folder is kept there (replacing what it held) for
// RebuildTree.
struct KeptTree;
int BuildTree(const PathChar* folder, const TreeOptions& options, bool* indexWritten = nullptr,
              KeptTree** kept = nullptr);

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
