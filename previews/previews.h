// The previews' image engine: the "_t" preview copies of a folder's photos
// (the same copies the thumbnail script makes with the external viewer):
// Dog.jpg -> Dog_t.jpg, long side 480 pixels. quimbo-build --previews runs it
// (cli/cli_previews.h); it depends on common/ alone.
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
    int failedWrites;  // the preview could not be written ("quimbo-build: cannot write ...")
    int withoutLibrary;  // needed decoding, but the image library cannot be used (said once)
};

// What the engine tells its caller, as it happens: it words nothing and
// prints nothing, so that any program can use it. The caller words and shows
// each report (quimbo-build: cli/cli_previews.cpp); it may be called on any
// worker thread, never with the output lock held.
enum class PreviewProblem {
    CannotWrite,     // the file `path` + `name` could not be written: `error`
    NotRegularFile,  // at the preview's name `path` stands no regular file (a folder, a FIFO); left as it is
    ImageFailed,     // no preview for the image `name`: `reason`, or the system's `error` when `reason` is null
    NoLibrary,       // the image library cannot be used: `reason` (once per process)
    SearchFailed,    // the folder `path` could not be searched: `error`
};

struct PreviewReport {
    PreviewProblem problem;
    const PathChar* path;  // a file or folder, with `pathLength` units; may be null
    size_t pathLength;
    const PathChar* name;  // a name (in `path`'s folder, or after `path`); may be null
    size_t nameLength;
    const char* reason;  // UTF-8, `reasonLength` bytes, one line; null: the system's text for `error`
    size_t reasonLength;
    SystemError error;
};

struct PreviewReporter {
    void (*report)(void* context, const PreviewReport& report);
    void* context;
};

// The preview's name for the image `name` found through the pattern
// "*.`extension`": the name with "_t" before its extension. False when the
// image gets no preview: its own extension is not `extension` (letter case
// ignored; a Windows pattern can match a longer extension through the 8.3
// short name), or its name without the extension already ends in "_t" (it is
// a preview itself), or the result does not fit `previewName`.
bool FormPreviewName(const PathChar* name, size_t length, const char* extension, PathBuf& previewName);
