// Inside the previews: one folder's list of images to preview and the
// routines that work through it. A run on one folder (MakePreviews) and a run
// on a tree (tree.cpp), whose folders share one pool of workers, both use them.
#pragma once

#include <stddef.h>

#include "../common/platform.h"
#include "preview_image.h"
#include "previews.h"

// One image to do: its name in the job's name block, and the format.
struct PreviewItem {
    size_t nameOffset;
    size_t nameLength;
    PreviewFormat format;
};

enum class ItemResult { Made, UpToDate, ImageFailed, WriteFailed };

struct PreviewJob {
    const PathChar* folder;
    PathChar* names;  // every image name, each zero-terminated
    PreviewItem* items;
    int count;
    bool remakeAll;
    bool terminal;
    // Under the output lock:
    int next;
    int done;
    PreviewCounts counts;
};

// Lists the images of `job->folder` that get a preview, pattern by pattern in
// the script's order, each pattern in the order the listing shows it; a search
// that fails is reported and counted in `job->counts`. False when memory ran
// out. The caller frees `job->names` and `job->items`.
bool CollectImages(PreviewJob* job);

// Makes (or leaves alone) the preview of one image of `job`, and reports a
// failure on stderr. Safe on several threads at once; `image` is the calling
// worker's own.
ItemResult MakeOnePreview(const PreviewJob* job, const PreviewItem& item, PreviewImage* image);

// Removes what a killed run left behind of these images' previews, and
// nothing else: a file of the user's that merely ends in ".quimbo-tmp" stays,
// and so does the temporary of a preview whose image is gone (nothing proves
// it ours). Those of the previews made now would go when they are written; the
// others (up to date, or failing) need this.
void RemoveAbandonedTemporaries(const PreviewJob* job);

// Counts one result in `counts`.
void AddResult(PreviewCounts* counts, ItemResult result);
