// quimbo-build --watch: after the first build, the galleries are kept current.
// The change notifications of the platform layer (inotify, ReadDirectory-
// ChangesW, or the folders' times polled) say which folders changed; a folder
// is rebuilt once it has been quiet for kQuietMilliseconds, so that a
// thousand photos copied in give a few rebuilds, not a thousand. Only the
// names of the listing's images count: the program's own files (page, script,
// previews, index, temporaries) and other files never start a rebuild.
#pragma once

#include <stdint.h>

#include "../common/platform.h"
#include "../previews/previews.h"
#include "../gallery/title.h"
#include "tree.h"

constexpr uint32_t kQuietMilliseconds = 1000;
// A folder that never falls quiet (a slow upload that goes on and on) is
// rebuilt all the same once its first change is this old.
constexpr uint32_t kLongestWaitMilliseconds = 30000;
// How often an idle watch looks whether the watched folder itself is still there.
constexpr uint32_t kRootCheckMilliseconds = 5000;

struct WatchOptions {
    TreeOptions build;  // language, previews, workers, how long a rebuild waits for another build, the index's title
    bool recursive;
    const CarriedTitle* title;  // --title for the page of a one-folder watch, or null
};

// Watches `folder` (ending in a separator; with options.recursive every
// folder the walk goes into, and those made later) and rebuilds what changes,
// until a stop request (CatchStopRequests, called before the first build)
// or until `folder` itself is gone. `kept` is what the first build of the
// tree learned (BuildTree), or null; it is freed. The caller holds no lock of
// the folder: each rebuild takes it. Returns the exit code: 0 after a stop
// request, 1 when `folder` is gone or cannot be watched at all.
int WatchAndRebuild(const PathChar* folder, const WatchOptions& options, KeptTree* kept);

// "HH:MM FOLDER: N images[, M previews made]" on stdout: one line per rebuild.
void PrintRebuildLine(const PathChar* folder, int images, int previewsMade);
