// One folder's list of images to preview and the routines that work through
// it. quimbo-build's run on one folder (MakePreviews, cli/cli_previews.h) and
// its run on a tree (cli/tree.cpp), whose folders share one pool of workers,
// both use them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "../common/platform.h"
#include "preview_image.h"
#include "previews.h"

// One image to do: its name in the job's name block, and the format.
struct PreviewItem {
    size_t nameOffset;
    size_t nameLength;
    PreviewFormat format;
    int pattern;  // which of the script's patterns, in its order
};

enum class ItemResult {
    Made,
    UpToDate,
    ImageFailed,
    WriteFailed,
    NoLibrary,  // it needed decoding, and the image library cannot be used (reported once for the process)
};

// A worker's own: the backend's result, and whether this thread has begun
// its work with the image library (StartPreviewThread).
struct PreviewWorker {
    PreviewImage image;
    bool threadStarted;
};

struct PreviewJob {
    const PathChar* folder;
    PathChar* names;  // every image name, each zero-terminated
    PreviewItem* items;
    int count;
    bool hasTemporaries;  // the folder holds a name ending in ".quimbo-tmp"
    bool folderOpen;      // `folderHandle` holds the folder open (OpenFolderForStates)
    intptr_t folderHandle;
    bool remakeAll;
    PreviewReporter reporter;  // told of every problem (previews.h)
    // Under the output lock:
    int next;
    int done;
    PreviewCounts counts;
};

// Lists the images of `job->folder` that get a preview, pattern by pattern in
// the script's order, each pattern in the order the listing shows it, in one
// search of the folder, and notes whether it holds temporaries; a search that
// fails is reported (SearchFailed) and counted in `job->counts`. False when memory ran out.
// The folder is held open for the up-to-date checks. EndPreviewJob ends it.
bool CollectImages(PreviewJob* job);

// Frees what CollectImages took for `job`: its lists and the open folder.
void EndPreviewJob(PreviewJob* job);

// Makes (or leaves alone) the preview of one image of `job`, and reports a
// failure to the job's reporter. Safe on several threads at once; `worker` is the calling
// thread's own. The image library is loaded and started by the first image
// of the process that is not up to date (StartPreviewLibrary), never for a
// run whose previews all are: when it cannot be used, that is reported once
// (NoLibrary, with the reason) and every image that needs it is NoLibrary.
ItemResult MakeOnePreview(const PreviewJob* job, const PreviewItem& item, PreviewWorker* worker);

// Ends `worker`'s work with the image library, if it began any; on its own
// thread, after its last MakeOnePreview.
void EndPreviewWorker(PreviewWorker* worker);

// Once every worker has ended: stops the image library if it was started.
void StopPreviewLibraryIfStarted();

// Removes what a killed run left behind of these images' previews, and
// nothing else: a file of the user's that merely ends in ".quimbo-tmp" stays,
// and so does the temporary of a preview whose image is gone (nothing proves
// it ours). Those of the previews made now would go when they are written; the
// others (up to date, or failing) need this.
void RemoveAbandonedTemporaries(const PreviewJob* job);

// Counts one result in `counts`.
void AddResult(PreviewCounts* counts, ItemResult result);
