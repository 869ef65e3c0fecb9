// quimbo-build --previews: the "_t" preview copies of a folder's photos, made
// by quimbo-build itself (the same copies the thumbnail script makes with the
// external viewer): Dog.jpg -> Dog_t.jpg, long side 480 pixels.
#pragma once

#include <stddef.h>

#include "../common/platform.h"
#include "preview_image.h"

struct PreviewOptions {
    bool remakeAll;  // --previews=all: also the previews that are up to date
    int jobs;        // worker threads; 0 for one per processor
};

struct PreviewCounts {
    int made;         // previews written
    int upToDate;     // previews left alone: newer than their image
    int failed;       // images without a new preview: failedImages + failedWrites + withoutLibrary
    int failedImages;  // the image could not be read or decoded ("no preview for ...")
    int failedWrites;  // the preview could not be written ("Cannot write ...")
    int withoutLibrary;  // needed decoding, but the image library cannot be used (said once)
};

// Makes the previews of every JPEG, WebP and PNG in `folder` (ending in a
// separator) that needs one, removing temporaries a killed run left behind
// first. Reports each failure on stderr as it happens, progress on a terminal,
// and a summary line at the end. The image library is loaded only when an
// image needs decoding (preview_job.h).
PreviewCounts MakePreviews(const PathChar* folder, const PreviewOptions& options);

// The preview's name for the image `name` found through the pattern
// "*.`extension`": the name with "_t" before its extension. False when the
// image gets no preview: its own extension is not `extension` (letter case
// ignored; a Windows pattern can match a longer extension through the 8.3
// short name), or its name without the extension already ends in "_t" (it is
// a preview itself), or the result does not fit `previewName`.
bool FormPreviewName(const PathChar* name, size_t length, const char* extension, PathBuf& previewName);
